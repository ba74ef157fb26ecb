// SPDX-License-Identifier: GPL-3.0-or-later
// TWavePlayer: loading, storing and playing, against real files and the test sound server.
#include "components/WavePlay.h"
#include "platform/sound/sound.h"
#include "support/soundmonitor.h"
#include "support/tempdrive.h"

#include <QBuffer>
#include <QDataStream>
#include <QThread>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

using testing_support::makeWav;
using testing_support::SoundMonitor;
using testing_support::TempDrive;

namespace {

QByteArray bytesOf(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

QByteArray storedForm(std::int32_t size, const QByteArray& payload = {})
{
    const auto u = std::uint32_t(size);
    QByteArray b;
    b.append(char(u & 0xFF)).append(char((u >> 8) & 0xFF)).append(char((u >> 16) & 0xFF)).append(char(u >> 24));
    return b + payload;
}

bool waitIdle()
{
    for (int i = 0; i < 300 && platform::soundIsPlaying(); ++i)
        QThread::msleep(10);
    return !platform::soundIsPlaying();
}

TEST(WavePlayer, PropertiesStoreWhatIsAssignedButPlayAlwaysReadsFalse)
{
    TWavePlayer player;
    for (const char* name : {"Default", "ForcePlay", "Loop", "Wait"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(player.property(name), QVariant(false));
        EXPECT_TRUE(player.setProperty(name, true));
        EXPECT_EQ(player.property(name), QVariant(true));
    }
    player.setProperty("Default", false); // so playing without a name stays silent
    player.setPlay(true);
    EXPECT_FALSE(player.Play());
    player.setProperty("Play", false);
    EXPECT_EQ(player.property("Play"), QVariant(false));

    const QStringList about = player.About();
    EXPECT_GE(about.size(), 2);
    player.setAbout({"changed"});
    EXPECT_EQ(player.About(), about);
    EXPECT_EQ(player.imageSize(), 0);
    EXPECT_FALSE(bool(player.OnDone()));
}

TEST(WavePlayer, EveryFileNameAssignmentTakesTheFileAsItIsNow)
{
    TempDrive drive;
    const std::string tone = makeWav(1, 8000, 16, 800, 440);
    drive.write("w/tone.wav", tone);
    drive.write("w/empty.wav", "");
    drive.mkdirs("w/folder.wav");
    ASSERT_EQ(::mkfifo(drive.native("w/fifo.wav").c_str(), 0600), 0);
    // Sparse, so cheap: past 4 GB the low 32 bits of the size alone would claim 100 bytes.
    drive.write("w/huge.wav", "RIFF");
    ASSERT_EQ(::truncate(drive.native("w/huge.wav").c_str(), (4LL << 30) + 100), 0);

    TWavePlayer player;
    player.setFileName("C:\\W\\TONE.WAV");
    EXPECT_EQ(player.imageSize(), std::int32_t(tone.size()));
    EXPECT_EQ(player.image(), bytesOf(tone));

    // Names that give no image: each leaves the player empty, whatever it held before.
    for (const char* name : {"", "C:\\W\\MISSING.WAV", "C:\\W\\EMPTY.WAV", "C:\\W\\FOLDER.WAV", "C:\\W\\FIFO.WAV",
                             "C:\\W\\HUGE.WAV", "C:\\NOWHERE\\TONE.WAV"}) {
        SCOPED_TRACE(name);
        player.setFileName("C:\\W\\TONE.WAV");
        ASSERT_EQ(player.imageSize(), std::int32_t(tone.size()));
        player.setFileName(name);
        EXPECT_EQ(player.FileName(), name);
        EXPECT_EQ(player.imageSize(), 0);
        EXPECT_TRUE(player.image().isEmpty());
    }

    // The same name again rereads the file as it is now.
    player.setFileName("C:\\W\\TONE.WAV");
    const std::string longer = makeWav(2, 8000, 16, 1600, 440);
    drive.write("w/tone.wav", longer);
    player.setFileName("C:\\W\\TONE.WAV");
    EXPECT_EQ(player.image(), bytesOf(longer));
}

TEST(WavePlayer, StoredImageTravelsWithItsLittleEndianSize)
{
    TWavePlayer empty;
    EXPECT_EQ(empty.WaveFile(), storedForm(0));

    TempDrive drive;
    const std::string tone = makeWav(1, 8000, 16, 300, 440);
    drive.write("tone.wav", tone);
    TWavePlayer source;
    source.setFileName("C:\\TONE.WAV");
    const QByteArray stored = source.WaveFile();
    EXPECT_EQ(stored, storedForm(std::int32_t(tone.size()), bytesOf(tone)));

    // Read back in a form whose file has gone: the stored image is what plays.
    TWavePlayer restored;
    restored.setFileName("C:\\GONE.WAV");
    restored.setWaveFile(stored);
    EXPECT_EQ(restored.image(), bytesOf(tone));

    // Streams carry more than one property; the reader takes exactly its own bytes.
    QByteArray twoInARow;
    {
        QDataStream out(&twoInARow, QIODevice::WriteOnly);
        source.WriteData(out);
        out << qint32(77);
    }
    QDataStream in(twoInARow);
    TWavePlayer reader;
    reader.ReadData(in);
    qint32 next = 0;
    in >> next;
    EXPECT_EQ(next, 77);
    EXPECT_EQ(reader.image(), bytesOf(tone));
}

TEST(WavePlayer, StoredSizeOfZeroOrLessOrADamagedStoreKeepsTheFilesImage)
{
    TempDrive drive;
    const std::string tone = makeWav(1, 8000, 16, 300, 440);
    drive.write("tone.wav", tone);
    const std::vector<std::pair<const char*, QByteArray>> stores = {
        {"size 0", storedForm(0)},
        {"size -1", storedForm(-1, "abc")},
        {"most negative size", storedForm(INT32_MIN)},
        {"size without bytes", storedForm(100)},
        {"cut-off image", storedForm(100, QByteArray(60, 'x'))},
        {"absurd size", storedForm(INT32_MAX, "RIFF")},
        {"cut-off size", QByteArray("\x10\x00", 2)},
    };
    for (const auto& [what, stored] : stores) {
        SCOPED_TRACE(what);
        TWavePlayer player;
        player.setFileName("C:\\TONE.WAV");
        player.setWaveFile(stored);
        EXPECT_EQ(player.image(), bytesOf(tone));
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define TONFOLIO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TONFOLIO_SANITIZED 1
#endif
#endif

TEST(WavePlayer, AFileTooLargeForMemoryPlaysFromTheDisk)
{
#ifdef TONFOLIO_SANITIZED
    GTEST_SKIP() << "the sanitizer's allocator reports a failed allocation instead of throwing";
#else
    TempDrive drive;
    // A sparse wave of 1.5 GB; the address space is then limited so that it cannot be held.
    std::string header = makeWav(2, 44100, 16, 0);
    const std::uint32_t dataSize = (1536u << 20) - 44;
    for (int i = 0; i < 4; ++i) {
        header[std::size_t(4 + i)] = char(((dataSize + 36) >> (8 * i)) & 0xFF);
        header[std::size_t(40 + i)] = char((dataSize >> (8 * i)) & 0xFF);
    }
    drive.write("huge.wav", header);
    ASSERT_EQ(::truncate(drive.native("huge.wav").c_str(), 1536LL << 20), 0);

    TWavePlayer player;
    player.setForcePlay(true);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &old), 0);
    rlimit tight = old;
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    ASSERT_GT(pages, 0);
    tight.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (512u << 20);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    player.setFileName("C:\\HUGE.WAV");
    player.PlayWave();
    const bool sounding = platform::soundIsPlaying();
    // Storing it would take the whole file; there is no room for that, and nothing breaks.
    const bool noStoredImage = player.image().isEmpty();
    ::setrlimit(RLIMIT_AS, &old);
    player.StopWave();
    if (SoundMonitor::serverConfigured()) {
        EXPECT_TRUE(sounding);
    }
    EXPECT_TRUE(noStoredImage);
    EXPECT_EQ(player.imageSize(), 1536 << 20);
#endif
}

/// A 600 ms recording of a tone (noise for 0 Hz) in which `seams` pieces of 3 ms were lost, as happens
/// when the recorder is starved on a busy machine.
std::vector<std::int16_t> recording(double hz, int seams)
{
    const long length = SoundMonitor::samplesOf(600), lost = SoundMonitor::samplesOf(3);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 5000);
    std::vector<std::int16_t> out;
    for (long i = 0, t = 0; i < length; ++i, ++t) {
        if (seams > 0 && (i + SoundMonitor::samplesOf(13)) % (length / (seams + 1)) == 0)
            t += lost;
        out.push_back(std::int16_t(hz > 0 ? 8000 * std::sin(2 * M_PI * hz * double(t) / SoundMonitor::kRate)
                                          : noise(random)));
    }
    return out;
}

// How the listening tests judge a tone: seams in the recording do not hide it, but another tone or
// noise never passes for it.
TEST(SoundMonitorJudging, ATonesShareSurvivesSeamsInTheRecording)
{
    const struct {
        double hz;
        int seams;
        double least, most;
    } cases[] = {{440, 0, 0.9, 1.1}, {440, 1, 0.8, 1.1}, {440, 3, 0.7, 1.1}, {880, 0, 0, 0.05}, {0, 0, 0, 0.05}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz, " << c.seams << " seams");
        SoundMonitor mon;
        mon.append(recording(c.hz, c.seams));
        const double share = mon.toneShare(0, mon.size(), 440);
        EXPECT_GE(share, c.least);
        EXPECT_LE(share, c.most);
    }
}

// Playing, heard through the test server's null sink.
class WavePlayerSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SoundMonitor::serverConfigured())
            GTEST_SKIP() << "no test sound server (source scripts/pulse.sh; start_pulse)";
        platform::sndPlaySound(nullptr, 0);
        ASSERT_TRUE(mon.start());
        drive.write("a440.wav", makeWav(1, 22050, 16, 22050 * 6 / 10, 440));
        drive.write("b880.wav", makeWav(1, 22050, 16, 22050 * 6 / 10, 880));
        drive.write("long.wav", makeWav(1, 22050, 16, 22050 * 5, 440));
        drive.write("text.wav", "not a sound at all");
        // The browser window's settings: cut off what plays, never the default sound.
        player.setForcePlay(true);
    }
    void TearDown() override
    {
        platform::sndPlaySound(nullptr, 0);
        waitIdle();
    }
    long heardAt(long from) { return mon.waitForSound(from, 3000); }

    TempDrive drive;
    SoundMonitor mon;
    TWavePlayer player;
};

