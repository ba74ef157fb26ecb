// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The waveform overview under the wave list: the selected file's envelope, one band per channel
// (two at most), its peaks and loudness per pixel column, a time ruler, and a marker where the
// sound is heard while it plays, and what the file marks itself: its sampler loop as a shaded stretch and
// its cue points as flags. A left click asks to play from that point (from a cue point where it hits
// one), a right click to stop.

#include "library/wavepeaksloader.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class WaveformStrip : public QWidget {
    Q_OBJECT
public:
    explicit WaveformStrip(QWidget* parent = nullptr);

    /// Shows the envelope of a drive-letter path; an empty path shows nothing. Asking for the file
    /// already shown changes nothing unless `reload` is set (the file may have changed on disk).
    /// While the strip is hidden nothing is read; the file is read when it is shown.
    void showFile(const std::string& path, bool reload = false);
    const std::string& file() const { return file_; }
    library::WavePeaksLoader* loader() const { return loader_; }

    /// Where the sound of the shown file is heard now, in seconds; negative while it does not play.
    std::function<double()> position;
    /// A play may just have started: the marker follows `position` until the sound ends.
    void followPlayback();
    /// The time the marker stands at; negative when none is shown.
    double playheadSeconds() const { return playhead_; }

    /// A point the file marks (a cue point), in seconds, with its label.
    struct Mark {
        double seconds = 0;
        QString label;
    };
    /// The marks of the shown file, read from its chunks when the file is shown.
    const std::vector<Mark>& marks() const { return marks_; }
    /// The file's sampler loop in seconds; loopEnd <= loopStart when it has none.
    double loopStart() const { return loopStart_; }
    double loopEnd() const { return loopEnd_; }
    /// The mark a click at x hits (within a few pixels), or null.
    const Mark* markAt(double x) const;

    /// Whether the strip says "No waveform" in place of a picture.
    bool showsNoWaveform() const;
    /// The area of one band and of the ruler, in widget coordinates.
    QRect bandRect(int band) const;
    QRect rulerRect() const;
    /// The time at a horizontal position of the widget, and the position of a time.
    double secondsAt(double x) const;
    double xOf(double seconds) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// A left click: play the shown file from this time.
    void playFromRequested(double seconds);
    /// A right click: stop playing.
    void stopRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void loaderUpdated();
    void resetPicture();
    /// Draws the columns whose stretches are done and not drawn yet into the picture.
    void drawNewColumns();
    void paintRuler(QPainter& p);
    void paintPlayhead(QPainter& p);
    void paintMarks(QPainter& p);
    void readMarks();
    void pollPosition();
    int bandCount() const;
    double seconds() const;
    QRect playheadRect(double seconds) const;

    library::WavePeaksLoader* loader_;
    std::string file_;
    bool pending_ = false; ///< file_ is to be read once the strip is shown
    // The envelope drawn in device pixels, a column at a time as the stretches arrive.
    QImage picture_;
    std::shared_ptr<const library::WavePeaks> drawn_; ///< the envelope the picture shows
    int columnsDrawn_ = 0;
    library::WavePeaksLoader::State shownState_ = library::WavePeaksLoader::State::Idle;
    QTimer positionTimer_;
    int quietPolls_ = 0;
    double playhead_ = -1;
    std::vector<Mark> marks_;
    double loopStart_ = 0, loopEnd_ = 0;
};
