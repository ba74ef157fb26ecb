// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: playback of the selected wave, one at a time or all waves of the folder in turn.
//
// The sound server never tells the window when a sound ends, so the window estimates the end
// from the playing time in the file's header and arms EndOfSoundTimer for it. A sound that outlives
// that time (a loop) or whose time is unknown is watched until it is no longer heard, so Stop stays
// enabled exactly while there is something to stop. The mode is never kept in a field: every routine
// that depends on it reads AllWavesBtn at the moment it runs.
#include "browser/WaveformStrip.h"
#include "browser/BrowserWindow.h"
#include "waves/W32Waves.h"

#include <climits>
#include <cmath>

namespace {

// Slack after the header's playing time, so the timer fires after the sound has ended.
constexpr int kEndSlackMs = 20;
// How often a sound without a known end is asked whether it is still heard.
constexpr int kSoundWatchMs = 250;

/// The timer interval for a playing time: milliseconds rounded to the nearest integer (halves to
/// the even neighbour), plus the slack. A header may claim a playing time of years; the interval
/// then stays at the longest the timer can take rather than wrapping round to a short or
/// negative one.
int endTimerInterval(long double seconds)
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

} // namespace

void BrowserWindow::setupPlayback()
{
    allWaves_ = std::make_unique<AllWavesPosition>(*WaveList);
    EndOfSoundTimer->setInterval(1000);
    connect(EndOfSoundTimer, &QTimer::timeout, this, &BrowserWindow::EndOfSoundTimerFired);
    soundWatch_ = new QTimer(this);
    soundWatch_->setObjectName("SoundWatch");
    soundWatch_->setInterval(kSoundWatchMs);
    connect(soundWatch_, &QTimer::timeout, this, &BrowserWindow::watchedSoundCheck);
}

bool BrowserWindow::soundHeard() const
{
    return Player->PositionSeconds() >= 0;
}

void BrowserWindow::watchedSoundCheck()
{
    if (soundHeard())
        return;
    soundWatch_->stop();
    Playing = false;
    soundLooped_ = false;
    UpdateCommands();
}

void BrowserWindow::PlayClick()
{
    StartPlaying();
    UpdateCommands();
}

void BrowserWindow::StopClick()
{
    StopPlaying();
    UpdateCommands();
}

// Runs when a button is released over the list: the press has already selected the row under
// the pointer, so the release plays the row that was clicked.
void BrowserWindow::WaveListMouseDown(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        StartPlaying();
    else if (button == Qt::RightButton)
        StopPlaying();
}

void BrowserWindow::EndOfSoundTimerFired()
{
    if (AllWavesBtn->isChecked())
        NextOfAllWaves();
    else
        SinglePlayEnded();
}

void BrowserWindow::StartPlaying()
{
    if (AllWavesBtn->isChecked())
        StartAllWaves();
    else
        PlaySelected();
}

void BrowserWindow::StopPlaying()
{
    if (AllWavesBtn->isChecked())
        StopAllWaves();
    else
        StopSingle();
}

void BrowserWindow::PlaySelected(double startSeconds)
{
    if (WaveList->selectedRow() < 0)
        return;
    // Loop counts only at the moment the sound starts; the player is left unlooped for
    // whoever plays next.
    soundLooped_ = LoopBtn->isChecked();
    Player->setLoop(soundLooped_);
    Player->setFileName(selectedWaveFile());
    if (startSeconds > 0)
        Player->PlayWaveFrom(startSeconds);
    else
        Player->PlayWave();
    soundWatch_->stop();
    // Without a readable header no timer runs: the play lasts while its sound is heard, and a file
    // that gives no sound at all leaves nothing to stop.
    if (StartEndTimer(startSeconds)) {
        Playing = true;
    } else {
        Playing = soundHeard();
        if (Playing)
            soundWatch_->start();
    }
    Player->setLoop(false);
    Waveform->followPlayback();
    UpdateCommands();
}

void BrowserWindow::StopSingle()
{
    // The timer is left running: when it fires it only ends a play that is already over.
    Player->StopWave();
    soundWatch_->stop();
    Playing = false;
    soundLooped_ = false;
    UpdateCommands();
}

bool BrowserWindow::StartEndTimer(double startSeconds)
{
    EndOfSoundTimer->stop();
    TWaveInfo info;
    if (!ReadWaveInfo(selectedWaveFile(), info))
        return false;
    EndOfSoundTimer->setInterval(endTimerInterval(info.Length - startSeconds));
    EndOfSoundTimer->start();
    return true;
}

void BrowserWindow::SinglePlayEnded()
{
    EndOfSoundTimer->stop();
    // A looped sound goes on after its first pass, and with it Stop, until it is stopped or falls silent.
    if (Playing && soundLooped_ && soundHeard()) {
        soundWatch_->start();
        return;
    }
    soundWatch_->stop();
    Playing = false;
    UpdateCommands();
}

void BrowserWindow::StartAllWaves()
{
    const int row = WaveList->selectedRow();
    if (row < 0)
        return;
    // The sequence goes through the rows shown, counted by their places.
    allWaves_->startAt(row);
    PlayAllWavesItem();
}

void BrowserWindow::PlayAllWavesItem()
{
    // Rows with unreadable headers are skipped within this one call, row after row. A loop
    // rather than calling back and forth with NextOfAllWaves, so a folder of thousands of
    // damaged files cannot exhaust the stack.
    for (;;) {
        if (allWaves_->stopped())
            return;
        const int row = allWaves_->take();
        if (row < 0) {
            // The rows changed under the sequence; there is nothing left to play.
            StopAllWaves();
            return;
        }
        WaveList->selectRow(row);
        if (StartEndTimer()) {
            PlaySelected();
            return;
        }
        if (!allWaves_->advance()) {
            StopAllWaves();
            return;
        }
    }
}

void BrowserWindow::NextOfAllWaves()
{
    if (allWaves_->stopped()) {
        SinglePlayEnded();
        return;
    }
    if (allWaves_->advance())
        PlayAllWavesItem();
    else
        StopAllWaves();
}

void BrowserWindow::StopAllWaves()
{
    StopSingle();
    EndOfSoundTimer->stop();
    allWaves_->stop();
}
