// SPDX-License-Identifier: GPL-3.0-or-later
// Version information over real files: blocks the tests write into ELF sections, a PE file made by
// windres, files without blocks, and damaged blocks that must fail without reading out of bounds.
#include "platform/version/version.h"
#include "resources/version/blockwriter.h"
#include "support/tempdrive.h"
#include "support/versionfiles.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace platform;
using testing_support::elfWith;
using testing_support::TempDrive;

namespace {

versionblock::Description sampleDescription()
{
    versionblock::Description d;
    d.fileVersion[0] = 3;
    d.fileVersion[1] = 1;
    d.fileFlags = VS_FF_DEBUG | VS_FF_PRERELEASE;
    versionblock::StringTable t;
    t.langCharset = "040704B0";
    t.strings = {{"CompanyName", "Varnholt"},
                 {"FileVersion", "3.1.0.0"},
                 {"FileDescription", "Größe \xF0\x9D\x84\x9E"}, // a letter outside the BMP too
                 {"Comments", ""}};
    d.tables.push_back(t);
    d.translations = {{0x0407, 0x04B0}, {0x0409, 0x04E4}};
    return d;
}

/// Reads the version information of a drive-letter path; empty when there is none or it fails.
std::vector<unsigned char> infoOf(const std::string& path)
{
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSize(path, &handle);
    EXPECT_EQ(handle, 0u);
    if (size == 0)
        return {};
    std::vector<unsigned char> info(size);
    if (!GetFileVersionInfo(path, 0, size, info.data()))
        return {};
    return info;
}

std::string stringOf(const void* info, const std::string& path)
{
    void* value = nullptr;
    UINT len = 0;
    if (!VerQueryValue(info, path, &value, &len))
        return "<fail>";
    return static_cast<const char*>(value);
}

} // namespace

TEST(Version, ReadsEveryKindOfValueFromAnElfSection)
{
    TempDrive drive;
    drive.write("prog", elfWith(versionblock::build(sampleDescription())));
    std::vector<unsigned char> info = infoOf("C:\\PROG");
    ASSERT_FALSE(info.empty());

    void* value = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValue(info.data(), "\\", &value, &len));
    ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(fixed.dwFileFlags, 0x03u);

    ASSERT_TRUE(VerQueryValue(info.data(), "\\VarFileInfo\\Translation", &value, &len));
    ASSERT_EQ(len, 8u);
    const auto* t = static_cast<const unsigned char*>(value);
    EXPECT_EQ(t[0] | t[1] << 8, 0x0407);
    EXPECT_EQ(t[2] | t[3] << 8, 0x04B0);

    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\040704B0\\FileVersion"), "3.1.0.0");
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\040704b0\\companyname"), "Varnholt");
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\040704B0\\FileDescription"), "Größe \xF0\x9D\x84\x9E");
    ASSERT_TRUE(VerQueryValue(info.data(), "\\StringFileInfo\\040704B0\\Comments", &value, &len));
    EXPECT_LE(len, 1u);
    EXPECT_STREQ(static_cast<const char*>(value), "");
    // Missing keys, tables and a key that is only a prefix of a stored one.
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\040704B0\\ProductName"), "<fail>");
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\040904E4\\FileVersion"), "<fail>");
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\040704B0\\File"), "<fail>");
}

TEST(Version, FilesWithoutABlockHaveSizeZero)
{
    TempDrive drive;
    drive.write("text.txt", "just words, no version here");
    drive.write("empty", "");
    drive.write("other", elfWith(versionblock::build(sampleDescription()), ".data"));
    drive.write("tiny", elfWith({1, 2, 3}));
    drive.write("mz", "MZ");
    drive.mkdirs("folder");
    ASSERT_EQ(mkfifo(drive.native("pipe").c_str(), 0600), 0);
    for (const char* path : {"C:\\TEXT.TXT", "C:\\EMPTY", "C:\\OTHER", "C:\\TINY", "C:\\MZ", "C:\\FOLDER", "C:\\PIPE",
                             "C:\\MISSING", "Q:\\NOWHERE", ""}) {
        DWORD handle = 0;
        EXPECT_EQ(GetFileVersionInfoSize(path, &handle), 0u) << path;
        std::vector<unsigned char> buf(4096);
        EXPECT_FALSE(GetFileVersionInfo(path, 0, DWORD(buf.size()), buf.data())) << path;
    }
}

TEST(Version, DamagedBlocksFailWithoutCrashing)
{
    const std::vector<std::uint8_t> good = versionblock::build(sampleDescription());
    auto with = [&](std::size_t at, std::uint16_t v) {
        std::vector<std::uint8_t> b = good;
        b.at(at) = std::uint8_t(v & 0xFF);
        b.at(at + 1) = std::uint8_t(v >> 8);
        return b;
    };
    // The first child (StringFileInfo) starts right after the 52-byte fixed record.
    const std::size_t child = 40 + 52;
    const struct {
        const char* what;
        std::vector<std::uint8_t> block;
    } cases[] = {
        {"root longer than the section", with(0, std::uint16_t(good.size() + 40))},
        {"root shorter than its header", with(0, 4)},
        {"child of length zero", with(child, 0)},
        {"child running past its parent", with(child, 0xFFF0)},
        {"value longer than its node", with(child + 2, 0x4000)},
        {"unknown value type", with(child + 4, 9)},
        {"not a version block", with(6, 'X')},
        {"cut in the middle", std::vector<std::uint8_t>(good.begin(), good.begin() + 200)},
    };
    TempDrive drive;
    for (const auto& c : cases) {
        drive.write("bad", elfWith(c.block));
        DWORD size = GetFileVersionInfoSize("C:\\BAD", nullptr);
        ASSERT_GT(size, 0u) << c.what; // a block is there, but reading it fails
        std::vector<unsigned char> info(size);
        EXPECT_FALSE(GetFileVersionInfo("C:\\BAD", 0, size, info.data())) << c.what;
    }
    // A good block with a buffer one byte short.
    drive.write("good", elfWith(good));
    DWORD size = GetFileVersionInfoSize("C:\\GOOD", nullptr);
    std::vector<unsigned char> info(size);
    EXPECT_FALSE(GetFileVersionInfo("C:\\GOOD", 0, size - 1, info.data()));
    EXPECT_TRUE(GetFileVersionInfo("C:\\GOOD", 0, size, info.data()));
}

