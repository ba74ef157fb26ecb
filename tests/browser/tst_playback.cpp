// SPDX-License-Identifier: GPL-3.0-or-later
// Playback in the browser window: single plays, looping, the all-waves sequence, the end timer,
// and what stops a play (the aids to auditioning are in tst_audition.cpp). The timer is driven by calling EndOfSoundTimerFired() instead of waiting, so the
// tests check the window's states and the sound channel, never the clock.
#include "browserfixture.h"
#include "platform/sound/sound.h"
#include "support/soundmonitor.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QTest>

using namespace browser_testing;
using platform::soundIsPlaying;

// Where no test sound server runs, a play ends at once; the window's states are checked all the same.
#define EXPECT_SOUNDING()                                                                                              \
    do {                                                                                                               \
        if (testing_support::SoundMonitor::serverConfigured()) {                                                       \
            EXPECT_TRUE(soundIsPlaying());                                                                             \
        }                                                                                                              \
    } while (0)

namespace {

// 8 kHz mono 8-bit: one byte per frame keeps seconds of sound small on disk.
constexpr int kRate = 8000;

class PlaybackTest : public BrowserTest {
protected:
    void TearDown() override
    {
        platform::sndPlaySound(nullptr, 0);
        BrowserTest::TearDown();
    }

    /// A wave of the given playing time (a quiet tone, so a server would have something to play).
    void waveOf(const std::string& rel, double seconds)
    {
        drive_.write(rel, testing_support::makeWav(1, kRate, 8, int(seconds * kRate), 440.0));
    }
    void unreadable(const std::string& rel) { drive_.write(rel, std::string(500, 'x')); }

    /// Which of Play and Stop are enabled; menu item and toolbar button must agree.
    std::string commands()
    {
        BrowserWindow& w = form();
        EXPECT_EQ(w.PlayItem->isEnabled(), w.PlayBtn->isEnabled());
        EXPECT_EQ(w.StopItem->isEnabled(), w.StopBtn->isEnabled());
        std::string s;
        if (w.PlayItem->isEnabled())
            s += "Play";
        if (w.StopItem->isEnabled())
            s += s.empty() ? "Stop" : "+Stop";
        return s;
    }

    /// Starts the window in a folder with the modes set.
    BrowserWindow& startIn(const std::string& folder, bool allWaves, bool loop = false)
    {
        BrowserWindow& w = start();
        selectFolder(folder);
        w.AllWavesBtn->setChecked(allWaves);
        w.LoopBtn->setChecked(loop);
        return w;
    }

