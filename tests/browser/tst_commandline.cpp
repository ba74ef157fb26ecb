// SPDX-License-Identifier: GPL-3.0-or-later
// The window shows what the command line or a later start names: a folder, or a wave file's row.
#include "browserfixture.h"
#include "platform/files/argumentpath.h"

using namespace browser_testing;

namespace {

class CommandLine : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        wave("SOUNDS/Bell.WAV");
        wave("SOUNDS/DRUMS/kick.wav");
        drive_.write("SOUNDS/notes.txt", "not a wave");
        wave("SOUNDS/.hidden/secret.wav");
        wave("START/a.wav");
        wave("SOUNDS/caf\xe9.wav");
        setString("LastDir", "C:\\START\\");
    }
    std::string selectedRowName()
    {
        const int row = ui(form()).WaveList->selectedRow();
        return row < 0 ? std::string() : ui(form()).WaveList->model()->name(row);
    }
};

struct OpenCase {
    const char* argument; ///< "@" stands for the Linux path of the drive's root
    bool shown;
    const char* folder; ///< the folder the window shows afterwards
    const char* row;    ///< the selected row, "" for none
};

TEST_F(CommandLine, FoldersAndWaveFilesAreShownByLinuxPathDrivePathOrUrl)
{
    const OpenCase cases[] = {
        {"@/SOUNDS/DRUMS", true, "C:\\SOUNDS\\DRUMS\\", ""},
        {"@/SOUNDS/DRUMS/../", true, "C:\\SOUNDS\\", ""},
        {"@/SOUNDS/DRUMS/kick.wav", true, "C:\\SOUNDS\\DRUMS\\", "kick.wav"},
        {"c:/sounds/BELL.wav", true, "C:\\SOUNDS\\", "bell.wav"},
        {"C:", true, "C:\\", ""},
        {"@/SOUNDS/caf\xe9.wav", true, "C:\\SOUNDS\\", "caf\xe9.wav"},
        {"file://@/SOUNDS/Bell.WAV", true, "C:\\SOUNDS\\", "bell.wav"},
        // Not shown: the window stays as it was.
        {"@/SOUNDS/notes.txt", false, "C:\\START\\", ""},
        {"@/SOUNDS/.hidden", false, "C:\\START\\", ""},
        {"@/SOUNDS/missing.wav", false, "C:\\START\\", ""},
        {"C:\\NOWHERE\\", false, "C:\\START\\", ""},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.argument);
        std::string argument = c.argument;
        if (const size_t at = argument.find('@'); at != std::string::npos)
            argument.replace(at, 1, drive_.root());
        BrowserWindow& w = start();
        ASSERT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\START\\");
        const std::string path = platform::DrivePathOfArgument(argument);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(w.openPath(path, false), c.shown);
        EXPECT_EQ(ui(w).FolderTree->SelectedPath(), c.folder);
        EXPECT_EQ(selectedRowName(), c.row);
        EXPECT_FALSE(playback(w).playing());
        form_.reset();
    }
    // Paths no drive holds name nothing here.
    EXPECT_EQ(platform::DrivePathOfArgument("/"), "");
    EXPECT_EQ(platform::DrivePathOfArgument("file://otherhost" + drive_.root()), "");
}

TEST_F(CommandLine, FoldersAndWavesMadeAfterTheWindowReadTheirParentsAreFound)
{
    BrowserWindow& w = start();
    ASSERT_TRUE(w.openPath("C:\\SOUNDS\\", false));
    wave("SOUNDS/later.wav");
    EXPECT_TRUE(w.openPath("C:\\SOUNDS\\later.wav", true));
    EXPECT_EQ(selectedRowName(), "later.wav");
    EXPECT_TRUE(playback(w).playing());
    EXPECT_TRUE(ui(w).StopItem->isEnabled());
    w.stop();

    // A folder made in the folder shown, and one made two levels deep in the drive's root, both read before.
    wave("SOUNDS/NEW/a.wav");
    wave("PACK/ONE/b.wav");
    EXPECT_TRUE(w.openPath("C:\\SOUNDS\\NEW\\", false));
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\NEW\\");
    EXPECT_EQ(captions(), QStringList{"a.wav"});
    EXPECT_TRUE(w.openPath("C:\\PACK\\ONE\\b.wav", true));
    EXPECT_EQ(selectedRowName(), "b.wav");
    EXPECT_TRUE(playback(w).playing());
    w.stop();
    // The nodes read before stay beside the new ones.
    EXPECT_NE(ui(w).FolderTree->FindNode("C:\\SOUNDS\\DRUMS\\"), nullptr);
    // The folder shown, handed again, lists what came since.
    wave("PACK/ONE/c.wav");
    EXPECT_TRUE(w.openPath("C:\\PACK\\ONE\\", false));
    EXPECT_EQ(captions(), (QStringList{"b.wav", "c.wav"}));

    // A folder on a removable drive, never selected before: the tree's first look at the medium lands on
    // the drive's root, the folder handed is still the one shown.
    QTemporaryDir stick;
    ASSERT_TRUE(QDir(stick.path()).mkpath("Kits/Snares"));
    QFile snare(stick.path() + "/Kits/Snares/snare.wav");
    ASSERT_TRUE(snare.open(QIODevice::WriteOnly));
    snare.write(QByteArray::fromStdString(testing_support::makeWav(1, 44100, 16, 100)));
    snare.close();
    drive_.setDrives({{'R', stick.path().toStdString(), 2, "STICK", 0x99, "tmpfs"}});
    form_.reset();
    BrowserWindow& again = start();
    EXPECT_TRUE(again.openPath("R:\\Kits\\Snares\\snare.wav", false));
    EXPECT_EQ(ui(again).FolderTree->SelectedPath(), "R:\\KITS\\SNARES\\");
    EXPECT_EQ(selectedRowName(), "snare.wav");
}

} // namespace