TEST_F(WavePlayerSound, PlaysTheLoadedFileOnceOrLooped)
{
    player.setFileName("C:\\A440.WAV");
    long from = mon.mark();
    player.PlayWave();
    long at = heardAt(from);
    ASSERT_GE(at, 0);
    mon.pump(900);
    EXPECT_NEAR(mon.loudMs(at), 600, 120);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(50), at + mon.samplesOf(550), 440), 0.5);
    ASSERT_TRUE(waitIdle());

    // Loop is read when the play starts; clearing it afterwards does not end the repeat.
    player.setLoop(true);
    from = mon.mark();
    player.setPlay(true);
    player.setLoop(false);
    at = heardAt(from);
    ASSERT_GE(at, 0);
    mon.pump(1500);
    EXPECT_GT(mon.loudMs(at), 1300);
    player.StopWave();
    EXPECT_FALSE(platform::soundIsPlaying());
}

TEST_F(WavePlayerSound, WithoutForcePlayARunningSoundIsNotInterrupted)
{
    player.setFileName("C:\\LONG.WAV");
    long from = mon.mark();
    player.PlayWave();
    ASSERT_GE(heardAt(from), 0);
    TWavePlayer second;
    second.setFileName("C:\\B880.WAV");
    second.PlayWave(); // ForcePlay false
    long after = mon.mark();
    mon.pump(500);
    EXPECT_GT(mon.loudMs(after), 400);
    EXPECT_GT(mon.toneShare(after, mon.size(), 440), 0.4);
    EXPECT_LT(mon.toneShare(after, mon.size(), 880), 0.05);
}

