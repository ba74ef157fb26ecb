// SPDX-License-Identifier: GPL-3.0-or-later
// Path, drive and search routines of the tree unit, and the file-path and title routines.
#include "dirtree/DirTreePaths.h"
#include "dirtree/FileRoutines.h"
#include "support/tempdrive.h"

#include <gtest/gtest.h>

using testing_support::TempDrive;

TEST(PathText, DepthPrefixAndSeparators)
{
    EXPECT_EQ(PathDepth(""), 0);
    EXPECT_EQ(PathDepth("C:"), 0);
    EXPECT_EQ(PathDepth("C:\\"), 1);
    EXPECT_EQ(PathDepth("C:\\A\\B\\"), 3);
    EXPECT_EQ(PathDepth("C:\\Ä\\\xE2\x80\x9C\\"), 3); // multi-byte names hold no separator bytes

    EXPECT_EQ(PathPrefix("C:\\A\\B\\", 1), "C:\\");
    EXPECT_EQ(PathPrefix("C:\\A\\B\\", 2), "C:\\A\\");
    EXPECT_EQ(PathPrefix("C:\\A\\B\\", 9), "C:\\A\\B\\");

    std::string p;
    AddBackslash(p);
    EXPECT_EQ(p, "");
    p = "C:";
    AddBackslash(p);
    EXPECT_EQ(p, "C:\\");
    AddBackslash(p);
    EXPECT_EQ(p, "C:\\");
    EXPECT_EQ(RemoveBackslash("C:\\"), "C:");
    EXPECT_EQ(RemoveBackslash("C:\\A\\\\"), "C:\\A\\");
    EXPECT_EQ(RemoveBackslash(""), "");

    EXPECT_EQ(JoinPath("C:\\A", "X.WAV"), "c:\\a\\x.wav");
    EXPECT_EQ(JoinPath("C:\\A\\", "X.WAV"), "c:\\a\\x.wav");
    EXPECT_EQ(JoinPath("C:\\Ä\\", "Ü.WAV"), "c:\\Ä\\Ü.wav"); // letters A to Z only
}

TEST(PathText, DisplayNamesForTheTitle)
{
    TempDrive c;
    EXPECT_EQ(FolderDisplayName("C:\\WINDOWS\\MEDIA\\"), "MEDIA");
    EXPECT_EQ(FolderDisplayName("C:\\Sounds\\bells"), "BELLS");
    EXPECT_EQ(FolderDisplayName("C:\\"), "SYSTEM (C:)");
    EXPECT_EQ(FolderDisplayName("c:"), "SYSTEM (C:)");
    // Without a label, no leading blank.
    EXPECT_EQ(FolderDisplayName("?"), "(?)");
    EXPECT_EQ(FolderDisplayName("Q:\\"), "(Q:)");
}

TEST(LongNames, StoredSpellingOfEachComponent)
{
    TempDrive c;
    c.mkdirs("Program Files/Sounds");
    EXPECT_EQ(LongPath("C:\\PROGRAM FILES\\SOUNDS\\", false), "C:\\Program Files\\Sounds");
    EXPECT_EQ(LongPath("c:\\program files\\missing\\deeper\\", false), "C:\\Program Files\\missing\\deeper");
    EXPECT_EQ(LongPath("C:\\", false), "C:");
    EXPECT_EQ(LongPath("C:", false), "C:");
    EXPECT_EQ(FileSystemName("C:\\PROGRAM FILES\\"), "Program Files\\");
    EXPECT_EQ(FileSystemName("C:\\NOPE"), "NOPE\\");
}