    QPoint rowCenter(int row)
    {
        QAbstractItemView* v = form().WaveList->currentView();
        return v->visualRect(v->model()->index(form().WaveList->placeOfRow(row), 0)).center();
    }
    void release(Qt::MouseButton button, QPoint at)
    {
        // Sent straight to the list, so consecutive clicks of different buttons at one spot are
        // not merged into double clicks by the test's event synthesis.
        QWidget* viewport = form().WaveList->currentView()->viewport();
        const QPointF local(at);
        const QPointF global(viewport->mapToGlobal(at));
        QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QMouseEvent up(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &up);
        QApplication::processEvents();
    }
    void space()
    {
        form().WaveList->focusList();
        QTest::keyClick(form().WaveList->currentView(), Qt::Key_Space);
        QApplication::processEvents();
    }
};

TEST_F(PlaybackTest, EndTimerIsThePlayingTimeRoundedHalfToEvenPlusTwenty)
{
    // 16 Hz makes playing times whose milliseconds end in exactly .5.
    drive_.write("T/a_halfdown.wav", testing_support::makeWav(1, 16, 8, 1)); // 62.5 ms
    drive_.write("T/b_halfup.wav", testing_support::makeWav(1, 16, 8, 3));   // 187.5 ms
    drive_.write("T/c_nochannels.wav", testing_support::makeWav(0, kRate, 16, 100));
    waveOf("T/d_twoandahalf.wav", 2.5);
    std::string huge = testing_support::makeWav(1, 1, 8, 2); // a header claiming 136 years
    huge.replace(40, 4, std::string("\xF0\xFF\xFF\xFF", 4));
    drive_.write("T/e_huge.wav", huge);
    const struct {
        int row;
        int interval;
    } cases[] = {{0, 82}, {1, 208}, {2, 20}, {3, 2520}, {4, INT_MAX}};

    BrowserWindow& w = startIn("C:\\T\\", false);
    ASSERT_EQ(w.WaveList->rowCount(), 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        w.WaveList->selectRow(c.row);
        w.PlayClick();
        EXPECT_TRUE(w.EndOfSoundTimer->isActive());
        EXPECT_EQ(w.EndOfSoundTimer->interval(), c.interval);
    }
}

TEST_F(PlaybackTest, ASinglePlayHoldsPlayDisabledUntilItsTimerEnds)
{
    waveOf("S/song.wav", 2.5);
    BrowserWindow& w = startIn("C:\\S\\", false);
    EXPECT_EQ(commands(), "");
    w.WaveList->selectRow(0);
    EXPECT_EQ(commands(), "Play");

    w.PlayClick();
    EXPECT_TRUE(w.Playing);
    EXPECT_SOUNDING();
    EXPECT_EQ(commands(), "Stop");
    EXPECT_EQ(w.EndOfSoundTimer->interval(), 2520);
    EXPECT_FALSE(w.Player->Loop());

    // The timer ends the window's play; the sound itself is left to run out.
    w.EndOfSoundTimerFired();
    EXPECT_FALSE(w.Playing);
    EXPECT_FALSE(w.EndOfSoundTimer->isActive());
    EXPECT_EQ(commands(), "Play");
    EXPECT_SOUNDING();
}

TEST_F(PlaybackTest, StopCommandSilencesButLeavesTheTimerToRunOut)
{
    waveOf("S/song.wav", 2.5);
    BrowserWindow& w = startIn("C:\\S\\", false);
    w.WaveList->selectRow(0);
    w.PlayClick();
    w.StopClick();
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_FALSE(w.Playing);
    EXPECT_EQ(commands(), "Play");
    EXPECT_TRUE(w.EndOfSoundTimer->isActive());
    w.EndOfSoundTimerFired();
    EXPECT_FALSE(w.EndOfSoundTimer->isActive());
    EXPECT_FALSE(w.Playing);
}

// Stop is enabled exactly while a sound of the window is heard: a loop past its first pass, a play
// whose row the filter hides, and never a file that gives no sound.
TEST_F(PlaybackTest, StopIsEnabledWhileASoundIsHeardAndOnlyThen)
{
    waveOf("S/a.wav", 0.2);
    waveOf("S/b.wav", 0.2);
    unreadable("S/c.wav");
    BrowserWindow& w = startIn("C:\\S\\", false, true);
    w.WaveList->selectRow(0);
    w.PlayClick();
    EXPECT_FALSE(w.Player->Loop()); // looping belongs to the sound, not to the player
    w.EndOfSoundTimerFired();
    QTest::qWait(400); // twice the wave's length
    EXPECT_SOUNDING();
    if (testing_support::SoundMonitor::serverConfigured()) {
        EXPECT_TRUE(w.Playing);
        EXPECT_EQ(commands(), "Stop");
    }

    // The filter hides the row playing: sound and commands stay; clearing it selects the row again.
    w.FilterBox->setText("b");
    EXPECT_EQ(w.WaveList->selectedRow(), -1);
    EXPECT_SOUNDING();
    if (testing_support::SoundMonitor::serverConfigured()) {
        EXPECT_EQ(commands(), "Stop");
    }
    w.FilterBox->setText("");
    EXPECT_EQ(w.WaveList->selectedRow(), 0);

    // Space stops the loop while it is heard.
    space();
    EXPECT_FALSE(w.Playing);
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_EQ(commands(), "Play");

    // A file that gives no sound leaves nothing to stop.
    w.WaveList->selectRow(2);
    w.PlayClick();
    EXPECT_FALSE(w.Playing);
    EXPECT_EQ(commands(), "Play");
}

TEST_F(PlaybackTest, MouseReleasesOverTheListPlayAndStop)
{
    waveOf("S/a.wav", 2.0);
    waveOf("S/b.wav", 2.0);
    for (bool allWaves : {false, true}) {
        SCOPED_TRACE(allWaves);
        BrowserWindow& w = startIn("C:\\S\\", allWaves);
        // Nothing selected: a left click on empty space starts nothing.
        QWidget* viewport = w.WaveList->currentView()->viewport();
        release(Qt::LeftButton, QPoint(viewport->width() - 5, viewport->height() - 5));
        EXPECT_EQ(w.WaveList->selectedRow(), -1);
        EXPECT_FALSE(w.Playing);
        EXPECT_FALSE(soundIsPlaying());

        release(Qt::LeftButton, rowCenter(1));
        EXPECT_EQ(w.Player->FileName(), "C:\\S\\b.wav");
        EXPECT_TRUE(w.Playing);
        EXPECT_SOUNDING();
        release(Qt::MiddleButton, rowCenter(1));
        EXPECT_SOUNDING();
        release(Qt::RightButton, rowCenter(1));
        EXPECT_FALSE(w.Playing);
        EXPECT_FALSE(soundIsPlaying());
        EXPECT_EQ(w.allWaves().stopped(), allWaves);
        // Enter plays the selected row as the left button does.
        w.WaveList->focusList();
        QTest::keyClick(w.WaveList->currentView(), Qt::Key_Return);
        EXPECT_TRUE(w.Playing);
        EXPECT_EQ(w.Player->FileName(), "C:\\S\\b.wav");
        release(Qt::RightButton, rowCenter(1));

        // A click on the selected row plays it again, and no rename starts after it.
        release(Qt::LeftButton, rowCenter(1));
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        EXPECT_TRUE(w.Playing);
        EXPECT_FALSE(w.WaveList->isEditing());
        release(Qt::RightButton, rowCenter(1));
        closeForm();
    }
}

TEST_F(PlaybackTest, AClickOnEmptySpaceThatFocusesTheListPlaysNothing)
{
    waveOf("S/a.wav", 2.0);
    waveOf("S/b.wav", 2.0);
    BrowserWindow& w = startIn("C:\\S\\", false);
    focus(w.FolderTree);
    // The list gets the focus by the click, and its focus rule selects row 0; the release over no row
    // plays nothing, and the click on empty space leaves no row selected.
    QWidget* viewport = w.WaveList->currentView()->viewport();
    const QPoint empty(viewport->width() - 5, viewport->height() - 5);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(empty), QPointF(viewport->mapToGlobal(empty)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    w.WaveList->focusList();
    QApplication::processEvents();
    ASSERT_EQ(w.WaveList->selectedRow(), 0);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(empty), QPointF(viewport->mapToGlobal(empty)), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &up);
    QApplication::processEvents();
    EXPECT_FALSE(w.Playing);
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_EQ(w.WaveList->selectedRow(), -1);
    EXPECT_EQ(commands(), "");
}

TEST_F(PlaybackTest, RightButtonWhileIdleIsAStopRequestAllTheSame)
{
    waveOf("S/a.wav", 1.0);
    BrowserWindow& w = startIn("C:\\S\\", true);
    EXPECT_FALSE(w.allWaves().stopped());
    release(Qt::RightButton, rowCenter(0));
    EXPECT_TRUE(w.allWaves().stopped());
    EXPECT_FALSE(w.Playing);
}

TEST_F(PlaybackTest, ARowOfUnknownLengthPlaysWhileItIsHeard)
{
    waveOf("S/a.wav", 1.0);
    // A header the list cannot read, but sound the player can: no end time, so the sound itself is followed.
    std::string odd = testing_support::makeWav(1, kRate, 8, kRate / 2, 440.0);
    odd.replace(4, 4, std::string("\x1c\0\0\0", 4)); // a RIFF size that ends before the data chunk
    drive_.write("S/b.wav", odd);
    BrowserWindow& w = startIn("C:\\S\\", false);
    w.WaveList->selectRow(0);
    w.PlayClick();
    ASSERT_TRUE(w.EndOfSoundTimer->isActive());
    // The previous row's timer must not end the play of a row without a known length.
    w.WaveList->selectRow(1);
    w.PlayClick();
    EXPECT_FALSE(w.EndOfSoundTimer->isActive());
    if (testing_support::SoundMonitor::serverConfigured() && soundIsPlaying()) {
        EXPECT_TRUE(w.Playing);
        EXPECT_EQ(commands(), "Stop");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w.Playing; }, 3000));
    }
    EXPECT_EQ(commands(), "Play");
}

