// SPDX-License-Identifier: GPL-3.0-or-later
// The tree's nodes on real folders: loading order, selection by path, filters, lazy reading, reloading.
#include "treetesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <algorithm>
#include <map>
#include <unistd.h>

using namespace treetesting;

TEST_F(TreeTest, LoadingShowsDrivesSelectsInitialFolderAndReportsOnce)
{
    QTemporaryDir ram, cd;
    drive.setDrives({{'D', cd.path().toStdString(), 5, "AUDIO", 0x55, "iso9660"},
                     {'R', ram.path().toStdString(), 6, "", 0x66, "tmpfs"}});
    drive.mkdirs("Sounds");
    makeTree();

    EXPECT_EQ(topPaths(), (std::vector<std::string>{"C:\\", "D:\\"})); // RAM disks are not shown
    EXPECT_EQ(tree->SelectedPath(), "C:\\");
    EXPECT_EQ(changes, std::vector<std::string>{"C:\\"});
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "SYSTEM (C:)");
    // The optical drive is not searched while the drives are listed; it only gets an expand button.
    EXPECT_TRUE(hasPlaceholderOnly(node("D:\\")));
    EXPECT_EQ(tree->LastDirs()[2], "C:\\");
    EXPECT_EQ(tree->VolumeSerials()[2], 0x1234ABCD);
    expectBalanced();
}

TEST_F(TreeTest, StoredValuesFromALayoutDescription)
{
    // As the window's generated layout code sets them: by name, through the meta-object system.
    tree = new TestTree(owner.get());
    const std::pair<const char*, QVariant> stored[] = {
        {"ReadOnStart", true},
        {"InitialDirectory", QString("c:")},
        {"DirTypes", 25},
        {"DriveTypes", 31},
        {"GoBelowRecycleBin", false},
        {"FastLoad", false},
        {"DragMode", 1},
        {"HideSelection", false},
    };
    for (const auto& [name, value] : stored)
        EXPECT_TRUE(tree->setProperty(name, value)) << name;
    EXPECT_EQ(tree->DirTypes(), browserDirTypes);
    EXPECT_EQ(tree->DriveTypes(), browserDriveTypes);
    EXPECT_EQ(tree->InitialDirectory(), "c:");
    EXPECT_EQ(tree->DragMode(), dmAutomatic);
    EXPECT_FALSE(tree->GoBelowRecycleBin());
    EXPECT_EQ(topPaths(), std::vector<std::string>{"C:\\"}); // drives arrive with the drive kinds
    tree->Loaded();
    EXPECT_EQ(tree->SelectedPath(), "C:\\");
}

TEST_F(TreeTest, SelectPathInAnyCase)
{
    drive.mkdirs("Sounds/Drums");
    makeTree();
    for (const char* path : {"c:\\sounds\\drums", "C:\\SOUNDS\\DRUMS\\", "C:\\Sounds\\drums\\"}) {
        SCOPED_TRACE(path);
        tree->SelectPath("C:\\");
        tree->SelectPath(path);
        EXPECT_EQ(tree->SelectedPath(), "C:\\SOUNDS\\DRUMS\\");
        EXPECT_EQ(tree->currentItem()->text(0), "Drums"); // the stored spelling
    }
    EXPECT_EQ(tree->LastDirs()[2], "C:\\SOUNDS\\DRUMS\\");

    // Bad paths leave the selection alone, or fall back to the current drive's root.
    changes.clear();
    try {
        tree->SelectPath("");
        ADD_FAILURE() << "an empty path must raise";
    } catch (const DirTreeError& e) {
        EXPECT_STREQ(e.what(), "Invalid Path Name");
    }
    tree->SelectPath("?");
    EXPECT_EQ(tree->SelectedPath(), "C:\\SOUNDS\\DRUMS\\");
    EXPECT_TRUE(changes.empty());
    tree->SelectPath("C:\\NOT\\THERE");
    EXPECT_EQ(tree->SelectedPath(), "C:\\");
    expectBalanced();
}

