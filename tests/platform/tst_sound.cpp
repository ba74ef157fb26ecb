// The sound call against the test sound server: what reaches the null sink is recorded and checked.
#include "platform/sound.h"
#include "support/soundmonitor.h"
#include "support/tempdrive.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using namespace platform;
using testing_support::makeWav;
using testing_support::SoundMonitor;

namespace {

SoundImage imageOf(const std::string& bytes)
{
    std::shared_ptr<char[]> b(new char[bytes.size() + 1]);
    std::memcpy(b.get(), bytes.data(), bytes.size());
    return SoundImage{b, bytes.size()};
}

SoundImage tone(double seconds, double hz = 440, int rate = 44100)
{
    return imageOf(makeWav(1, rate, 16, int(seconds * rate), hz));
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool waitIdle(int timeoutMs = 3000)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (!soundIsPlaying())
            return true;
        QThread::msleep(10);
    }
    return !soundIsPlaying();
}

constexpr UINT kAsync = SND_ASYNC | SND_MEMORY | SND_NODEFAULT;

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SoundMonitor::serverConfigured())
            GTEST_SKIP() << "no test sound server (source scripts/pulse.sh; start_pulse)";
        sndPlaySound(nullptr, 0);
        ASSERT_TRUE(mon.start()) << "the null sink's monitor cannot be recorded";
    }
    void TearDown() override
    {
        sndPlaySound(nullptr, 0);
        waitIdle();
    }

    /// Collects from the first sound after `from` for `ms`; returns where the sound began.
    long hear(long from, int ms)
    {
        long at = mon.waitForSound(from, 3000);
        if (at >= 0)
            mon.pump(ms);
        return at;
    }

    SoundMonitor mon;
};

TEST_F(SoundTest, ToneIsHeardForItsLengthAndTheChannelThenIdles)
{
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(1.0), kAsync));
    EXPECT_TRUE(soundIsPlaying());
    long at = hear(from, 1700);
    ASSERT_GE(at, 0) << "nothing was heard";
    EXPECT_NEAR(mon.loudMs(at), 1000, 150);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(100), at + mon.samplesOf(900), 440), 0.5);
    EXPECT_TRUE(waitIdle());
}

TEST_F(SoundTest, LoopRepeatsUntilStopped)
{
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(0.25), kAsync | SND_LOOP));
    long at = hear(from, 1200);
    ASSERT_GE(at, 0);
    EXPECT_GT(mon.loudMs(at), 1000) << "a 250 ms sound in a loop must go on past its length";
    EXPECT_TRUE(soundIsPlaying());
    sndPlaySound(nullptr, 0);
    EXPECT_FALSE(soundIsPlaying());
    long stopped = mon.mark();
    mon.pump(500);
    EXPECT_EQ(mon.firstLoud(stopped + mon.samplesOf(200)), -1);
}

TEST_F(SoundTest, StopSilencesWithinATenthOfASecond)
{
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(5.0), kAsync));
    ASSERT_GE(hear(from, 300), 0);
    long stopAt = mon.mark();
    ASSERT_TRUE(sndPlaySound(nullptr, 0));
    mon.pump(600);
    long last = mon.lastLoud(from);
    // What the recorder had not yet delivered at the stop also counts, so allow for its latency.
    EXPECT_LE(SoundMonitor::ms(last - stopAt), 150);
}

TEST_F(SoundTest, NoStopLeavesTheRunningSoundAndAPlainRequestReplacesIt)
{
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(5.0, 440), kAsync));
    ASSERT_GE(hear(from, 100), 0);
    EXPECT_FALSE(sndPlaySound(tone(1.0, 880), kAsync | SND_NOSTOP));
    long after = mon.mark();
    mon.pump(500);
    EXPECT_GT(mon.toneShare(after, mon.size(), 440), 0.4);
    EXPECT_LT(mon.toneShare(after, mon.size(), 880), 0.05);

    ASSERT_TRUE(sndPlaySound(tone(5.0, 880), kAsync));
    long replaced = mon.mark();
    mon.pump(500);
    long settled = replaced + mon.samplesOf(150);
    EXPECT_GT(mon.toneShare(settled, mon.size(), 880), 0.4);
    EXPECT_LT(mon.toneShare(settled, mon.size(), 440), 0.05);
}

