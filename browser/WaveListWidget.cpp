// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveListWidget.h"

#include "waves/W32Waves.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QScrollBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>

namespace {

// Column widths of the details view, in column order: the least a column starts with, made for a
// small font; a larger font widens a column to its widest text.
const int kColumnWidths[WaveListModel::AllColumnCount] = {200, 140, 60, 60, 150, 90, 90, 80, 70};
// The measure columns' names in the header's menu.
const char* const kMeasureMenuTexts[WaveListModel::kMeasureColumns] = {"Loudness (LUFS)", "Peak (dBFS)",
                                                                        "Tempo (BPM)", "Pitch"};

// Small icons and list show captions up to about this many characters whole, and elide longer ones.
constexpr int kWholeCaptionChars = 40;
// A large-icon caption wraps onto two lines of this many characters at least and at most.
constexpr int kIconLineMinChars = 10;
constexpr int kIconLineMaxChars = 24;
// Captions measured exactly among those the estimate finds widest.
constexpr size_t kMeasuredCaptions = 8;

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

/// The width of texts as the sum of their characters' advances: within a pixel or two of the laid-out
/// width (kerning aside) at a fraction of the cost, which counts for 10,000 captions.
class AdvanceTable {
public:
    explicit AdvanceTable(const QFontMetrics& metrics) : metrics_(metrics)
    {
        std::fill(std::begin(latin_), std::end(latin_), -1);
    }
    int width(const QString& text)
    {
        int w = 0;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 256) {
                if (latin_[u] < 0)
                    latin_[u] = metrics_.horizontalAdvance(c);
                w += latin_[u];
            } else {
                auto it = other_.find(u);
                if (it == other_.end())
                    it = other_.insert(u, metrics_.horizontalAdvance(c));
                w += *it;
            }
        }
        return w;
    }

private:
    const QFontMetrics& metrics_;
    int latin_[256];
    QHash<char16_t, int> other_;
};

/// A caption broken onto two lines of the given width: at a blank, dash, underscore or dot when the
/// rest then fits, else after the last character that fits, as file managers do with long names.
/// A second line that is still too long loses its middle, so the end of the name stays in sight.
QString twoLineCaption(const QString& text, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    int lo = 1, hi = int(text.size()) - 1; // the longest prefix that fits, at least one character
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid)) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    // A name too long for two lines loses part of its second line anyway: the first ends with a word.
    const bool elided = metrics.horizontalAdvance(text.mid(lo)) > width;
    int cut = lo;
    for (int i = lo; i > lo / 2; --i) {
        const QChar c = text.at(i - 1);
        const bool separator = c.isSpace() || c == u'-' || c == u'_' || c == u'.';
        if (separator && (elided || metrics.horizontalAdvance(text.mid(i)) <= width)) {
            cut = i;
            break;
        }
    }
    return text.left(cut) + QChar(QChar::LineSeparator) + metrics.elidedText(text.mid(cut), Qt::ElideMiddle, width);
}

/// The room above the icon of a large-icon item.
int iconItemTopGap(const QFontMetrics& metrics)
{
    return std::max(2, metrics.averageCharWidth() * 2 / 3);
}

/// Sizes and paints the captions of the icon styles, and ends an in-place edit on Tab like on Enter:
/// Tab would otherwise carry the edit on to the next row.
class CaptionDelegate : public QStyledItemDelegate {
public:
    explicit CaptionDelegate(WaveListWidget* owner) : QStyledItemDelegate(owner), owner_(owner) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (option.widget == owner_->listView() && owner_->itemSize().isValid())
            return owner_->itemSize();
        return QStyledItemDelegate::sizeHint(option, index);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (option.widget != owner_->listView() || owner_->viewStyle() != WaveListWidget::vsIcon) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        // Air above the icon; a one-line caption sits right under it.
        opt.rect.setTop(opt.rect.top() + iconItemTopGap(opt.fontMetrics));
        opt.displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        // The width the style lays the text out in: all the room for text, less a margin either side.
        QStyleOptionViewItem room = opt;
        room.showDecorationSelected = true;
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const int width = style->subElementRect(QStyle::SE_ItemViewItemText, &room, widget).width() - 2 * margin;
        opt.text = twoLineCaption(opt.text, QFontMetrics(opt.font), width);
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            auto* editor = qobject_cast<QWidget*>(object);
            if (editor && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    WaveListWidget* owner_;
};

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
    details_->setSortingEnabled(false);
    details_->setIconSize(QSize(16, 16));
    details_->header()->setSectionsClickable(false);
    details_->header()->setSectionsMovable(false);
    details_->header()->setStretchLastSection(false);
    for (int c = WaveListModel::ColumnCount; c < WaveListModel::AllColumnCount; ++c)
        details_->header()->setSectionHidden(c, true);
    details_->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(details_->header(), &QWidget::customContextMenuRequested, this, &WaveListWidget::showHeaderMenu);
    fitColumns();

    addWidget(list_);
    addWidget(details_);
    for (QWidget* w :
         {static_cast<QWidget*>(list_), list_->viewport(), static_cast<QWidget*>(details_), details_->viewport()})
        w->installEventFilter(this);
    setFocusProxy(list_);

