// SPDX-License-Identifier: GPL-3.0-or-later
// Drives that come and go and media that change, as the tree hears of them through its owner window.
#include "treetesting.h"

#include <QSignalSpy>
#include <QTest>
#include <map>
#include <unistd.h>

using namespace treetesting;
using platform::DriveInfo;

namespace {

int countNodes(QTreeWidgetItem* n)
{
    int count = 1;
    for (int i = 0; i < n->childCount(); ++i)
        count += countNodes(n->child(i));
    return count;
}

} // namespace

class DriveTest : public TreeTest {
protected:
    QTemporaryDir d, e, r;
    std::map<std::string, int> offered;
    int deleted = 0;
    int clicks = 0;

    DriveInfo fixed(char letter, QTemporaryDir& dir, const std::string& label, std::uint32_t serial, unsigned kind = 3)
    {
        return {letter, dir.path().toStdString(), kind, label, serial, "ext4"};
    }

    void watch()
    {
        tree->OnAddDir = [this](TDirTree*, const std::string& path, bool&) { ++offered[path]; };
        tree->OnDeleteItem = [this](TDirTree*, QTreeWidgetItem*) { ++deleted; };
        tree->OnClick = [this](TDirTree*) { ++clicks; };
        changes.clear();
    }

    /// Delivers one device-change message the way the system does: posted to the top-level windows.
    void deviceChange()
    {
        QCoreApplication::postEvent(owner.get(), new platform::DeviceChangeEvent());
        QCoreApplication::sendPostedEvents(owner.get());
    }

    void click(QTreeWidgetItem* item)
    {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }
};

TEST_F(DriveTest, ArrivalsInLetterOrderAndRemovalsWithEveryNode)
{
    QDir(e.path()).mkpath("X/Y/Z");
    drive.setDrives({fixed('E', e, "DATA", 0xE)});
    makeTree();
    tree->SelectPath("E:\\X\\Y");
    tree->SelectPath("C:\\");
    const int eNodes = countNodes(node("E:\\"));
    ASSERT_GE(eNodes, 4); // E, X, Y, Z at least
    watch();

    drive.setDrives({fixed('D', d, "", 0xD), fixed('R', r, "STICK", 0x99, 2)});
    // The mount watch on a pipe stands in for the kernel's signal on the mount table.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    platform::MountWatcher watcher(fds[0], false);
    QSignalSpy signalled(&watcher, &platform::MountWatcher::changed);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    ASSERT_TRUE(signalled.wait(5000));
    QCoreApplication::sendPostedEvents();
    ::close(fds[1]);
    ::close(fds[0]);

    EXPECT_EQ(topPaths(), (std::vector<std::string>{"C:\\", "D:\\", "R:\\"}));
    EXPECT_TRUE(offered.empty()); // new drives are not offered to OnAddDir
    EXPECT_EQ(deleted, eNodes);
    EXPECT_EQ(owner->deviceChanges, 0);
    EXPECT_EQ(changes, std::vector<std::string>{"C:\\"});
    EXPECT_EQ(tree->DriveMask(), (1u << 2) | (1u << 3) | (1u << ('R' - 'A')));
    expectBalanced();
}

TEST_F(DriveTest, RemovingTheSelectedDrive)
{
    QDir(e.path()).mkpath("X");
    drive.setDrives({fixed('E', e, "DATA", 0xE)});
    makeTree();
    tree->SelectPath("E:\\X");
    watch();
    drive.setDrives({});
    deviceChange();
    EXPECT_EQ(topPaths(), std::vector<std::string>{"C:\\"});
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_NE(tree->SelectedPath().substr(0, 1), "E");
    expectBalanced();
}

TEST_F(DriveTest, ChangedMediumInAPresentDriveIsFound)
{
    QDir(e.path()).mkpath("X/Y");
    drive.setDrives({fixed('E', e, "DATA", 0xE)});
    makeTree();
    tree->SelectPath("E:\\X");
    tree->SelectPath("C:\\");
    watch();

    // No drive comes or goes; E's medium changed. Letters above E without a drive must not end the search.
    drive.setDrives({fixed('E', e, "OTHER", 0xEE)});
    deviceChange();
    QTreeWidgetItem* en = node("E:\\");
    EXPECT_EQ(en->text(0), "OTHER (E:)");
    EXPECT_EQ(tree->VolumeSerials()['E' - 'A'], 0xEE);
    EXPECT_FALSE(tree->IsScanned(en));
    EXPECT_TRUE(hasPlaceholderOnly(en));
    EXPECT_EQ(changes, std::vector<std::string>{"C:\\"});
    EXPECT_EQ(owner->deviceChanges, 0);

    // A message that changes nothing still reports the selection once.
    deviceChange();
    EXPECT_EQ(changes.size(), 2u);
    expectBalanced();
}

