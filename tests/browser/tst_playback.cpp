// SPDX-License-Identifier: GPL-3.0-or-later
// Playback wired into the browser window: the Play and Stop commands, the mouse and keys over the list,
// and what stops a play. The rules of the sequence itself are in tst_playbacksequence.cpp. The timer is
// driven by calling the sequence's endOfSound() instead of waiting, so the tests check the window's states and
// the sound channel, never the clock.
#include "browser/SettingsRecord.h"
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

namespace {

class PlaybackTest : public BrowserTest {
protected:
    void TearDown() override
    {
        platform::sndPlaySound(nullptr, 0);
        BrowserTest::TearDown();
    }

    /// Which of Play and Stop are enabled; menu item and toolbar button must agree.
    std::string commands()
    {
        BrowserWindow& w = form();
        EXPECT_EQ(ui(w).PlayItem->isEnabled(), ui(w).PlayBtn->isEnabled());
        EXPECT_EQ(ui(w).StopItem->isEnabled(), ui(w).StopBtn->isEnabled());
        std::string s;
        if (ui(w).PlayItem->isEnabled())
            s += "Play";
        if (ui(w).StopItem->isEnabled())
            s += s.empty() ? "Stop" : "+Stop";
        return s;
    }

    /// Starts the window in a folder with the modes set.
    BrowserWindow& startIn(const std::string& folder, bool allWaves, bool loop = false)
    {
        BrowserWindow& w = start();
        selectFolder(folder);
        ui(w).AllWavesBtn->setChecked(allWaves);
        ui(w).LoopBtn->setChecked(loop);
        return w;
    }

    QPoint rowCenter(int row)
    {
        QAbstractItemView* v = ui(form()).WaveList->currentView();
        return v->visualRect(v->model()->index(ui(form()).WaveList->placeOfRow(row), 0)).center();
    }
    void release(Qt::MouseButton button, QPoint at)
    {
        // Sent straight to the list, so consecutive clicks of different buttons at one spot are
        // not merged into double clicks by the test's event synthesis.
        QWidget* viewport = ui(form()).WaveList->currentView()->viewport();
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
        ui(form()).WaveList->focusList();
        QTest::keyClick(ui(form()).WaveList->currentView(), Qt::Key_Space);
        QApplication::processEvents();
    }
};

TEST_F(PlaybackTest, ASinglePlayHoldsPlayDisabledUntilItsTimerEnds)
{
    waveOf("S/song.wav", 2.5);
    BrowserWindow& w = startIn("C:\\S\\", false);
    EXPECT_EQ(commands(), "");
    ui(w).WaveList->selectRow(0);
    EXPECT_EQ(commands(), "Play");

    w.play();
    EXPECT_TRUE(playback(w).playing());
    EXPECT_TRUE(soundingWhereServed());
    EXPECT_EQ(commands(), "Stop");
    EXPECT_EQ(playback(w).endOfSoundTimer()->interval(), 2520);
    EXPECT_FALSE(playback(w).player()->Loop());

    // The timer ends the window's play; the sound itself is left to run out.
    playback(w).endOfSound();
    EXPECT_FALSE(playback(w).playing());
    EXPECT_FALSE(playback(w).endOfSoundTimer()->isActive());
    EXPECT_EQ(commands(), "Play");
    EXPECT_TRUE(soundingWhereServed());
}

// Stop is enabled exactly while a sound of the window is heard: a loop past its first pass, a play
// whose row the filter hides, and never a file that gives no sound.
TEST_F(PlaybackTest, StopIsEnabledWhileASoundIsHeardAndOnlyThen)
{
    waveOf("S/a.wav", 0.2);
    waveOf("S/b.wav", 0.2);
    unreadable("S/c.wav");
    BrowserWindow& w = startIn("C:\\S\\", false, true);
    ui(w).WaveList->selectRow(0);
    w.play();
    EXPECT_FALSE(playback(w).player()->Loop()); // looping belongs to the sound, not to the player
    playback(w).endOfSound();
    QTest::qWait(400); // twice the wave's length
    EXPECT_TRUE(soundingWhereServed());
    if (testing_support::SoundMonitor::serverConfigured()) {
        EXPECT_TRUE(playback(w).playing());
        EXPECT_EQ(commands(), "Stop");
    }

    // The filter hides the row playing: sound and commands stay; clearing it selects the row again.
    filter(w).box()->setText("b");
    EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
    EXPECT_TRUE(soundingWhereServed());
    if (testing_support::SoundMonitor::serverConfigured()) {
        EXPECT_EQ(commands(), "Stop");
    }
    filter(w).box()->setText("");
    EXPECT_EQ(ui(w).WaveList->selectedRow(), 0);

    // Space stops the loop while it is heard.
    space();
    EXPECT_FALSE(playback(w).playing());
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_EQ(commands(), "Play");

    // A file that gives no sound leaves nothing to stop.
    ui(w).WaveList->selectRow(2);
    w.play();
    EXPECT_FALSE(playback(w).playing());
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
        QWidget* viewport = ui(w).WaveList->currentView()->viewport();
        release(Qt::LeftButton, QPoint(viewport->width() - 5, viewport->height() - 5));
        EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
        EXPECT_FALSE(playback(w).playing());
        EXPECT_FALSE(soundIsPlaying());

        release(Qt::LeftButton, rowCenter(1));
        EXPECT_EQ(playback(w).player()->FileName(), "C:\\S\\b.wav");
        EXPECT_TRUE(playback(w).playing());
        EXPECT_TRUE(soundingWhereServed());
        release(Qt::MiddleButton, rowCenter(1));
        EXPECT_TRUE(soundingWhereServed());
        release(Qt::RightButton, rowCenter(1));
        EXPECT_FALSE(playback(w).playing());
        EXPECT_FALSE(soundIsPlaying());
        EXPECT_EQ(playback(w).allWavesStopped(), allWaves);
        // Enter plays the selected row as the left button does.
        ui(w).WaveList->focusList();
        QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_Return);
        EXPECT_TRUE(playback(w).playing());
        EXPECT_EQ(playback(w).player()->FileName(), "C:\\S\\b.wav");
        release(Qt::RightButton, rowCenter(1));

