// SPDX-License-Identifier: GPL-3.0-or-later
// The settings record: every stored value written with its type and read back, values that are absent,
// of another type or in a store that cannot be written.
#include "browser/SettingsRecord.h"
#include "browserfixture.h"

#include <QFile>

using namespace browser_testing;
using platform::REG_DWORD;
using platform::REG_SZ;

namespace {

class SettingsRecordTest : public BrowserTest {};

auto fields(const SettingsRecord& r)
{
    return std::make_tuple(r.playLooped, r.lastDir, r.displayFiles, r.playSingle, r.left, r.top, r.height, r.width,
                           r.measureColumns, r.sortColumn, r.sortDescending, r.previewVolume, r.outputDevice,
                           r.playOnSelect, r.showWaveform, r.waveformHeight, r.likeTimbre, r.likePitch, r.likeEnvelope,
                           r.likeScope);
}

std::string dword(std::uint32_t v)
{
    return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
}

TEST_F(SettingsRecordTest, EveryValueIsWrittenAndReadBack)
{
    SettingsRecord r;
    r.playLooped = true;
    r.lastDir = "C:\\SOUNDS\\";
    r.displayFiles = 4;
    r.playSingle = false;
    r.left = -20;
    r.top = 108;
    r.height = 567;
    r.width = 825;
    r.measureColumns = 5;
    r.sortColumn = 2;
    r.sortDescending = true;
    r.previewVolume = 40;
    r.outputDevice = "gone_output";
    r.playOnSelect = true;
    r.showWaveform = true;
    r.waveformHeight = 97;
    r.likeTimbre = 3;
    r.likePitch = 0;
    r.likeEnvelope = 1;
    r.likeScope = 2;
    r.save();
    // As the registry stores them: signed numbers as 32-bit words, texts ending in NUL.
    EXPECT_EQ(storedValue("Left")->type, REG_DWORD);
    EXPECT_EQ(storedValue("Left")->data, dword(std::uint32_t(-20)));
    EXPECT_EQ(storedValue("OutputDevice")->type, REG_SZ);
    EXPECT_EQ(storedValue("OutputDevice")->data, std::string("gone_output\0", 12));
    EXPECT_EQ(fields(SettingsRecord::load()), fields(r));
}

TEST_F(SettingsRecordTest, WhatCannotBeReadIsAbsentAndWhatCannotBeWrittenIsLost)
{
    // The first load makes the key, still empty.
    EXPECT_EQ(fields(SettingsRecord::load()), fields(SettingsRecord()));
    const auto doc = storedSettings();
    const auto* key = doc.find("HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->values.empty());

    // Another type than the value's own reads as absent; a flag is any number but 0.
    setString("Left", "300");
    setDword("LastDir", 1);
    setDword("PlayLooped", 7);
    setDword("PlaySingle", 5);
    setDword("ShowWaveform", 0);
    const SettingsRecord r = SettingsRecord::load();
    EXPECT_FALSE(r.left || r.lastDir);
    EXPECT_EQ(r.playLooped, true);
    EXPECT_EQ(r.playSingle, true);
    EXPECT_EQ(r.showWaveform, false);

    // Damaged lines are skipped, and the next save writes the file whole.
    QFile damaged(config_.path() + "/tonfolio/settings.reg");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio]\n\"Left\"=dword:zz\n\"Top\"=\"\x01\xff");
    damaged.close();
    EXPECT_FALSE(SettingsRecord::load().left || SettingsRecord::load().top);
    SettingsRecord bounds;
    bounds.left = 202;
    bounds.top = 108;
    bounds.save();
    EXPECT_EQ(storedValue("Top")->data, dword(108));

    // A store that cannot be written loses this save and nothing else.
    ASSERT_TRUE(QDir(config_.path() + "/tonfolio").removeRecursively());
    QFile blocker(config_.path() + "/tonfolio");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    bounds.save();
    EXPECT_FALSE(SettingsRecord::load().left);
}

} // namespace
