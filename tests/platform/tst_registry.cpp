// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store: typed values through the registry calls, kept in a REGEDIT4 file per user.
#include "platform/settings/regfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

const char* kKey = "Software\\Varnholt\\Tonfolio";

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home_.isValid());
        oldConfig_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home_.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", oldConfig_); }

    QString file() const { return home_.path() + "/tonfolio/settings.reg"; }
    std::string readFile() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    void writeFile(const std::string& text) const
    {
        QDir().mkpath(home_.path() + "/tonfolio");
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.data(), qint64(text.size()));
    }
    HKEY create() const
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  LONG(ERROR_SUCCESS));
        return key;
    }

    QTemporaryDir home_;
    QByteArray oldConfig_;
};

TEST_F(Registry, FirstCreateWritesTheEmptyKeyAndOpenFindsIt)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), LONG(ERROR_FILE_NOT_FOUND));
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              LONG(ERROR_SUCCESS));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_FALSE(regReadDword(key, "Left"));
    RegCloseKey(key);
    EXPECT_EQ(readFile(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio]\n");

    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software\\VARNHOLT\\tonfolio", 0, KEY_READ, &key), LONG(ERROR_SUCCESS));
    RegCloseKey(key);
}

TEST_F(Registry, ValuesKeepTheirTypesThroughTheFile)
{
    HKEY key = create();
    regWriteDword(key, "Left", 202);
    regWriteDword(key, "Top", -5);
    regWriteString(key, "LastDir", "C:\\SOUNDS\\\"Q\"\\");
    regWriteString(key, "Empty", "");
    ASSERT_EQ(RegCloseKey(key), LONG(ERROR_SUCCESS));

    const std::string text = readFile();
    EXPECT_NE(text.find("\"Left\"=dword:000000ca\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Top\"=dword:fffffffb\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"LastDir\"=\"C:\\\\SOUNDS\\\\\\\"Q\\\"\\\\\"\n"), std::string::npos) << text;

    key = create();
    EXPECT_EQ(regReadDword(key, "left"), 202);
    EXPECT_EQ(regReadDword(key, "Top"), -5);
    EXPECT_EQ(regReadString(key, "LastDir"), "C:\\SOUNDS\\\"Q\"\\");
    EXPECT_EQ(regReadString(key, "Empty"), "");
    // A value of the other type reads as absent through the typed helpers.
    EXPECT_FALSE(regReadString(key, "Left"));
    EXPECT_FALSE(regReadDword(key, "LastDir"));
    RegCloseKey(key);
}

TEST_F(Registry, QueryTellsSizeAndRefusesSmallBuffers)
{
    HKEY key = create();
    regWriteString(key, "LastDir", "C:\\A\\");
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueEx(key, "LastDir", nullptr, &type, nullptr, &size), LONG(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    BYTE small[3];
    size = 3;
    EXPECT_EQ(RegQueryValueEx(key, "LastDir", nullptr, &type, small, &size), LONG(ERROR_MORE_DATA));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(RegQueryValueEx(key, "Nothing", nullptr, &type, nullptr, &size), LONG(ERROR_FILE_NOT_FOUND));
    RegCloseKey(key);
    EXPECT_EQ(RegQueryValueEx(key, "LastDir", nullptr, &type, nullptr, &size), LONG(ERROR_INVALID_HANDLE));
}

TEST_F(Registry, OddBytesAndLineBreaksInTextsCannotBreakTheFile)
{
    // A folder name may hold any bytes, a line break among them; it must not forge another value.
    const std::string hostile = std::string("C:\\A\n\"Left\"=dword:00000001\r\xff\x01\\");
    HKEY key = create();
    regWriteString(key, "LastDir", hostile);
    RegCloseKey(key);
    key = create();
    EXPECT_EQ(regReadString(key, "LastDir"), hostile);
    EXPECT_FALSE(regReadDword(key, "Left"));
    RegCloseKey(key);
}

TEST_F(Registry, DamagedLinesAreSkippedAndTheRestIsRead)
{
    writeFile("REGEDIT4\n\n\"Orphan\"=dword:1\n[HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio]\r\n"
              "\"Left\"=dword:12345678\r\n"
              "\"Top\"=dword:zz\n"
              "\"Height\"=dword:123456789\n"
              "\"LastDir\"=\"unterminated\n"
              "garbage line\n"
              "; a comment\n"
              "  \"Width\" = dword:00000320  \n"
              "\"Bin\"=hex:01,02,\\\n  03\n"
              "\"PlaySingle\"=dword:1\n\"PlaySingle\"=-\n");
    HKEY key = create();
    EXPECT_EQ(regReadDword(key, "Left"), 0x12345678);
    EXPECT_FALSE(regReadDword(key, "Top"));
    EXPECT_FALSE(regReadDword(key, "Height"));
    EXPECT_FALSE(regReadString(key, "LastDir"));
    EXPECT_EQ(regReadDword(key, "Width"), 800);
    EXPECT_FALSE(regReadDword(key, "PlaySingle"));
    DWORD type = 0, size = 8;
    BYTE bin[8];
    ASSERT_EQ(RegQueryValueEx(key, "Bin", nullptr, &type, bin, &size), LONG(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(bin[2], 3);
    RegCloseKey(key);

    // Not a settings file at all: nothing in it is taken for a setting.
    std::string noise(1 << 20, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 2654435761u) >> 13);
    writeFile(noise);
    key = create();
    EXPECT_FALSE(regReadDword(key, "Left"));
    RegCloseKey(key);
}

TEST_F(Registry, SavingKeepsOtherKeysAndValues)
{
    writeFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"X\"=\"y\"\n\n"
              "[HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio]\n\"Top\"=dword:00000001\n");
    HKEY key = create();
    regWriteDword(key, "Left", 3);
    RegCloseKey(key);
    const auto doc = regfile::parse(readFile());
    ASSERT_TRUE(doc.find("HKEY_CURRENT_USER\\Software\\Other"));
    const auto* ours = doc.find("HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio");
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours->values.size(), 2u);
}

