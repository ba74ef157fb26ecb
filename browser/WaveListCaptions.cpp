// SPDX-License-Identifier: GPL-3.0-or-later
// The wave list's captions and columns: item sizes that fit the captions, two-line captions under
// large icons, and column widths that fit their widest texts.
#include "browser/WaveListCaptions.h"

#include "waves/W32Waves.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QListView>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Column widths of the details view, in column order: the least a column starts with, made for a
// small font; a larger font widens a column to its widest text.
const int kColumnWidths[WaveListModel::AllColumnCount] = {200, 140, 60,  60, 150, 90, 90, 80,
                                                          70,  80,  220, 50, 300, 30, 80};

// Small icons and list give a caption at least this many characters, however narrow the view.
constexpr int kMinCaptionChars = 10;
// A large-icon caption wraps onto two lines of this many characters at least and at most.
constexpr int kIconLineMinChars = 10;
constexpr int kIconLineMaxChars = 24;
// Captions measured exactly among those the estimate finds widest.
constexpr size_t kMeasuredCaptions = 8;

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

/// The widest text a measure column can show at these metrics: that of the values at the ends of what
/// measuring gives, and of every note.
int widestMeasureText(int column, const QFontMetrics& metrics)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values;
    switch (column) {
    case WaveListModel::ColLoudness: // gated below -70; a float file may be far louder than full scale
        values = {-inf, -70.0, 770.6};
        break;
    case WaveListModel::ColPeak: // the quietest and the loudest float sample
        values = {-inf, -896.9, 770.6};
        break;
    case WaveListModel::ColTempo: // a beat at every onset reading
        values = {10335.9};
        break;
    case WaveListModel::ColPitch: // every note the detector can name, half a semitone off either way
        for (int note = -1; note <= 137; ++note)
            values.insert(values.end(), {note - 0.49, note + 0.49});
        break;
    default:
        break;
    }
    WaveRow row;
    row.analysed = true;
    int widest = 0;
    if (column == WaveListModel::ColKey) // every key's name
        for (int k = 0; k < 24; ++k) {
            row.measures.key = library::MusicalKey{k % 12, k >= 12};
            widest = std::max(widest, metrics.horizontalAdvance(measureText(row, column)));
        }
    for (const double v : values) {
        row.measures.loudness = row.measures.peak = row.measures.tempo = row.measures.pitch = v;
        widest = std::max(widest, metrics.horizontalAdvance(measureText(row, column)));
    }
    return widest;
}

} // namespace

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
    // Between words where the name has them: after the last blank, dash or underscore from which the
    // rest fits on the second line, else after the last one (the second line then loses its middle
    // anyway). A name without them breaks at its last dot from which the rest fits, else where the line
    // is full.
    const auto wordEnd = [](QChar c) { return c.isSpace() || c == u'-' || c == u'_'; };
    const auto restFits = [&](int i) { return metrics.horizontalAdvance(text.mid(i)) <= width; };
    int cut = -1, lastWordEnd = -1, dot = -1;
    for (int i = lo; i >= 1 && cut < 0; --i) {
        if (wordEnd(text.at(i - 1))) {
            if (lastWordEnd < 0)
                lastWordEnd = i;
            if (restFits(i))
                cut = i;
        }
        if (text.at(i) == u'.' && dot < 0 && restFits(i))
            dot = i;
    }
    if (cut < 0)
        cut = lastWordEnd > 0 ? lastWordEnd : dot > 0 ? dot : lo;
    return text.left(cut) + QChar(QChar::LineSeparator) + metrics.elidedText(text.mid(cut), Qt::ElideMiddle, width);
}

int iconItemTopGap(const QFontMetrics& metrics)
{
    return std::max(2, metrics.averageCharWidth() * 2 / 3);
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
        // One line as wide as the widest caption, as far as the view's width allows. The width is taken
        // as if a scroll bar were shown, so that one coming or going never changes the items; a row of
        // items as wide as the view would wrap before its first item and stay empty.
        option.decorationPosition = QStyleOptionViewItem::Left;
        option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        option.text = QStringLiteral("M");
        const QSize oneChar = list_->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list_);
        const int around = oneChar.width() - metrics.horizontalAdvance(option.text) + average;
        const int view = list_->maximumViewportSize().width() -
                         list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_) -
                         2 * list_->frameWidth() - 1 - average;
        const int caption = std::min(widestCaption(), std::max(view - around, kMinCaptionChars * average));
        size = QSize(around + caption, oneChar.height());
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
    for (int c = WaveListModel::ColumnCount; c < WaveListModel::ColFolder; ++c) {
        const int text = widestMeasureText(c, metrics) + 2 * margin + 2;
        details_->setColumnWidth(c, std::max({kColumnWidths[c], text, details_->header()->sectionSizeHint(c)}));
    }
    details_->setColumnWidth(WaveListModel::ColFolder, kColumnWidths[WaveListModel::ColFolder]);
    details_->setColumnWidth(WaveListModel::ColSimilarity,
                             std::max(kColumnWidths[WaveListModel::ColSimilarity],
                                      details_->header()->sectionSizeHint(WaveListModel::ColSimilarity)));
    details_->setColumnWidth(WaveListModel::ColFavourite,
                             std::max(kColumnWidths[WaveListModel::ColFavourite],
                                      details_->header()->sectionSizeHint(WaveListModel::ColFavourite)));
}

QSize CaptionDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (option.widget == owner_->listView() && owner_->itemSize().isValid())
        return owner_->itemSize();
    return QStyledItemDelegate::sizeHint(option, index);
}

namespace {

/// The width the style lays an item's text out in: all the room for text, less a margin either side.
int textWidth(const QStyleOptionViewItem& opt)
{
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    QStyleOptionViewItem room = opt;
    room.showDecorationSelected = true;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return style->subElementRect(QStyle::SE_ItemViewItemText, &room, widget).width() - 2 * margin;
}

} // namespace

bool CaptionDelegate::isElided(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (opt.text.isEmpty())
        return false;
    const QFontMetrics metrics(opt.font);
    if (option.widget == owner_->listView() && owner_->viewStyle() == WaveListWidget::vsIcon) {
        QString shown = twoLineCaption(opt.text, metrics, textWidth(opt));
        return shown.remove(QChar(QChar::LineSeparator)) != opt.text;
    }
    return metrics.horizontalAdvance(opt.text) > textWidth(opt);
}

bool CaptionDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index)
{
    // Names that differ only where they are cut look alike: the tooltip tells them apart.
    if (event && event->type() == QEvent::ToolTip && index.isValid() && isElided(option, index)) {
        QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view->viewport(),
                           view->visualRect(index));
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void CaptionDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
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
    opt.text = twoLineCaption(opt.text, QFontMetrics(opt.font), textWidth(opt));
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

bool CaptionDelegate::eventFilter(QObject* object, QEvent* event)
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