TEST_F(TreeTest, CaseTwinsAreFoldersOfTheirOwnAtEveryLevel)
{
    // Each folder holds one sub-folder of its own, which tells whose sub-folders a node lists.
    const struct {
        const char* path; // as the disk spells it
        const char* child;
    } cases[] = {
        {"C:\\Music\\", "a"},      {"C:\\music\\", "b"},      // drive root
        {"C:\\S\\Deep\\x\\", "c"}, {"C:\\S\\deep\\x\\", "d"}, // middle
        {"C:\\T\\Last\\", "e"},    {"C:\\T\\LAST\\", "f"},    // last folder
    };
    for (const auto& c : cases) {
        std::string rel = std::string(c.path + 3) + c.child;
        std::replace(rel.begin(), rel.end(), '\\', '/');
        drive.mkdirs(rel);
    }
    drive.mkdirs("U/Full/g"); // of these twins, only one holds a folder
    drive.mkdirs("U/full");
    makeTree();
    tree->SelectPath("C:\\U\\");
    tree->currentItem()->setExpanded(true);
    EXPECT_EQ(tree->FindNode("C:\\U\\Full\\")->childCount(), 1);
    EXPECT_EQ(tree->FindNode("C:\\U\\full\\")->childCount(), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string name = std::string(c.path).substr(0, std::string(c.path).size() - 1);
        const auto isThatFolder = [&] {
            QTreeWidgetItem* n = tree->currentItem();
            ASSERT_NE(n, nullptr);
            EXPECT_EQ(n->text(0).toStdString(), name.substr(name.rfind('\\') + 1));
            ASSERT_EQ(n->childCount(), 1);
            EXPECT_EQ(n->child(0)->text(0), c.child);
        };
        tree->SelectPath(c.path);
        isThatFolder();
        EXPECT_EQ(tree->FindNode(c.path), tree->currentItem());
        // Its sub-folder's node names that sub-folder too.
        tree->SelectPath(c.path + std::string(c.child));
        EXPECT_EQ(tree->currentItem()->text(0), c.child);
        tree->SelectPath(c.path);
        tree->Reload(); // the same one of the two, not the first that matches ignoring case
        isThatFolder();
    }
    // Typed or stored in another case, a path takes the first in byte order, as paths resolve.
    tree->SelectPath("c:\\music\\");
    EXPECT_EQ(tree->currentItem()->text(0), "music");
    tree->SelectPath("C:\\MUSIC");
    EXPECT_EQ(tree->currentItem()->text(0), "Music");
    EXPECT_EQ(tree->SelectedPath(), "C:\\MUSIC\\");
    expectBalanced();
}

TEST_F(TreeTest, NothingSelectedReadsAsMarker)
{
    auto* plain = new TestTree(owner.get());
    EXPECT_EQ(plain->SelectedPath(), "?");
    EXPECT_EQ(plain->DropTargetPath(), "");
}

TEST_F(TreeTest, AttributeFilter)
{
    struct Case {
        TDirTypes types;
        std::uint32_t attr;
        bool shown;
    };
    const TDirTypes browser = browserDirTypes;
    const Case cases[] = {
        {browser, 0x10, true},
        {browser, 0x10 | 0x01, true}, // read-only is not judged
        {browser, 0x10 | 0x02, false},
        {browser, 0x10 | 0x04, false},
        {browser, 0x10 | 0x20, true},
        {dirTypeBit(dtAll), 0x16, true},
        {dirTypeBit(dtHidden), 0x10, false}, // without dtNormal only flagged folders pass
        {dirTypeBit(dtHidden), 0x12, true},
        {dirTypeBit(dtHidden), 0x32, false},
    };
    makeTree();
    for (const Case& c : cases) {
        tree->setDirTypes(c.types);
        EXPECT_EQ(tree->MatchesDirTypes(c.attr), c.shown) << int(c.types) << " " << c.attr;
    }
}

TEST_F(TreeTest, HiddenFoldersFollowDirTypes)
{
    drive.mkdirs(".cache/x");
    drive.mkdirs("plain");
    makeTree();
    EXPECT_EQ(childPaths(node("C:\\")), std::vector<std::string>{"C:\\PLAIN\\"});
    tree->setDirTypes(dirTypeBit(dtNormal) | dirTypeBit(dtAll)); // reloads and keeps the selection
    EXPECT_EQ(childPaths(node("C:\\")), (std::vector<std::string>{"C:\\.CACHE\\", "C:\\PLAIN\\"}));
    EXPECT_EQ(tree->SelectedPath(), "C:\\");
}

