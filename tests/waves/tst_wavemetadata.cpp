// SPDX-License-Identifier: GPL-3.0-or-later
// The metadata reader against files built chunk by chunk, sound ones and damaged ones.
#include "support/tempdrive.h"
#include "support/tempmount.h"
#include "waves/WaveKeywords.h"
#include "waves/WaveMetadata.h"
#include "waves/riffbytes.h"

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

using namespace riffbytes;
using testing_support::TempDrive;

namespace {

// A fixed-size text field, NUL-padded.
std::string field(const std::string& text, std::size_t size)
{
    std::string s = text.substr(0, size);
    s.resize(size, '\0');
    return s;
}

std::string bextBody(const std::string& description, const std::string& originator, std::uint64_t timeReference)
{
    return field(description, 256) + field(originator, 32) + field("REF", 32) + field("2024-05-01", 10) +
           field("12:30:00", 8) + u32(std::uint32_t(timeReference)) + u32(std::uint32_t(timeReference >> 32)) +
           u16(1) + std::string(254, '\0') + "coding history\r\n";
}

std::string infoList(const std::string& subchunks)
{
    return chunk("LIST", "INFO" + subchunks);
}

std::string smplBody(unsigned note, const std::vector<WaveLoop>& loops, std::uint32_t declaredCount)
{
    std::string s = u32(0) + u32(0) + u32(20833) + u32(note) + u32(0) + u32(0) + u32(0) + u32(declaredCount) + u32(0);
    for (const WaveLoop& l : loops)
        s += u32(0) + u32(l.type) + u32(l.start) + u32(l.end) + u32(0) + u32(l.playCount);
    return s;
}

std::string cueBody(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& points)
{
    std::string s = u32(std::uint32_t(points.size()));
    for (const auto& [id, offset] : points)
        s += u32(id) + u32(offset) + "data" + u32(0) + u32(0) + u32(offset);
    return s;
}

// Property lines as one string: "Caption=text|...".
QString properties(const WaveMetadata& m)
{
    QStringList lines;
    for (const auto& [caption, text] : m.namedTexts())
        lines << caption + QLatin1Char('=') + text;
    return lines.join(QLatin1Char('|'));
}

} // namespace

