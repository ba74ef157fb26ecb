// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveformStrip.h"

#include "waves/W32Waves.h"
#include "waves/WaveMetadata.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

using library::PeakBin;
using library::WavePeaks;
using library::WavePeaksLoader;

namespace {

const char* const kNoWaveformText = "No waveform";
// About one frame of the screen: the marker moves smoothly.
constexpr int kPositionIntervalMs = 16;
// Polls without a position before the marker stops looking: a busy server may take seconds to start a
// sound, and the marker must still follow it then (about ten seconds).
constexpr int kQuietPollsBeforeRest = 600;
// How near a click must come to a cue point's line to play from the point itself.
constexpr double kMarkReach = 4.0;
const QColor kMarkColor(230, 140, 0);

/// The figures of one pixel column: the stretches it covers, merged.
struct Column {
    float low = 1.0f, high = -1.0f, rms = 0.0f;
    bool empty() const { return low > high; }
};

Column mergeBins(const WavePeaks& peaks, int band, int first, int last)
{
    Column c;
    double squares = 0;
    int counted = 0;
    for (int b = first; b < last; ++b) {
        const PeakBin& bin = peaks.bin(band, b);
        if (bin.empty())
            continue;
        c.low = std::min(c.low, bin.low);
        c.high = std::max(c.high, bin.high);
        squares += double(bin.rms) * bin.rms;
        ++counted;
    }
    if (counted > 0)
        c.rms = float(std::sqrt(squares / counted));
    return c;
}

/// Ruler steps in milliseconds: the first whose labels do not crowd each other is used.
constexpr qint64 kRulerStepsMs[] = {1,      2,      5,      10,     20,      50,      100,     200,
                                    500,    1000,   2000,   5000,   10000,   15000,   30000,   60000,
                                    120000, 300000, 600000, 900000, 1800000, 3600000, 7200000, 18000000};

QString timeText(qint64 ms)
{
    TWaveInfo info;
    info.Valid = true;
    // A hair above the exact time, so that truncation to milliseconds cannot show the one before.
    info.Length = (long double)(ms) / 1000.0L + 1e-7L;
    return WaveLengthText(info);
}

} // namespace

WaveformStrip::WaveformStrip(QWidget* parent) : QWidget(parent), loader_(new WavePeaksLoader(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName("Waveform");
    setStatusTip("Click plays from that point, right button stops playing");
    connect(loader_, &WavePeaksLoader::updated, this, &WaveformStrip::loaderUpdated);
    positionTimer_.setInterval(kPositionIntervalMs);
    connect(&positionTimer_, &QTimer::timeout, this, &WaveformStrip::pollPosition);
}

QSize WaveformStrip::sizeHint() const
{
    return QSize(400, 140);
}

QSize WaveformStrip::minimumSizeHint() const
{
    return QSize(100, fontMetrics().height() + 6 + 40);
}

void WaveformStrip::showFile(const std::string& path, bool reload)
{
    if (path == file_ && !reload)
        return;
    file_ = path;
    playhead_ = -1;
    if (isVisible()) {
        pending_ = false;
        loader_->load(path);
        readMarks();
    } else {
        pending_ = true;
        loader_->clear();
    }
}

void WaveformStrip::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (pending_) {
        pending_ = false;
        loader_->load(file_);
        readMarks();
    }
}

void WaveformStrip::readMarks()
{
    marks_.clear();
    loopStart_ = loopEnd_ = 0;
    if (file_.empty())
        return;
    // The chunks are few and bounded in size; the file's loop and cue points are placed by its own rate.
    const WaveMetadata metadata = readWaveMetadata(file_);
    if (metadata.sampleRate == 0)
        return;
    const double rate = metadata.sampleRate;
    for (const WaveCue& cue : metadata.cues)
        marks_.push_back({cue.offset / rate, cue.label.isEmpty() ? cue.note : cue.label});
    if (!metadata.loops.empty()) {
        loopStart_ = metadata.loops.front().start / rate;
        loopEnd_ = (double(metadata.loops.front().end) + 1) / rate;
    }
    update();
}

const WaveformStrip::Mark* WaveformStrip::markAt(double x) const
{
    const Mark* nearest = nullptr;
    double distance = kMarkReach + 1;
    for (const Mark& m : marks_) {
        const double d = std::abs(xOf(m.seconds) - x);
        if (d <= kMarkReach && d < distance) {
            nearest = &m;
            distance = d;
        }
    }
    return nearest;
}

void WaveformStrip::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A strip turned off reads nothing; it reads the file again when it is turned on. A minimised
    // window keeps its picture.
    if (!event->spontaneous() && !file_.empty() && !pending_) {
        pending_ = true;
        loader_->clear();
    }
}

bool WaveformStrip::showsNoWaveform() const
{
    return loader_->state() == WavePeaksLoader::State::Unreadable;
}

int WaveformStrip::bandCount() const
{
    return loader_->peaks() ? loader_->peaks()->bands() : 1;
}