TEST_F(TreeTest, RecycleBinRule)
{
    makeTree();
    const std::map<std::string, bool> accepted = {
        {"C:\\RECYCLED\\", true},
        {"C:\\Recycled\\INFO\\", false},
        {"C:\\A\\RECYCLED\\B\\C\\", false},
        {"C:\\RECYCLEDX\\", true},
        {"C:\\HOME\\ANNA\\.LOCAL\\SHARE\\TRASH\\", true},
        {"C:\\HOME\\ANNA\\.LOCAL\\SHARE\\TRASH\\FILES\\", false},
        {"D:\\.TRASH-1000\\", true},
        {"D:\\.TRASH-1000\\FILES\\", false},
        {"D:\\.TRASH-\\FILES\\", true},
    };
    for (const auto& [path, shown] : accepted)
        EXPECT_EQ(tree->AcceptFolder(path), shown) << path;

    // Shown when going below the bin is allowed; and selecting into the bin otherwise changes nothing.
    drive.mkdirs("Recycled/Gone");
    drive.mkdirs("Music");
    tree->Reload();
    tree->SelectPath("C:\\MUSIC");
    tree->SelectPath("C:\\RECYCLED\\GONE");
    EXPECT_EQ(tree->SelectedPath(), "C:\\MUSIC\\");
    EXPECT_EQ(node("C:\\RECYCLED\\")->childCount(), 0);
    tree->setGoBelowRecycleBin(true);
    tree->SelectPath("C:\\RECYCLED\\GONE");
    EXPECT_EQ(tree->SelectedPath(), "C:\\RECYCLED\\GONE\\");
}

TEST_F(TreeTest, LazyReadingAndProbing)
{
    drive.mkdirs("A/B/C");
    drive.mkdirs("E");
    makeTree();
    QTreeWidgetItem* c = node("C:\\");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(tree->IsScanned(c)); // read when the initial folder was selected
    QTreeWidgetItem* a = node("C:\\A\\");
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(tree->IsScanned(a));
    // FindNode reads nothing: B is on disk but A was never expanded.
    EXPECT_EQ(node("C:\\A\\B\\"), nullptr);
    EXPECT_EQ(a->childCount(), 0);

    c->setExpanded(true); // probes the children: A has a sub-folder, E has none
    EXPECT_TRUE(hasPlaceholderOnly(node("C:\\A\\")));
    EXPECT_EQ(node("C:\\E\\")->childCount(), 0);
    c->setExpanded(false);
    c->setExpanded(true); // a second expansion adds no second placeholder
    EXPECT_TRUE(hasPlaceholderOnly(node("C:\\A\\")));

    a->setExpanded(true);
    EXPECT_TRUE(tree->IsScanned(a));
    EXPECT_EQ(childPaths(a), std::vector<std::string>{"C:\\A\\B\\"});
    EXPECT_TRUE(hasPlaceholderOnly(node("C:\\A\\B\\")));
    EXPECT_TRUE(a->isExpanded());
}

// Without handlers of the owner the children are probed many at once; the expand buttons must be those
// of one probe after another, which the tree still runs when OnAddDir is assigned.
TEST_F(TreeTest, ProbesRunTogetherGiveTheButtonsOfProbesInTurn)
{
    for (int i = 0; i < 40; ++i) {
        const std::string folder = "Many/F" + std::to_string(i);
        switch (i % 5) {
        case 0:
            drive.mkdirs(folder + "/Inner");
            break;
        case 1:
            drive.mkdirs(folder + "/.hidden"); // filtered out by the browser's DirTypes
            break;
        case 2:
            drive.write(folder + "/a.wav", "x");
            drive.mkdirs(folder + "/z");
            break;
        case 3:
            drive.write(folder + "/a.wav", "x");
            break;
        default:
            drive.mkdirs(folder);
        }
    }
    drive.mkdirs("Many/Recycled/Below"); // below the bin: hidden
    makeTree();
    auto buttons = [&] {
        QTreeWidgetItem* many = node("C:\\MANY\\");
        tree->RefreshNode(many);
        many->setExpanded(true);
        std::vector<std::string> shown;
        for (int i = 0; i < many->childCount(); ++i)
            if (many->child(i)->childCount() > 0)
                shown.push_back(tree->NodePath(many->child(i)));
        return shown;
    };
    const std::vector<std::string> together = buttons();
    EXPECT_EQ(together.size(), 16u);
    tree->OnAddDir = [](TDirTree*, const std::string&, bool&) {};
    EXPECT_EQ(buttons(), together);
}