TEST_F(SoundTest, UnplayableImageStopsTheRunningSoundOrGivesTheDefaultSound)
{
    std::string header = makeWav(1, 8000, 16, 800, 440).substr(0, 44);
    std::string noChannels = makeWav(1, 8000, 16, 800, 440);
    noChannels[22] = 0; // channel count 0
    std::string unknownCodec = makeWav(1, 8000, 16, 800, 440);
    unknownCodec[20] = 0x34; // format tag 0x1234
    unknownCodec[21] = 0x12;
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"text", "This is a plain text file, not a sound.\n"},
        {"empty", ""},
        {"RIFF only", "RIFF"},
        {"no channels", noChannels},
        {"unknown codec", unknownCodec},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        long from = mon.mark();
        ASSERT_TRUE(sndPlaySound(tone(5.0), kAsync));
        ASSERT_GE(hear(from, 50), 0);
        EXPECT_FALSE(sndPlaySound(imageOf(bytes), kAsync));
        EXPECT_FALSE(soundIsPlaying());
        long stopped = mon.mark();
        mon.pump(300);
        EXPECT_EQ(mon.firstLoud(stopped + mon.samplesOf(150)), -1) << "the running sound must stop";
    }
    // A header whose data is missing is a sound of no length: it replaces the running one, silently.
    ASSERT_TRUE(sndPlaySound(tone(5.0), kAsync));
    ASSERT_GE(hear(mon.mark(), 50), 0);
    sndPlaySound(imageOf(header), kAsync);
    long stopped = mon.mark();
    mon.pump(300);
    EXPECT_EQ(mon.firstLoud(stopped + mon.samplesOf(150)), -1);
    EXPECT_TRUE(waitIdle());
    // Without SND_NODEFAULT the default sound stands in: short, heard, and then the channel idles.
    long from = mon.mark();
    EXPECT_TRUE(sndPlaySound(imageOf("not a wave"), SND_ASYNC | SND_MEMORY));
    long at = hear(from, 2500);
    ASSERT_GE(at, 0);
    EXPECT_LT(mon.loudMs(at), 2000);
    EXPECT_TRUE(waitIdle());
}

TEST_F(SoundTest, SoundNamesPlayFilesOrTheDefaultSound)
{
    testing_support::TempDrive drive;
    drive.write("sounds/tone.wav", makeWav(2, 22050, 16, 22050 / 2, 440));
    drive.write("sounds/notes.wav", "just text");

    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound("C:\\SOUNDS\\TONE.WAV", SND_ASYNC | SND_NODEFAULT));
    long at = hear(from, 900);
    ASSERT_GE(at, 0);
    EXPECT_NEAR(mon.loudMs(at), 500, 120);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(50), at + mon.samplesOf(450), 440), 0.5);

    for (const char* name : {"C:\\SOUNDS\\NOTES.WAV", "C:\\SOUNDS\\MISSING.WAV", "C:\\SOUNDS", "\\", ""}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(sndPlaySound(name, SND_ASYNC | SND_NODEFAULT));
        from = mon.mark();
        EXPECT_TRUE(sndPlaySound(name, SND_ASYNC));
        EXPECT_GE(hear(from, 100), 0) << "the default sound stands in for what cannot be played";
        ASSERT_TRUE(waitIdle());
    }
}

TEST_F(SoundTest, TheDefaultSoundIsTheThemesBellWhereThereIsOne)
{
    QTemporaryDir data;
    const QString stereo = data.filePath("sounds/freedesktop/stereo");
    ASSERT_TRUE(QDir().mkpath(stereo));
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-c", "1", "-t", "ogg", stereo + "/bell.oga", "synth",
                                        "0.4", "sine", "660"}),
              0);
    const bool hadHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    long from = mon.mark();
    EXPECT_TRUE(sndPlaySound("C:\\NO SUCH SOUND.WAV", SND_ASYNC));
    long at = hear(from, 600);
    if (hadHome)
        qputenv("XDG_DATA_HOME", oldHome);
    else
        qunsetenv("XDG_DATA_HOME");
    ASSERT_GE(at, 0);
    EXPECT_NEAR(mon.loudMs(at), 400, 120);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(50), at + mon.samplesOf(350), 660), 0.4);
}

struct Encoding {
    const char* name;
    QStringList soxArgs;
};