// Five rows, the fourth unreadable, started on the third: the fourth is passed at once, and after
// the fifth the sound stops, whether or not loop is on.
TEST_F(PlaybackTest, TheSequenceSkipsUnreadableRowsAndStopsAfterTheLast)
{
    waveOf("A/1.wav", 3.0);
    waveOf("A/2.wav", 3.0);
    waveOf("A/3.wav", 3.0);
    unreadable("A/4.wav");
    waveOf("A/5.wav", 3.0);
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop);
        BrowserWindow& w = startIn("C:\\A\\", true, loop);
        w.WaveList->selectRow(2);
        w.PlayClick();
        EXPECT_EQ(w.allWaves().index(), 2);
        EXPECT_EQ(w.Player->FileName(), "C:\\A\\3.wav");
        EXPECT_EQ(w.EndOfSoundTimer->interval(), 3020);
        EXPECT_EQ(commands(), "Stop");

        w.EndOfSoundTimerFired();
        EXPECT_EQ(w.allWaves().index(), 4);
        EXPECT_EQ(w.WaveList->selectedRow(), 4);
        EXPECT_EQ(w.Player->FileName(), "C:\\A\\5.wav");
        EXPECT_TRUE(w.Playing);
        EXPECT_SOUNDING();
        EXPECT_TRUE(w.EndOfSoundTimer->isActive());

        w.EndOfSoundTimerFired();
        EXPECT_FALSE(w.Playing);
        EXPECT_TRUE(w.allWaves().stopped());
        EXPECT_FALSE(soundIsPlaying());
        EXPECT_FALSE(w.EndOfSoundTimer->isActive());
        EXPECT_EQ(w.WaveList->selectedRow(), 4);
        EXPECT_EQ(commands(), "Play");
        closeForm();
    }
}

