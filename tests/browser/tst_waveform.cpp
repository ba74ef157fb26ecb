// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform overview: its picture at the pixel level, following the selection, files it cannot
// show, its toggle and height.
#include "browser/SettingsRecord.h"
#include "browser/WaveformPanel.h"
#include "browser/WaveformStrip.h"
#include "browserfixture.h"
#include "platform/sound/sound.h"
#include "support/soundmonitor.h"
#include "waves/riffbytes.h"

#include <QAbstractItemView>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <cmath>
#include <functional>

using namespace browser_testing;
using library::WavePeaksLoader;

namespace {

constexpr int kRate = 8000;

void put(std::string& s, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(char((v >> (8 * i)) & 0xFF));
}

/// A 16-bit wave whose samples (-1 to 1) come from `sample(channel, frame)`.
std::string wave16(int channels, int frames, const std::function<double(int, int)>& sample)
{
    std::string s = "RIFF";
    const std::uint32_t data = std::uint32_t(frames * channels * 2);
    put(s, 36 + data, 4);
    s += "WAVEfmt ";
    put(s, 16, 4);
    put(s, 1, 2);
    put(s, std::uint32_t(channels), 2);
    put(s, kRate, 4);
    put(s, std::uint32_t(kRate * channels * 2), 4);
    put(s, std::uint32_t(channels * 2), 2);
    put(s, 16, 2);
    s += "data";
    put(s, data, 4);
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            put(s, std::uint32_t(std::int16_t(std::lround(std::clamp(sample(c, f), -1.0, 32767.0 / 32768) * 32768))),
                2);
    return s;
}

double square(int, int frame)
{
    return (frame / 20) % 2 ? 1.0 : -1.0;
}
double silence(int, int)
{
    return 0.0;
}
double toneOnEvenChannels(int channel, int frame)
{
    return channel % 2 ? 0.0 : 0.8 * std::sin(2 * M_PI * 440.0 * frame / kRate);
}

// A wave that says where it is: a quarter second of each of sixteen tones, 300 Hz, 400 Hz, ...
constexpr double kStepSeconds = 0.25;
double toneAt(double seconds)
{
    return 300.0 + 100.0 * std::floor(seconds / kStepSeconds);
}
double steps(int, int frame)
{
    const double t = double(frame) / kRate;
    return 0.5 * std::sin(2 * M_PI * toneAt(t) * t);
}

/// Handles events until `done` holds; false when it still does not after `ms`.
template <typename Done> bool waitFor(Done done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

/// Per band, the rows a column of the picture colours (the first and last row, -1 when none).
struct ColumnSpan {
    int first = -1, last = -1;
};

ColumnSpan spanOf(const QImage& image, const QRect& band, int x, QRgb background)
{
    ColumnSpan span;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        if (image.pixel(x, y) == background)
            continue;
        if (span.first < 0)
            span.first = y;
        span.last = y;
    }
    return span;
}

class WaveformStripTest : public BrowserTest {
protected:
    /// A strip shown alone, with the envelope of a file of drive C: complete.
    std::unique_ptr<WaveformStrip> stripOf(const std::string& name)
    {
        auto strip = std::make_unique<WaveformStrip>();
        strip->resize(300, 160);
        strip->show();
        strip->showFile("C:\\" + name);
        waitUntilSettled(*strip);
        return strip;
    }
    static void waitUntilSettled(WaveformStrip& strip)
    {
        EXPECT_TRUE(waitFor([&] { return strip.loader()->state() != WavePeaksLoader::State::Loading; }));
        QApplication::processEvents();
    }
    static QImage picture(WaveformStrip& strip) { return strip.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

struct PictureCase {
    const char* name;
    int channels;
    double (*sample)(int, int);
    int bands;
    // Per band: whether the column is filled from the band's top to its bottom, or is one row.
    const char* expected; // "full", "line" or "tone" per band, separated by spaces
};

TEST_F(WaveformStripTest, PeaksOfTonesAndSilenceShowAtThePixelLevel)
{
    const PictureCase cases[] = {
        {"square.wav", 2, square, 2, "full full"},
        {"silence.wav", 2, silence, 2, "line line"},
        {"left.wav", 2, toneOnEvenChannels, 2, "tone line"},
        {"mono.wav", 1, square, 1, "full"},
        // Four channels are mixed into two: the even ones into the left band.
        {"quad.wav", 4, toneOnEvenChannels, 2, "tone line"},
    };
    // All written first: the system layer may keep the folder's listing once it has read it.
    for (const PictureCase& c : cases)
        drive_.write(c.name, wave16(c.channels, kRate * 2, c.sample));
    for (const PictureCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto strip = stripOf(c.name);
        ASSERT_EQ(strip->loader()->state(), WavePeaksLoader::State::Ready);
        ASSERT_EQ(strip->loader()->peaks()->bands(), c.bands);
        const QImage image = picture(*strip);
        const QRgb background = strip->palette().color(QPalette::Base).rgb();
        const QStringList expected = QString(c.expected).split(' ');
        for (int band = 0; band < c.bands; ++band) {
            const QRect area = strip->bandRect(band);
            const double middle = area.top() + (area.height() - 1) / 2.0;
            for (int x = 0; x < area.width(); ++x) {
                const ColumnSpan s = spanOf(image, area, x, background);
                if (expected[band] == "full") {
                    ASSERT_EQ(s.first, area.top()) << "band " << band << " column " << x;
                    ASSERT_EQ(s.last, area.bottom()) << "band " << band << " column " << x;
                } else if (expected[band] == "line") {
                    ASSERT_EQ(s.first, s.last) << "band " << band << " column " << x;
                    ASSERT_NEAR(s.first, middle, 0.5) << "band " << band << " column " << x;
                } else {
                    // 0.8 of full scale reaches about a tenth of the band from either edge.
                    ASSERT_NEAR(s.first, area.top() + area.height() / 10, 2) << "band " << band << " column " << x;
                    ASSERT_NEAR(s.last, area.bottom() - area.height() / 10, 2) << "band " << band << " column " << x;
                }
            }
        }
    }
}

TEST_F(WaveformStripTest, FilesWithoutSamplesSayNoWaveform)
{
    const std::pair<const char*, std::string> cases[] = {
        {"empty.wav", std::string()},
        {"garbage.wav", std::string(500, 'x')},
        {"noframes.wav", wave16(2, 0, silence)},
    };
    for (const auto& [name, bytes] : cases)
        drive_.write(name, bytes);
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        auto strip = stripOf(name);
        EXPECT_TRUE(strip->showsNoWaveform());
        EXPECT_FALSE(strip->loader()->peaks());
    }
    // A file that has gone says so as well.
    auto strip = stripOf("missing.wav");
    EXPECT_TRUE(strip->showsNoWaveform());
}

TEST_F(WaveformStripTest, CancelledWorkLeavesNoTrace)
{
    // Cancelled before it starts, a scan reads nothing and says the picture is incomplete.
    drive_.write("square.wav", wave16(2, kRate * 20, square));
    auto scanner = library::WavePeakScanner::open("C:\\square.wav");
    ASSERT_TRUE(scanner);
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(scanner->run(cancel));
    EXPECT_EQ(scanner->peaks()->binsDone(), 0);
}

TEST_F(WaveformStripTest, EnvelopesAreKeptUntilTheFileChanges)
{
    drive_.write("a.wav", wave16(1, kRate, square));
    drive_.write("b.wav", wave16(1, kRate, silence));
    WavePeaksLoader loader;
    const auto settled = [&](const char* path) {
        loader.load(path);
        EXPECT_TRUE(waitFor([&] { return loader.state() == WavePeaksLoader::State::Ready; }));
        return loader.peaks();
    };
    const auto first = settled("C:\\a.wav");
    settled("C:\\b.wav");
    EXPECT_EQ(settled("C:\\a.wav"), first);
    // Another size: the file is read again.
    drive_.write("a.wav", wave16(1, kRate / 2, silence));
    const auto changed = settled("C:\\a.wav");
    ASSERT_NE(changed, first);
    EXPECT_EQ(changed->frames(), kRate / 2);
}

class WaveformWindowTest : public WaveformStripTest {};

TEST_F(WaveformWindowTest, FollowsTheSelectionAndNoStalePictureRemains)
{
    drive_.write("waves/a.wav", wave16(2, kRate * 60, square));
    drive_.write("waves/b.wav", wave16(2, kRate, silence));
    BrowserWindow& w = start();
    waveform(w).button()->trigger();
    selectFolder("C:\\WAVES\\");
    ui(w).DetailBtn->trigger();
    ui(w).WaveList->focusList();
    ui(w).WaveList->selectRow(0);
    EXPECT_EQ(waveform(w).strip()->file(), "C:\\waves\\a.wav");
    // Whatever of a.wav was under way must not reach the strip once b.wav is selected.
    bool staleSeen = false;
    QObject watching;
    QObject::connect(waveform(w).strip()->loader(), &WavePeaksLoader::updated, &watching, [&] {
        const auto peaks = waveform(w).strip()->loader()->peaks();
        staleSeen = staleSeen || (peaks && peaks->frames() != kRate);
    });
    // The key moves on before a.wav can have been read.
    QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_Down);
    EXPECT_EQ(waveform(w).strip()->file(), "C:\\waves\\b.wav");
    waitUntilSettled(*waveform(w).strip());
    EXPECT_TRUE(waitFor([&] { return waveform(w).strip()->loader()->busyThreads() == 0; }));
    QTest::qWait(50);
    EXPECT_FALSE(staleSeen);
    const QImage image = picture(*waveform(w).strip());
    const QRgb background = waveform(w).strip()->palette().color(QPalette::Base).rgb();
    for (int band = 0; band < 2; ++band) {
        const QRect area = waveform(w).strip()->bandRect(band);
        for (int x = 0; x < area.width(); x += 7) {
            const ColumnSpan s = spanOf(image, area, x, background);
            ASSERT_EQ(s.first, s.last) << "band " << band << " column " << x;
        }
    }
}

TEST_F(WaveformStripTest, ThePanelsToggleAndHeightAreKept)
{
    QSplitter host;
    auto* list = new QWidget;
    host.addWidget(list);
    WaveformPanel panel(&host, list);
    host.resize(400, 500);
    host.show();
    EXPECT_FALSE(panel.strip()->isVisible());
    panel.menuItem()->trigger();
    EXPECT_TRUE(panel.strip()->isVisible());
    EXPECT_TRUE(panel.button()->isChecked());
    const QList<int> sizes = panel.splitter()->sizes();
    panel.splitter()->setSizes({sizes[0] + sizes[1] - 97, 97});
    QApplication::processEvents();
    ASSERT_EQ(panel.strip()->height(), 97);
    // Hidden, it keeps its height for the next time.
    panel.button()->trigger();
    EXPECT_FALSE(panel.strip()->isVisible() || panel.menuItem()->isChecked());
    SettingsRecord kept;
    panel.storeSettings(kept);
    EXPECT_EQ(kept.showWaveform, false);
    EXPECT_EQ(kept.waveformHeight, 97);
    kept.showWaveform = true;
    panel.applySettings(kept);
    QApplication::processEvents();
    EXPECT_TRUE(panel.strip()->isVisible() && panel.menuItem()->isChecked());
    EXPECT_EQ(panel.strip()->height(), 97);
}

TEST_F(WaveformWindowTest, ClickPlaysFromTheClickedTimeAJumpWhilePlayingAndRightClickStops)
{
    using testing_support::SoundMonitor;
    if (!SoundMonitor::serverConfigured())
        GTEST_SKIP() << "no test sound server";
    // Long enough that on a busy machine the sound does not end before its marker is looked at.
    drive_.write("steps.wav", wave16(1, kRate * 8, steps));
    BrowserWindow& w = start();
    waveform(w).button()->trigger();
    selectFolder("C:\\");
    ui(w).WaveList->selectRow(0);
    waitUntilSettled(*waveform(w).strip());
    SoundMonitor monitor;
    ASSERT_TRUE(monitor.start());
    // The tone heard first at or after `from`, judged over 50 ms.
    const auto toneHeardAfter = [&](long from) {
        const long at = monitor.waitForSound(from, 3000);
        if (at < 0)
            return 0.0;
        monitor.pump(100);
        for (double hz = 300; hz < 1900; hz += 100)
            if (monitor.toneShare(at + SoundMonitor::kWindow, at + SoundMonitor::samplesOf(60), hz) > 0.6)
                return hz;
        return -1.0;
    };
    const auto clickAt = [&](double seconds, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(waveform(w).strip(), button, {}, QPoint(int(std::lround(waveform(w).strip()->xOf(seconds))), 10));
    };

    long mark = monitor.mark();
    clickAt(2.3);
    EXPECT_EQ(toneHeardAfter(mark), toneAt(2.3));
    EXPECT_TRUE(playback(w).playing());
    // The marker follows what is heard.
    ASSERT_TRUE(waitFor([&] { return waveform(w).strip()->playheadSeconds() > 2.3; }, 6000))
        << "marker at " << waveform(w).strip()->playheadSeconds() << " s, sound position "
        << platform::soundPositionSeconds() << " s";
    EXPECT_LT(waveform(w).strip()->playheadSeconds(), 4.0);
    // It moves as the sound goes on: as far in a moment as the moment is long, never ahead of it. A busy
    // machine may hold a frame of the window back, so it is given a moment to catch up.
    const double from = waveform(w).strip()->playheadSeconds();
    QElapsedTimer moment;
    moment.start();
    QTest::qWait(300);
    EXPECT_TRUE(waitFor([&] { return waveform(w).strip()->playheadSeconds() - from >= 0.29; }, 1000));
    EXPECT_LE(waveform(w).strip()->playheadSeconds() - from, moment.elapsed() / 1000.0 + 0.1);

    // A click while it plays jumps: from then on the earlier tone is heard.
    clickAt(0.6);
    mark = monitor.mark();
    monitor.pump(300);
    bool jumped = false;
    for (long at = mark; at + SoundMonitor::samplesOf(60) < monitor.size() && !jumped; at += SoundMonitor::kWindow)
        jumped = monitor.toneShare(at, at + SoundMonitor::samplesOf(50), toneAt(0.6)) > 0.6;
    EXPECT_TRUE(jumped);
    EXPECT_TRUE(
        waitFor([&] { return waveform(w).strip()->playheadSeconds() > 0.6 && waveform(w).strip()->playheadSeconds() < 1.5; }, 1000));

    clickAt(1.0, Qt::RightButton);
    EXPECT_FALSE(playback(w).playing());
    EXPECT_TRUE(waitFor([] { return !platform::soundIsPlaying(); }, 2000));
}

TEST_F(WaveformWindowTest, TheFilesLoopAndCuePointsAreDrawnClickedAndPlayed)
{
    using namespace riffbytes;
    if (!testing_support::SoundMonitor::serverConfigured())
        GTEST_SKIP() << "no test sound server";
    // Steps of tones with a sampler loop from 1.0 s to 2.0 s (its end frame is the last one played) and a
    // cue point at 3.0 s labelled "Hit".
    std::string file = wave16(1, kRate * 4, steps);
    file += chunk("smpl", u32(0) + u32(0) + u32(125000) + u32(60) + u32(0) + u32(0) + u32(0) + u32(1) + u32(0) +
                              u32(0) + u32(0) + u32(kRate) + u32(2 * kRate - 1) + u32(0) + u32(0));
    file += chunk("cue ", u32(1) + u32(1) + u32(3 * kRate) + "data" + u32(0) + u32(0) + u32(3 * kRate));
    file += chunk("LIST", "adtl" + chunk("labl", u32(1) + std::string("Hit\0", 4)));
    const std::uint32_t riffSize = std::uint32_t(file.size() - 8);
    file.replace(4, 4, u32(riffSize));
    drive_.write("marked.wav", file);

    BrowserWindow& w = start();
    waveform(w).button()->trigger();
    selectFolder("C:\\");
    ui(w).WaveList->selectRow(0);
    WaveformStrip& strip = *waveform(w).strip();
    waitUntilSettled(strip);
    ASSERT_EQ(strip.marks().size(), 1u);
    EXPECT_EQ(strip.marks()[0].label, "Hit");
    EXPECT_DOUBLE_EQ(strip.marks()[0].seconds, 3.0);
    EXPECT_DOUBLE_EQ(strip.loopStart(), 1.0);
    EXPECT_DOUBLE_EQ(strip.loopEnd(), 2.0);

    // A click beside the flag plays from the point itself; farther off, from where it falls.
    QSignalSpy asked(&strip, &WaveformStrip::playFromRequested);
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(int(std::lround(strip.xOf(3.0))) + 2, 10));
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(int(std::lround(strip.xOf(3.0))) + 12, 10));
    ASSERT_EQ(asked.size(), 2);
    EXPECT_DOUBLE_EQ(asked[0][0].toDouble(), 3.0);
    EXPECT_GT(asked[1][0].toDouble(), 3.0);

    // With Loop on, the start plays once and then the loop, over and over: well past the loop's end in
    // time, the sound is inside the loop.
    ui(w).LoopBtn->setChecked(true);
    playback(w).PlaySelected();
    QTest::qWait(2600);
    EXPECT_TRUE(playback(w).playing());
    const double place = platform::soundPositionSeconds();
    EXPECT_GE(place, 1.0);
    EXPECT_LT(place, 2.0);
    w.stop();
    EXPECT_TRUE(waitFor([] { return !platform::soundIsPlaying(); }, 2000));
}

} // namespace