TEST_F(TreeTest, AddDirIsAskedTwiceAndBeforeTheFilter)
{
    drive.mkdirs("A/B");
    drive.mkdirs("A/.hid");
    drive.mkdirs("Skip/X");
    std::map<std::string, int> asked;
    makeTree();
    tree->OnAddDir = [&](TDirTree*, const std::string& path, bool& add) {
        ++asked[path];
        if (path == "C:\\Skip\\") // the stored spelling of the name, behind the upper-case parent
            add = false;
    };
    tree->Reload();
    EXPECT_EQ(node("C:\\SKIP\\"), nullptr);
    asked.clear();
    node("C:\\")->setExpanded(true); // probes A: stops at its first accepted sub-folder
    tree->SelectPath("C:\\A");       // reads A
    EXPECT_EQ(asked["C:\\A\\B\\"], 2);
    EXPECT_GE(asked["C:\\A\\.hid\\"], 1); // asked although the attribute filter then drops it
    EXPECT_EQ(childPaths(node("C:\\A\\")), std::vector<std::string>{"C:\\A\\B\\"});
}

TEST_F(TreeTest, ExpandingReadsBeforeAskingEvenWhenForbidden)
{
    drive.mkdirs("A/B");
    makeTree();
    int childrenWhenAsked = -1;
    tree->OnExpanding = [&](TDirTree*, QTreeWidgetItem* n, bool& allow) {
        childrenWhenAsked = n->childCount();
        allow = false;
    };
    QTreeWidgetItem* a = node("C:\\A\\");
    a->setExpanded(true);
    EXPECT_EQ(childrenWhenAsked, 1);
    EXPECT_TRUE(tree->IsScanned(a));
    EXPECT_FALSE(a->isExpanded());
}

TEST_F(TreeTest, ReloadFallsBackWhenTheFolderIsGone)
{
    drive.mkdirs("A/B");
    makeTree();
    tree->SelectPath("C:\\A\\B");
    tree->Reload();
    EXPECT_EQ(tree->SelectedPath(), "C:\\A\\B\\");
    QDir(QString::fromStdString(drive.native("A/B"))).removeRecursively();
    changes.clear();
    tree->Reload();
    EXPECT_EQ(tree->SelectedPath(), "C:\\"); // the root of the current drive
    EXPECT_EQ(changes.back(), "C:\\");
    expectBalanced();
}

TEST_F(TreeTest, RefreshNodeDropsChildrenAndReadsAgain)
{
    drive.mkdirs("A/B/C");
    makeTree();
    tree->SelectPath("C:\\A\\B");
    std::vector<std::string> deleted;
    tree->OnDeleteItem = [&](TDirTree*, QTreeWidgetItem* n) {
        EXPECT_EQ(TDirTree::entryOf(n), nullptr); // freed before the event
        deleted.push_back(n->text(0).toStdString());
    };
    drive.mkdirs("A/New");
    QTreeWidgetItem* a = node("C:\\A\\");
    tree->RefreshNode(a);
    EXPECT_EQ(deleted, (std::vector<std::string>{"C", "B"})); // children first
    EXPECT_FALSE(tree->IsScanned(a));
    EXPECT_TRUE(hasPlaceholderOnly(a));
    tree->SelectPath("C:\\A\\NEW");
    EXPECT_EQ(tree->SelectedPath(), "C:\\A\\NEW\\");

    tree->GoToParent(false);
    EXPECT_EQ(tree->SelectedPath(), "C:\\A\\");
}

