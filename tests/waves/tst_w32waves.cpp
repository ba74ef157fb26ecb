// SPDX-License-Identifier: GPL-3.0-or-later
// The header reader against real files (made by sox or byte by byte), and the row texts.
#include "support/tempdrive.h"
#include "waves/W32Waves.h"
#include "waves/riffbytes.h"

#include <QLocale>
#include <QProcess>
#include <QStringList>
#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace riffbytes;
using testing_support::TempDrive;

namespace {

struct Fields {
    quint16 tag, channels;
    quint32 rate;
    quint16 bits;
    quint32 dataSize;
};

void expectFields(const TWaveInfo& w, const Fields& f)
{
    EXPECT_EQ(w.FormatTag, f.tag);
    EXPECT_EQ(w.Channels, f.channels);
    EXPECT_EQ(w.SamplesPerSec, f.rate);
    EXPECT_EQ(w.BitsPerSample, f.bits);
    EXPECT_EQ(w.DataSize, f.dataSize);
}

void expectAllZero(const TWaveInfo& w)
{
    expectFields(w, {0, 0, 0, 0, 0});
    EXPECT_EQ(w.Length, 0);
}

TWaveInfo info(bool valid, long double length)
{
    TWaveInfo w;
    w.Valid = valid;
    w.Length = length;
    return w;
}

} // namespace

// Files as a sound program writes them, one per encoding the list is expected to describe.
TEST(ReadWaveInfo, FormatsWrittenBySox)
{
    struct Row {
        const char* name;
        QStringList encoding;
        int rate, channels;
        const char* duration;
        Fields fields;
        const char* format;
        const char* length; ///< empty: an estimate, checked for plausibility only
        const char* type;
    };
    const Row rows[] = {
        {"u8",
         {"-e", "unsigned", "-b", "8"},
         11025,
         1,
         "16538s",
         {1, 1, 11025, 8, 16538},
         "11.025 kHz, 8 Bit, Mono",
         "00:01.500",
         "Microsoft PCM"},
        {"s16",
         {"-e", "signed", "-b", "16"},
         22050,
         2,
         "22050s",
         {1, 2, 22050, 16, 88200},
         "22.05 kHz, 16 Bit, Stereo",
         "00:01.000",
         "Microsoft PCM"},
        {"s24",
         {"-t", "wavpcm", "-e", "signed", "-b", "24"},
         44100,
         2,
         "66150s",
         {1, 2, 44100, 24, 396900},
         "44.1 kHz, 24 Bit, Stereo",
         "00:01.500",
         "Microsoft PCM"},
        {"s32",
         {"-t", "wavpcm", "-e", "signed", "-b", "32"},
         48000,
         1,
         "96000s",
         {1, 1, 48000, 32, 384000},
         "48 kHz, 32 Bit, Mono",
         "00:02.000",
         "Microsoft PCM"},
        {"extensible",
         {"-e", "signed", "-b", "24"},
         96000,
         6,
         "9600s",
         {0xFFFE, 6, 96000, 24, 172800},
         "96 kHz, 24 Bit, Stereo",
         "00:00.100",
         ""},
        {"float",
         {"-e", "floating-point", "-b", "32"},
         8000,
         1,
         "8000s",
         {3, 1, 8000, 32, 32000},
         "8 kHz, 32 Bit, Mono",
         "00:01.000",
         ""},
        {"alaw",
         {"-e", "a-law"},
         8000,
         1,
         "12000s",
         {6, 1, 8000, 8, 12000},
         "8 kHz, 8 Bit, Mono",
         "00:01.500",
         "Microsoft ALAW"},
        {"mulaw",
         {"-e", "u-law"},
         8000,
         2,
         "4000s",
         {7, 2, 8000, 8, 8000},
         "8 kHz, 8 Bit, Stereo",
         "00:00.500",
         "Microsoft MULAW"},
        {"ima", {"-e", "ima-adpcm"}, 22050, 1, "1", {17, 1, 22050, 4, 0}, "22.05 kHz, 4 Bit, Mono", "", "Intel ADPCM"},
        {"msadpcm",
         {"-e", "ms-adpcm"},
         11025,
         2,
         "1",
         {2, 2, 11025, 4, 0},
         "11.025 kHz, 4 Bit, Stereo",
         "",
         "Microsoft ADPCM"},
        // GSM declares 0 bits per sample: a read header whose fields are all zeroed.
        {"gsm", {"-e", "gsm-full-rate"}, 8000, 1, "1", {0, 0, 0, 0, 0}, "0 kHz, 0 Bit, Stereo", "00:00.000", "Unknown"},
    };
    TempDrive drive;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString file = QString::fromStdString(drive.native(std::string(r.name) + ".wav"));
        QStringList args{"-V1",
                         "-r",
                         QString::number(r.rate),
                         "-n",
                         "-r",
                         QString::number(r.rate),
                         "-c",
                         QString::number(r.channels)};
        args << r.encoding << file << "synth" << r.duration << "sine"
             << "440";
        ASSERT_EQ(QProcess::execute("sox", args), 0);

        TWaveInfo w;
        w.Length = 99;
        ASSERT_TRUE(ReadWaveInfo("C:\\" + QString::fromLatin1(r.name).toUpper().toStdString() + ".WAV", w));
        EXPECT_TRUE(w.Valid);
        Fields expected = r.fields;
        if (expected.bits == 4) {
            // Block-coded: the data size depends on the coder's block layout; the time is an estimate.
            expected.dataSize = w.DataSize;
            EXPECT_GT(w.DataSize, 0u);
            EXPECT_NEAR(double(w.Length), 1.0, 0.1);
        } else {
            EXPECT_EQ(WaveLengthText(w).toStdString(), r.length);
        }
        expectFields(w, expected);
        EXPECT_EQ(WaveFormatText(w).toStdString(), r.format);
        EXPECT_EQ(WaveTypeText(w).toStdString(), r.type);
    }
}