        // A click on the selected row plays it again, and no rename starts after it.
        release(Qt::LeftButton, rowCenter(1));
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        EXPECT_TRUE(playback(w).playing());
        EXPECT_FALSE(ui(w).WaveList->isEditing());
        release(Qt::RightButton, rowCenter(1));
        closeForm();
    }
}

TEST_F(PlaybackTest, AClickOnEmptySpaceThatFocusesTheListPlaysNothing)
{
    waveOf("S/a.wav", 2.0);
    waveOf("S/b.wav", 2.0);
    BrowserWindow& w = startIn("C:\\S\\", false);
    focus(ui(w).FolderTree);
    // The list gets the focus by the click, and its focus rule selects row 0; the release over no row
    // plays nothing, and the click on empty space leaves no row selected.
    QWidget* viewport = ui(w).WaveList->currentView()->viewport();
    const QPoint empty(viewport->width() - 5, viewport->height() - 5);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(empty), QPointF(viewport->mapToGlobal(empty)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    ASSERT_EQ(ui(w).WaveList->selectedRow(), 0);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(empty), QPointF(viewport->mapToGlobal(empty)), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &up);
    QApplication::processEvents();
    EXPECT_FALSE(playback(w).playing());
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
    EXPECT_EQ(commands(), "");
}

TEST_F(PlaybackTest, RightButtonWhileIdleIsAStopRequestAllTheSame)
{
    waveOf("S/a.wav", 1.0);
    BrowserWindow& w = startIn("C:\\S\\", true);
    EXPECT_FALSE(playback(w).allWavesStopped());
    release(Qt::RightButton, rowCenter(0));
    EXPECT_TRUE(playback(w).allWavesStopped());
    EXPECT_FALSE(playback(w).playing());
}

TEST_F(PlaybackTest, ChangingTheFolderStopsTheSequenceBeforeRefilling)
{
    waveOf("A/1.wav", 3.0);
    waveOf("A/2.wav", 3.0);
    waveOf("B/x.wav", 3.0);
    BrowserWindow& w = startIn("C:\\A\\", true);
    ui(w).WaveList->selectRow(0);
    w.play();
    EXPECT_TRUE(soundingWhereServed());
    selectFolder("C:\\B\\");
    EXPECT_EQ(ui(w).WaveList->rowCount(), 1);
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_FALSE(playback(w).playing());
    EXPECT_TRUE(playback(w).allWavesStopped());
    EXPECT_FALSE(playback(w).endOfSoundTimer()->isActive());
    EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
}