TEST_F(TreeTest, OddNamesKeepTheirBytes)
{
    drive.mkdirs("caf\xE9"); // not UTF-8
    drive.mkdirs("Drums");
    drive.mkdirs("drums");        // differs only in case: a folder, and a node, of its own
    drive.mkdirs("\xC3\xA4rger"); // ärger
    makeTree();
    std::vector<std::string> paths = childPaths(node("C:\\"));
    std::sort(paths.begin(), paths.end()); // where ä goes depends on the locale
    EXPECT_EQ(paths, (std::vector<std::string>{"C:\\CAF\xE9\\", "C:\\DRUMS\\", "C:\\DRUMS\\", "C:\\\xC3\x84RGER\\"}));
    QTreeWidgetItem* cafe = node("C:\\caf\xE9");
    ASSERT_NE(cafe, nullptr);
    EXPECT_EQ(cafe->text(0), QStringLiteral("caf\\xE9"));
    EXPECT_EQ(node("C:\\DRUMS\\")->text(0), "Drums"); // the first in byte order
    EXPECT_EQ(node("C:\\drums")->text(0), "drums");
    tree->SelectPath("c:\\\xC3\xA4rger");
    EXPECT_EQ(tree->currentItem()->text(0), QString::fromUtf8("\xC3\xA4rger"));
    ::rmdir(drive.native("caf\xE9").c_str()); // Qt cannot name it to clean up
}

TEST_F(TreeTest, DeepAndWideFolders)
{
    // Thousands of folders are made in memory where the machine allows it: the disk would dominate.
    QTemporaryDir fast(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/dirtree-XXXXXX")
                                                 : QDir::tempPath() + QStringLiteral("/dirtree-XXXXXX"));
    ASSERT_TRUE(fast.isValid());
    drive.setDrives({{'D', fast.path().toStdString(), 3, "FAST", 0x77, "tmpfs"}});
    QString rel = fast.path() + "/deep";
    for (int i = 0; i < 99; ++i)
        rel += "/d";
    QDir().mkpath(rel);
    for (int i = 0; i < 10000; ++i)
        QDir().mkpath(fast.path() + "/wide/F" + QString::number(i));
    makeTree();

    std::string path = "D:\\DEEP";
    for (int i = 0; i < 99; ++i)
        path += "\\D";
    tree->SelectPath(path);
    EXPECT_EQ(PathDepth(tree->SelectedPath()), 101);

    tree->SelectPath("D:\\WIDE\\F9999");
    EXPECT_EQ(tree->SelectedPath(), "D:\\WIDE\\F9999\\");
    QTreeWidgetItem* wide = node("D:\\WIDE\\");
    ASSERT_EQ(wide->childCount(), 10000);
    EXPECT_EQ(wide->child(0)->text(0), "F0");
    EXPECT_EQ(wide->child(1)->text(0), "F1");
    EXPECT_EQ(wide->child(2)->text(0), "F10"); // locale order, not numeric
    expectBalanced();
}

TEST_F(TreeTest, SymlinkLoopIsAFolderAndNothingRecursesForever)
{
    drive.mkdirs("A/B");
    ASSERT_TRUE(QFile::link(QString::fromStdString(drive.native("A")), QString::fromStdString(drive.native("A/loop"))));
    makeTree();
    tree->SelectPath("C:\\A\\LOOP\\LOOP\\LOOP\\B");
    EXPECT_EQ(tree->SelectedPath(), "C:\\A\\LOOP\\LOOP\\LOOP\\B\\");
    node("C:\\A\\LOOP\\LOOP\\LOOP\\")->setExpanded(true);
    EXPECT_TRUE(hasPlaceholderOnly(node("C:\\A\\LOOP\\LOOP\\LOOP\\LOOP\\")));
    tree->Reload();
    EXPECT_EQ(tree->SelectedPath(), "C:\\A\\LOOP\\LOOP\\LOOP\\B\\");
    tree->SelectPath("C:\\A");
    int opened = 0;
    tree->OnExpanded = [&](TDirTree*, QTreeWidgetItem*) { ++opened; };
    QTest::keyClick(tree, Qt::Key_Asterisk); // Qt's "open all below" would read the loop to the path limit
    EXPECT_LE(opened, 1);
    EXPECT_TRUE(node("C:\\A\\")->isExpanded());
}

