#include "browser/WaveListWidget.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>

namespace {

// Column widths of the details view, in column order.
const int kColumnWidths[WaveListModel::ColumnCount] = {200, 140, 60, 60, 150};

// The format that marks a dragged row as one of this list's, with the process and list it came from.
const char* const kRowFormat = "application/x-tonfolio-wave-row";

// A view with the state a caller needs to see (dragging, editing); its drags are the list's.
template <class Base> class RowView : public Base {
public:
    explicit RowView(WaveListWidget* owner) : Base(owner), owner_(owner) {}
    bool dragging() const { return this->state() == Base::DraggingState; }
    bool editing() const { return this->state() == Base::EditingState; }

protected:
    void startDrag(Qt::DropActions) override { owner_->startRowDrag(this); }

private:
    WaveListWidget* owner_;
};

using WaveListView = RowView<QListView>;
using WaveDetailView = RowView<QTreeView>;

template <class View> void commonSetup(View* view, QAbstractItemModel* model, QItemSelectionModel* selection)
{
    view->setModel(model);
    QItemSelectionModel* own = view->selectionModel();
    view->setSelectionModel(selection);
    delete own;
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Only a click on the selected row's label starts an edit; F2 belongs to the Rename command.
    view->setEditTriggers(QAbstractItemView::SelectedClicked);
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->setToolTipDuration(0);
}

} // namespace

WaveListWidget::WaveListWidget(QWidget* parent)
    : QStackedWidget(parent), model_(new WaveListModel(this)), selection_(new QItemSelectionModel(model_, this)),
      list_(new WaveListView(this)), details_(new WaveDetailView(this))
{
    commonSetup(list_, model_, selection_);
    commonSetup(details_, model_, selection_);
    list_->setUniformItemSizes(true);
    list_->setMovement(QListView::Static);
    list_->setResizeMode(QListView::Adjust);
    // Laying out 10,000 icons happens in batches, so a style switch never stalls the window.
    list_->setLayoutMode(QListView::Batched);
    list_->setBatchSize(500);

    details_->setRootIsDecorated(false);
    details_->setItemsExpandable(false);
    details_->setUniformRowHeights(true);
    details_->setAllColumnsShowFocus(true);
    details_->setSortingEnabled(false);
    details_->setIconSize(QSize(16, 16));
    details_->header()->setSectionsClickable(false);
    details_->header()->setSectionsMovable(false);
    details_->header()->setStretchLastSection(false);
    for (int c = 0; c < WaveListModel::ColumnCount; ++c)
        details_->setColumnWidth(c, kColumnWidths[c]);

    addWidget(list_);
    addWidget(details_);
    for (QWidget* w :
         {static_cast<QWidget*>(list_), list_->viewport(), static_cast<QWidget*>(details_), details_->viewport()})
        w->installEventFilter(this);
    setFocusProxy(list_);

    connect(selection_, &QItemSelectionModel::selectionChanged, this, &WaveListWidget::changed);
    connect(model_, &QAbstractItemModel::dataChanged, this, &WaveListWidget::changed);
    connect(model_, &QAbstractItemModel::rowsMoved, this, &WaveListWidget::changed);
    configureList(vsIcon);
}

void WaveListWidget::configureList(ViewStyle style)
{
    switch (style) {
    case vsIcon:
        list_->setViewMode(QListView::IconMode);
        list_->setFlow(QListView::LeftToRight);
        list_->setIconSize(QSize(32, 32));
        list_->setGridSize(QSize(96, 64));
        list_->setWordWrap(true);
        break;
    case vsSmallIcon:
        list_->setViewMode(QListView::ListMode);
        list_->setFlow(QListView::LeftToRight);
        list_->setIconSize(QSize(16, 16));
        list_->setGridSize(QSize(160, 20));
        list_->setWordWrap(false);
        break;
    case vsList:
    case vsReport:
        list_->setViewMode(QListView::ListMode);
        list_->setFlow(QListView::TopToBottom);
        list_->setIconSize(QSize(16, 16));
        list_->setGridSize(QSize());
        list_->setWordWrap(false);
        break;
    }
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    list_->setMovement(QListView::Static);
    // Qt ties dragging to movable icons; rows are dragged onto folders all the same.
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
}

void WaveListWidget::setViewStyle(ViewStyle style)
{
    if (style == style_)
        return;
    const bool hadFocus = hasListFocus();
    style_ = style;
    if (style == vsReport) {
        setCurrentWidget(details_);
        setFocusProxy(details_);
    } else {
        configureList(style);
        setCurrentWidget(list_);
        setFocusProxy(list_);
    }
    const QModelIndex current = selection_->currentIndex();
    if (current.isValid())
        currentView()->scrollTo(current);
    if (hadFocus)
        currentView()->setFocus();
}

