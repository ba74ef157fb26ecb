// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveListWidget.h"

#include "browser/WaveListCaptions.h"

#include "waves/W32Waves.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QScrollBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>

namespace {

const char* const kMeasureMenuTexts[WaveListModel::kMeasureColumns] = {"Loudness (LUFS)", "Peak (dBFS)", "Tempo (BPM)",
                                                                       "Pitch", "Key", "Description", "Loop"};

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

    // The editor offers the name without its ".wav": typing replaces the name and keeps the file a wave.
    bool edit(const QModelIndex& index, QAbstractItemView::EditTrigger trigger, QEvent* event) override
    {
        if (!Base::edit(index, trigger, event))
            return false;
        if (auto* line = qobject_cast<QLineEdit*>(this->indexWidget(index))) {
            const QString text = line->text();
            const bool wave = text.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive) && text.size() > 4;
            line->setSelection(0, int(text.size()) - (wave ? 4 : 0));
        }
        return true;
    }

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
    // A click always plays, on the selected row too (replaying is what the list is for); an edit starts
    // from F2, which the Rename command takes while it is enabled.
    view->setEditTriggers(QAbstractItemView::EditKeyPressed);
    // Names of a sample set differ at their ends ("kick_01", "kick_02"): a long one loses its middle.
    view->setTextElideMode(Qt::ElideMiddle);
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->setToolTipDuration(0);
}

} // namespace

WaveListWidget::WaveListWidget(QWidget* parent)
    : QStackedWidget(parent), model_(new WaveListModel(this)), filter_(new WaveFilterModel(this)),
      selection_(new QItemSelectionModel(filter_, this)), list_(new WaveListView(this)),
      details_(new WaveDetailView(this))
{
    filter_->setSourceModel(model_);
    commonSetup(list_, filter_, selection_);
    commonSetup(details_, filter_, selection_);
    auto* captions = new CaptionDelegate(this);
    list_->setItemDelegate(captions);
    details_->setItemDelegate(captions);
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
    details_->setIconSize(QSize(16, 16));
    // A click on a header orders the rows by its column, a second click the other way round; the
    // captions' own order comes first.
    details_->header()->setSortIndicator(WaveListModel::ColFilename, Qt::AscendingOrder);
    details_->setSortingEnabled(true);
    details_->header()->setSectionsMovable(false);
    details_->header()->setStretchLastSection(false);
    // The measure, folder and similarity columns are shown when wanted; the Favourite column always.
    for (int c = WaveListModel::ColumnCount; c < WaveListModel::AllColumnCount; ++c)
        details_->header()->setSectionHidden(c, c != WaveListModel::ColFavourite);
    // Likeness is what a list of sounds alike is read by: its column stands next to the names.
    details_->header()->moveSection(WaveListModel::ColSimilarity, WaveListModel::ColFilename + 1);
    details_->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(details_->header(), &QWidget::customContextMenuRequested, this, &WaveListWidget::showHeaderMenu);
    fitColumns();

    addWidget(list_);
    addWidget(details_);
    for (QWidget* w :
         {static_cast<QWidget*>(list_), list_->viewport(), static_cast<QWidget*>(details_), details_->viewport()})
        w->installEventFilter(this);
    setFocusProxy(list_);

    connect(selection_, &QItemSelectionModel::selectionChanged, this, [this] {
        if (selection_->hasSelection())
            hiddenSelection_ = QPersistentModelIndex();
        emit changed();
    });
    connect(model_, &QAbstractItemModel::dataChanged, this, &WaveListWidget::changed);
    connect(model_, &QAbstractItemModel::rowsMoved, this, &WaveListWidget::changed);
    // New captions may need wider items.
    auto refit = [this] {
        widestCaption_ = -1;
        fitItems();
    };
    connect(model_, &QAbstractItemModel::modelReset, this, refit);
    // Measures arriving leave the captions as they are.
    connect(model_, &QAbstractItemModel::dataChanged, this, [refit](const QModelIndex& topLeft) {
        if (topLeft.column() == 0)
            refit();
    });
    // The rows on screen change with scrolling, sizing, the filter and the view style.
    auto onScreenChange = [this] { emit scrolled(); };
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(list_), static_cast<QAbstractItemView*>(details_)}) {
        connect(v->verticalScrollBar(), &QScrollBar::valueChanged, this, onScreenChange);
        connect(v->horizontalScrollBar(), &QScrollBar::valueChanged, this, onScreenChange);
    }
    connect(filter_, &QAbstractItemModel::layoutChanged, this, onScreenChange);
    connect(filter_, &WaveFilterModel::reordered, this, [this] {
        const QModelIndex current = selection_->currentIndex();
        if (current.isValid())
            currentView()->scrollTo(current);
        emit reordered();
    });
    configureList(vsIcon);
}

