// SPDX-License-Identifier: GPL-3.0-or-later
// The filter of the wave list: which rows its words and measure conditions choose, and the box on a list
// of its own - the mark of a condition it cannot read, the count of the rows shown, Escape.
#include "browser/WaveFilter.h"
#include "browserfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <cmath>

using namespace browser_testing;

namespace {

library::SoundAnalysis measured(double lufs, double peak, double bpm, double pitch)
{
    library::SoundAnalysis m;
    m.loudness = lufs;
    m.peak = peak;
    m.tempo = bpm;
    m.pitch = pitch;
    return m;
}

const char* const kNames[] = {"Café Kick.wav", "cafe_snare.wav", "KICK 808.wav", "pad.wav", "ÉCHO.wav"};

/// The rows of kNames, all but the last measured.
std::vector<WaveRow> measuredRows()
{
    const double none = std::nan("");
    const library::SoundAnalysis measures[] = {
        measured(-9.68, -0.1, 120.4, 69.03),             // A4
        measured(-23, -6, 128, 61),                      // C#4
        measured(-30, -12, none, none),
        measured(-INFINITY, -INFINITY, none, none),      // silence
    };
    std::vector<WaveRow> rows;
    for (const char* name : kNames)
        rows.push_back(listedRow(name, 0));
    // A minor, E minor (a fifth up: it mixes with A minor), F# major.
    const std::optional<library::MusicalKey> keys[] = {library::MusicalKey{9, true}, library::MusicalKey{4, true},
                                                       library::MusicalKey{6, false}, std::nullopt};
    for (size_t i = 0; i < std::size(measures); ++i) {
        rows[i].measures = measures[i];
        rows[i].measures.key = keys[i];
        rows[i].analysed = true;
    }
    // The pad's file describes itself and loops.
    rows[3].fileTexts = QStringLiteral("Analog swell");
    rows[3].loops = 1;
    rows[1].favourite = rows[4].favourite = true;
    rows[1].tags = {"Snare", "Dry"};
    rows[2].tags = {"snare"};
    return rows;
}

TEST(WaveFilterGrammar, WordsAndMeasureConditionsChooseTheRows)
{
    const std::vector<WaveRow> rows = measuredRows();
    const std::vector<int> all{0, 1, 2, 3, 4};
    const struct {
        const char* typed;
        std::vector<int> rows;
        bool problem = false; ///< a condition cannot be read: it is named and the rest applies
    } cases[] = {
        // Every word must occur, in any order, ignoring case and accents.
        {"CAFE", {0, 1}},
        {"kick cafe", {0}},
        {"écho", {4}},
        {"  kick  ", {0, 2}},
        {"zzz", {}},
        {"key:C", {}},
        {"key:Am", {0}},
        {"key:a minor", {}}, // A major, and a word no caption holds
        {"key:8A", {0}},
        {"key:Am~", {0, 1}},
        {"key:Em~ kick", {0}},
        {"key:Gb", {2}},
        {"key:F#m", {}},
        {"key:H", all, true},
        {"key:Am~~", all, true},
        {"key:", all, true},
        {"bpm:120-130", {0, 1}},
        {"bpm:130-120", {0, 1}},
        {"bpm:120", {0}},
        {"tempo:>125", {1}},
        {"lufs:<-20", {1, 2, 3}},
        {"lufs:-25--20", {1}},
        {"LUFS:>=-23 peak:>-1", {0}},
        // A number matches the values shown as it, to the digits typed.
        {"lufs:-9.7", {0}},
        {"lufs:-9.68", {0}},
        {"lufs:-10", {0}},
        {"lufs:-9.3", {}},
        {"lufs:-9.70", {}},
        {"pitch:A4", {0}},
        {"pitch:a", {0}},
        {"pitch:C#4", {1}},
        {"pitch:Db", {1}},
        {"pitch:A3", {}},
        {"snare bpm:>100", {1}},
        {"bpm:abc", all, true},
        {"snare bpm:fast", {1}, true},
        {"lufs:-20..-10", all, true},
        {"pitch:H4", all, true},
        {"lufs:", all, true},
        {"swell", {3}}, // the file's own texts
        {"loop:", {3}},
        {"LOOP: kick", {}},
        // The user's marks: the star, and tags whole, ignoring case.
        {"fav:", {1, 4}},
        {"tag:SNARE", {1, 2}},
        {"tag:snare tag:dry fav: bpm:>100", {1}},
        {"tag:snar", {}},
        {"tag:", all, true},
        {"fav:yes", all, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const WaveFilter filter = WaveFilter::parse(c.typed);
        std::vector<int> chosen;
        for (int r = 0; r < int(rows.size()); ++r)
            if (filter.matches(rows[size_t(r)]))
                chosen.push_back(r);
        EXPECT_EQ(chosen, c.rows);
        const QString word = QString(c.typed).split(' ', Qt::SkipEmptyParts).last();
        EXPECT_EQ(filter.problems.join('\n').contains(word), c.problem) << filter.problems.join('\n').toStdString();
    }
}

class WaveListFilterTest : public BrowserTest {};

TEST_F(WaveListFilterTest, TheBoxMarksWhatItCannotReadCountsTheRowsAndEscapes)
{
    QWidget window;
    auto* list = new WaveListWidget(&window);
    WaveListFilter filter(*list, &window);
    list->model()->setRows(measuredRows());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QSignalSpy changes(&filter, &WaveListFilter::changed);
    QLineEdit* box = filter.box();

    box->setText("CAFE");
    EXPECT_EQ(list->visibleRowCount(), 2);
    EXPECT_EQ(filter.countLabel()->text(), "2 of 5 shown");
    EXPECT_FALSE(filter.countLabel()->isHidden());
    EXPECT_EQ(changes.count(), 1);
    // A condition that cannot be read is marked, and the box's tooltip says why; the rest applies.
    box->setText("snare bpm:fast");
    EXPECT_TRUE(filter.problemMark()->isVisible());
    EXPECT_TRUE(box->toolTip().contains("bpm:fast")) << box->toolTip().toStdString();
    EXPECT_EQ(list->visibleRowCount(), 1);
    box->setText("snare");
    EXPECT_FALSE(filter.problemMark()->isVisible());
    EXPECT_FALSE(box->toolTip().contains("bpm"));

    // A renamed row is judged by its new caption, in its new place.
    box->setText("kick");
    list->model()->setCaption(list->visibleRow(1), "a kick.wav");
    EXPECT_EQ(list->model()->row(list->visibleRow(0)).caption, "a kick.wav");
    list->model()->setCaption(list->visibleRow(0), "a snare.wav");
    EXPECT_EQ(list->visibleRowCount(), 1);
    // Measures arriving later take a row into the shown ones, and the count follows.
    box->setText("bpm:60-70");
    EXPECT_EQ(filter.countLabel()->text(), "0 of 5 shown");
    list->model()->setMeasures(4, measured(-20, -3, 65, std::nan("")));
    EXPECT_EQ(list->visibleRowCount(), 1);
    EXPECT_EQ(filter.countLabel()->text(), "1 of 5 shown");

    // Escape empties the box: every row is shown; a second Escape goes back to the list.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_EQ(list->visibleRowCount(), 5);
    EXPECT_TRUE(filter.countLabel()->isHidden());
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(list->hasListFocus());
}

} // namespace