TEST_F(Registry, LargeFileKeepsEveryKeyAndValueInOrder)
{
    // Many keys, and a key of many values with removals and later spellings of the same names.
    std::string text = "REGEDIT4\n";
    for (int i = 0; i < 20000; ++i)
        text += "\n[HKEY_CURRENT_USER\\Software\\Other\\Key" + std::to_string(i) + "]\n\"V\"=dword:00000001\n";
    text += "[-HKEY_CURRENT_USER\\software\\other\\KEY7]\n[HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio]\n";
    for (int i = 0; i < 100; ++i)
        text += "\"Value" + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\n";
    text += "\"Value5\"=-\n\"VALUE6\"=dword:00000042\n\"value5\"=dword:00000055\n";
    text += "[hkey_current_user\\software\\other\\key7]\n";
    writeFile(text);

    HKEY key = create();
    EXPECT_EQ(regReadDword(key, "value99"), 9);
    EXPECT_EQ(regReadDword(key, "Value6"), 0x42);
    EXPECT_EQ(regReadDword(key, "Value5"), 0x55);
    regWriteDword(key, "VALUE0", 7);
    regWriteDword(key, "Left", 1);
    regWriteDword(key, "LEFT", 2);
    RegCloseKey(key);

    const auto doc = regfile::parse(readFile());
    ASSERT_EQ(doc.keys.size(), 20001u);
    EXPECT_EQ(doc.keys[7].path, "HKEY_CURRENT_USER\\Software\\Other\\Key8");
    EXPECT_EQ(doc.keys.back().path, "hkey_current_user\\software\\other\\key7"); // removed, then made anew
    const regfile::Key& ours = doc.keys[doc.keys.size() - 2];
    ASSERT_EQ(ours.values.size(), 101u);
    EXPECT_EQ(ours.values[0].name, "Value0");
    EXPECT_EQ(ours.values[0].data, std::string("\x07\0\0\0", 4));
    EXPECT_EQ(ours.values[5].name, "Value6"); // Value5 went and came back at the end
    EXPECT_EQ(ours.values[99].name, "value5");
    EXPECT_EQ(ours.values[100].name, "Left");
    EXPECT_EQ(ours.values[100].data, std::string("\x02\0\0\0", 4));
}

TEST_F(Registry, AnUnwritableFolderLosesTheSaveOnly)
{
    // A plain file where the folder should be cannot be written into, not even by root.
    QFile blocker(home_.path() + "/tonfolio");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    HKEY key = create();
    ASSERT_NE(key, nullptr);
    regWriteDword(key, "Left", 2);
    EXPECT_EQ(regReadDword(key, "Left"), 2); // the open key still answers with what was set
    EXPECT_NE(RegCloseKey(key), LONG(ERROR_SUCCESS));
    key = create();
    EXPECT_FALSE(regReadDword(key, "Left"));
    RegCloseKey(key);
}

TEST(RegFile, FormatReadsBackToTheSameDocument)
{
    regfile::Document doc;
    auto& k = doc.ensure("HKEY_CURRENT_USER\\A");
    regfile::setValue(k, {"", REG_SZ, std::string("default\0", 8)});
    regfile::setValue(k, {"nul", REG_SZ, std::string("a\0b\0", 4)});
    regfile::setValue(k, {"raw", REG_SZ, "no terminator"});
    regfile::setValue(k, {"short dword", REG_DWORD, "ab"});
    regfile::setValue(k, {"multi", 7, std::string("x\0\0", 3)});
    regfile::setValue(k, {"q\"\\", REG_BINARY, ""});
    const auto back = regfile::parse(regfile::format(doc));
    ASSERT_EQ(back.keys.size(), 1u);
    ASSERT_EQ(back.keys[0].values.size(), k.values.size());
    for (size_t i = 0; i < k.values.size(); ++i) {
        EXPECT_EQ(back.keys[0].values[i].name, k.values[i].name);
        EXPECT_EQ(back.keys[0].values[i].type, k.values[i].type) << k.values[i].name;
        EXPECT_EQ(back.keys[0].values[i].data, k.values[i].data) << k.values[i].name;
    }
}

} // namespace
