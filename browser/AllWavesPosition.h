// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the all-waves sequence is among the rows the wave list shows.

class WaveListWidget;

/// The all-waves sequence's place: an index among the rows shown (the filter hides the others) and the
/// model row it stands for, so that a new filter keeps the sequence at the row it plays. Every move of
/// the sequence goes through here, so a model row is never taken for a place or the other way round.
class AllWavesPosition {
public:
    explicit AllWavesPosition(const WaveListWidget& list) : list_(list) {}

    /// The index among the shown rows.
    int index() const { return index_; }
    /// Whether the sequence was stopped or ran past the last row; a start clears it.
    bool stopped() const { return stopped_; }

    /// The sequence starts (or goes on) at a model row, at its place among the rows shown.
    void startAt(int row);
    /// The model row at the index, from now on the row the sequence plays; -1 past the shown rows.
    int take();
    /// On to the next shown row; false past the last one.
    bool advance();
    void stop() { stopped_ = true; }
    /// Other rows are shown: the index goes to the row playing, or when the filter hides it, to just
    /// before the first shown row after it, so that the next step plays that one.
    void followFilter();

private:
    const WaveListWidget& list_;
    int index_ = 0;
    int row_ = -1;
    bool stopped_ = false;
};
