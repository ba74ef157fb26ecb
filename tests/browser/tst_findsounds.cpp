// SPDX-License-Identifier: GPL-3.0-or-later
// Finding sounds in the browser window: the filter box in the window, commands that reach only the rows
// shown, and the measure columns (the filter's rules are in tst_wavelistfilter.cpp, measuring in
// tst_wavemeasuring.cpp).
#include "browserfixture.h"
#include "library/soundanalyser.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeView>

using namespace browser_testing;

namespace {

class FindSoundsTest : public BrowserTest {};

QStringList shownCaptions(BrowserWindow& w)
{
    QStringList out;
    for (int place = 0; place < ui(w).WaveList->visibleRowCount(); ++place)
        out << ui(w).WaveList->model()->row(ui(w).WaveList->visibleRow(place)).caption;
    return out;
}

} // namespace

TEST_F(FindSoundsTest, TheFilterBoxStaysInSightAndKeepsItsTextForOtherRows)
{
    for (const char* n : {"Café Kick.wav", "cafe_snare.wav", "KICK 808.wav", "pad.wav", "ÉCHO.wav"})
        wave(std::string("SOUNDS/") + n);
    wave("OTHER/kick far.wav");
    wave("OTHER/hat.wav");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ASSERT_EQ(shownCaptions(w).size(), 5);

    // However narrow the window, the box stays in sight, where toolbar buttons give way.
    const auto boxShown = [&] {
        QApplication::processEvents();
        const QRect box(filter(w).box()->mapTo(&w, QPoint(0, 0)), filter(w).box()->size());
        return filter(w).box()->isVisible() && w.rect().contains(box) &&
               filter(w).box()->width() >= 12 * filter(w).box()->fontMetrics().averageCharWidth();
    };
    for (const int width : {640, w.minimumSizeHint().width()}) {
        w.resize(width, w.height());
        EXPECT_TRUE(boxShown()) << width;
    }

    // Ctrl+F reaches the box from the list; typing filters at once.
    ui(w).WaveList->focusList();
    QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(filter(w).box()->hasFocus());
    QTest::keyClicks(filter(w).box(), "CAFE");
    EXPECT_EQ(shownCaptions(w), (QStringList{"café kick.wav", "cafe_snare.wav"}));
    EXPECT_TRUE(filter(w).box()->hasFocus());
    EXPECT_TRUE(boxShown());
    EXPECT_EQ(filter(w).countLabel()->text(), "2 of 5 shown");
    // F5 and another folder keep the text.
    filter(w).box()->setText("kick");
    QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_F5);
    EXPECT_EQ(shownCaptions(w), (QStringList{"café kick.wav", "kick 808.wav"}));
    selectFolder("C:\\OTHER\\");
    EXPECT_EQ(shownCaptions(w), (QStringList{"kick far.wav"}));
    EXPECT_EQ(ui(w).WaveList->rowCount(), 2);
    EXPECT_EQ(filter(w).countLabel()->text(), "1 of 2 shown");
    EXPECT_FALSE(filter(w).countLabel()->isHidden());
}

TEST_F(FindSoundsTest, CommandsReachOnlyTheRowsShown)
{
    for (const char* n : {"kick 1.wav", "snare.wav", "kick 2.wav", "hat.wav"})
        wave(std::string("SOUNDS/") + n);
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ui(w).WaveList->focusList();
    ui(w).WaveList->selectRow(3); // snare.wav
    ASSERT_EQ(w.SelectedWavePath(), "c:\\sounds\\snare.wav");
    // The filter hiding the selected row takes the selection with it: no command acts on it.
    filter(w).box()->setText("kick");
    EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
    EXPECT_TRUE(w.SelectedWavePath().empty());
    EXPECT_FALSE(ui(w).DeleteItem->isEnabled() || ui(w).PropertiesItem->isEnabled() || ui(w).PlayItem->isEnabled());
    ui(w).WaveList->selectRow(0); // hat.wav, hidden: not selectable
    EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
    // Entering the list selects the first row shown.
    focus(ui(w).FolderTree);
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    EXPECT_EQ(w.SelectedWavePath(), "c:\\sounds\\kick 1.wav");
    EXPECT_TRUE(ui(w).DeleteItem->isEnabled());
    // Play and a drag reach that row's file.
    w.play();
    EXPECT_EQ(playback(w).player()->FileName(), "C:\\SOUNDS\\kick 1.wav"); // as the disk spells it
    std::unique_ptr<QMimeData> dragged(ui(w).WaveList->rowMimeData(ui(w).WaveList->selectedRow()));
    ASSERT_EQ(dragged->urls().size(), 1);
    EXPECT_TRUE(dragged->urls()[0].path().endsWith("/SOUNDS/kick 1.wav")) << dragged->urls()[0].path().toStdString();
    w.StopPlaying();
}

// The measure columns in the window: stored as shown, they fill in while the folder is listed; the notice
// of a cache set aside stays readable; the filter uses them.
TEST_F(FindSoundsTest, StoredMeasureColumnsFillInWhileTheFolderIsListed)
{
    drive_.write("SOUNDS/tone.wav", testing_support::makeWav(1, 44100, 16, 44100, 440.0));
    wave("SOUNDS/quiet.wav");
    // A damaged cache is set aside and started anew.
    QDir().mkpath(config_.path() + "/cache/tonfolio");
    QFile damaged(config_.path() + "/cache/tonfolio/analysis.sqlite");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    setDword("MeasureColumns", 0x9F); // with a bit of no column
    setDword("DisplayFiles", 4);
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    EXPECT_EQ(ui(w).WaveList->shownMeasures(), 0x1Fu);
    ASSERT_TRUE(QTest::qWaitFor([&] { return measuring(w).allMeasured(); }, 20000));
    EXPECT_EQ(cell(1, WaveListModel::ColPeak), "-6.0 dBFS");
    // The notice about it stays readable while the pointer passes things that have hints.
    const QString notice = ui(w).StatusBar->currentMessage();
    EXPECT_TRUE(notice.contains("analysis.sqlite")) << notice.toStdString();
    ui(w).AboutItem->showStatusText(&w);
    EXPECT_EQ(ui(w).StatusBar->currentMessage(), notice);
    filter(w).box()->setText("peak:>-10");
    EXPECT_EQ(ui(w).WaveList->visibleRowCount(), 1);
}