// Files written byte by byte: extra chunks, pad bytes, and damage of every kind.
TEST(ReadWaveInfo, ChunkLayoutsAndDamage)
{
    const std::string fmt16 = chunk("fmt ", fmtBody(1, 2, 22050, 16));
    const std::string data88200 = chunkDeclaring("data", 88200, std::string(64, '\0'));
    const Fields full{1, 2, 22050, 16, 88200};
    const Fields formatOnly{1, 2, 22050, 16, 0};
    const std::string zeroChain = [] {
        std::string s;
        for (int i = 0; i < 20000; ++i)
            s += chunkDeclaring("JUNK", 0);
        return s;
    }();
    struct Row {
        const char* name;
        std::string bytes;
        bool valid;
        Fields fields;
        long double length;
    };
    const Row rows[] = {
        {"empty file", "", false, {}, 0},
        {"text", "This is not a wave file, just some text that ends in .wav\n", false, {}, 0},
        {"zeros", std::string(100000, '\0'), false, {}, 0},
        {"other form type", riff(chunk("avih", std::string(56, 'x')) + fmt16 + data88200, "AVI "), false, {}, 0},
        {"lower-case form type", riff(fmt16 + data88200, "wave"), false, {}, 0},
        {"upper-case fmt id", riff(chunk("FMT ", fmtBody(1, 2, 22050, 16)) + data88200), false, {}, 0},
        {"wave after another riff", riff(std::string(10, 'x'), "AVI ") + riff(fmt16 + data88200), true, full, 1.0L},
        {"wave after a plain top-level chunk", chunk("junk", "abc") + riff(fmt16 + data88200), true, full, 1.0L},
        {"canonical 44-byte header", riff(fmt16 + data88200), true, full, 1.0L},
        {"extended format chunk",
         riff(chunk("fmt ", fmtBody(2, 1, 8000, 4, u16(32) + std::string(32, '\x07'))) + chunkDeclaring("data", 4000)),
         true,
         {2, 1, 8000, 4, 4000},
         1.0L},
        {"fact and LIST before and between",
         riff(chunk("fact", u32(1)) + chunk("LIST", "INFOISFT" + u32(5) + "sox!\0") + fmt16 + chunk("LIST", "INFO") +
              chunk("fact", u32(44100)) + data88200),
         true, full, 1.0L},
        {"odd chunks with pad bytes", riff(chunk("odd1", "x") + fmt16 + chunk("odd2", "abcde") + data88200), true, full,
         1.0L},
        {"odd format chunk with pad byte",
         riff(chunk("fmt ", fmtBody(1, 2, 22050, 16, "z")) + chunk("bext", "123") + data88200), true, full, 1.0L},
        {"zero-size chunk chain", riff(zeroChain + fmt16 + zeroChain + data88200), true, full, 1.0L},
        // Zero bytes read as empty unnamed chunks, 8 bytes each: a wave after them is found on that grid only.
        {"zeros before the riff chunk", std::string(100000, '\0') + riff(fmt16 + data88200), true, full, 1.0L},
        {"zeros off the chunk grid", std::string(100001, '\0') + riff(fmt16 + data88200), false, {}, 0},
        {"zeros inside the riff chunk", riff(std::string(4096, '\0') + fmt16 + std::string(8, '\0') + data88200), true,
         full, 1.0L},
        {"zeros running past the riff extent",
         chunkDeclaring("RIFF", 4 + 4096, "WAVE" + std::string(8192, '\0') + fmt16 + data88200),
         false,
         {},
         0},
        {"data before fmt", riff(chunk("data", "1234") + fmt16 + chunk("LIST", "INFO")), false, formatOnly, 0},
        {"no fmt", riff(chunk("LIST", "INFO") + data88200), false, {}, 0},
        {"file ends inside the 20 format bytes", "RIFF" + u32(36) + "WAVE" + fmt16 + "dat", false, {}, 0},
        {"file ends after the 20 format bytes", "RIFF" + u32(36) + "WAVE" + fmt16 + "data", false, formatOnly, 0},
        // The 20 bytes run on into the data chunk; the walk still goes on after the 2 declared bytes.
        {"format chunk of 2 bytes",
         riff(chunk("fmt ", u16(1)) +
              chunkDeclaring("data", 88200, std::string(4, '\0') + u16(16) + std::string(8, '\0'))),
         true,
         {1, 0x6164, 0x58886174u, 16, 88200},
         88200.0L * 8 / 16 / 0x6164 / 0x58886174u},
        {"data larger than the file",
         riff(fmt16 + chunkDeclaring("data", 441000, "ab")),
         true,
         {1, 2, 22050, 16, 441000},
         5.0L},
        {"riff declaring more than the file", chunkDeclaring("RIFF", 0xFFFFFFFFu, "WAVE" + fmt16 + data88200), true,
         full, 1.0L},
        {"riff holding only its form type", chunkDeclaring("RIFF", 4, "WAVE" + fmt16 + data88200), false, {}, 0},
        {"riff ending inside its format chunk", chunkDeclaring("RIFF", 4 + 8, "WAVE" + fmt16 + data88200), false,
         formatOnly, 0},
        {"data beyond the riff extent", chunkDeclaring("RIFF", 4 + 24, "WAVE" + fmt16 + data88200), false, formatOnly,
         0},
        {"nested riff with bogus size",
         riff(chunkDeclaring("RIFF", 0xFFFFFFF0u, "WAVE") + fmt16 + data88200),
         false,
         {},
         0},
        {"chunk size wrapping to the file start",
         riff(chunkDeclaring("JUNK", 0xFFFFFFF4u) + fmt16 + data88200),
         false,
         {},
         0},
        {"format chunk size wrapping", riff(chunkDeclaring("fmt ", 0xFFFFFFFFu, fmtBody(1, 2, 22050, 16)) + data88200),
         false, formatOnly, 0},
        {"no channels", riff(chunk("fmt ", fmtBody(1, 0, 22050, 16)) + data88200), true, {}, 0},
        {"no rate", riff(chunk("fmt ", fmtBody(1, 2, 0, 16)) + data88200), true, {}, 0},
        {"no bits", riff(chunk("fmt ", fmtBody(1, 2, 22050, 0)) + data88200), true, {}, 0},
        {"mono twice as long as stereo",
         riff(chunk("fmt ", fmtBody(1, 1, 22050, 16)) + data88200),
         true,
         {1, 1, 22050, 16, 88200},
         2.0L},
        // Large declared sizes: the count of samples must not overflow.
        {"data of 256 MiB",
         riff(fmt16 + chunkDeclaring("data", 1u << 28)),
         true,
         {1, 2, 22050, 16, 1u << 28},
         (long double)(1u << 26) / 22050},
        {"data of 2 GiB",
         riff(fmt16 + chunkDeclaring("data", 0x80000000u)),
         true,
         {1, 2, 22050, 16, 0x80000000u},
         (long double)(1u << 29) / 22050},
        {"data of 4 GiB - 1",
         riff(fmt16 + chunkDeclaring("data", 0xFFFFFFFFu)),
         true,
         {1, 2, 22050, 16, 0xFFFFFFFFu},
         (long double)(0xFFFFFFFFull * 8 / 16) / 2 / 22050},
        // RF64: the sizes of 4 GB and more stand in the ds64 chunk.
        {"rf64 of 6 GB",
         "RF64" + u32(0xFFFFFFFFu) + "WAVE" +
             chunk("ds64", u32(0x65A0BC00u) + u32(1) + u32(0x65A0BC00u) + u32(1) + u32(0x596E8300u) + u32(0) + u32(0)) +
             fmt16 + chunkDeclaring("data", 0xFFFFFFFFu),
         true,
         {1, 2, 22050, 16, 0xFFFFFFFFu},
         (long double)(0x165A0BC00ull / 4) / 22050},
        {"rf64 without ds64",
         "RF64" + u32(0xFFFFFFFFu) + "WAVE" + fmt16 + chunkDeclaring("data", 0xFFFFFFFFu),
         false,
         {},
         0},
        {"rate above 2^31",
         riff(chunk("fmt ", fmtBody(1, 1, 0x80000000u, 8)) + chunkDeclaring("data", 0x80000000u)),
         true,
         {1, 1, 0x80000000u, 8, 0x80000000u},
         1.0L},
    };
    TempDrive drive;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        drive.write("case.wav", r.bytes);
        TWaveInfo w;
        w.FormatTag = 77;
        w.DataSize = 77;
        w.Length = 77;
        w.Valid = !r.valid;
        EXPECT_EQ(ReadWaveInfo("C:\\CASE.WAV", w), r.valid);
        EXPECT_EQ(w.Valid, r.valid);
        expectFields(w, r.fields);
        EXPECT_NEAR(double(w.Length), double(r.length), 1e-9 * double(r.length));
    }
}