TEST(WaveMetadata, ChunksSoundAndDamaged)
{
    const std::string fmt = chunk("fmt ", fmtBody(1, 1, 48000, 16));
    const std::string data = chunk("data", std::string(2000, '\0')); // 1000 frames
    const std::string ixml = "<?xml version=\"1.0\"?><BWFXML><PROJECT>Night &amp; Day</PROJECT><SCENE>12A</SCENE>"
                             "<TAKE>3</TAKE><NOTE><![CDATA[door <slam>]]></NOTE><SPEED><NOTE>x</NOTE></SPEED></BWFXML>";
    struct Row {
        const char* name;
        std::string bytes;
        const char* properties;
        const char* description;
        std::vector<WaveLoop> loops;
    };
    const Row rows[] = {
        {"bext", riff(fmt + chunk("bext", bextBody("Door slam", "Foley Inc", 48000ull * 3723 + 24000)) + data),
         "Description=Door slam|Originator=Foley Inc|Origination date=2024-05-01 12:30:00|Start time=01:02:03.500",
         "Door slam",
         {}},
        {"INFO list after the data",
         riff(fmt + data +
              infoList(chunk("INAM", "Kick 01") + chunk("IART", "Me") + chunk("ICMT", "dry") + chunk("ICRD", "2024") +
                       chunk("IGNR", "Drums") + chunk("IKEY", "kick; punchy") + chunk("ISFT", "Lavf") +
                       chunk("IXYZ", "unknown"))),
         "Title=Kick 01|Artist=Me|Comment=dry|Creation date=2024|Genre=Drums|Keywords=kick; punchy|Software=Lavf", "Kick 01",
         {}},
        {"iXML", riff(fmt + chunk("iXML", ixml) + data), "Project=Night & Day|Scene=12A|Take=3|Note=door <slam>",
         "door <slam>",
         {}},
        {"comment before note", riff(fmt + infoList(chunk("ICMT", "c")) + chunk("iXML", ixml) + data),
         "Comment=c|Project=Night & Day|Scene=12A|Take=3|Note=door <slam>", "c", {}},
        {"encodings: UTF-8, Latin-1, NUL and blanks",
         riff(fmt + data +
              infoList(chunk("INAM", "  Caf\xc3\xa9 \0junk") + chunk("IART", "Caf\xe9") + chunk("ICMT", "\xc3(") +
                       chunk("IGNR", std::string("\0", 1)))),
         "Title=Caf\xc3\xa9|Artist=Caf\xc3\xa9|Comment=\xc3\x83(", "Caf\xc3\xa9", {}},
        {"loops: inside kept, outside and reversed dropped",
         riff(fmt + data +
              chunk("smpl", smplBody(64, {{0, 999, 0, 0}, {10, 1000, 0, 0}, {500, 400, 0, 0}, {100, 200, 1, 3}}, 4))),
         "Loops=0-999, 100-200", "", {{0, 999, 0, 0}, {100, 200, 1, 3}}},
        {"loops counted beyond the chunk", riff(fmt + data + chunk("smpl", smplBody(60, {{1, 2, 0, 0}}, 0xFFFFFFFF))),
         "Loops=1-2", "", {{1, 2, 0, 0}}},
        {"loops without a data chunk", riff(fmt + chunk("smpl", smplBody(60, {{1, 2, 0, 0}}, 1))), "", "", {}},
        {"cues with labels, one outside",
         riff(fmt + chunk("LIST", "adtl" + chunk("labl", u32(2) + "Hit\0") + chunk("note", u32(2) + "loud") +
                                      chunk("labl", u32(9) + "nobody")) +
              chunk("cue ", cueBody({{1, 0}, {2, 500}, {3, 1001}, {4, 1000}})) + data),
         "Markers=0, 500 Hit, 1000", "", {}},
        {"RF64 with bext",
         chunkDeclaring("RF64", 0xFFFFFFFF, "WAVE") + chunk("ds64", u32(0) + u32(0) + u32(2000) + u32(0) + u32(0)) +
             fmt + chunk("bext", bextBody("long take", "", 0)) + chunkDeclaring("data", 0xFFFFFFFF, std::string(2000, '\0')),
         "Description=long take|Origination date=2024-05-01 12:30:00|Start time=00:00:00.000", "long take", {}},
        {"not a wave", chunk("RIFF", "AVI " + chunk("bext", bextBody("x", "y", 0))), "", "", {}},
        {"empty", "", "", "", {}},
        {"truncated LIST", riff(fmt + data) + chunkDeclaring("LIST", 400, "INFO" + chunk("INAM", "cut")), "", "", {}},
        {"INFO text running past its list",
         riff(fmt + data + chunk("LIST", "INFO" + chunkDeclaring("INAM", 100, "abc")) + chunk("IART", "outside")), "",
         "", {}},
        {"huge chunk ends the walk",
         riff(fmt + data + chunkDeclaring("JUNK", 0xFFFFFFF0) + infoList(chunk("INAM", "hidden"))), "", "", {}},
        {"bext cut short keeps whole fields", riff(fmt + chunk("bext", bextBody("short", "who", 5).substr(0, 300)) + data),
         "Description=short|Originator=who", "short", {}},
        {"first of two chunks wins",
         riff(fmt + infoList(chunk("INAM", "one")) + infoList(chunk("INAM", "two")) + data), "Title=one", "one", {}},
    };
    TempDrive drive;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const WaveMetadata m = readWaveMetadata(row.bytes.data(), row.bytes.size());
        EXPECT_EQ(properties(m), QString::fromUtf8(row.properties));
        EXPECT_EQ(m.descriptionText(), QString::fromUtf8(row.description));
        EXPECT_EQ(m.loops, row.loops);
        // The file readers see the same as the bytes reader.
        drive.write("m.wav", row.bytes);
        EXPECT_EQ(properties(readWaveMetadata(drive.native("m.wav"))), QString::fromUtf8(row.properties));
        TWaveInfo info;
        WaveMetadata both;
        readWaveInfoAndMetadata(drive.native("m.wav"), info, both);
        EXPECT_EQ(properties(both), QString::fromUtf8(row.properties));
    }
}

// Metadata chunks together take no more than a bounded amount of memory, and one text no more than 64 KB.
TEST(WaveMetadata, ReadingIsBounded)
{
    const std::string fmt = chunk("fmt ", fmtBody(1, 1, 8000, 8));
    const std::string big(900 * 1024, 'a');
    const std::string bytes =
        riff(fmt + chunk("data", "xy") + chunk("iXML", "<NOTE>" + big + "</NOTE>") + infoList(chunk("ICMT", big)) +
             infoList(chunk("IART", std::string(64 * 1024, 'b'))) + infoList(chunk("INAM", "fits")));
    const WaveMetadata m = readWaveMetadata(bytes.data(), bytes.size());
    EXPECT_EQ(m.note.size(), big.size());
    EXPECT_EQ(m.comment.size(), 64 * 1024);
    EXPECT_TRUE(m.artist.isEmpty()); // over what is left of the budget
    EXPECT_EQ(m.title, QStringLiteral("fits"));
}

