// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/PlaybackSequence.h"

#include "browser/WaveListWidget.h"
#include "components/WavePlay.h"
#include "waves/W32Waves.h"
#include "waves/WaveMetadata.h"

#include <QTimer>
#include <climits>
#include <cmath>

namespace {

// Slack after the header's playing time, so the timer fires after the sound has ended.
constexpr int kEndSlackMs = 20;
// How often a sound without a known end is asked whether it is still heard.
constexpr int kSoundWatchMs = 250;

} // namespace

PlaybackSequence::PlaybackSequence(WaveListWidget& list, std::function<std::string(int)> rowFile, QObject* parent)
    : QObject(parent), list_(list), rowFile_(std::move(rowFile)), player_(new TWavePlayer(this)),
      endOfSound_(new QTimer(this)), soundWatch_(new QTimer(this))
{
    // A play request starts at once, cuts off what plays, never falls back to the default sound, and
    // repeats only when asked at the time of the request.
    player_->setObjectName("Player");
    player_->setDefault(false);
    player_->setForcePlay(true);
    player_->setLoop(false);
    player_->setWait(false);
    endOfSound_->setObjectName("EndOfSoundTimer");
    endOfSound_->setInterval(1000);
    soundWatch_->setObjectName("SoundWatch");
    soundWatch_->setInterval(kSoundWatchMs);
    connect(soundWatch_, &QTimer::timeout, this, &PlaybackSequence::watchedSoundCheck);
}

int PlaybackSequence::endTimerInterval(long double seconds)
{
    const long double ms = seconds * 1000.0L;
    if (!(ms >= 0.0L))
        return kEndSlackMs;
    if (ms >= static_cast<long double>(INT_MAX - kEndSlackMs))
        return INT_MAX;
    long double rounded = std::floor(ms);
    const long double fraction = ms - rounded;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(rounded, 2.0L) != 0.0L))
        rounded += 1.0L;
    return static_cast<int>(rounded) + kEndSlackMs;
}

std::string PlaybackSequence::selectedFile() const
{
    const int row = list_.selectedRow();
    return row < 0 ? std::string() : rowFile_(row);
}

bool PlaybackSequence::soundHeard() const
{
    return player_->PositionSeconds() >= 0;
}

void PlaybackSequence::watchedSoundCheck()
{
    if (soundHeard())
        return;
    soundWatch_->stop();
    playing_ = false;
    soundLooped_ = false;
    emit stateChanged();
}

void PlaybackSequence::endOfSound()
{
    if (allWavesMode_)
        NextOfAllWaves();
    else
        SinglePlayEnded();
}

void PlaybackSequence::StartPlaying()
{
    if (allWavesMode_)
        StartAllWaves();
    else
        PlaySelected();
}

void PlaybackSequence::StopPlaying()
{
    if (allWavesMode_)
        StopAllWaves();
    else
        StopSingle();
}

void PlaybackSequence::PlaySelected(double startSeconds)
{
    if (list_.selectedRow() < 0)
        return;
    // Loop counts only at the moment the sound starts; the player is left unlooped for whoever plays next.
    soundLooped_ = loop_;
    player_->setLoop(soundLooped_);
    player_->setFileName(selectedFile());
    if (soundLooped_)
        useSamplerLoop();
    emit aboutToPlay(list_.selectedRow());
    if (startSeconds > 0)
        player_->PlayWaveFrom(startSeconds);
    else
        player_->PlayWave();
    soundWatch_->stop();
    // Without a readable header no timer runs: the play lasts while its sound is heard, and a file that
    // gives no sound at all leaves nothing to stop.
    if (StartEndTimer(startSeconds)) {
        playing_ = true;
    } else {
        playing_ = soundHeard();
        if (playing_)
            soundWatch_->start();
    }
    player_->setLoop(false);
    emit soundStarted();
    emit stateChanged();
}

void PlaybackSequence::useSamplerLoop()
{
    // A file with a sampler loop plays its start once, then repeats the loop; the first loop is the one
    // samplers sustain. Alternating and backward loops are repeated forward.
    const WaveMetadata metadata = readWaveMetadata(player_->FileName());
    if (metadata.loops.empty())
        return;
    const WaveLoop& loop = metadata.loops.front();
    player_->setLoopFrames(loop.start, std::int64_t(loop.end) + 1);
}

void PlaybackSequence::StopSingle()
{
    // The timer is left running: when it fires it only ends a play that is already over.
    player_->StopWave();
    soundWatch_->stop();
    playing_ = false;
    soundLooped_ = false;
    emit stateChanged();
}

bool PlaybackSequence::StartEndTimer(double startSeconds)
{
    endOfSound_->stop();
    TWaveInfo info;
    if (!ReadWaveInfo(selectedFile(), info))
        return false;
    endOfSound_->setInterval(endTimerInterval(info.Length - startSeconds));
    endOfSound_->start();
    return true;
}

void PlaybackSequence::SinglePlayEnded()
{
    endOfSound_->stop();
    // A looped sound goes on after its first pass, and with it Stop, until it is stopped or falls silent.
    if (playing_ && soundLooped_ && soundHeard()) {
        soundWatch_->start();
        return;
    }
    soundWatch_->stop();
    playing_ = false;
    emit stateChanged();
}

void PlaybackSequence::StartAllWaves()
{
    const int row = list_.selectedRow();
    if (row < 0)
        return;
    startAt(row);
    PlayAllWavesItem();
}

void PlaybackSequence::startAt(int row)
{
    // The sequence goes through the rows shown, counted by their places.
    index_ = list_.placeOfRow(row);
    row_ = row;
    stopped_ = false;
}

int PlaybackSequence::takeRowAtIndex()
{
    if (index_ < 0 || index_ >= list_.visibleRowCount())
        return -1;
    row_ = list_.visibleRow(index_);
    return row_;
}

void PlaybackSequence::PlayAllWavesItem()
{
    // Rows with unreadable headers are skipped within this one call, row after row. A loop rather than
    // calling back and forth with NextOfAllWaves, so a folder of thousands of damaged files cannot
    // exhaust the stack.
    for (;;) {
        if (stopped_)
            return;
        const int row = takeRowAtIndex();
        if (row < 0) {
            // The rows changed under the sequence; there is nothing left to play.
            StopAllWaves();
            return;
        }
        list_.selectRow(row);
        if (StartEndTimer()) {
            PlaySelected();
            return;
        }
        if (++index_ >= list_.visibleRowCount()) {
            StopAllWaves();
            return;
        }
    }
}

void PlaybackSequence::NextOfAllWaves()
{
    if (stopped_) {
        SinglePlayEnded();
        return;
    }
    if (++index_ < list_.visibleRowCount())
        PlayAllWavesItem();
    else
        StopAllWaves();
}

void PlaybackSequence::StopAllWaves()
{
    StopSingle();
    endOfSound_->stop();
    stopped_ = true;
}

void PlaybackSequence::playFrom(double seconds)
{
    const int row = list_.selectedRow();
    if (row < 0)
        return;
    // In the all-waves mode the sequence goes on from this row through the rows shown after it.
    if (allWavesMode_)
        startAt(row);
    PlaySelected(seconds);
}

void PlaybackSequence::followShownRows()
{
    if (stopped_ || row_ < 0)
        return;
    const int place = list_.placeOfRow(row_);
    index_ = place >= 0 ? place : list_.firstPlaceFrom(row_) - 1;
}
