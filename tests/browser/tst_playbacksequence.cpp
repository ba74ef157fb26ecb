// SPDX-License-Identifier: GPL-3.0-or-later
// The playback sequence on a wave list of its own: the end timer, single plays and loops, and the
// all-waves sequence through the rows shown. The timer is driven by calling endOfSound() instead of
// waiting, so the tests check the states and the sound channel, never the clock.
#include "browserfixture.h"
#include "platform/sound/sound.h"
#include "support/soundmonitor.h"

#include <QTest>
#include <QTimer>
#include <climits>

using namespace browser_testing;
using platform::soundIsPlaying;

namespace {

class PlaybackSequenceTest : public BrowserTest {
protected:
    void TearDown() override
    {
        platform::sndPlaySound(nullptr, 0);
        sequence_.reset();
        list_.reset();
        BrowserTest::TearDown();
    }

    /// A list of a folder's waves and a sequence over it, in the modes given.
    PlaybackSequence& over(const std::string& folder, bool allWaves, bool loop = false)
    {
        sequence_.reset();
        list_ = std::make_unique<WaveListWidget>();
        const std::string path = fillList(*list_, folder);
        sequence_ = std::make_unique<PlaybackSequence>(
            *list_, [this, path](int row) { return path + list_->model()->fileName(row); });
        sequence_->setAllWaves(allWaves);
        sequence_->setLoop(loop);
        return *sequence_;
    }
    /// Plays the row as the Play command would.
    void playRow(int row)
    {
        list_->selectRow(row);
        sequence_->StartPlaying();
    }
    std::string heard() const { return sequence_->player()->FileName(); }
    QTimer& timer() const { return *sequence_->endOfSoundTimer(); }

    std::unique_ptr<WaveListWidget> list_;
    std::unique_ptr<PlaybackSequence> sequence_;
};

TEST_F(PlaybackSequenceTest, EndTimerIsThePlayingTimeRoundedHalfToEvenPlusTwenty)
{
    // 16 Hz makes playing times whose milliseconds end in exactly .5.
    drive_.write("T/a_halfdown.wav", testing_support::makeWav(1, 16, 8, 1)); // 62.5 ms
    drive_.write("T/b_halfup.wav", testing_support::makeWav(1, 16, 8, 3));   // 187.5 ms
    drive_.write("T/c_nochannels.wav", testing_support::makeWav(0, kToneRate, 16, 100));
    waveOf("T/d_twoandahalf.wav", 2.5);
    std::string huge = testing_support::makeWav(1, 1, 8, 2); // a header claiming 136 years
    huge.replace(40, 4, std::string("\xF0\xFF\xFF\xFF", 4));
    drive_.write("T/e_huge.wav", huge);
    const struct {
        int row;
        int interval;
    } cases[] = {{0, 82}, {1, 208}, {2, 20}, {3, 2520}, {4, INT_MAX}};

    PlaybackSequence& s = over("T", false);
    ASSERT_EQ(list_->rowCount(), 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        playRow(c.row);
        EXPECT_TRUE(timer().isActive());
        EXPECT_EQ(timer().interval(), c.interval);
    }
    s.StopPlaying();
}

// A stop silences but leaves the timer to run out; a row whose header is unreadable plays while it is
// heard, and the timer of the row before does not end it.
TEST_F(PlaybackSequenceTest, SinglePlaysEndByTheirTimerOrWhenNoLongerHeard)
{
    waveOf("S/a.wav", 2.5);
    // A header the list cannot read, but sound the player can: no end time, so the sound itself is followed.
    std::string odd = testing_support::makeWav(1, kToneRate, 8, kToneRate / 2, 440.0);
    odd.replace(4, 4, std::string("\x1c\0\0\0", 4)); // a RIFF size that ends before the data chunk
    drive_.write("S/b.wav", odd);
    PlaybackSequence& s = over("S", false);
    playRow(0);
    EXPECT_TRUE(s.playing());
    EXPECT_TRUE(soundingWhereServed());
    EXPECT_FALSE(s.player()->Loop()); // looping belongs to the sound, not to the player
    s.StopPlaying();
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_FALSE(s.playing());
    EXPECT_TRUE(timer().isActive());
    s.endOfSound();
    EXPECT_FALSE(timer().isActive() || s.playing());

    playRow(0);
    ASSERT_TRUE(timer().isActive());
    playRow(1);
    EXPECT_FALSE(timer().isActive());
    if (testing_support::SoundMonitor::serverConfigured() && soundIsPlaying()) {
        EXPECT_TRUE(s.playing());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !s.playing(); }, 3000));
    }
    EXPECT_FALSE(s.playing());
}

// Five rows, the fourth unreadable, started on the third: the fourth is passed at once, and after
// the fifth the sound stops, whether or not loop is on.
TEST_F(PlaybackSequenceTest, TheSequenceSkipsUnreadableRowsAndStopsAfterTheLast)
{
    waveOf("A/1.wav", 3.0);
    waveOf("A/2.wav", 3.0);
    waveOf("A/3.wav", 3.0);
    unreadable("A/4.wav");
    waveOf("A/5.wav", 3.0);
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop);
        PlaybackSequence& s = over("A", true, loop);
        playRow(2);
        EXPECT_EQ(s.allWavesIndex(), 2);
        EXPECT_EQ(heard(), "C:\\A\\3.wav");
        EXPECT_EQ(timer().interval(), 3020);

        s.endOfSound();
        EXPECT_EQ(s.allWavesIndex(), 4);
        EXPECT_EQ(list_->selectedRow(), 4);
        EXPECT_EQ(heard(), "C:\\A\\5.wav");
        EXPECT_TRUE(s.playing());
        EXPECT_TRUE(soundingWhereServed());
        EXPECT_TRUE(timer().isActive());

        s.endOfSound();
        EXPECT_FALSE(s.playing());
        EXPECT_TRUE(s.allWavesStopped());
        EXPECT_FALSE(soundIsPlaying());
        EXPECT_FALSE(timer().isActive());
        EXPECT_EQ(list_->selectedRow(), 4);
    }
}

