// SPDX-License-Identifier: GPL-3.0-or-later
// Finding sounds in the browser window: the filter box (text, accents, measure ranges), commands that
// reach only the rows shown, and the measure columns with their cache.
#include "browserfixture.h"
#include "library/soundanalyser.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeView>
#include <cmath>

using namespace browser_testing;
using library::SoundAnalyser;

namespace {

class FindSoundsTest : public BrowserTest {};

QStringList shownCaptions(BrowserWindow& w)
{
    QStringList out;
    for (int place = 0; place < w.WaveList->visibleRowCount(); ++place)
        out << w.WaveList->model()->row(w.WaveList->visibleRow(place)).caption;
    return out;
}

} // namespace

TEST_F(FindSoundsTest, TheFilterShowsCaptionsContainingItsTextIgnoringCaseAndAccents)
{
    for (const char* n : {"Café Kick.wav", "cafe_snare.wav", "KICK 808.wav", "pad.wav", "ÉCHO.wav"})
        wave(std::string("SOUNDS/") + n);
    wave("OTHER/kick far.wav");
    wave("OTHER/hat.wav");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    const QStringList all = shownCaptions(w);
    ASSERT_EQ(all.size(), 5);

    // However narrow the window, the box stays in sight, where toolbar buttons give way.
    const auto boxShown = [&] {
        QApplication::processEvents();
        const QRect box(w.FilterBox->mapTo(&w, QPoint(0, 0)), w.FilterBox->size());
        return w.FilterBox->isVisible() && w.rect().contains(box) &&
               w.FilterBox->width() >= 12 * w.FilterBox->fontMetrics().averageCharWidth();
    };
    for (const int width : {640, w.minimumSizeHint().width()}) {
        w.resize(width, w.height());
        EXPECT_TRUE(boxShown()) << width;
    }

    // Ctrl+F reaches the box from the list; typing filters at once.
    w.WaveList->focusList();
    QTest::keyClick(w.WaveList->currentView(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(w.FilterBox->hasFocus());
    QTest::keyClicks(w.FilterBox, "CAFE");
    EXPECT_EQ(shownCaptions(w), (QStringList{"café kick.wav", "cafe_snare.wav"}));
    EXPECT_TRUE(w.FilterBox->hasFocus());
    EXPECT_TRUE(boxShown());
    EXPECT_EQ(w.FilterCount->text(), "2 of 5 shown");
    // Every word must occur, in any order.
    w.FilterBox->setText("kick cafe");
    EXPECT_EQ(shownCaptions(w), (QStringList{"café kick.wav"}));
    w.FilterBox->setText("écho");
    EXPECT_EQ(shownCaptions(w), (QStringList{"Écho.wav"}));
    w.FilterBox->setText("  kick  ");
    EXPECT_EQ(shownCaptions(w), (QStringList{"café kick.wav", "kick 808.wav"}));
    w.FilterBox->setText("zzz");
    EXPECT_TRUE(shownCaptions(w).isEmpty());

    // A renamed row is judged by its new caption, in its new place.
    w.FilterBox->setText("kick");
    w.WaveList->model()->setCaption(w.WaveList->visibleRow(1), "a kick.wav");
    EXPECT_EQ(shownCaptions(w), (QStringList{"a kick.wav", "café kick.wav"}));
    w.WaveList->model()->setCaption(w.WaveList->visibleRow(1), "café snare.wav");
    EXPECT_EQ(shownCaptions(w), (QStringList{"a kick.wav"}));
    int hidden = 0;
    while (w.WaveList->model()->row(hidden).caption != "café snare.wav")
        ++hidden;
    w.WaveList->model()->setCaption(hidden, "café kick.wav");
    EXPECT_EQ(shownCaptions(w), (QStringList{"a kick.wav", "café kick.wav"}));
    w.WaveList->model()->setCaption(w.WaveList->visibleRow(0), "kick 808.wav");

    // F5 and another folder keep the text.
    w.FilterBox->setText("kick");
    QTest::keyClick(w.WaveList->currentView(), Qt::Key_F5);
    EXPECT_EQ(shownCaptions(w), (QStringList{"café kick.wav", "kick 808.wav"}));
    selectFolder("C:\\OTHER\\");
    EXPECT_EQ(shownCaptions(w), (QStringList{"kick far.wav"}));
    EXPECT_EQ(w.WaveList->rowCount(), 2);
    EXPECT_EQ(w.FilterCount->text(), "1 of 2 shown");
    EXPECT_FALSE(w.FilterCount->isHidden());
    selectFolder("C:\\SOUNDS\\");

    // Escape empties the box: the list is as it was unfiltered; a second Escape goes back to the list.
    QTest::keyClick(w.FilterBox, Qt::Key_Escape);
    EXPECT_TRUE(w.FilterBox->text().isEmpty());
    EXPECT_EQ(shownCaptions(w), all);
    EXPECT_TRUE(w.FilterCount->isHidden());
    EXPECT_EQ(captions(), all);
    QTest::keyClick(w.FilterBox, Qt::Key_Escape);
    EXPECT_TRUE(w.WaveList->hasListFocus());
}

TEST_F(FindSoundsTest, TheFilterReadsMeasureRanges)
{
    for (const char* n : {"a.wav", "b.wav", "c.wav", "d.wav", "unmeasured.wav"})
        wave(std::string("SOUNDS/") + n);
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    auto measured = [](double lufs, double peak, double bpm, double pitch) {
        library::SoundAnalysis m;
        m.loudness = lufs;
        m.peak = peak;
        m.tempo = bpm;
        m.pitch = pitch;
        return m;
    };
    const double none = std::nan("");
    w.WaveList->model()->setMeasures(0, measured(-9.68, -0.1, 120.4, 69.03)); // A4
    w.WaveList->model()->setMeasures(1, measured(-23, -6, 128, 61));       // C#4
    w.WaveList->model()->setMeasures(2, measured(-30, -12, none, none));
    w.WaveList->model()->setMeasures(3, measured(-INFINITY, -INFINITY, none, none)); // silence
    const QStringList all = shownCaptions(w);
    const struct {
        const char* typed;
        QStringList shown;
        bool problem = false; ///< a condition cannot be read: the box says so and the rest applies
    } cases[] = {
        {"bpm:120-130", {"a.wav", "b.wav"}},
        {"bpm:130-120", {"a.wav", "b.wav"}},
        {"bpm:120", {"a.wav"}},
        {"tempo:>125", {"b.wav"}},
        {"lufs:<-20", {"b.wav", "c.wav", "d.wav"}},
        {"lufs:-25--20", {"b.wav"}},
        {"LUFS:>=-23 peak:>-1", {"a.wav"}},
        // A number matches the values shown as it, to the digits typed.
        {"lufs:-9.7", {"a.wav"}},
        {"lufs:-9.68", {"a.wav"}},
        {"lufs:-10", {"a.wav"}},
        {"lufs:-9.3", {}},
        {"lufs:-9.70", {}},
        {"pitch:A4", {"a.wav"}},
        {"pitch:a", {"a.wav"}},
        {"pitch:C#4", {"b.wav"}},
        {"pitch:Db", {"b.wav"}},
        {"pitch:A3", {}},
        {"b bpm:>100", {"b.wav"}},
        {"bpm:abc", all, true},
        {"b bpm:fast", {"b.wav"}, true},
        {"lufs:-20..-10", all, true},
        {"pitch:H4", all, true},
        {"lufs:", all, true},
        {"key:C", {}}, // not a measure: a word, which no caption holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        w.FilterBox->setText(c.typed);
        EXPECT_EQ(shownCaptions(w), c.shown);
        EXPECT_EQ(w.FilterProblem->isVisible(), c.problem);
        const QString word = QString(c.typed).split(' ').last();
        EXPECT_EQ(w.FilterBox->toolTip().contains(word), c.problem) << w.FilterBox->toolTip().toStdString();
    }
    // Measures arriving later take a row into the shown ones.
    w.FilterBox->setText("bpm:60-70");
    w.WaveList->model()->setMeasures(4, measured(-20, -3, 65, none));
    EXPECT_EQ(shownCaptions(w), (QStringList{"unmeasured.wav"}));
}

TEST_F(FindSoundsTest, CommandsReachOnlyTheRowsShown)
{
    for (const char* n : {"kick 1.wav", "snare.wav", "kick 2.wav", "hat.wav"})
        wave(std::string("SOUNDS/") + n);
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    w.WaveList->focusList();
    w.WaveList->selectRow(3); // snare.wav
    ASSERT_EQ(w.SelectedWavePath(), "c:\\sounds\\snare.wav");
    // The filter hiding the selected row takes the selection with it: no command acts on it.
    w.FilterBox->setText("kick");
    EXPECT_EQ(w.WaveList->selectedRow(), -1);
    EXPECT_TRUE(w.SelectedWavePath().empty());
    EXPECT_FALSE(w.DeleteItem->isEnabled() || w.PropertiesItem->isEnabled() || w.PlayItem->isEnabled());
    w.WaveList->selectRow(0); // hat.wav, hidden: not selectable
    EXPECT_EQ(w.WaveList->selectedRow(), -1);
    // Entering the list selects the first row shown.
    focus(w.FolderTree);
    w.WaveList->focusList();
    QApplication::processEvents();
    EXPECT_EQ(w.SelectedWavePath(), "c:\\sounds\\kick 1.wav");
    EXPECT_TRUE(w.DeleteItem->isEnabled());
    // Play and a drag reach that row's file.
    w.PlayClick();
    EXPECT_EQ(w.Player->FileName(), "C:\\SOUNDS\\kick 1.wav"); // as the disk spells it
    std::unique_ptr<QMimeData> dragged(w.WaveList->rowMimeData(w.WaveList->selectedRow()));
    ASSERT_EQ(dragged->urls().size(), 1);
    EXPECT_TRUE(dragged->urls()[0].path().endsWith("/SOUNDS/kick 1.wav")) << dragged->urls()[0].path().toStdString();
    w.StopPlaying();
}

TEST_F(FindSoundsTest, MeasureColumnsFillInTheBackgroundAndComeBackFromTheCache)
{
    drive_.write("SOUNDS/tone.wav", testing_support::makeWav(1, 44100, 16, 44100, 440.0));
    wave("SOUNDS/quiet.wav");
    drive_.write("SOUNDS/text.wav", std::string(500, 'x'));
    // A damaged cache is set aside and started anew.
    QDir().mkpath(config_.path() + "/cache/tonfolio");
    QFile damaged(config_.path() + "/cache/tonfolio/analysis.sqlite");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    w.DetailBtn->trigger();
    QHeaderView* header = w.WaveList->detailView()->header();
    // Hidden until chosen, so a plain list measures nothing.
    for (int c = WaveListModel::ColumnCount; c < WaveListModel::AllColumnCount; ++c)
        EXPECT_TRUE(header->isSectionHidden(c));
    EXPECT_EQ(w.Analyser, nullptr);
    w.WaveList->setShownMeasures(0xF);
    EXPECT_EQ(cell(2, WaveListModel::ColLoudness), ""); // the window goes on before the measures come
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Analyser && w.Analyser->isIdle() && !cell(2, WaveListModel::ColPitch).isEmpty(); }, 20000));
    ASSERT_EQ(captions(), (QStringList{"quiet.wav", "text.wav", "tone.wav"}));
    EXPECT_EQ(cell(0, WaveListModel::ColLoudness), "-inf LUFS");
    EXPECT_EQ(cell(0, WaveListModel::ColPitch), "");
    EXPECT_EQ(cell(1, WaveListModel::ColLoudness), ""); // not a sound
    EXPECT_EQ(cell(2, WaveListModel::ColPeak), "-6.0 dBFS");
    EXPECT_EQ(cell(2, WaveListModel::ColPitch).left(2), "A4");
    EXPECT_EQ(cell(2, WaveListModel::ColTempo), "");
    // The notice about it stays readable while the pointer passes things that have hints.
    const QString notice = w.StatusBar->currentMessage();
    EXPECT_TRUE(notice.contains("analysis.sqlite")) << notice.toStdString();
    w.AboutItem->showStatusText(&w);
    EXPECT_EQ(w.StatusBar->currentMessage(), notice);
    w.FilterBox->setText("peak:>-10");
    EXPECT_EQ(w.WaveList->visibleRowCount(), 1);
    w.FilterBox->clear();
    closeForm(); // saves the columns shown

    // A new run: the columns are shown again and fill in, the known files from the cache.
    // A silent twin of the tone, named differently only in case, is measured as its own file.
    drive_.write("SOUNDS/other.wav", testing_support::makeWav(1, 44100, 16, 4410, 440.0));
    wave("SOUNDS/TONE.wav");
    BrowserWindow& again = start();
    selectFolder("C:\\SOUNDS\\");
    EXPECT_EQ(again.WaveList->shownMeasures(), 0xFu);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return again.Analyser && again.Analyser->isIdle() && !cell(3, WaveListModel::ColPeak).isEmpty() &&
               !cell(4, WaveListModel::ColPeak).isEmpty();
    }, 20000));
    for (int row : {3, 4})
        EXPECT_EQ(cell(row, WaveListModel::ColPeak),
                  again.WaveList->model()->fileName(row) == "tone.wav" ? "-6.0 dBFS" : "-inf dBFS");
    EXPECT_EQ(cell(0, WaveListModel::ColPeak), "-6.0 dBFS"); // other.wav, new
    EXPECT_TRUE(QFile::exists(config_.path() + "/cache/tonfolio/analysis.sqlite"));

    // A job of no files cancels the one before: nothing of it is measured or delivered.
    SoundAnalyser analyser(nullptr, (config_.path() + "/cancel.sqlite").toStdString());
    std::vector<std::string> delivered;
    QObject::connect(&analyser, &SoundAnalyser::measured, [&](quint64 job, const std::vector<SoundAnalyser::Result>& r) {
        for (const auto& [path, m] : r)
            if (job == 2)
                delivered.push_back(path);
    });
    analyser.setFiles(1, {"C:\\SOUNDS\\tone.wav"});
    analyser.setFiles(2, {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return analyser.isIdle(); }, 20000));
    QTest::qWait(50);
    EXPECT_TRUE(delivered.empty()) << delivered.front();
}
