// SPDX-License-Identifier: GPL-3.0-or-later
// How the wave list's captions and columns fit: whole captions as far as the view allows, two-line
// captions broken between words, tooltips for cut ones, columns as wide as their widest texts.
#include "browserfixture.h"
#include "browser/WaveListCaptions.h"
#include "waves/W32Waves.h"

#include <QHeaderView>
#include <QListView>
#include <QStyle>
#include <QToolTip>
#include <QTreeView>
#include <cmath>

using namespace browser_testing;

namespace {

class WaveListCaptionsTest : public BrowserTest {};

/// The room the style gives a text in an item or cell as the view lays it out now: the style's text
/// rectangle less the margin it keeps either side. Texts longer than that are elided.
int textRoom(QAbstractItemView* view, const QModelIndex& index, QStyleOptionViewItem::Position icon)
{
    QStyleOptionViewItem opt;
    opt.initFrom(view);
    opt.rect = view->visualRect(index);
    opt.font = view->font();
    opt.fontMetrics = view->fontMetrics();
    opt.text = index.data().toString();
    opt.features = QStyleOptionViewItem::HasDisplay;
    opt.showDecorationSelected = true; // the whole room, not the text's own extent
    if (index.column() == 0) {
        opt.features |= QStyleOptionViewItem::HasDecoration;
        opt.decorationSize = view->iconSize();
        opt.decorationPosition = icon;
    }
    if (icon == QStyleOptionViewItem::Top)
        opt.features |= QStyleOptionViewItem::WrapText;
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return view->style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, view).width() - 2 * margin;
}

TEST_F(WaveListCaptionsTest, CaptionsShowWholeAsFarAsTheViewAllowsAndCutOnesTellTheirNameInATooltip)
{
    // Two long names that differ only in their middle, which is what is cut.
    const std::string middle(60, 'm');
    const std::vector<std::string> names = {"a.wav",
                                            "alarm.wav",
                                            "canary.wav",
                                            "snare_0042_take_03_room_mic.wav",
                                            "the field recording at dawn by lake7.wav",
                                            "x.wav",
                                            "zz field recording " + middle + " one at dawn.wav",
                                            "zz field recording " + middle + " two at dawn.wav",
                                            "zz very long name of a field recording at dawn by the lake number 7.wav"};
    for (const auto& n : names)
        wave("SOUNDS/" + n);
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    QListView* view = ui(w).WaveList->listView();
    QAbstractItemModel* m = view->model(); // the rows as shown
    ASSERT_EQ(m->rowCount(), int(names.size()));
    EXPECT_FALSE(QToolTip::isVisible());
    for (int points : {9, 16}) {
        ui(w).WaveList->setFont(QFont(ui(w).WaveList->font().family(), points));
        const QFontMetrics fm = view->fontMetrics();
        const int average = fm.averageCharWidth();
        for (QAction* b : {ui(w).SmallBtn, ui(w).ListBtn, ui(w).LargeBtn, ui(w).DetailBtn}) {
            SCOPED_TRACE(b->objectName().toStdString() + " " + std::to_string(points) + " pt");
            b->trigger();
            QApplication::processEvents();
            QAbstractItemView* shown = ui(w).WaveList->currentView();
            const bool large = b == ui(w).LargeBtn;
            for (int r = 0; r < m->rowCount(); ++r) {
                const QString caption = m->index(r, 0).data().toString();
                const int room =
                    textRoom(shown, m->index(r, 0), large ? QStyleOptionViewItem::Top : QStyleOptionViewItem::Left);
                const QRect rect = shown->visualRect(m->index(r, 0));
                bool cut = fm.horizontalAdvance(caption) > room;
                if (large) {
                    cut = twoLineCaption(caption, fm, room).remove(QChar(QChar::LineSeparator)) != caption;
                    // Two lines under the icon; up to 40 characters show whole.
                    EXPECT_GE(rect.height(), view->iconSize().height() + 2 * fm.lineSpacing());
                    if (caption.size() <= 40) {
                        EXPECT_FALSE(cut) << caption.toStdString();
                    }
                } else if (b != ui(w).DetailBtn) {
                    // One line, as wide as the longest caption up to the view's width; no row is left empty.
                    EXPECT_LE(rect.width(), view->viewport()->width());
                    EXPECT_LE(shown->visualRect(m->index(0, 0)).top(), 1);
                    if (fm.horizontalAdvance(caption) <= view->viewport()->width() - 8 * average) {
                        EXPECT_FALSE(cut) << caption.toStdString();
                    }
                }
                if (!cut)
                    continue;
                // A cut caption tells its whole name in a tooltip.
                QHelpEvent help(QEvent::ToolTip, rect.center(), shown->viewport()->mapToGlobal(rect.center()));
                QApplication::sendEvent(shown->viewport(), &help);
                EXPECT_EQ(QToolTip::text(), caption);
            }
        }
    }
    EXPECT_TRUE(QToolTip::isVisible()); // the long names were cut somewhere
}