TEST_F(PlaybackTest, TheSequencePlaysTheRowsTheFilterShows)
{
    waveOf("A/a kick.wav", 3.0);
    waveOf("A/b snare.wav", 3.0);
    waveOf("A/c kick.wav", 3.0);
    waveOf("A/d kick.wav", 3.0);
    BrowserWindow& w = startIn("C:\\A\\", true);
    w.FilterBox->setText("KICK");
    w.WaveList->selectRow(0);
    w.PlayClick();
    EXPECT_EQ(w.Player->FileName(), "C:\\A\\a kick.wav");
    w.EndOfSoundTimerFired();
    EXPECT_EQ(w.Player->FileName(), "C:\\A\\c kick.wav");
    EXPECT_EQ(w.WaveList->selectedRow(), 2);
    // A click in the waveform of a shown row: the sequence goes on from there through the rows shown.
    w.WaveformClick(1.0);
    w.EndOfSoundTimerFired();
    EXPECT_EQ(w.Player->FileName(), "C:\\A\\d kick.wav");
    EXPECT_TRUE(w.Playing);
    w.WaveList->selectRow(0);
    w.WaveformClick(1.0);
    EXPECT_EQ(w.Player->FileName(), "C:\\A\\a kick.wav");
    w.EndOfSoundTimerFired();
    EXPECT_EQ(w.Player->FileName(), "C:\\A\\c kick.wav");
    // A filter typed during the sequence: it goes on after the row playing, among the rows now shown.
    w.FilterBox->setText("");
    EXPECT_EQ(w.allWaves().index(), 2);
    w.FilterBox->setText("snare");
    w.EndOfSoundTimerFired();
    EXPECT_TRUE(w.allWaves().stopped());
    EXPECT_FALSE(w.Playing);
}

