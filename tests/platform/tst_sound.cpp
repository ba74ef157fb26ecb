// SPDX-License-Identifier: GPL-3.0-or-later
// The sound call against the test sound server: what reaches the null sink is recorded and checked.
#include "support/soundcalltest.h"
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
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace sound_testing;

namespace {

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

/// RMS of what sox decodes from a file, at the monitor's rate and in mono, over [from, to) seconds.
double referenceRms(const QString& file, double from, double to)
{
    QProcess sox;
    sox.start("sox",
              {file, "-t", "raw", "-e", "signed", "-b", "16", "-c", "1", "-r", QString::number(SoundMonitor::kRate),
               "-", "trim", QString::number(from), QString::number(to - from)});
    if (!sox.waitForFinished(10000))
        return -1;
    const QByteArray raw = sox.readAllStandardOutput();
    const auto* v = reinterpret_cast<const std::int16_t*>(raw.constData());
    double sum = 0;
    const qsizetype n = raw.size() / 2;
    for (qsizetype i = 0; i < n; ++i)
        sum += double(v[i]) * v[i];
    return n > 0 ? std::sqrt(sum / double(n)) : -1;
}

TEST_F(SoundTest, EveryWaveEncodingIsHeardFromItsFile)
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
    testing_support::TempDrive drive;
    const QString out = QString::fromStdString(drive.native("out.wav"));
    auto expectHeardAsSoxHearsIt = [&](const QString& file) {
        long from = mon.mark();
        ASSERT_TRUE(sndPlaySound("C:\\OUT.WAV", SND_ASYNC | SND_NODEFAULT));
        long at = hear(from, 800);
        ASSERT_GE(at, 0) << "nothing was heard";
        EXPECT_NEAR(mon.loudMs(at), 500, 120);
        EXPECT_GT(mon.toneShare(at + mon.samplesOf(50), at + mon.samplesOf(450), 440), 0.4);
        // The level of a reference decode, within what resampling and the server's mixing allow.
        const double reference = referenceRms(file, 0.1, 0.4);
        const double heard = mon.rms(at + mon.samplesOf(100), at + mon.samplesOf(400));
        EXPECT_NEAR(heard / reference, 1.0, 0.2) << "heard " << heard << ", sox decodes " << reference;
        ASSERT_TRUE(waitIdle());
    };
    for (const Encoding& e : encodings) {
        SCOPED_TRACE(e.name);
        QFile::remove(out);
        QStringList args = {QString::fromStdString(src)};
        args << e.soxArgs << "-t"
             << "wav" << out;
        ASSERT_EQ(QProcess::execute("sox", args), 0);
        expectHeardAsSoxHearsIt(out);
    }

    // Waves the list shows as plain PCM that libsndfile refuses play what the list describes: the
    // first format chunk and the first data chunk after it.
    const auto [fmt, data] = chunksOf(makeWav(1, 8000, 16, 4000, 440));
    const auto [fmt880, data880] = chunksOf(makeWav(2, 16000, 16, 4000, 880));
    const std::vector<std::pair<const char*, std::string>> refused = {
        {"two data chunks", riffOf(fmt + data + data880)},
        {"two format chunks", riffOf(fmt + fmt880 + data)},
    };
    const QString reference = dir.filePath("reference.wav");
    {
        std::ofstream(reference.toStdString(), std::ios::binary) << riffOf(fmt + data);
    }
    for (const auto& [what, bytes] : refused) {
        SCOPED_TRACE(what);
        drive.write("out.wav", bytes);
        expectHeardAsSoxHearsIt(reference);
    }
    // A-law and mu-law the same way.
    for (const char* encoding : {"a-law", "u-law"}) {
        SCOPED_TRACE(encoding);
        ASSERT_EQ(QProcess::execute("sox", {QString::fromStdString(src), "-e", encoding, "-t", "wav", reference}), 0);
        const std::string coded = readAll(reference.toStdString());
        // sox writes an 18-byte format chunk and a fact chunk; the data chunk comes last.
        const std::size_t dataAt = coded.find("data");
        ASSERT_NE(dataAt, std::string::npos);
        const std::string head = coded.substr(12, dataAt - 12);
        drive.write("out.wav", riffOf(head + coded.substr(dataAt) + coded.substr(dataAt)));
        expectHeardAsSoxHearsIt(reference);
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

/// Whether this process holds a descriptor of the file.
bool holdsDescriptorOf(const std::string& path)
{
    const QDir fds("/proc/self/fd");
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.startsWith(QString::fromStdString(path)))
            return true;
    }
    return false;
}

