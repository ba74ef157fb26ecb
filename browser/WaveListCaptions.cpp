// SPDX-License-Identifier: GPL-3.0-or-later
// The wave list's captions and columns: item sizes that fit the captions, two-line captions under
// large icons, and column widths that fit their widest texts.
#include "browser/WaveListCaptions.h"

#include "waves/W32Waves.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QTreeView>
#include <algorithm>

namespace {

// Column widths of the details view, in column order: the least a column starts with, made for a
// small font; a larger font widens a column to its widest text.
const int kColumnWidths[WaveListModel::AllColumnCount] = {200, 140, 60, 60, 150, 90, 90, 80, 70};

// Small icons and list show captions up to about this many characters whole, and elide longer ones.
constexpr int kWholeCaptionChars = 40;
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

QSize CaptionDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (option.widget == owner_->listView() && owner_->itemSize().isValid())
        return owner_->itemSize();
    return QStyledItemDelegate::sizeHint(option, index);
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
    // The width the style lays the text out in: all the room for text, less a margin either side.
    QStyleOptionViewItem room = opt;
    room.showDecorationSelected = true;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const int width = style->subElementRect(QStyle::SE_ItemViewItemText, &room, widget).width() - 2 * margin;
    opt.text = twoLineCaption(opt.text, QFontMetrics(opt.font), width);
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