unsigned WaveListWidget::shownMeasures() const
{
    unsigned mask = 0;
    for (int i = 0; i < WaveListModel::kMeasureColumns; ++i)
        if (!details_->header()->isSectionHidden(WaveListModel::ColumnCount + i))
            mask |= 1u << i;
    return mask;
}

void WaveListWidget::setShownMeasures(unsigned mask)
{
    if (mask == shownMeasures())
        return;
    for (int i = 0; i < WaveListModel::kMeasureColumns; ++i)
        details_->header()->setSectionHidden(WaveListModel::ColumnCount + i, (mask & (1u << i)) == 0);
    // Rows ordered by a column no longer shown go back to the captions' order.
    if (details_->header()->isSectionHidden(sortColumn()))
        setSort(WaveListModel::ColFilename, Qt::AscendingOrder);
    emit shownMeasuresChanged();
}

void WaveListWidget::showHeaderMenu(const QPoint& pos)
{
    QMenu menu(this);
    const unsigned shown = shownMeasures();
    for (int i = 0; i < WaveListModel::kMeasureColumns; ++i) {
        QAction* a = menu.addAction(QString::fromLatin1(kMeasureMenuTexts[i]));
        a->setCheckable(true);
        a->setChecked((shown & (1u << i)) != 0);
        connect(a, &QAction::toggled, this, [this, i](bool on) {
            setShownMeasures(on ? shownMeasures() | (1u << i) : shownMeasures() & ~(1u << i));
        });
    }
    menu.exec(details_->header()->viewport()->mapToGlobal(pos));
}

std::vector<int> WaveListWidget::rowsOnScreen() const
{
    std::vector<int> rows;
    QAbstractItemView* view = currentView();
    const QRect area = view->viewport()->rect();
    if (view == details_) {
        const QModelIndex top = details_->indexAt(QPoint(1, 1));
        for (QModelIndex i = top.isValid() ? top.siblingAtColumn(0) : filter_->index(0, 0); i.isValid();
             i = details_->indexBelow(i)) {
            if (details_->visualRect(i).top() > area.bottom())
                break;
            rows.push_back(filter_->mapToSource(i).row());
        }
        return rows;
    }
    // The icon styles lay rows out in a grid: the rows whose items meet the viewport.
    const int count = filter_->rowCount();
    const QModelIndex first = list_->indexAt(QPoint(1, 1));
    const int start = first.isValid() ? first.row() : 0;
    for (int place = start; place < count && place - start < 20000; ++place) {
        const QRect r = list_->visualRect(filter_->index(place, 0));
        if (r.intersects(area))
            rows.push_back(filter_->mapToSource(filter_->index(place, 0)).row());
        else if (!rows.empty() && (r.top() > area.bottom() || r.left() > area.right()))
            break;
        if (rows.size() > 2000)
            break;
    }
    return rows;
}

