// SPDX-License-Identifier: GPL-3.0-or-later
// Display names and icons of drives, folders and files.
#include "platform/files/files.h"
#include "platform/shell/shellinfo.h"
#include "support/tempdrive.h"

#include <gtest/gtest.h>

using namespace platform;
using testing_support::TempDrive;

TEST(ShellInfo, DriveDisplayNamesByLabelOrKind)
{
    TempDrive c;
    c.setDrives({{'D', c.root(), DRIVE_FIXED, "", 1u, ""},
                 {'E', c.root(), DRIVE_REMOVABLE, "", 2u, ""},
                 {'F', c.root(), DRIVE_CDROM, "", 3u, ""},
                 {'N', c.root(), DRIVE_REMOTE, "", 4u, ""},
                 {'S', c.root(), DRIVE_REMOVABLE, "STICK", 5u, ""}});
    const struct {
        const char* root;
        const char* name;
    } cases[] = {{"C:\\", "SYSTEM (C:)"}, {"d:\\", "Local Disk (D:)"},    {"E:\\", "Removable Disk (E:)"},
                 {"F:", "CD Drive (F:)"}, {"N:\\", "Network Drive (N:)"}, {"S:\\", "STICK (S:)"}};
    for (const auto& k : cases) {
        SHFILEINFO info;
        EXPECT_NE(SHGetFileInfo(k.root, 0, &info, SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON), 0u);
        EXPECT_STREQ(info.szDisplayName, k.name);
        EXPECT_FALSE(SystemImageList::instance().icon(info.iIcon).isNull()) << k.root;
    }
    SHFILEINFO none;
    EXPECT_EQ(SHGetFileInfo("Q:\\", 0, &none, SHGFI_DISPLAYNAME), 0u);
}

TEST(ShellInfo, FoldersAndFilesHaveIconsAndStoredNames)
{
    TempDrive c;
    c.write("Sounds/Bell.WAV", "RIFF");
    SHFILEINFO closed, open, again, file;
    ASSERT_NE(SHGetFileInfo("C:\\SOUNDS", 0, &closed, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_DISPLAYNAME), 0u);
    ASSERT_NE(SHGetFileInfo("C:\\SOUNDS", 0, &open, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON), 0u);
    ASSERT_NE(SHGetFileInfo("C:\\", 0, &again, SHGFI_SYSICONINDEX | SHGFI_SMALLICON), 0u);
    ASSERT_NE(SHGetFileInfo("c:\\sounds\\bell.wav", 0, &file, SHGFI_ICON | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX), 0u);
    EXPECT_STREQ(closed.szDisplayName, "Sounds");
    EXPECT_STREQ(file.szDisplayName, "Bell.WAV");
    EXPECT_NE(closed.iIcon, open.iIcon);
    EXPECT_FALSE(SystemImageList::instance().icon(closed.iIcon).isNull());
    EXPECT_FALSE(SystemImageList::instance().icon(open.iIcon).isNull());
    EXPECT_FALSE(file.hIcon.isNull());
    // The same kind of entry always gets the same index.
    SHFILEINFO second;
    SHGetFileInfo("C:\\SOUNDS", 0, &second, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    EXPECT_EQ(second.iIcon, closed.iIcon);
    EXPECT_EQ(SHGetFileInfo("C:\\MISSING", 0, &second, SHGFI_DISPLAYNAME), 0u);
}