TEST_F(PlaybackTest, ASequenceWithNothingReadableLeftStopsAtOnce)
{
    waveOf("A/1.wav", 1.0);
    unreadable("A/2.wav");
    drive_.mkdirs("A/3.wav");
    BrowserWindow& w = startIn("C:\\A\\", true);
    w.WaveList->selectRow(1);
    w.PlayClick();
    EXPECT_FALSE(w.Playing);
    EXPECT_TRUE(w.allWaves().stopped());
    EXPECT_FALSE(w.EndOfSoundTimer->isActive());
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_EQ(w.WaveList->selectedRow(), 2);
}

TEST_F(PlaybackTest, ChangingTheFolderStopsTheSequenceBeforeRefilling)
{
    waveOf("A/1.wav", 3.0);
    waveOf("A/2.wav", 3.0);
    waveOf("B/x.wav", 3.0);
    BrowserWindow& w = startIn("C:\\A\\", true);
    w.WaveList->selectRow(0);
    w.PlayClick();
    EXPECT_SOUNDING();
    selectFolder("C:\\B\\");
    EXPECT_EQ(w.WaveList->rowCount(), 1);
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_FALSE(w.Playing);
    EXPECT_TRUE(w.allWaves().stopped());
    EXPECT_FALSE(w.EndOfSoundTimer->isActive());
    EXPECT_EQ(w.WaveList->selectedRow(), -1);
}

TEST_F(PlaybackTest, F5DuringASequenceGoesOnAtTheNextIndexOfTheNewRows)
{
    waveOf("A/a.wav", 3.0);
    waveOf("A/c.wav", 3.0);
    waveOf("A/d.wav", 3.0);
    BrowserWindow& w = startIn("C:\\A\\", true);
    w.WaveList->selectRow(0);
    w.PlayClick();
    ASSERT_EQ(w.Player->FileName(), "C:\\A\\a.wav");

    // A new row ahead of the next one: the sequence follows the index, so c.wav moves to index 2
    // and b.wav comes next.
    waveOf("A/b.wav", 3.0);
    w.WaveList->focusList();
    QTest::keyClick(w.WaveList->currentView(), Qt::Key_F5);
    EXPECT_EQ(w.WaveList->rowCount(), 4);
    EXPECT_TRUE(w.Playing);
    EXPECT_SOUNDING();

    w.EndOfSoundTimerFired();
    EXPECT_EQ(w.allWaves().index(), 1);
    EXPECT_EQ(w.WaveList->selectedRow(), 1);
    EXPECT_EQ(w.Player->FileName(), "C:\\A\\b.wav");
    EXPECT_TRUE(w.Playing);
}

TEST_F(PlaybackTest, SwitchingTheModeDuringAPlay)
{
    waveOf("A/1.wav", 3.0);
    waveOf("A/2.wav", 3.0);
    waveOf("A/3.wav", 3.0);

    // Leaving all-waves mode during a sequence ends it after the current row.
    {
        BrowserWindow& w = startIn("C:\\A\\", true);
        w.WaveList->selectRow(0);
        w.PlayClick();
        w.AllWavesBtn->setChecked(false);
        w.EndOfSoundTimerFired();
        EXPECT_FALSE(w.Playing);
        EXPECT_FALSE(w.allWaves().stopped());
        EXPECT_EQ(w.WaveList->selectedRow(), 0);
        closeForm();
    }
    // Entering all-waves mode during a single play continues a sequence that was never
    // stopped, at the row after its index.
    {
        BrowserWindow& w = startIn("C:\\A\\", false);
        w.WaveList->selectRow(2);
        w.PlayClick();
        w.AllWavesBtn->setChecked(true);
        w.EndOfSoundTimerFired();
        EXPECT_EQ(w.allWaves().index(), 1);
        EXPECT_EQ(w.Player->FileName(), "C:\\A\\2.wav");
        EXPECT_TRUE(w.Playing);
        // A sequence that was stopped just ends the play instead.
        w.StopAllWaves();
        w.WaveList->selectRow(2);
        w.AllWavesBtn->setChecked(false);
        w.PlayClick();
        w.AllWavesBtn->setChecked(true);
        w.EndOfSoundTimerFired();
        EXPECT_FALSE(w.Playing);
        EXPECT_FALSE(w.EndOfSoundTimer->isActive());
        EXPECT_SOUNDING();
    }
}

} // namespace