    connect(selection_, &QItemSelectionModel::selectionChanged, this, &WaveListWidget::changed);
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
    configureList(vsIcon);
}

int WaveListWidget::widestCaption()
{
    if (widestCaption_ >= 0)
        return widestCaption_;
    const QFontMetrics metrics = list_->fontMetrics();
    AdvanceTable advances(metrics);
    std::vector<std::pair<int, int>> estimates; // width, row
    estimates.reserve(size_t(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        estimates.emplace_back(advances.width(model_->row(r).caption), r);
    // The estimate misses kerning; the widest few are laid out for real, and a caption never gets
    // less room than its estimate.
    const size_t measured = std::min(kMeasuredCaptions, estimates.size());
    std::partial_sort(estimates.begin(), estimates.begin() + std::ptrdiff_t(measured), estimates.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    int widest = 0;
    for (size_t i = 0; i < measured; ++i)
        widest =
            std::max({widest, estimates[i].first, metrics.horizontalAdvance(model_->row(estimates[i].second).caption)});
    widestCaption_ = widest;
    return widest;
}

void WaveListWidget::fitItems()
{
    if (style_ == vsReport)
        return; // fitted when an icon style is chosen again
    const QFontMetrics metrics = list_->fontMetrics();
    const int average = std::max(1, metrics.averageCharWidth());
    QStyleOptionViewItem option;
    option.initFrom(list_);
    option.font = list_->font();
    option.fontMetrics = metrics;
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = list_->iconSize();
    option.state |= QStyle::State_Enabled;
    const int margin = list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 1;
    QSize size;
    if (style_ == vsIcon) {
        // Two lines under the icon, each about half the widest caption, within bounds.
        const int line = std::clamp((widestCaption() + 1) / 2 + 2 * average, kIconLineMinChars * average,
                                    kIconLineMaxChars * average);
        // The style's text rectangle is a few pixels narrower than the item.
        const int width = std::max(line, list_->iconSize().width()) + 2 * margin + 4;
        option.decorationPosition = QStyleOptionViewItem::Top;
        option.displayAlignment = Qt::AlignCenter;
        option.features |= QStyleOptionViewItem::WrapText;
        option.text = QStringLiteral("M") + QChar(QChar::LineSeparator) + QStringLiteral("M");
        option.rect = QRect(0, 0, width, 1000);
        const QSize twoLines = list_->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list_);
        size = QSize(width, twoLines.height() + iconItemTopGap(metrics));
    } else {
        // One line as wide as the widest caption, up to the longest shown whole.
        option.decorationPosition = QStyleOptionViewItem::Left;
        option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        option.text = QStringLiteral("M");
        const QSize oneChar = list_->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list_);
        const int caption = std::min(widestCaption(), kWholeCaptionChars * average);
        size = QSize(oneChar.width() - metrics.horizontalAdvance(option.text) + caption + average, oneChar.height());
    }
    if (size == itemSize_)
        return;
    itemSize_ = size;
    // A gap between the items side by side.
    list_->setGridSize(size + QSize(average, 0));
}

void WaveListWidget::fitColumns()
{
    const QFontMetrics metrics = details_->fontMetrics();
    int widestType = 0;
    for (int tag = 0; tag <= 0x1004; ++tag) {
        TWaveInfo info;
        info.FormatTag = quint16(tag);
        widestType = std::max(widestType, metrics.horizontalAdvance(WaveTypeText(info)));
    }
    // The widest texts each column can hold; digits are of one width in the fonts a desktop uses.
    const int widest[WaveListModel::ColumnCount] = {
        0,
        metrics.horizontalAdvance(QStringLiteral("000.000 kHz, 00 Bit, Stereo")),
        metrics.horizontalAdvance(QStringLiteral("000:00.000")),
        metrics.horizontalAdvance(FileSizeText(qint64(9999999) * 1024)),
        widestType,
    };
    const int margin = details_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, details_) + 1;
    for (int c = 0; c < WaveListModel::ColumnCount; ++c) {
        const int text = widest[c] > 0 ? widest[c] + 2 * margin + 2 : 0;
        details_->setColumnWidth(c, std::max({kColumnWidths[c], text, details_->header()->sectionSizeHint(c)}));
    }
    const char* const widestMeasures[WaveListModel::kMeasureColumns] = {"-inf LUFS", "-inf dBFS", "000.0 BPM",
                                                                        "C#10 -50"};
    for (int i = 0; i < WaveListModel::kMeasureColumns; ++i) {
        const int c = WaveListModel::ColumnCount + i;
        const int text = metrics.horizontalAdvance(QString::fromLatin1(widestMeasures[i])) + 2 * margin + 2;
        details_->setColumnWidth(c, std::max({kColumnWidths[c], text, details_->header()->sectionSizeHint(c)}));
    }
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
    filter_->setFilter(typed);
    // A selected row the filter hides is no longer selected: no command reaches a row not shown.
    if (!selection_->hasSelection())
        selection_->clearCurrentIndex();
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
    // The shown rows keep the model's order, so the places are searched by halves.
    int lo = 0, hi = visibleRowCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (visibleRow(mid) < row)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
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