TEST_F(DriveTest, FirstSelectionOfRemovableDriveRelabelsIt)
{
    QDir(r.path()).mkpath("Music");
    drive.setDrives({fixed('R', r, "STICK", 0x99, 2)});
    makeTree();
    QTreeWidgetItem* rn = node("R:\\");
    EXPECT_EQ(rn->text(0), "STICK (R:)"); // the shell's name; the volume was not read
    EXPECT_EQ(tree->VolumeSerials()['R' - 'A'], 0);
    drive.setDrives({fixed('R', r, "RENAMED", 0x99, 2)});
    watch();

    tree->setCurrentItem(rn);
    EXPECT_EQ(rn->text(0), "RENAMED (R:)");
    EXPECT_EQ(tree->VolumeSerials()['R' - 'A'], 0x99);
    EXPECT_EQ(deleted, 1); // its placeholder, replaced by a fresh probe
    EXPECT_EQ(changes, std::vector<std::string>{"R:\\"});

    tree->SelectPath("C:\\");
    deleted = 0;
    tree->setCurrentItem(node("R:\\"));
    EXPECT_EQ(deleted, 0); // same medium: nothing refreshed
    EXPECT_EQ(changes.back(), "R:\\");
}

TEST_F(DriveTest, ClickOnChangedMediumReportsTheDriveInsteadOfClick)
{
    QDir(r.path()).mkpath("Music/Loops");
    drive.setDrives({fixed('R', r, "STICK", 0x99, 2)});
    makeTree();
    tree->setReadOnly(true);
    owner->resize(400, 500);
    tree->setGeometry(0, 0, 400, 500);
    owner->show();
    tree->SelectPath("R:\\MUSIC"); // first selection relabels R and drops Music; select it again
    tree->SelectPath("R:\\MUSIC");
    ASSERT_EQ(tree->SelectedPath(), "R:\\MUSIC\\");
    watch();

    click(tree->currentItem());
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(changes.empty());

    drive.setDrives({fixed('R', r, "NEWDISC", 0x77, 2)});
    click(tree->currentItem());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(changes, std::vector<std::string>{"R:\\"});
    EXPECT_EQ(tree->SelectedPath(), "R:\\");
    EXPECT_EQ(node("R:\\")->text(0), "NEWDISC (R:)");
    owner->hide();
}

TEST_F(DriveTest, DriveTypesAtRunTimeTouchOnlyThoseDrives)
{
    QDir(d.path()).mkpath("Track");
    drive.mkdirs("A/B");
    drive.setDrives({fixed('D', d, "AUDIO", 0xD, 5)});
    makeTree();
    tree->SelectPath("C:\\A\\B");
    QTreeWidgetItem* a = node("C:\\A\\");
    ASSERT_TRUE(a->isExpanded());
    watch();

    tree->setDriveTypes(browserDriveTypes & ~driveTypeBit(drtCDRom));
    EXPECT_EQ(topPaths(), std::vector<std::string>{"C:\\"});
    EXPECT_EQ(node("C:\\A\\"), a);
    EXPECT_TRUE(a->isExpanded());
    EXPECT_EQ(changes, std::vector<std::string>{"C:\\A\\B\\"});

    tree->setDriveTypes(browserDriveTypes);
    EXPECT_EQ(topPaths(), (std::vector<std::string>{"C:\\", "D:\\"}));
    EXPECT_TRUE(hasPlaceholderOnly(node("D:\\")));
    expectBalanced();
}

TEST_F(DriveTest, OpticalDriveWithoutDiscExpandsToNothing)
{
    drive.setDrives({{'D', d.path().toStdString() + "/no-disc", 5, "", std::nullopt, "iso9660"}});
    makeTree();
    QTreeWidgetItem* dn = node("D:\\");
    ASSERT_NE(dn, nullptr);
    EXPECT_TRUE(hasPlaceholderOnly(dn)); // not touched while listing
    dn->setExpanded(true);
    EXPECT_EQ(dn->childCount(), 0);
    tree->setCurrentItem(dn);
    EXPECT_EQ(tree->SelectedPath(), "D:\\");
    EXPECT_EQ(tree->VolumeSerials()['D' - 'A'], -1);
    expectBalanced();
}