// Keywords go into the INFO list and nowhere else: the expected file is built chunk by chunk, so every
// other chunk must come out byte for byte; libsndfile and sox still read the sound.
TEST(WaveKeywords, WrittenIntoTheInfoListOnly)
{
    const std::string fmt = chunk("fmt ", fmtBody(1, 2, 44100, 16));
    std::string samples;
    for (int i = 0; i < 2000; ++i)
        samples += u16(unsigned(i * 37) & 0xFFFF);
    const std::string data = chunk("data", samples); // 1000 frames
    const std::string bext = chunk("bext", bextBody("Door", "me", 0));
    const std::string odd = chunk("odd ", "abc");
    const std::string smpl = chunk("smpl", smplBody(0, 999));
    const std::string keys = chunk("IKEY", std::string("kick; dry\0", 10));
    struct Row {
        const char* name;
        std::string before;
        QStringList keywords;
        std::string after;
    };
    const Row rows[] = {
        {"no INFO list: one added last", riff(fmt + bext + data + odd), {"kick", " dry "},
         riff(fmt + bext + data + odd + infoList(keys))},
        {"IKEY replaced where it stood",
         riff(fmt + data + infoList(chunk("INAM", "a") + chunk("IKEY", "old") + chunk("ISFT", "x")) + smpl),
         {"kick", "dry"}, riff(fmt + data + infoList(chunk("INAM", "a") + keys + chunk("ISFT", "x")) + smpl)},
        {"IKEY added to the list", riff(fmt + infoList(chunk("INAM", "odd")) + data), {"kick", "dry"},
         riff(fmt + infoList(chunk("INAM", "odd") + keys) + data)},
        {"no keywords: IKEY and an empty list go", riff(fmt + data + infoList(chunk("IKEY", "old")) + smpl), {},
         riff(fmt + data + smpl)},
        {"bytes after the form kept", riff(fmt + data) + "trailing", {"kick", "dry"},
         riff(fmt + data + infoList(keys)) + "trailing"},
        {"UTF-8", riff(fmt + data), {"caf\u00e9"}, riff(fmt + data + infoList(chunk("IKEY", std::string("caf\xc3\xa9\0", 6))))},
    };
    TempDrive drive;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        drive.write("k.wav", row.before);
        const KeywordsWrite w = writeKeywords(drive.native("k.wav"), row.keywords);
        EXPECT_TRUE(w.ok) << w.reason.toStdString();
        EXPECT_EQ(drive.read("k.wav"), row.after);
        // Other readers: the same frames and samples.
        SF_INFO info{};
        SNDFILE* f = sf_open(drive.native("k.wav").c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        std::vector<short> read(size_t(info.frames * info.channels));
        EXPECT_EQ(sf_readf_short(f, read.data(), info.frames), 1000);
        sf_close(f);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.data()), read.size() * 2), samples);
        QProcess soxi;
        soxi.start("soxi", {"-s", QString::fromStdString(drive.native("k.wav"))});
        ASSERT_TRUE(soxi.waitForFinished());
        EXPECT_EQ(soxi.readAllStandardOutput().trimmed(), "1000");
    }
    EXPECT_EQ(keywordsOf(drive.native("k.wav")), QStringList{"caf\u00e9"});
    // Whatever cannot be written safely is left as it was, with the reason; no temporary file stays.
    const std::string sound = riff(fmt + data + infoList(chunk("IKEY", "old")));
    const struct {
        const char* name;
        std::string bytes;
        mode_t mode;
        const char* reason;
    } refusals[] = {
        {"read-only", sound, 0444, "read-only"},
        {"chunk past the form", riff(fmt + data + chunkDeclaring("JUNK", 100, "ab")), 0644, "damaged"},
        {"form past the file", chunkDeclaring("RIFF", 5000, "WAVE" + fmt + data), 0644, "damaged"},
        {"not a wave", std::string("RIFF\x04\0\0\0AVI ", 12), 0644, "not a RIFF wave"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.name);
        drive.write("r.wav", r.bytes);
        ::chmod(drive.native("r.wav").c_str(), r.mode);
        const KeywordsWrite w = writeKeywords("C:\\r.wav", {"new"});
        EXPECT_FALSE(w.ok);
        EXPECT_TRUE(w.reason.contains(r.reason)) << w.reason.toStdString();
        EXPECT_EQ(drive.read("r.wav"), r.bytes);
        ::chmod(drive.native("r.wav").c_str(), 0644);
    }
    EXPECT_EQ(QDir(QString::fromStdString(drive.root())).entryList(QDir::Hidden | QDir::Files).size(), 2);

    // A full disk (a 16 MB file system holding a 9 MB sound and 6 MB of other files) takes no copy.
    testing_support::TempMount disk;
    if (!disk.mounted())
        GTEST_SKIP() << "no file system of our own to fill";
    const std::string big = riff(fmt + chunk("data", std::string(9 << 20, '\1')));
    const std::string full = disk.path() + "/full.wav";
    std::ofstream(full, std::ios::binary) << big;
    std::ofstream(disk.path() + "/other", std::ios::binary) << std::string(6 << 20, '\2');
    const KeywordsWrite w = writeKeywords(full, {"new"});
    EXPECT_FALSE(w.ok);
    EXPECT_TRUE(w.reason.contains("full")) << w.reason.toStdString();
    std::ifstream in(full, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == big);
    EXPECT_EQ(QDir(QString::fromStdString(disk.path())).entryList(QDir::Hidden | QDir::Files).size(), 2);
}
