// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Playback of the wave list's rows: one at a time, looped or not, or all rows shown in turn.

#include <QObject>
#include <functional>
#include <string>

class QTimer;
class TWavePlayer;
class WaveListWidget;

/// Plays the selected row of a wave list through its own player, or all rows the list shows, one after
/// another, from the selected row down (the all-waves mode). The sound server never tells when a sound
/// ends, so the end is estimated from the playing time in the file's header and the end-of-sound timer is
/// armed for it; a sound that outlives that time (a loop) or whose time is unknown is watched until it is
/// no longer heard, so that playing() holds exactly while there is something to stop.
///
/// It is the one writer of the all-waves position: an index among the rows shown (the filter hides the
/// others) and the model row it stands for, so that a new filter or order keeps the sequence at the row
/// it plays.
class PlaybackSequence : public QObject {
    Q_OBJECT
public:
    /// `rowFile` gives the file of a model row as the disk spells it, empty when that names nothing now.
    PlaybackSequence(WaveListWidget& list, std::function<std::string(int row)> rowFile, QObject* parent = nullptr);

    TWavePlayer* player() const { return player_; }
    /// Armed for the end of the current sound; its owner connects it to whatever handles that end.
    QTimer* endOfSoundTimer() const { return endOfSound_; }

    /// A sound of the sequence is heard: a play whose time is not over, a loop, a sequence.
    bool playing() const { return playing_; }
    /// Where the all-waves sequence is among the rows shown, and whether it was stopped or ran past the
    /// last row (a start clears that).
    int allWavesIndex() const { return index_; }
    bool allWavesStopped() const { return stopped_; }

    /// The modes as the Loop and All waves buttons show them. Loop counts when a sound starts; the
    /// all-waves mode whenever a routine depends on it.
    void setLoop(bool looped) { loop_ = looped; }
    void setAllWaves(bool allWaves) { allWavesMode_ = allWaves; }
    bool allWavesMode() const { return allWavesMode_; }

    /// Play and Stop by the mode: the whole sequence, or the selected row alone.
    void StartPlaying();
    void StopPlaying();
    /// Plays the selected row, from `startSeconds` into it.
    void PlaySelected(double startSeconds = 0);
    void StopSingle();
    /// Arms the end-of-sound timer for the selected wave's remaining length; false when its header is
    /// unreadable.
    bool StartEndTimer(double startSeconds = 0);
    void SinglePlayEnded();
    void StartAllWaves();
    void PlayAllWavesItem();
    void NextOfAllWaves();
    void StopAllWaves();

    /// The sound should have ended: the all-waves sequence goes on to the next row, else playing ends.
    void endOfSound();
    /// Plays the selected row from a point in it; in the all-waves mode the sequence goes on from there.
    void playFrom(double seconds);
    /// Other rows are shown, or in another order: the sequence stays at the row it plays, or when the
    /// filter hides it, goes on with the first shown row after it.
    void followShownRows();

    /// The timer interval for a playing time: milliseconds rounded to the nearest integer (halves to the
    /// even neighbour) plus a slack of 20, so the timer fires after the sound has ended. A header may
    /// claim a playing time of years: the interval then stays at the longest the timer takes.
    static int endTimerInterval(long double seconds);

signals:
    /// playing() may have changed, or a play or stop request was handled: the commands follow.
    void stateChanged();
    /// A model row is about to play: whatever sets how it sounds does it now.
    void aboutToPlay(int row);
    /// A sound started (or jumped): a picture of it follows it from now on.
    void soundStarted();

private:
    /// Gives the player the file's sampler loop, where it has one.
    void useSamplerLoop();
    bool soundHeard() const;
    void watchedSoundCheck();
    std::string selectedFile() const;
    /// The sequence starts (or goes on) at a model row, at its place among the rows shown.
    void startAt(int row);
    /// The model row at the index, from now on the row the sequence plays; -1 past the shown rows.
    int takeRowAtIndex();

    WaveListWidget& list_;
    std::function<std::string(int)> rowFile_;
    TWavePlayer* player_;
    QTimer* endOfSound_;
    QTimer* soundWatch_;
    bool playing_ = false;
    bool loop_ = false;
    bool allWavesMode_ = false;
    /// The sound playing was started looped.
    bool soundLooped_ = false;
    int index_ = 0;
    int row_ = -1;
    bool stopped_ = false;
};