TEST_F(PlaybackSequenceTest, ASequenceWithNothingReadableLeftStopsAtOnce)
{
    waveOf("A/1.wav", 1.0);
    unreadable("A/2.wav");
    drive_.mkdirs("A/3.wav");
    PlaybackSequence& s = over("A", true);
    playRow(1);
    EXPECT_FALSE(s.playing());
    EXPECT_TRUE(s.allWavesStopped());
    EXPECT_FALSE(timer().isActive());
    EXPECT_FALSE(soundIsPlaying());
    EXPECT_EQ(list_->selectedRow(), 2);
}

TEST_F(PlaybackSequenceTest, TheSequenceGoesThroughTheRowsShownAndOnFromAPointPlayed)
{
    waveOf("A/a kick.wav", 3.0);
    waveOf("A/b snare.wav", 3.0);
    waveOf("A/c kick.wav", 3.0);
    waveOf("A/d kick.wav", 3.0);
    PlaybackSequence& s = over("A", true);
    list_->setFilterText("KICK");
    playRow(0);
    EXPECT_EQ(heard(), "C:\\A\\a kick.wav");
    s.endOfSound();
    EXPECT_EQ(heard(), "C:\\A\\c kick.wav");
    EXPECT_EQ(list_->selectedRow(), 2);
    // Played from a point of a shown row: the sequence goes on from there through the rows shown.
    s.playFrom(1.0);
    s.endOfSound();
    EXPECT_EQ(heard(), "C:\\A\\d kick.wav");
    EXPECT_TRUE(s.playing());
    list_->selectRow(0);
    s.playFrom(1.0);
    EXPECT_EQ(heard(), "C:\\A\\a kick.wav");
    s.endOfSound();
    EXPECT_EQ(heard(), "C:\\A\\c kick.wav");
    // Other rows shown during the sequence: it goes on after the row playing, among the rows now shown.
    list_->setFilterText("");
    s.followShownRows();
    EXPECT_EQ(s.allWavesIndex(), 2);
    list_->setFilterText("snare");
    s.followShownRows();
    s.endOfSound();
    EXPECT_TRUE(s.allWavesStopped());
    EXPECT_FALSE(s.playing());
}

TEST_F(PlaybackSequenceTest, NewRowsDuringASequenceGoOnAtTheNextIndex)
{
    waveOf("A/a.wav", 3.0);
    waveOf("A/c.wav", 3.0);
    waveOf("A/d.wav", 3.0);
    PlaybackSequence& s = over("A", true);
    playRow(0);
    ASSERT_EQ(heard(), "C:\\A\\a.wav");

    // A new row ahead of the next one (the list filled again, as F5 does): the sequence follows the
    // index, so c.wav moves to index 2 and b.wav comes next.
    waveOf("A/b.wav", 3.0);
    fillList(*list_, "A");
    EXPECT_EQ(list_->rowCount(), 4);
    EXPECT_TRUE(s.playing());
    EXPECT_TRUE(soundingWhereServed());
    s.endOfSound();
    EXPECT_EQ(s.allWavesIndex(), 1);
    EXPECT_EQ(list_->selectedRow(), 1);
    EXPECT_EQ(heard(), "C:\\A\\b.wav");
    EXPECT_TRUE(s.playing());
}

TEST_F(PlaybackSequenceTest, SwitchingTheModeDuringAPlay)
{
    waveOf("A/1.wav", 3.0);
    waveOf("A/2.wav", 3.0);
    waveOf("A/3.wav", 3.0);

    // Leaving all-waves mode during a sequence ends it after the current row.
    PlaybackSequence& sequence = over("A", true);
    playRow(0);
    sequence.setAllWaves(false);
    sequence.endOfSound();
    EXPECT_FALSE(sequence.playing());
    EXPECT_FALSE(sequence.allWavesStopped());
    EXPECT_EQ(list_->selectedRow(), 0);

    // Entering all-waves mode during a single play continues a sequence that was never stopped, at the
    // row after its index.
    PlaybackSequence& s = over("A", false);
    playRow(2);
    s.setAllWaves(true);
    s.endOfSound();
    EXPECT_EQ(s.allWavesIndex(), 1);
    EXPECT_EQ(heard(), "C:\\A\\2.wav");
    EXPECT_TRUE(s.playing());
    // A sequence that was stopped just ends the play instead.
    s.StopAllWaves();
    s.setAllWaves(false);
    playRow(2);
    s.setAllWaves(true);
    s.endOfSound();
    EXPECT_FALSE(s.playing());
    EXPECT_FALSE(timer().isActive());
    EXPECT_TRUE(soundingWhereServed());
}

} // namespace