TEST_F(SoundTest, EveryWaveEncodingIsHeard)
{
    QTemporaryDir dir;
    const std::string src = dir.filePath("src.wav").toStdString();
    {
        std::ofstream(src, std::ios::binary) << makeWav(1, 8000, 16, 4000, 440);
    }
    const std::vector<Encoding> encodings = {
        {"IMA ADPCM", {"-e", "ima-adpcm"}},
        {"MS ADPCM", {"-e", "ms-adpcm"}},
        {"A-law", {"-e", "a-law"}},
        {"mu-law", {"-e", "u-law"}},
        {"GSM 6.10", {"-e", "gsm-full-rate"}},
        {"24-bit", {"-b", "24"}},
        {"32-bit float", {"-e", "floating-point", "-b", "32"}},
        {"64-bit float", {"-e", "floating-point", "-b", "64"}},
        {"8-bit", {"-b", "8", "-e", "unsigned"}},
        {"stereo 48 kHz", {"-r", "48000", "-c", "2"}},
    };
    for (const Encoding& e : encodings) {
        SCOPED_TRACE(e.name);
        const QString out = dir.filePath("out.wav");
        QFile::remove(out);
        QStringList args = {QString::fromStdString(src)};
        args << e.soxArgs << "-t"
             << "wav" << out;
        ASSERT_EQ(QProcess::execute("sox", args), 0);
        long from = mon.mark();
        ASSERT_TRUE(sndPlaySound(imageOf(readAll(out.toStdString())), kAsync));
        long at = hear(from, 800);
        ASSERT_GE(at, 0) << "nothing was heard";
        EXPECT_NEAR(mon.loudMs(at), 500, 120);
        EXPECT_GT(mon.toneShare(at + mon.samplesOf(50), at + mon.samplesOf(450), 440), 0.4);
        ASSERT_TRUE(waitIdle());
    }
}

TEST_F(SoundTest, WaitingPlayReturnsAfterTheSound)
{
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(0.4), SND_SYNC | SND_MEMORY | SND_NODEFAULT));
    EXPECT_FALSE(soundIsPlaying());
    mon.pump(300);
    long at = mon.firstLoud(from);
    ASSERT_GE(at, 0);
    EXPECT_NEAR(mon.loudMs(at), 400, 100);

    // A loop cannot be waited for; it plays once instead of hanging the caller.
    ASSERT_TRUE(sndPlaySound(tone(0.2), SND_SYNC | SND_MEMORY | SND_LOOP));
    EXPECT_FALSE(soundIsPlaying());
}

TEST_F(SoundTest, TheChannelKeepsTheImageAliveAfterTheCallerLetsGo)
{
    long from = mon.mark();
    {
        SoundImage image = tone(0.6);
        ASSERT_TRUE(sndPlaySound(image, kAsync));
    }
    {
        // The address form copies, so the caller's buffer may go at once.
        std::string bytes = makeWav(1, 44100, 16, 44100 * 6 / 10, 440);
        auto* raw = new char[bytes.size()];
        std::memcpy(raw, bytes.data(), bytes.size());
        ASSERT_TRUE(sndPlaySound(raw, kAsync));
        std::memset(raw, 0, bytes.size());
        delete[] raw;
    }
    long at = hear(from, 900);
    ASSERT_GE(at, 0);
    EXPECT_NEAR(mon.loudMs(at), 600, 120);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(50), at + mon.samplesOf(550), 440), 0.5);
}

TEST_F(SoundTest, RapidRequestsFromSeveralThreadsLeaveAWorkingChannel)
{
    // A list clicked through quickly, with another thread stopping and probing at the same time.
    // The monitor is read all along, so that it does not fall behind.
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done) {
            sndPlaySound(nullptr, 0);
            sndPlaySound(tone(0.05, 880), kAsync | SND_NOSTOP);
            soundIsPlaying();
            QThread::usleep(300);
        }
    });
    std::atomic<bool> clicked{false};
    std::thread clicker([&] {
        for (int i = 0; i < 300; ++i) {
            const UINT extra = i % 3 == 0 ? SND_LOOP : 0;
            sndPlaySound(tone(0.1 + (i % 4) * 0.05), kAsync | extra);
            if (i % 11 == 0)
                sndPlaySound(imageOf("junk"), kAsync);
            if (i % 17 == 0)
                sndPlaySound(tone(0.02), SND_SYNC | SND_MEMORY);
        }
        clicked = true;
    });
    while (!clicked)
        mon.pump(20);
    done = true;
    clicker.join();
    other.join();
    sndPlaySound(nullptr, 0);
    ASSERT_TRUE(waitIdle());

    long from = mon.mark();
    mon.pump(300);
    EXPECT_EQ(mon.firstLoud(from + mon.samplesOf(150)), -1) << "nothing may go on after the last stop";
    from = mon.mark();
    ASSERT_TRUE(sndPlaySound(tone(0.5), kAsync));
    long at = hear(from, 800);
    ASSERT_GE(at, 0);
    EXPECT_NEAR(mon.loudMs(at), 500, 120);
    EXPECT_TRUE(waitIdle());
}

} // namespace