void WaveListWidget::configureList(ViewStyle style)
{
    switch (style) {
    case vsIcon:
        list_->setViewMode(QListView::IconMode);
        list_->setFlow(QListView::LeftToRight);
        list_->setIconSize(QSize(32, 32));
        list_->setWordWrap(true);
        break;
    case vsSmallIcon:
        list_->setViewMode(QListView::ListMode);
        list_->setFlow(QListView::LeftToRight);
        list_->setIconSize(QSize(16, 16));
        list_->setWordWrap(false);
        break;
    case vsList:
    case vsReport:
        list_->setViewMode(QListView::ListMode);
        list_->setFlow(QListView::TopToBottom);
        list_->setIconSize(QSize(16, 16));
        list_->setWordWrap(false);
        break;
    }
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    list_->setMovement(QListView::Static);
    // Qt ties dragging to movable icons; rows are dragged onto folders all the same.
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
    itemSize_ = QSize();
    fitItems();
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
    return rows.isEmpty() ? -1 : filter_->mapToSource(rows.first()).row();
}

void WaveListWidget::setFilterText(const QString& typed)
{
    if (typed == filter_->typed())
        return;
    const int selected = selectedRow();
    filter_->setFilter(typed);
    // A selected row the filter hides is no longer selected: no command reaches a row not shown. It is
    // selected again once a filter shows it, unless another row was chosen meanwhile.
    if (!selection_->hasSelection()) {
        if (selected >= 0)
            hiddenSelection_ = QPersistentModelIndex(model_->index(selected, 0));
        selection_->clearCurrentIndex();
        if (hiddenSelection_.isValid() && placeOfRow(hiddenSelection_.row()) >= 0)
            selectRow(hiddenSelection_.row());
    }
    const QModelIndex current = selection_->currentIndex();
    if (current.isValid())
        currentView()->scrollTo(current);
    emit changed();
}

int WaveListWidget::visibleRowCount() const
{
    return filter_->rowCount();
}

int WaveListWidget::visibleRow(int place) const
{
    if (place < 0 || place >= visibleRowCount())
        return -1;
    return filter_->mapToSource(filter_->index(place, 0)).row();
}

int WaveListWidget::placeOfRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return filter_->mapFromSource(model_->index(row, 0)).row();
}

int WaveListWidget::firstPlaceFrom(int row) const
{
    return filter_->placeBefore(row);
}

void WaveListWidget::setSort(int column, Qt::SortOrder order)
{
    // The header shows the order and asks the rows for it.
    details_->sortByColumn(column, order);
}

void WaveListWidget::selectRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    const QModelIndex index = filter_->mapFromSource(model_->index(row, 0));
    if (!index.isValid())
        return;
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
    const QModelIndex index = filter_->mapFromSource(model_->index(row, 0));
    if (row < 0 || row >= rowCount() || !index.isValid())
        return;
    currentView()->edit(index);
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
    case QEvent::KeyPress:
        // On the press: the release of the Enter that ends a caption edit comes to the list as well.
        if (isView && !isEditing()) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (enter && !key->isAutoRepeat() && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier)
                emit enterPressed();
        }
        break;
    case QEvent::KeyRelease:
        // Keys released in the caption editor come up here too; there Space is text, not play or stop.
        if (isView && !isEditing()) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                emit keyReleased(key->key(), key->modifiers());
        }
        break;
    case QEvent::MouseButtonRelease:
        if (!isView) {
            // The left button plays the row it is released over; over no row it starts nothing, even
            // when entering the list has just selected the first row.
            auto* mouse = static_cast<QMouseEvent*>(event);
            const bool overRow = currentView()->indexAt(mouse->position().toPoint()).isValid();
            if (mouse->button() != Qt::LeftButton || overRow)
                emit mouseReleased(mouse->button());
        }
        break;
    case QEvent::Resize:
        // The captions of small icons and list may be as wide as the view.
        if (watched == list_)
            fitItems();
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
        if (watched == list_) {
            widestCaption_ = -1;
            itemSize_ = QSize();
            fitItems();
        } else if (watched == details_) {
            fitColumns();
        }
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