// The filter typed during a sequence: it goes on after the row playing, among the rows now shown.
TEST_F(PlaybackTest, TheSequenceFollowsTheFilterTyped)
{
    waveOf("A/a kick.wav", 3.0);
    waveOf("A/b snare.wav", 3.0);
    waveOf("A/c kick.wav", 3.0);
    BrowserWindow& w = startIn("C:\\A\\", true);
    filter(w).box()->setText("kick");
    ui(w).WaveList->selectRow(0);
    w.play();
    EXPECT_EQ(playback(w).player()->FileName(), "C:\\A\\a kick.wav");
    filter(w).box()->setText("snare");
    playback(w).endOfSound();
    EXPECT_EQ(playback(w).player()->FileName(), "C:\\A\\b snare.wav");
    EXPECT_EQ(commands(), "Stop");
    w.stop();
    EXPECT_TRUE(playback(w).allWavesStopped());
}

// With play on selection, the row the keys select plays as the Play command plays it.
TEST_F(PlaybackTest, PlayOnSelectionPlaysTheRowTheKeysSelect)
{
    waveOf("K/a.wav", 1.0);
    waveOf("K/b.wav", 1.0);
    BrowserWindow& w = startIn("C:\\K\\", false);
    ui(w).DetailBtn->trigger();
    audition(w).playOnSelection()->setChecked(true);
    ui(w).WaveList->focusList();
    ui(w).WaveList->selectRow(0);
    QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_Down);
    EXPECT_EQ(playback(w).player()->FileName(), "C:\\K\\b.wav");
    EXPECT_EQ(commands(), "Stop");
}

// Match Loudness through the window: a measured sound plays at -18 LUFS, a boost stops where its peak
// reaches -1 dBFS, a sound not measured yet plays as it is, and the volume still applies on top.
TEST_F(PlaybackTest, MatchLoudnessPlaysEachMeasuredSoundAtOneLoudness)
{
    using testing_support::SoundMonitor;
    if (!SoundMonitor::serverConfigured())
        GTEST_SKIP() << "no test sound server";
    for (const char* name : {"a", "b", "c", "d"})
        drive_.write(std::string("M/") + name + ".wav", testing_support::makeWav(1, 44100, 16, 44100, 440.0));
    BrowserWindow& w = startIn("C:\\M\\", false);
    EXPECT_FALSE(audition(w).matchLoudness()->isChecked()); // off by default
    ASSERT_FALSE(measuring(w).wanted());
    // What measuring would have found (the sound is the same; the gain follows the measures).
    const struct {
        double lufs, peak, amplitude; ///< amplitude heard against the sound as it is
    } rows[] = {{-18, -6, 1.0}, {-12, -6, 0.5}, {-30, -4, 1.41}, {std::nan(""), std::nan(""), 1.0}};
    WaveListModel* model = ui(w).WaveList->model();
    for (int r = 0; r < 3; ++r) {
        library::SoundAnalysis m;
        m.loudness = rows[r].lufs;
        m.peak = rows[r].peak;
        model->setMeasures(r, m);
    }
    SoundMonitor monitor;
    ASSERT_TRUE(monitor.start());
    const auto heard = [&](int row) {
        ui(w).WaveList->selectRow(row);
        const long from = monitor.mark();
        w.play();
        const long at = monitor.waitForSound(from, 3000);
        monitor.pump(600);
        w.StopPlaying();
        return at < 0 ? 0.0 : monitor.rms(at + SoundMonitor::samplesOf(100), at + SoundMonitor::samplesOf(500));
    };
    const double asItIs = heard(1);
    audition(w).matchLoudness()->setChecked(true);
    for (int r = 0; r < 4; ++r)
        EXPECT_NEAR(heard(r) / asItIs, rows[r].amplitude, 0.08) << "row " << r;
    // The volume on top: half way on the server's cubic scale is an eighth.
    audition(w).volumeSlider()->setValue(50);
    EXPECT_NEAR(heard(1) / asItIs, 0.5 * 0.125, 0.03);
    audition(w).volumeSlider()->setValue(100);
    SettingsRecord kept;
    audition(w).storeSettings(kept);
    EXPECT_EQ(kept.matchLoudness, true);
}

} // namespace