QAbstractItemView* WaveListWidget::currentView() const
{
    return style_ == vsReport ? static_cast<QAbstractItemView*>(details_) : static_cast<QAbstractItemView*>(list_);
}

int WaveListWidget::selectedRow() const
{
    const QModelIndexList rows = selection_->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void WaveListWidget::selectRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    const QModelIndex index = model_->index(row, 0);
    selection_->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    currentView()->scrollTo(index, QAbstractItemView::EnsureVisible);
}

bool WaveListWidget::hasListFocus() const
{
    return currentView()->hasFocus();
}

void WaveListWidget::focusList()
{
    currentView()->setFocus(Qt::OtherFocusReason);
}

void WaveListWidget::editRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    currentView()->edit(model_->index(row, 0));
}

bool WaveListWidget::isEditing() const
{
    return static_cast<WaveListView*>(list_)->editing() || static_cast<WaveDetailView*>(details_)->editing();
}

bool WaveListWidget::isDragging() const
{
    return static_cast<WaveListView*>(list_)->dragging() || static_cast<WaveDetailView*>(details_)->dragging();
}

void WaveListWidget::setHint(const QString& hint)
{
    hint_ = hint;
    // Every part of the control carries the hint, so whichever the pointer enters shows it.
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(list_), list_->viewport(),
                       static_cast<QWidget*>(details_), details_->viewport()})
        w->setStatusTip(hint);
}

void WaveListWidget::setListCursor(const QCursor& cursor)
{
    list_->viewport()->setCursor(cursor);
    details_->viewport()->setCursor(cursor);
}

void WaveListWidget::unsetListCursor()
{
    list_->viewport()->unsetCursor();
    details_->viewport()->unsetCursor();
}

QCursor WaveListWidget::listCursor() const
{
    return currentView()->viewport()->cursor();
}

QMimeData* WaveListWidget::rowMimeData(int row) const
{
    auto* data = model_->mimeData({model_->index(row, 0)});
    if (!data)
        data = new QMimeData;
    const QString mark =
        QString("%1:%2:%3").arg(QCoreApplication::applicationPid()).arg(reinterpret_cast<quintptr>(this)).arg(row);
    data->setData(kRowFormat, mark.toUtf8());
    if (rowUrl) {
        const QUrl url = rowUrl(row);
        if (url.isValid() && !url.isEmpty())
            data->setUrls({url});
    }
    return data;
}

bool WaveListWidget::isOwnDrag(const QDropEvent* event) const
{
    if (!event)
        return false;
    if (QObject* source = event->source())
        return source == list_ || source == details_;
    // Qt names the source only while its own drag runs; the mark says which process and list it was.
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasFormat(kRowFormat))
        return false;
    const QString mark = QString::fromUtf8(data->data(kRowFormat));
    return mark.startsWith(
        QString("%1:%2:").arg(QCoreApplication::applicationPid()).arg(reinterpret_cast<quintptr>(this)));
}

void WaveListWidget::setDragCursor(const QCursor& cursor)
{
    dragCursor_ = cursor;
    if (!drag_)
        return;
    // A null pixmap puts back the drag manager's own pointer.
    const QPixmap picture = cursor.shape() == Qt::BitmapCursor ? cursor.pixmap() : QPixmap();
    for (Qt::DropAction action : {Qt::CopyAction, Qt::MoveAction})
        drag_->setDragCursor(picture, action);
}

void WaveListWidget::startRowDrag(QAbstractItemView* view)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    auto* drag = new QDrag(view);
    drag->setMimeData(rowMimeData(row));
    drag->setPixmap(model_->icon().pixmap(view->iconSize()));
    drag_ = drag;
    setDragCursor(QCursor());
    // Whatever a target reports, the row stays: the window refills the list after a move of its own,
    // and a move by another program shows at the next fill.
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    drag_ = nullptr;
}

bool WaveListWidget::isOurs(QObject* watched) const
{
    return watched == list_ || watched == details_ || watched == list_->viewport() || watched == details_->viewport();
}

bool WaveListWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (!isOurs(watched))
        return QStackedWidget::eventFilter(watched, event);
    const bool isView = watched == list_ || watched == details_;
    switch (event->type()) {
    case QEvent::FocusIn:
        if (isView)
            emit entered();
        break;
    case QEvent::KeyRelease:
        if (isView) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                emit keyReleased(key->key(), key->modifiers());
        }
        break;
    case QEvent::MouseButtonRelease:
        if (!isView)
            emit mouseReleased(static_cast<QMouseEvent*>(event)->button());
        break;
    case QEvent::MouseButtonDblClick:
        if (!isView)
            emit doubleClicked();
        break;
    default:
        break;
    }
    return QStackedWidget::eventFilter(watched, event);
}
