// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: playback of the selected wave, one at a time or all waves of the folder in turn.
//
// The sound server never tells the window when a sound ends, so the window estimates the end
// from the playing time in the file's header and arms EndOfSoundTimer for it. The mode is never kept in a
// field: every routine that depends on it reads AllWavesBtn at the moment it runs.
#include "browser/WaveformStrip.h"
#include "browser/BrowserWindow.h"
#include "waves/W32Waves.h"

#include <climits>
#include <cmath>

namespace {

// Slack after the header's playing time, so the timer fires after the sound has ended.
constexpr int kEndSlackMs = 20;

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
    Player->setLoop(LoopBtn->isChecked());
    Player->setFileName(selectedWaveFile());
    if (startSeconds > 0)
        Player->PlayWaveFrom(startSeconds);
    else
        Player->PlayWave();
    // Without a readable header no timer runs, and the play lasts until a stop request.
    StartEndTimer(startSeconds);
    Playing = true;
    Player->setLoop(false);
    Waveform->followPlayback();
    UpdateCommands();
}

void BrowserWindow::StopSingle()
{
    // The timer is left running: when it fires it only ends a play that is already over.
    Player->StopWave();
    Playing = false;
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
    // A looped sound goes on; only the window's idea of playing ends.
    EndOfSoundTimer->stop();
    Playing = false;
    UpdateCommands();
}

void BrowserWindow::StartAllWaves()
{
    const int row = WaveList->selectedRow();
    if (row < 0)
        return;
    // The sequence goes through the rows shown, counted by their places.
    AllWavesIndex = WaveList->placeOfRow(row);
    AllWavesStopped = false;
    PlayAllWavesItem();
}

void BrowserWindow::PlayAllWavesItem()
{
    // Rows with unreadable headers are skipped within this one call, row after row. A loop
    // rather than calling back and forth with NextOfAllWaves, so a folder of thousands of
    // damaged files cannot exhaust the stack.
    for (;;) {
        if (AllWavesStopped)
            return;
        if (AllWavesIndex < 0 || AllWavesIndex >= WaveList->visibleRowCount()) {
            // The rows changed under the sequence; there is nothing left to play.
            StopAllWaves();
            return;
        }
        allWavesRow_ = WaveList->visibleRow(AllWavesIndex);
        WaveList->selectRow(allWavesRow_);
        if (StartEndTimer()) {
            PlaySelected();
            return;
        }
        ++AllWavesIndex;
        if (AllWavesIndex >= WaveList->visibleRowCount()) {
            StopAllWaves();
            return;
        }
    }
}

void BrowserWindow::NextOfAllWaves()
{
    if (AllWavesStopped) {
        SinglePlayEnded();
        return;
    }
    ++AllWavesIndex;
    if (AllWavesIndex < WaveList->visibleRowCount())
        PlayAllWavesItem();
    else
        StopAllWaves();
}

void BrowserWindow::StopAllWaves()
{
    StopSingle();
    EndOfSoundTimer->stop();
    AllWavesStopped = true;
}