TEST(Volumes, LabelTextAndSerials)
{
    TempDrive c;
    QTemporaryDir other;
    platform::DriveInfo a{'A', other.path().toStdString() + "/no-medium", platform::DRIVE_REMOVABLE, "", std::nullopt,
                          ""};
    platform::DriveInfo d{'D', c.root(), platform::DRIVE_FIXED, "", 0x00000042u, ""};
    platform::DriveInfo n{'N', c.root(), platform::DRIVE_REMOTE, "SHARE", 7u, ""};
    platform::DriveInfo r{'R', c.root(), platform::DRIVE_RAMDISK, "", 9u, ""};
    c.setDrives({a, d, n, r});
    std::int32_t serial = 0;
    EXPECT_EQ(VolumeLabelText('c', serial), "SYSTEM (C:)");
    EXPECT_EQ(serial, 0x1234ABCD);
    EXPECT_EQ(VolumeLabelText('D', serial), "(D:)"); // unlabelled: no leading blank
    EXPECT_EQ(serial, 0x42);
    // A drive whose folder has gone: the parenthesised letter and no serial.
    EXPECT_EQ(VolumeLabelText('A', serial), "(A:)");
    EXPECT_EQ(serial, -1);
    // Removable and remote drives show the shell's name; the serial stays the volume's.
    platform::DriveInfo stick{'E', c.root(), platform::DRIVE_REMOVABLE, "", 5u, ""};
    c.setDrives({a, d, stick, n, r});
    EXPECT_EQ(VolumeLabelText('e', serial), "Removable Disk (E:)");
    EXPECT_EQ(serial, 5);
    c.setDrives({a, d, n, r});
    EXPECT_EQ(VolumeLabelText('N', serial), "SHARE (N:)");
    EXPECT_EQ(serial, 7);
    EXPECT_EQ(VolumeLabelText('Q', serial), "(Q:)");
    EXPECT_EQ(serial, -1);
    EXPECT_EQ(VolumeSerial('R'), 9);
    EXPECT_EQ(VolumeSerial('Z'), -1);

    const std::uint32_t all = (1u << 0) | (1u << 2) | (1u << 3) | (1u << 13) | (1u << 17);
    EXPECT_EQ(EnabledDrives(AllDriveTypes), all);
    // A: has lost its folder (kind 1) and is always admitted.
    EXPECT_EQ(EnabledDrives(0), 1u << 0);
    EXPECT_EQ(EnabledDrives(driveTypeBit(drtFixed) | driveTypeBit(drtRemote)),
              (1u << 0) | (1u << 2) | (1u << 3) | (1u << 13));
}

TEST(Search, EntriesAndErrorMode)
{
    TempDrive c;
    c.write("f/b.wav", "");
    c.mkdirs("f/Sub");
    TDirRec rec;
    rec.Data = &rec;
    ASSERT_EQ(FindFirstEntry("C:\\F\\*", rec), 0u);
    std::vector<std::string> names{rec.Name};
    EXPECT_EQ(rec.Data, nullptr);
    while (FindNextEntry(rec) == 0)
        names.push_back(rec.Name);
    platform::FindClose(rec.FindHandle);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Sub", "b.wav"}));
    EXPECT_NE(FindFirstEntry("C:\\NOPE\\*", rec), 0u);
    EXPECT_EQ(rec.FindHandle, platform::INVALID_HANDLE_VALUE);

    EXPECT_TRUE(PathExists("C:\\F\\B.WAV"));
    EXPECT_FALSE(FolderExists("C:\\F\\B.WAV"));
    EXPECT_TRUE(FolderExists("c:\\f\\sub\\"));
    EXPECT_FALSE(PathExists("C:\\F\\none"));
    EXPECT_FALSE(PathExists(""));
    EXPECT_FALSE(FolderExists("?"));

    // Probes switch the mode and always put the caller's back.
    platform::SetErrorMode(0x8000);
    PathExists("C:\\F");
    EnabledDrives(AllDriveTypes);
    FileSystemName("C:\\F\\");
    {
        ErrorModeGuard g;
        EXPECT_EQ(platform::SetErrorMode(platform::SEM_FAILCRITICALERRORS), platform::SEM_FAILCRITICALERRORS);
    }
    EXPECT_EQ(platform::SetErrorMode(0), 0x8000u);
}