TEST_F(SoundTest, AFileChangedWhilePlayingGoesOnAsOpenedOrEndsEarlyAndIsLetGo)
{
    testing_support::TempDrive drive;
    const std::string tone440 = makeWav(1, 22050, 16, 22050 * 3 / 2, 440);
    const std::string path = drive.native("w.wav");

    // Deleted, then replaced by another sound under the same name: what was opened plays on.
    drive.write("w.wav", tone440);
    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound("C:\\W.WAV", SND_ASYNC | SND_NODEFAULT));
    long at = hear(from, 200);
    ASSERT_GE(at, 0);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    drive.write("w.wav", makeWav(1, 22050, 16, 22050 * 3, 880));
    mon.pump(1600);
    EXPECT_NEAR(mon.loudMs(at), 1500, 150);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(300), at + mon.samplesOf(1400), 440), 0.5);
    EXPECT_LT(mon.toneShare(at, mon.size(), 880), 0.05);
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(holdsDescriptorOf(drive.root())) << "a sound that has ended keeps no file open";

    // Cut short while it plays: it ends early, cleanly, and lets the file go.
    drive.write("w.wav", makeWav(1, 22050, 16, 22050 * 6, 440));
    from = mon.mark();
    ASSERT_TRUE(sndPlaySound("C:\\W.WAV", SND_ASYNC | SND_NODEFAULT));
    at = hear(from, 300);
    ASSERT_GE(at, 0);
    ASSERT_EQ(::truncate(path.c_str(), 44 + 22050), 0); // half a second of samples left
    mon.pump(3500);
    EXPECT_LT(mon.loudMs(at), 3000); // what was read ahead still plays
    EXPECT_GT(mon.toneShare(at, mon.lastLoud(at), 440), 0.5) << "what plays up to the cut is the sound, not noise";
    EXPECT_TRUE(waitIdle());
    EXPECT_FALSE(holdsDescriptorOf(drive.root()));

    // Stopped: the file is let go at once.
    drive.write("w.wav", tone440);
    ASSERT_TRUE(sndPlaySound("C:\\W.WAV", SND_ASYNC | SND_NODEFAULT | SND_LOOP));
    EXPECT_TRUE(holdsDescriptorOf(drive.root()));
    sndPlaySound(nullptr, 0);
    EXPECT_FALSE(holdsDescriptorOf(drive.root()));
}

TEST_F(SoundTest, AnRf64FileOfMoreThan4GBPlays)
{
    testing_support::TempDrive drive;
    // Sparse: two seconds of tone at the start, silence to 4.5 GB.
    const auto [fmt, data] = chunksOf(makeWav(2, 44100, 16, 44100 * 2, 440));
    const std::uint64_t dataSize = 4500000000ull - 80;
    const std::string ds64 =
        "ds64" + le(28, 4) + le(dataSize + 72, 8) + le(dataSize, 8) + le(dataSize / 4, 8) + le(0, 4);
    drive.write("big.wav",
                "RF64" + le(0xFFFFFFFF, 4) + "WAVE" + ds64 + fmt + "data" + le(0xFFFFFFFF, 4) + data.substr(8));
    ASSERT_EQ(::truncate(drive.native("big.wav").c_str(), off_t(80 + dataSize)), 0);

    long from = mon.mark();
    ASSERT_TRUE(sndPlaySound("C:\\BIG.WAV", SND_ASYNC | SND_NODEFAULT));
    long at = hear(from, 2500);
    ASSERT_GE(at, 0);
    EXPECT_NEAR(mon.loudMs(at, at + mon.samplesOf(2400)), 2000, 150);
    EXPECT_GT(mon.toneShare(at + mon.samplesOf(100), at + mon.samplesOf(1900), 440), 0.5);
    EXPECT_TRUE(soundIsPlaying()) << "the silent rest of the file plays on";
}

} // namespace