double WaveformStrip::seconds() const
{
    return loader_->peaks() ? loader_->peaks()->seconds() : 0.0;
}

QRect WaveformStrip::rulerRect() const
{
    const int h = fontMetrics().height() + 6;
    return QRect(0, height() - h, width(), h);
}

QRect WaveformStrip::bandRect(int band) const
{
    const int area = std::max(0, rulerRect().top());
    if (bandCount() == 1)
        return QRect(0, 0, width(), area);
    // Two bands with a one-pixel line between them.
    const int first = (area - 1) / 2;
    return band == 0 ? QRect(0, 0, width(), first) : QRect(0, first + 1, width(), area - first - 1);
}

double WaveformStrip::secondsAt(double x) const
{
    if (width() <= 0)
        return 0;
    return std::clamp(x / width(), 0.0, 1.0) * seconds();
}

double WaveformStrip::xOf(double s) const
{
    const double total = seconds();
    return total > 0 ? s / total * width() : 0;
}

void WaveformStrip::loaderUpdated()
{
    // Another file, or none, or the word that there is none: the picture starts over.
    if (loader_->peaks() != drawn_ || loader_->state() != shownState_) {
        shownState_ = loader_->state();
        if (loader_->peaks() != drawn_)
            resetPicture();
        update();
    }
    drawNewColumns();
}

void WaveformStrip::resetPicture()
{
    drawn_ = loader_->peaks();
    columnsDrawn_ = 0;
    const qreal dpr = devicePixelRatioF();
    const QSize size(int(std::lround(width() * dpr)), int(std::lround(std::max(0, rulerRect().top()) * dpr)));
    if (size.isEmpty()) {
        picture_ = QImage();
        return;
    }
    picture_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    picture_.setDevicePixelRatio(dpr);
    picture_.fill(palette().color(QPalette::Base));
    if (drawn_ && drawn_->bands() == 2) {
        QPainter p(&picture_);
        p.fillRect(QRectF(0, bandRect(0).bottom() + 1, width(), 1), palette().color(QPalette::Mid));
    }
}

void WaveformStrip::drawNewColumns()
{
    if (!drawn_ || picture_.isNull())
        return;
    const WavePeaks& peaks = *drawn_;
    const int columns = picture_.width();
    const int done = peaks.binsDone();
    const qreal dpr = picture_.devicePixelRatioF();
    const QRgb peakColor = palette().color(QPalette::Highlight).lighter(160).rgba();
    const QRgb rmsColor = palette().color(QPalette::Highlight).rgba();
    const int first = columnsDrawn_;
    for (int x = columnsDrawn_; x < columns; ++x) {
        const int b0 = int(std::int64_t(x) * peaks.bins() / columns);
        const int b1 = std::max(b0 + 1, int(std::int64_t(x + 1) * peaks.bins() / columns));
        if (b1 > done)
            break;
        for (int band = 0; band < peaks.bands(); ++band) {
            const Column c = mergeBins(peaks, band, b0, b1);
            if (c.empty())
                continue;
            const QRect area = bandRect(band);
            const int top = int(std::lround(area.top() * dpr));
            const int rows = std::max(1, int(std::lround((area.bottom() + 1) * dpr)) - top);
            // Full scale reaches the band's first and last rows; silence is its middle row.
            const auto rowOf = [&](float a) {
                return top + int(std::lround((1.0 - std::clamp(double(a), -1.0, 1.0)) * (rows - 1) / 2.0));
            };
            const int peakTop = rowOf(c.high), peakBottom = rowOf(c.low);
            const int rmsTop = std::max(peakTop, rowOf(c.rms)), rmsBottom = std::min(peakBottom, rowOf(-c.rms));
            for (int y = peakTop; y <= peakBottom; ++y)
                reinterpret_cast<QRgb*>(picture_.scanLine(y))[x] =
                    (y >= rmsTop && y <= rmsBottom) ? rmsColor : peakColor;
        }
        columnsDrawn_ = x + 1;
    }
    if (columnsDrawn_ > first)
        update(QRect(int(std::floor(first / dpr)), 0, int(std::ceil((columnsDrawn_ - first) / dpr)) + 1,
                     rulerRect().top()));
}

void WaveformStrip::paintEvent(QPaintEvent* event)
{
    // Moved to a screen of another scale: the picture is drawn again for its pixels.
    if (!picture_.isNull() && picture_.devicePixelRatioF() != devicePixelRatioF()) {
        resetPicture();
        drawNewColumns();
    }
    QPainter p(this);
    p.setClipRegion(event->region());
    const QRect area(0, 0, width(), std::max(0, rulerRect().top()));
    if (!picture_.isNull())
        p.drawImage(QPointF(0, 0), picture_);
    else
        p.fillRect(area, palette().color(QPalette::Base));
    if (showsNoWaveform()) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(area, Qt::AlignCenter, kNoWaveformText);
    }
    paintRuler(p);
    paintMarks(p);
    paintPlayhead(p);
}