TEST_F(TreeTest, FoldersThatCannotBeReadOrVanish)
{
    drive.mkdirs("Locked/inner");
    drive.mkdirs("Gone/inner");
    makeTree();
    QTreeWidgetItem* gone = node("C:\\GONE\\");
    QDir(QString::fromStdString(drive.native("Gone"))).removeRecursively();
    gone->setExpanded(true);
    EXPECT_EQ(gone->childCount(), 0);

    QFile locked(QString::fromStdString(drive.native("Locked")));
    locked.setPermissions(QFileDevice::Permissions());
    if (QDir(locked.fileName()).entryList().isEmpty()) {
        tree->SelectPath("C:\\LOCKED");
        EXPECT_EQ(tree->SelectedPath(), "C:\\LOCKED\\");
        EXPECT_EQ(tree->currentItem()->childCount(), 0);
    }
    locked.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    expectBalanced();
}

TEST_F(TreeTest, ErrorsFromHandlersLeaveNothingUnbalanced)
{
    drive.mkdirs("A/B");
    makeTree();
    tree->OnAddDir = [](TDirTree*, const std::string& path, bool&) {
        if (path == "C:\\A\\B\\")
            throw std::runtime_error("refused");
    };
    EXPECT_THROW(tree->SelectPath("C:\\A\\B"), std::runtime_error);
    expectBalanced();
    QTreeWidgetItem* a = node("C:\\A\\");
    a->setExpanded(true); // the error cannot leave Qt's signal; the node stays closed
    EXPECT_FALSE(a->isExpanded());
    expectBalanced();
    tree->OnAddDir = nullptr;

    // An error of OnChange, raised inside Qt's selection signal, still reaches the caller of SelectPath.
    tree->OnChange = [](TDirTree*, QTreeWidgetItem*) { throw std::runtime_error("list failed"); };
    EXPECT_THROW(tree->SelectPath("C:\\A"), std::runtime_error);
    EXPECT_EQ(tree->SelectedPath(), "C:\\A\\");
    expectBalanced();
    tree->OnChange = nullptr;

    // An error while the drives are listed: the rebuild stops, and nothing stays locked or hidden.
    tree->OnAddDir = [](TDirTree*, const std::string& path, bool&) {
        if (path == "C:\\")
            throw std::runtime_error("no drives");
    };
    EXPECT_THROW(tree->Reload(), std::runtime_error);
    expectBalanced();
    tree->OnAddDir = nullptr;
    tree->Reload();
    a = node("C:\\A\\");
    ASSERT_NE(a, nullptr);
    tree->RefreshNode(a);
    a->setExpanded(true);
    EXPECT_EQ(childPaths(a), std::vector<std::string>{"C:\\A\\B\\"});
}

TEST_F(TreeTest, FindDirReplacesTheSearch)
{
    makeTree();
    int calls = 0;
    tree->OnFindDir = [&](TDirTree*, const std::string& path, TDirRec& rec, int& result, bool first) {
        if (path != "C:\\") {
            result = 18; // no more entries
            return;
        }
        if (first)
            calls = 0;
        static const char* names[] = {"Zeta", "alpha"};
        result = calls < 2 ? 0 : 18;
        if (calls < 2) {
            rec.Name = names[calls];
            rec.Attr = 0x10;
            rec.Data = reinterpret_cast<void*>(std::intptr_t(calls + 1));
        }
        ++calls;
    };
    tree->RefreshNode(node("C:\\"));
    EXPECT_TRUE(hasPlaceholderOnly(node("C:\\")));
    node("C:\\")->setExpanded(true);
    QTreeWidgetItem* c = node("C:\\");
    ASSERT_EQ(c->childCount(), 2);
    EXPECT_EQ(c->child(0)->text(0), "alpha");
    EXPECT_EQ(TDirTree::entryOf(c->child(0))->Data, reinterpret_cast<void*>(2));
}