TEST_F(WaveListCaptionsTest, TwoLineCaptionsBreakBetweenWords)
{
    const QFontMetrics fm(QFont(QApplication::font().family(), 9));
    const struct {
        QString name;
        QString width; ///< a text as wide as the lines may be
        QString first; ///< the first line
    } cases[] = {
        {"kick_medium.wav", "medium.wav", "kick_"},
        {"snare hit soft medium.wav", "snare hit soft ", "snare hit soft "},
        {"vox-lead-take.wav", "vox-lead-", "vox-lead-"},
        {"abcdefghijklmnop.wav", "abcdefghijklmnop", "abcdefghijklmnop"}, // before its extension
        {"kick_abcdefghijklmnopqrstuvwxyz.wav", "kick_abcdefghi", "kick_"}, // the rest is cut anyway
        {"abcdefghijklmnopqrstuvwxyz", "abcdefghijklm", "abcdefghijklm"},   // nothing to break at
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QStringList lines = twoLineCaption(c.name, fm, fm.horizontalAdvance(c.width)).split(QChar(QChar::LineSeparator));
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], c.first);
        EXPECT_TRUE(lines[1].endsWith(c.name.right(3)));
    }
}

TEST_F(WaveListCaptionsTest, DetailAndMeasureColumnsHoldTheirWidestTextsAtAnyFont)
{
    drive_.write("SOUNDS/odd.wav", testing_support::makeWav(2, 11025, 24, 1000));
    wave("SOUNDS/plain.wav");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ui(w).DetailBtn->trigger();
    QTreeView* view = ui(w).WaveList->detailView();
    QAbstractItemModel* m = view->model(); // the rows as shown
    ASSERT_EQ(m->rowCount(), 2);
    // The widest texts a column can hold, besides the rows' own.
    std::vector<QStringList> widest(WaveListModel::AllColumnCount);
    widest[WaveListModel::ColLength] << "00:00.000"
                                     << "99:59.999";
    widest[WaveListModel::ColSize] << FileSizeText(qint64(9999999) * 1024);
    for (int tag = 0; tag <= 0x1004; ++tag) {
        TWaveInfo info;
        info.FormatTag = quint16(tag);
        widest[WaveListModel::ColType] << WaveTypeText(info);
    }
    // The measures at the ends of what measuring can give: silence, the quietest and the loudest float
    // samples, a beat at every onset reading, notes from below hearing to the top of the analysis.
    const std::pair<int, std::vector<double>> extremes[] = {
        {WaveListModel::ColLoudness, {-double(INFINITY), -70.0, 770.6}},
        {WaveListModel::ColPeak, {-double(INFINITY), -896.9, 770.6}},
        {WaveListModel::ColTempo, {10335.9, 107.4}},
        {WaveListModel::ColPitch, {-0.51, 1.49, 121.49, 129.51, 136.49}},
    };
    for (const auto& [column, values] : extremes)
        for (const double v : values) {
            WaveRow row;
            row.analysed = true;
            row.measures.loudness = row.measures.peak = row.measures.tempo = row.measures.pitch = v;
            widest[size_t(column)] << measureText(row, column);
        }
    widest[WaveListModel::ColKey] << "F# minor" << "Bb major" << "Eb minor";
    ui(w).WaveList->setShownMeasures(0x1F);
    const int specified[] = {200, 140, 60, 60, 150, 0, 0, 0, 0, 0};
    for (int points : {8, 20}) {
        SCOPED_TRACE(std::to_string(points) + " pt");
        ui(w).WaveList->setFont(QFont(ui(w).WaveList->font().family(), points));
        QApplication::processEvents();
        const QFontMetrics fm = view->fontMetrics();
        for (int c = 1; c <= WaveListModel::ColKey; ++c) {
            EXPECT_GE(view->columnWidth(c), specified[c]);
            EXPECT_EQ(view->header()->sectionResizeMode(c), QHeaderView::Interactive); // the user may resize
            QStringList texts = widest[size_t(c)];
            for (int r = 0; r < m->rowCount(); ++r)
                texts << m->index(r, c).data().toString();
            const int room = textRoom(view, m->index(0, c), QStyleOptionViewItem::Left);
            for (const QString& t : texts)
                EXPECT_LE(fm.horizontalAdvance(t), room) << "column " << c << ": " << t.toStdString();
        }
    }
}

} // namespace