// Times read from headers, to the millisecond: a 256 MiB data chunk would give a negative time in
// 32-bit signed arithmetic, and a time of a whole number of milliseconds must not read 1 ms short.
TEST(ReadWaveInfo, HeaderTimesReadToTheMillisecond)
{
    struct Row {
        unsigned channels;
        std::uint32_t rate;
        unsigned bits;
        std::uint32_t dataSize;
        const char* length;
    };
    const Row rows[] = {
        {2, 44100, 16, 0xFFFFFFF0u, "405:47.887"}, {1, 8000, 8, 8456, "00:01.057"},
        {2, 44100, 16, 370440, "00:02.100"},       {1, 8000, 8, 8, "00:00.001"},
        {2, 48000, 24, 1152000, "00:04.000"},      {1, 8000, 8, 8455, "00:01.056"},
    };
    TempDrive drive;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.length);
        drive.write("t.wav",
                    riff(chunk("fmt ", fmtBody(1, r.channels, r.rate, r.bits)) + chunkDeclaring("data", r.dataSize)));
        TWaveInfo w;
        ASSERT_TRUE(ReadWaveInfo("C:\\t.wav", w));
        EXPECT_EQ(WaveLengthText(w).toStdString(), r.length);
    }
}

// Entries that are no regular file, or that cannot be read, read as nothing and never block.
TEST(ReadWaveInfo, EntriesThatAreNoFiles)
{
    TempDrive drive;
    drive.mkdirs("folder.wav");
    ASSERT_EQ(::mkfifo(drive.native("fifo.wav").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/zero", drive.native("device.wav").c_str()), 0);
    ASSERT_EQ(::symlink(drive.native("gone.wav").c_str(), drive.native("dangling.wav").c_str()), 0);
    drive.write("real.wav", wave(1, 1, 8000, 8, 8000));
    ASSERT_EQ(::symlink(drive.native("real.wav").c_str(), drive.native("link.wav").c_str()), 0);
    for (const char* name : {"C:\\FOLDER.WAV", "C:\\FIFO.WAV", "C:\\DEVICE.WAV", "C:\\DANGLING.WAV", "C:\\MISSING.WAV",
                             "C:\\NO\\SUCH\\FOLDER\\A.WAV", "C:\\", "", "Q:\\A.WAV", "relative.wav"}) {
        SCOPED_TRACE(name);
        TWaveInfo w;
        w.Channels = 3;
        EXPECT_FALSE(ReadWaveInfo(name, w));
        EXPECT_FALSE(w.Valid);
        expectAllZero(w);
    }
    TWaveInfo w;
    EXPECT_TRUE(ReadWaveInfo("C:\\Link.Wav", w));
    EXPECT_EQ(w.DataSize, 8000u);
}

TEST(ReadWaveInfo, UnreadableFile)
{
    TempDrive drive;
    drive.write("locked.wav", wave(1, 1, 8000, 8, 8000));
    ASSERT_EQ(::chmod(drive.native("locked.wav").c_str(), 0), 0);
    ASSERT_EQ(::chmod(drive.root().c_str(), 0755), 0);
    // The superuser reads anything; checking file access as nobody makes the permission bind.
    const bool root = ::geteuid() == 0;
    if (root)
        ::setfsuid(65534);
    TWaveInfo w;
    w.Channels = 2;
    const bool read = ReadWaveInfo("C:\\LOCKED.WAV", w);
    if (root)
        ::setfsuid(0);
    EXPECT_FALSE(read);
    expectAllZero(w);
}

// Holes of sparse files are zeros that are never read.
TEST(ReadWaveInfo, SparseFiles)
{
    TempDrive drive;
    const std::string wave16 = wave(1, 2, 22050, 16, 88200);
    drive.write("hole.wav", "");
    ASSERT_EQ(::truncate(drive.native("hole.wav").c_str(), off_t(1) << 36), 0); // 64 GiB of nothing
    drive.write("late.wav", "");
    const int fd = ::open(drive.native("late.wav").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, wave16.data(), wave16.size(), 1 << 24), ssize_t(wave16.size()));
    ::close(fd);
    TWaveInfo w;
    EXPECT_FALSE(ReadWaveInfo("C:\\HOLE.WAV", w));
    expectAllZero(w);
    EXPECT_TRUE(ReadWaveInfo("C:\\LATE.WAV", w));
    EXPECT_EQ(w.DataSize, 88200u);
}

// Nothing survives from one call to the next, also when the file changes in between.
TEST(ReadWaveInfo, FileChangingBetweenCalls)
{
    TempDrive drive;
    const std::string full = wave(1, 2, 22050, 16, 88200);
    TWaveInfo w;
    drive.write("s.wav", full);
    ASSERT_TRUE(ReadWaveInfo("C:\\S.WAV", w));
    for (std::size_t size : {full.size() - 1000, std::size_t(44), std::size_t(40), std::size_t(30), std::size_t(0)}) {
        SCOPED_TRACE(size);
        ASSERT_EQ(::truncate(drive.native("s.wav").c_str(), off_t(size)), 0);
        const bool valid = ReadWaveInfo("C:\\S.WAV", w);
        EXPECT_EQ(valid, size >= 44);
        EXPECT_EQ(w.DataSize, size >= 44 ? 88200u : 0u);
        EXPECT_EQ(w.Channels, size >= 40 ? 2 : 0);
    }
}

TEST(WaveTexts, FormatText)
{
    struct Row {
        quint32 rate;
        quint16 channels, bits;
        bool valid;
        const char* text;
    };
    const Row rows[] = {
        {22050, 2, 16, true, "22.05 kHz, 16 Bit, Stereo"},
        {44100, 1, 8, true, "44.1 kHz, 8 Bit, Mono"},
        {8000, 1, 16, true, "8 kHz, 16 Bit, Mono"},
        {11025, 6, 24, true, "11.025 kHz, 24 Bit, Stereo"},
        {1, 2, 4, true, "0.001 kHz, 4 Bit, Stereo"},
        {1000000, 1, 65535, true, "1000 kHz, 65535 Bit, Mono"},
        {4294967295u, 1, 8, true, "4294967.295 kHz, 8 Bit, Mono"},
        {0, 0, 0, true, "0 kHz, 0 Bit, Stereo"},
        {44100, 2, 16, false, "Unknown"},
    };
    QLocale::setDefault(QLocale(QLocale::German)); // the rate never takes the locale's separators
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        TWaveInfo w;
        w.SamplesPerSec = r.rate;
        w.Channels = r.channels;
        w.BitsPerSample = r.bits;
        w.Valid = r.valid;
        EXPECT_EQ(WaveFormatText(w).toStdString(), r.text);
    }
    QLocale::setDefault(QLocale::c());
}

