// SPDX-License-Identifier: GPL-3.0-or-later
// New and renamed folders: free names, the rename routines, the tree's nodes that follow them,
// in-place label editing and drop targets.
#include "dirtree/FileRoutines.h"
#include "treetesting.h"

#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QTest>
#include <sys/stat.h>

using namespace treetesting;

TEST(FolderNames, NewFolderNameSkipsEveryTakenName)
{
    struct Case {
        const char* what;
        std::vector<std::string> folders, files;
        const char* fifo;
        const char* expected;
    };
    const Case cases[] = {
        {"empty", {}, {}, nullptr, "New Folder"},
        {"one", {"New Folder"}, {}, nullptr, "New Folder #1"},
        {"two", {"New Folder", "New Folder #1"}, {}, nullptr, "New Folder #2"},
        {"gap", {"New Folder", "New Folder #2"}, {}, nullptr, "New Folder #1"},
        {"any case", {"NEW FOLDER"}, {}, nullptr, "New Folder #1"},
        {"a file", {}, {"New Folder"}, nullptr, "New Folder #1"},
        {"hidden ones differ", {".New Folder"}, {".hidden"}, nullptr, "New Folder"},
        // A device-like entry is flagged system, but the name is taken all the same.
        {"fifo", {}, {}, "New Folder", "New Folder #1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing_support::TempDrive drive;
        drive.mkdirs("P");
        for (const std::string& f : c.folders)
            drive.mkdirs("P/" + f);
        for (const std::string& f : c.files)
            drive.write("P/" + f, "x");
        if (c.fifo) {
            ASSERT_EQ(::mkfifo(drive.native(std::string("P/") + c.fifo).c_str(), 0600), 0);
        }
        EXPECT_EQ(NewFolderName("C:\\P\\"), c.expected);
        EXPECT_EQ(NewFolderName("C:\\P"), c.expected);
    }
}

TEST(FolderNames, ReplaceLastNameAndRenameFolder)
{
    EXPECT_EQ(ReplaceLastName("C:\\A\\B\\", "X"), "C:\\A\\X");
    EXPECT_EQ(ReplaceLastName("C:\\SOUNDS\\NEW FOLDER\\", "Drums"), "C:\\SOUNDS\\Drums");
    EXPECT_EQ(ReplaceLastName("C:\\A\\B", "x y"), "C:\\A\\x y");
    EXPECT_EQ(ReplaceLastName("nothing", "X"), "nothing");
    EXPECT_EQ(ReplaceLastName("C:\\", "X"), "C:");

    testing_support::TempDrive drive;
    drive.mkdirs("A/old/inner");
    drive.mkdirs("A/taken");
    EXPECT_TRUE(RenameFolder("C:\\A\\OLD\\", ReplaceLastName("C:\\A\\OLD\\", "Fresh")));
    EXPECT_TRUE(drive.exists("A/Fresh/inner"));
    EXPECT_FALSE(RenameFolder("C:\\A\\FRESH\\", "C:\\A\\taken")); // never replaces
    EXPECT_TRUE(drive.exists("A/Fresh/inner"));
    EXPECT_FALSE(RenameFolder("C:\\A\\MISSING\\", "C:\\A\\M2"));
    EXPECT_TRUE(NameExists("c:\\a\\fresh"));
    EXPECT_FALSE(NameExists("c:\\a\\old"));
}

TEST_F(TreeTest, AddFolderTakesItsAlphabeticalPlace)
{
    // The C locale has no collation of its own; the order still ignores case and accents.
    QLocale::setDefault(QLocale::c());
    drive.mkdirs("S/alpha");
    drive.mkdirs("S/Gamma");
    drive.mkdirs("S/\xC3\x84rger"); // "Ärger"
    drive.mkdirs("Unread/x");
    makeTree();
    tree->SelectPath("C:\\S");
    const std::string before = tree->SelectedPath();
    const std::string arger = "C:\\S\\\xC3\x84RGER\\";
    EXPECT_EQ(childPaths(node("C:\\S\\")), (std::vector<std::string>{"C:\\S\\ALPHA\\", arger, "C:\\S\\GAMMA\\"}));

    drive.mkdirs("S/beta/sub"); // as the window creates it: lower case on disk
    tree->AddFolder("C:\\S\\", "BETA", nullptr);
    QTreeWidgetItem* s = node("C:\\S\\");
    EXPECT_EQ(childPaths(s), (std::vector<std::string>{"C:\\S\\ALPHA\\", arger, "C:\\S\\BETA\\", "C:\\S\\GAMMA\\"}));
    QLocale::setDefault(QLocale::system());
    QTreeWidgetItem* beta = node("C:\\S\\BETA\\");
    EXPECT_EQ(beta->text(0), "beta");      // spelled as on disk
    EXPECT_TRUE(hasPlaceholderOnly(beta)); // it already holds a folder
    EXPECT_EQ(tree->SelectedPath(), before);

    drive.mkdirs("Unread/x/new");
    tree->AddFolder("C:\\UNREAD\\X", "NEW", nullptr); // X was never read: nothing to add to
    EXPECT_EQ(node("C:\\UNREAD\\X\\NEW\\"), nullptr);
}

TEST_F(TreeTest, RenamedFolderNodesFollowTheNewName)
{
    drive.mkdirs("A/Old/Inner/Deep");
    makeTree();
    tree->SelectPath("C:\\A\\OLD\\INNER");
    QTreeWidgetItem* old = node("C:\\A\\OLD\\");
    const std::string newPath = ReplaceLastName("C:\\A\\OLD\\", "Renamed");
    ASSERT_TRUE(RenameFolder("C:\\A\\OLD\\", newPath));
    tree->RenameNode(old, newPath);

    EXPECT_EQ(tree->NodePath(old), "C:\\A\\RENAMED\\");
    EXPECT_EQ(tree->SelectedPath(), "C:\\A\\RENAMED\\INNER\\");
    EXPECT_EQ(tree->LastDirs()[2], "C:\\A\\RENAMED\\INNER\\");
    // The renamed nodes still list and create where the folder now is.
    node("C:\\A\\RENAMED\\INNER\\")->setExpanded(true);
    EXPECT_EQ(childPaths(node("C:\\A\\RENAMED\\INNER\\")), std::vector<std::string>{"C:\\A\\RENAMED\\INNER\\DEEP\\"});
    drive.mkdirs("A/Renamed/Second");
    tree->AddFolder("C:\\A\\RENAMED\\", "Second", nullptr);
    EXPECT_NE(node("C:\\A\\RENAMED\\SECOND\\"), nullptr);
}

TEST_F(TreeTest, LabelEditingAsksAndReports)
{
    drive.mkdirs("Edit");
    drive.mkdirs("Other");
    makeTree();
    owner->resize(300, 400);
    tree->setGeometry(0, 0, 300, 400);
    owner->show();
    node("C:\\")->setExpanded(true);
    QTreeWidgetItem* item = node("C:\\EDIT\\");
    int asked = 0;
    bool allow = false;
    std::string edited;
    tree->OnEditing = [&](TDirTree*, QTreeWidgetItem* n, bool& ok) {
        ++asked;
        EXPECT_EQ(n, item);
        ok = allow;
    };
    tree->OnEdited = [&](TDirTree*, QTreeWidgetItem*, std::string& s) {
        edited = s;
        s = "Shown";
    };
    tree->editItem(item);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(tree->findChild<QLineEdit*>(), nullptr); // vetoed

    allow = true;
    tree->editItem(item);
    auto* editor = tree->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("Typed");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate commits through a queued call
    EXPECT_EQ(edited, "Typed");
    EXPECT_EQ(item->text(0), "Shown");

    // Tab ends the edit as Enter does: no edit of the next folder, the current node stays.
    tree->setCurrentItem(item);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    tree->editItem(item);
    editor = tree->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("Tabbed");
    QTest::keyClick(editor, Qt::Key_Tab);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(edited, "Tabbed");
    EXPECT_EQ(tree->findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(tree->currentItem(), item);

    tree->setReadOnly(true);
    asked = 0;
    tree->editItem(node("C:\\"));
    EXPECT_EQ(asked, 0);
    owner->hide();
}

TEST_F(TreeTest, DropTargetWhileDragging)
{
    drive.mkdirs("Target");
    makeTree();
    owner->resize(300, 400);
    tree->setGeometry(0, 0, 300, 400);
    owner->show();
    node("C:\\")->setExpanded(true);
    const QPoint at = tree->visualItemRect(node("C:\\TARGET\\")).center();
    std::string over, dropped;
    tree->OnDragOver = [&](TDirTree* t, QDropEvent*, const QPoint&, bool& accept) {
        over = t->DropTargetPath();
        accept = true;
    };
    tree->OnDragDrop = [&](TDirTree* t, QDropEvent*, const QPoint&) { dropped = t->DropTargetPath(); };

    QMimeData mime;
    mime.setText("x");
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &move);
    EXPECT_EQ(over, "C:\\TARGET\\");
    EXPECT_EQ(tree->DropTargetPath(), "C:\\TARGET\\");
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(tree->viewport(), &drop);
    EXPECT_EQ(dropped, "C:\\TARGET\\");
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction); // the source must not remove what it dragged
    EXPECT_EQ(tree->DropTargetPath(), "");
    EXPECT_EQ(node("C:\\TARGET\\")->parent(), node("C:\\")); // the drop moved no node
    owner->hide();
}