TEST(Version, FixedInfoThatLiesAboutItselfFailsItsQuery)
{
    std::vector<std::uint8_t> block = versionblock::build(sampleDescription());
    block[40] ^= 0xFF; // the signature's first byte
    std::vector<unsigned char> info(versionInfoBufferSize(block.size()));
    ASSERT_TRUE(loadVersionBlock(block.data(), block.size(), info.data(), info.size()));
    void* value = nullptr;
    UINT len = 0;
    EXPECT_FALSE(VerQueryValue(info.data(), "\\", &value, &len));
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\040704B0\\FileVersion"), "3.1.0.0");
}

// Every single-word corruption of a good block: loading and lookups stay inside their buffers
// (the sanitizer build turns any stray read into a failure).
TEST(Version, EveryCorruptedWordIsHandled)
{
    const std::vector<std::uint8_t> good = versionblock::build(sampleDescription());
    const char* queries[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040704B0\\FileVersion",
                             "\\StringFileInfo\\040704B0\\Comments", "\\StringFileInfo"};
    for (std::size_t at = 0; at + 1 < good.size(); at += 2) {
        for (std::uint16_t v : {std::uint16_t(0), std::uint16_t(0xFFFF), std::uint16_t(7)}) {
            std::vector<std::uint8_t> b = good;
            b[at] = std::uint8_t(v);
            b[at + 1] = std::uint8_t(v >> 8);
            std::vector<unsigned char> info(versionInfoBufferSize(b.size()));
            if (!loadVersionBlock(b.data(), b.size(), info.data(), info.size()))
                continue;
            for (const char* q : queries) {
                void* value = nullptr;
                UINT len = 0;
                if (VerQueryValueIn(info.data(), info.size(), q, &value, &len) && len > 0) {
                    const auto* p = static_cast<const unsigned char*>(value);
                    ASSERT_GE(p, info.data());
                    ASSERT_LT(p, info.data() + info.size());
                }
            }
        }
    }
}

TEST(Version, ReadsTheVersionResourceOfAPeFile)
{
    const char* source = std::getenv("TONFOLIO_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    TempDrive drive;
    std::string bytes;
    {
        FILE* f = std::fopen((std::string(source) + "/fuzz/corpus/version/sample.dll").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            bytes.append(buf, n);
        std::fclose(f);
    }
    drive.write("lib/sample.dll", bytes);
    std::vector<unsigned char> info = infoOf("C:\\LIB\\SAMPLE.DLL");
    ASSERT_FALSE(info.empty());
    void* value = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValue(info.data(), "\\", &value, &len));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00020005u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000007u);
    EXPECT_EQ(fixed.dwFileFlags, VS_FF_PRERELEASE);
    ASSERT_TRUE(VerQueryValue(info.data(), "\\VarFileInfo\\Translation", &value, &len));
    const auto* t = static_cast<const unsigned char*>(value);
    EXPECT_EQ(t[0] | t[1] << 8, 0x0809);
    EXPECT_EQ(t[2] | t[3] << 8, 1252);
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\080904E4\\FileVersion"), "2.5.0.7");
    EXPECT_EQ(stringOf(info.data(), "\\StringFileInfo\\080904E4\\ProductName"), "Tonfolio Sample Library");

    // The same file cut short loses its block, quietly.
    drive.write("lib/cut.dll", bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(GetFileVersionInfoSize("C:\\LIB\\CUT.DLL", nullptr), 0u);
}

TEST(Version, ModuleFileNameIsTheRunningProgram)
{
    char buf[4096];
    DWORD n = GetModuleFileName(nullptr, buf, sizeof buf);
    ASSERT_GT(n, 3u);
    EXPECT_EQ(std::string(buf, 3), "C:\\");
    EXPECT_EQ(std::strlen(buf), n);
    EXPECT_NE(std::string(buf).find("tst_version"), std::string::npos);

    char small[8];
    EXPECT_EQ(GetModuleFileName(nullptr, small, sizeof small), DWORD(sizeof small));
    EXPECT_EQ(std::string(small), std::string(buf, 7));

    // With C: pointing at a temporary folder no drive holds the program; it still finds its own file,
    // and nothing else is reachable through that form of name.
    TempDrive drive;
    n = GetModuleFileName(nullptr, buf, sizeof buf);
    ASSERT_GT(n, 4u);
    EXPECT_EQ(std::string(buf, 4), "\\\\?\\");
    EXPECT_NE(GetFileVersionInfoSize(buf, nullptr), 0u);
    EXPECT_EQ(GetFileVersionInfoSize("\\\\?\\/bin/sh", nullptr), 0u);
}