TEST(WaveTexts, LengthText)
{
    struct Row {
        long double seconds;
        bool valid;
        const char* text;
    };
    const Row rows[] = {
        {1.0L, true, "00:01.000"},    {90.5L, true, "01:30.500"},
        {0, true, "00:00.000"},       {3725.25L, true, "62:05.250"},
        {60, true, "01:00.000"},      {59.9999L, true, "00:59.999"},
        {1.9999L, true, "00:01.999"}, {16538.0L / 11025, true, "00:01.500"},
        {599.5L, true, "09:59.500"},  {6000, true, "100:00.000"},
        {0.0005L, true, "00:00.000"}, {5, false, "--:--.---"},
        {-3, true, "00:00.000"},      {INFINITY, true, "00:00.000"},
        {NAN, true, "00:00.000"},     {1.057L, true, "00:01.057"},
        {2.1L, true, "00:02.100"},    {0.9999999L, true, "00:00.999"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(WaveLengthText(info(r.valid, r.seconds)).toStdString(), r.text);
    }
}

TEST(WaveTexts, SizeText)
{
    struct Row {
        qint64 bytes;
        const char* english;
        const char* german;
    };
    const Row rows[] = {
        {0, "0 KB", "0 KB"},
        {511, "0 KB", "0 KB"},
        {512, "1 KB", "1 KB"},
        {88244, "86 KB", "86 KB"},
        {1535, "1 KB", "1 KB"},
        {1536, "2 KB", "2 KB"},
        {1536000, "1,500 KB", "1.500 KB"},
        {2147483647, "2,097,152 KB", "2.097.152 KB"},
        {5368709120LL, "5,242,880 KB", "5.242.880 KB"},
        {10737418240000LL, "10,485,760,000 KB", "10.485.760.000 KB"},
        {-5, "0 KB", "0 KB"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.english);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_EQ(FileSizeText(r.bytes).toStdString(), r.english);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(FileSizeText(r.bytes).toStdString(), r.german);
    }
    QLocale::setDefault(QLocale::c());
}

TEST(WaveTexts, TypeText)
{
    struct Row {
        quint16 tag;
        const char* name;
    };
    const Row rows[] = {
        {0, "Unknown"},
        {1, "Microsoft PCM"},
        {2, "Microsoft ADPCM"},
        {3, ""},
        {4, ""},
        {8, ""},
        {15, ""},
        {17, "Intel ADPCM"},
        {20, "Antex ADPCM"},
        {64, "Antex ADPCM"},
        {21, "DSP wave"},
        {22, "DSP wave"},
        {53, "DSP wave"},
        {52, "CRL wave"},
        {55, "CRL wave"},
        {49, "Microsoft GSM"},
        {50, ""},
        {80, "Microsoft MPEG"},
        {4095, ""},
        {4096, "Olivetti wave"},
        {4100, "Olivetti wave"},
        {4101, ""},
        {0xFFFE, ""},
        {65535, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.tag);
        TWaveInfo w;
        w.FormatTag = r.tag;
        EXPECT_EQ(WaveTypeText(w).toStdString(), r.name);
    }
}

// The row of a file that could not be read, and of one whose data chunk is missing.
TEST(WaveTexts, RowsOfUnreadFiles)
{
    TempDrive drive;
    drive.write("nodata.wav", riff(chunk("fmt ", fmtBody(6, 1, 8000, 8)) + chunk("LIST", "INFO")));
    drive.write("text.wav", "hello");
    TWaveInfo w;
    EXPECT_FALSE(ReadWaveInfo("C:\\NODATA.WAV", w));
    EXPECT_EQ(WaveFormatText(w), "Unknown");
    EXPECT_EQ(WaveLengthText(w), "--:--.---");
    EXPECT_EQ(WaveTypeText(w), "Microsoft ALAW");
    EXPECT_FALSE(ReadWaveInfo("C:\\TEXT.WAV", w));
    EXPECT_EQ(WaveTypeText(w), "Unknown");
}