void WaveformStrip::paintMarks(QPainter& p)
{
    if (seconds() <= 0)
        return;
    const int bottom = std::max(0, rulerRect().top());
    if (loopEnd_ > loopStart_) {
        // The loop: a tinted stretch between two lines.
        const double x0 = std::floor(xOf(loopStart_)), x1 = std::floor(xOf(loopEnd_));
        QColor tint = palette().color(QPalette::Highlight);
        tint.setAlpha(40);
        p.fillRect(QRectF(x0, 0, std::max(1.0, x1 - x0), bottom), tint);
        p.fillRect(QRectF(x0, 0, 1, bottom), palette().color(QPalette::Highlight).darker(130));
        p.fillRect(QRectF(x1, 0, 1, bottom), palette().color(QPalette::Highlight).darker(130));
    }
    const QFontMetrics fm = fontMetrics();
    for (const Mark& m : marks_) {
        const double x = std::floor(xOf(m.seconds));
        p.fillRect(QRectF(x, 0, 1, bottom), kMarkColor);
        // A small flag at the top, with the label beside it where there is room.
        p.fillRect(QRectF(x, 0, 6, 6), kMarkColor);
        if (!m.label.isEmpty()) {
            const QString text = fm.elidedText(m.label, Qt::ElideRight, 160);
            p.setPen(palette().color(QPalette::Text));
            p.drawText(QPointF(x + 8, fm.ascent()), text);
        }
    }
}

bool WaveformStrip::event(QEvent* event)
{
    // Hovering over a cue point names it.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const Mark* m = markAt(help->pos().x());
        if (m) {
            QToolTip::showText(help->globalPos(), m->label.isEmpty() ? timeText(qint64(m->seconds * 1000)) :
                                                                      m->label + " (" + timeText(qint64(m->seconds * 1000)) + ")",
                               this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void WaveformStrip::paintRuler(QPainter& p)
{
    const QRect ruler = rulerRect();
    p.fillRect(ruler, palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(ruler.topLeft(), ruler.topRight());
    const double total = seconds();
    if (total <= 0 || width() <= 0)
        return;
    const QFontMetrics fm = fontMetrics();
    const int labelWidth = fm.horizontalAdvance(timeText(0)) + fm.horizontalAdvance(QLatin1Char(' ')) * 3;
    qint64 stepMs = kRulerStepsMs[std::size(kRulerStepsMs) - 1];
    for (qint64 s : kRulerStepsMs) {
        if (xOf(s / 1000.0) >= labelWidth) {
            stepMs = s;
            break;
        }
    }
    p.setPen(palette().color(QPalette::WindowText));
    for (qint64 ms = 0; ms / 1000.0 <= total; ms += stepMs) {
        const int x = int(std::lround(xOf(ms / 1000.0)));
        p.drawLine(x, ruler.top() + 1, x, ruler.top() + 4);
        const QString text = timeText(ms);
        if (x + 3 + fm.horizontalAdvance(text) <= width())
            p.drawText(QRect(x + 3, ruler.top() + 2, labelWidth, ruler.height() - 2), Qt::AlignLeft | Qt::AlignVCenter,
                       text);
    }
}

QRect WaveformStrip::playheadRect(double s) const
{
    const int x = int(std::floor(xOf(s)));
    return QRect(x - 1, 0, 3, std::max(0, rulerRect().top()));
}

void WaveformStrip::paintPlayhead(QPainter& p)
{
    if (playhead_ < 0 || seconds() <= 0)
        return;
    p.fillRect(QRectF(std::floor(xOf(playhead_)), 0, 1, rulerRect().top()), QColor(220, 30, 30));
}

void WaveformStrip::followPlayback()
{
    quietPolls_ = 0;
    if (!positionTimer_.isActive())
        positionTimer_.start();
}

void WaveformStrip::pollPosition()
{
    double now = position ? position() : -1.0;
    if (seconds() <= 0)
        now = -1.0;
    if (now < 0 && ++quietPolls_ > kQuietPollsBeforeRest && playhead_ < 0)
        positionTimer_.stop();
    if (now >= 0)
        quietPolls_ = 0;
    if (now == playhead_)
        return;
    if (playhead_ >= 0)
        update(playheadRect(playhead_));
    playhead_ = now;
    if (playhead_ >= 0)
        update(playheadRect(playhead_));
}

void WaveformStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && seconds() > 0) {
        const Mark* m = markAt(event->position().x());
        emit playFromRequested(m ? m->seconds : secondsAt(event->position().x()));
    }
    QWidget::mousePressEvent(event);
}

void WaveformStrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        emit stopRequested();
    QWidget::mouseReleaseEvent(event);
}

void WaveformStrip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    resetPicture();
    drawNewColumns();
}

void WaveformStrip::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::FontChange) {
        resetPicture();
        drawNewColumns();
        update();
    }
}