TEST_F(WavePlayerSound, ANewNameOrTheEndOfThePlayerDoesNotCutTheSoundItStarted)
{
    auto* owned = new TWavePlayer;
    owned->setFileName("C:\\LONG.WAV");
    owned->setForcePlay(true);
    long from = mon.mark();
    owned->PlayWave();
    ASSERT_GE(heardAt(from), 0);
    owned->setFileName("C:\\B880.WAV");
    owned->setFileName("");
    delete owned;
    long after = mon.mark();
    mon.pump(600);
    EXPECT_GT(mon.loudMs(after), 500);
    EXPECT_GT(mon.toneShare(after, mon.size(), 440), 0.5);
}

TEST_F(WavePlayerSound, AnUnplayableOrMissingFileStopsWhatPlays)
{
    for (const char* name : {"C:\\TEXT.WAV", "C:\\MISSING.WAV"}) {
        SCOPED_TRACE(name);
        player.setFileName("C:\\LONG.WAV");
        long from = mon.mark();
        player.PlayWave();
        ASSERT_GE(heardAt(from), 0);
        player.setFileName(name);
        player.PlayWave();
        long stopped = mon.mark();
        mon.pump(400);
        EXPECT_EQ(mon.firstLoud(stopped + mon.samplesOf(150)), -1);
    }
}

TEST_F(WavePlayerSound, DefaultSoundOnlyWhenAskedForWithoutAName)
{
    long from = mon.mark();
    player.PlayWave(); // no name, Default false: nothing at all
    mon.pump(400);
    EXPECT_EQ(mon.firstLoud(from), -1);

    player.setDefault(true);
    from = mon.mark();
    player.PlayWave();
    EXPECT_GE(heardAt(from), 0);
}

TEST_F(WavePlayerSound, StopWaveStopsASoundStartedElsewhereAndWaitReturnsAfterTheEnd)
{
    ASSERT_TRUE(platform::sndPlaySound("C:\\LONG.WAV", platform::SND_ASYNC | platform::SND_NODEFAULT));
    long from = mon.mark();
    ASSERT_GE(heardAt(from), 0);
    player.StopWave();
    long stopped = mon.mark();
    mon.pump(400);
    EXPECT_EQ(mon.firstLoud(stopped + mon.samplesOf(150)), -1);

    player.setFileName("C:\\A440.WAV");
    player.setWait(true);
    player.PlayWave();
    EXPECT_FALSE(platform::soundIsPlaying());
}

} // namespace
