// SPDX-License-Identifier: GPL-3.0-or-later
// The window's file and folder commands on real files of a temporary drive: delete to the trash,
// in-place renames of rows and folders, new folders, the parent folder, reloading, the launcher.
#include "browser/WriteTagsCommand.h"
#include "browserfixture.h"
#include "platform/shell/launch.h"
#include "support/shellfixture.h"
#include "waves/W32Waves.h"
#include "waves/WaveKeywords.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTreeWidgetItem>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace browser_testing;
using namespace platform;

namespace {

std::string readNative(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Launches : public LaunchBackend {
public:
    std::vector<std::string> urls, properties, shownItems;
    bool fileManager = true; ///< whether a file manager shows items, else the folder is opened
    bool showItem(const std::string& fileUrl, const std::string& folderUrl) override
    {
        if (!fileManager)
            return LaunchBackend::showItem(fileUrl, folderUrl);
        shownItems.push_back(fileUrl);
        return true;
    }
    bool openUrl(const std::string& url) override
    {
        urls.push_back(url);
        return true;
    }
    bool showProperties(const std::string& native, HWND) override
    {
        properties.push_back(native);
        return true;
    }
};

class Commands : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        clearRecordedChangeNotifications();
        previousLaunch_ = setLaunchBackend(launches);
    }
    void TearDown() override
    {
        BrowserTest::TearDown();
        setLaunchBackend(previousLaunch_);
    }

    /// Starts the window on a folder with the list focused and a row selected.
    BrowserWindow& startOn(const std::string& folder, const QString& row)
    {
        BrowserWindow& w = start();
        selectFolder(folder);
        focus(ui(w).WaveList->currentView());
        const int index = captions().indexOf(row);
        EXPECT_GE(index, 0) << row.toStdString();
        ui(w).WaveList->selectRow(index);
        QApplication::processEvents();
        return w;
    }
    /// Renames the selected row through the Rename command and its in-place editor.
    void editSelectedRow(const QString& text)
    {
        form().renameSelected();
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        ASSERT_TRUE(ui(form()).WaveList->isEditing());
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QTreeWidgetItem* node(const std::string& path) { return ui(form()).FolderTree->FindNode(path); }
    /// The tree's open in-place editor (closed ones linger until deleted, unfocused).
    QLineEdit* treeEditor()
    {
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return editor && ui(form()).FolderTree->isAncestorOf(editor) ? editor : nullptr;
    }
    /// Types a name into the tree's open editor and presses Return.
    void acceptTreeEdit(const QString& text)
    {
        QLineEdit* editor = treeEditor();
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        ASSERT_EQ(treeEditor(), nullptr);
    }
    void cancelTreeEdit()
    {
        QLineEdit* editor = treeEditor();
        ASSERT_NE(editor, nullptr);
        QTest::keyClick(editor, Qt::Key_Escape);
        QApplication::processEvents();
    }
    std::vector<ChangeNotification> notifications(LONG event) const
    {
        std::vector<ChangeNotification> out;
        for (const auto& n : recordedChangeNotifications())
            if (n.event == event)
                out.push_back(n);
        return out;
    }

    testing_support::PrivateTrash trash;
    ScopedScriptedDialogs dialogs;
    std::shared_ptr<Launches> launches = std::make_shared<Launches>();

private:
    std::shared_ptr<LaunchBackend> previousLaunch_;
};

TEST_F(Commands, DeleteAskedYesGoesToTheTrashAndCanBeRestored)
{
    wave("SOUNDS/alarm.wav");
    wave("SOUNDS/Bell.WAV");
    const std::string bytes = drive_.read("SOUNDS/Bell.WAV");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    ASSERT_TRUE(ui(w).DeleteItem->isEnabled());
    dialogs->answer(IDYES);
    ui(w).DeleteItem->trigger();

    EXPECT_FALSE(drive_.exists("SOUNDS/Bell.WAV"));
    EXPECT_EQ(captions(), QStringList{"alarm.wav"});
    ASSERT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_NE(dialogs->prompts()[0].text.find("Trash"), std::string::npos) << dialogs->prompts()[0].text;

    // The desktop restores from the trash by the path its .trashinfo records.
    const QStringList infos = QDir(QString::fromStdString(trash.dir() + "/info")).entryList(QDir::Files);
    ASSERT_EQ(infos.size(), 1);
    const std::string info = readNative(trash.dir() + "/info/" + infos[0].toStdString());
    EXPECT_NE(info.find("Path=" + drive_.native("SOUNDS/Bell.WAV") + "\n"), std::string::npos) << info;
    const std::string inTrash = trash.dir() + "/files/" + infos[0].chopped(10).toStdString();
    std::filesystem::rename(inTrash, drive_.native("SOUNDS/Bell.WAV"));
    EXPECT_EQ(drive_.read("SOUNDS/Bell.WAV"), bytes);
}

TEST_F(Commands, DeleteAnsweredNoLeavesFileAndList)
{
    wave("SOUNDS/alarm.wav");
    wave("SOUNDS/bell.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    dialogs->answer(IDNO);
    w.deleteSelectedWave();
    EXPECT_TRUE(drive_.exists("SOUNDS/bell.wav"));
    EXPECT_EQ(captions(), (QStringList{"alarm.wav", "bell.wav"}));
    // Unrefilled: the row is still the selected one.
    EXPECT_EQ(ui(w).WaveList->selectedRow(), 1);
    EXPECT_TRUE(QDir(QString::fromStdString(trash.dir() + "/files")).isEmpty());
}

TEST_F(Commands, CaseTwinsAtEveryLevelEachCommandReachesTheRowsOwnFile)
{
    // Two files of different sizes; the one of the row must be reached, the other never touched.
    const struct {
        const char* what;
        std::string folder; // the node selected, as the disk spells it
        std::string file;   // the row's file
        std::string twin;
    } cases[] = {
        {"drive root", "C:\\Music\\", "Music/a.wav", "music/a.wav"},
        {"drive root, other", "C:\\music\\", "music/a.wav", "Music/a.wav"},
        {"middle", "C:\\S\\deep\\x\\", "S/deep/x/a.wav", "S/Deep/x/a.wav"},
        {"last folder", "C:\\T\\LAST\\", "T/LAST/a.wav", "T/Last/a.wav"},
        {"file", "C:\\F\\", "F/a.wav", "F/A.wav"},
        {"file, other", "C:\\F\\", "F/A.wav", "F/a.wav"},
    };
    for (const auto& c : cases) {
        wave(c.file, 1, 8000, 16, 800);
        wave(c.twin, 1, 8000, 16, 1600);
    }
    BrowserWindow& w = start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        wave(c.file, 1, 8000, 16, 800);
        wave(c.twin, 1, 8000, 16, 1600);
        const std::string bytes = drive_.read(c.file), twinBytes = drive_.read(c.twin);
        const std::string name = c.file.substr(c.file.rfind('/') + 1);
        const std::string dir = c.file.substr(0, c.file.rfind('/') + 1);
        const std::string path = c.folder + name;
        // The row is told by its size: the list must show the file itself.
        const auto selectRow = [&] {
            selectFolder(c.folder);
            w.FillWaveList();
            focus(ui(w).WaveList->currentView());
            int row = -1;
            for (int r = 0; r < ui(w).WaveList->rowCount(); ++r)
                if (cell(r, WaveListModel::ColSize) == FileSizeText(qint64(bytes.size())))
                    row = r;
            ASSERT_GE(row, 0);
            ui(w).WaveList->selectRow(row);
            QApplication::processEvents();
        };
        selectRow();

        for (const bool allWaves : {false, true}) {
            ui(w).AllWavesBtn->setChecked(allWaves);
            ui(w).LoopBtn->setChecked(!allWaves);
            w.play();
            EXPECT_EQ(playback(w).player()->FileName(), path);
            w.stop();
        }
        ui(w).AllWavesBtn->setChecked(false);
        ui(w).LoopBtn->setChecked(false);
        selectRow();
        ui(w).PropertiesItem->trigger();
        ASSERT_FALSE(launches->properties.empty());
        EXPECT_EQ(launches->properties.back(), drive_.native(c.file));
        ui(w).EditWave->trigger();
        ASSERT_FALSE(launches->urls.empty());
        EXPECT_EQ(QUrl(QString::fromStdString(launches->urls.back())).toLocalFile().toStdString(),
                  drive_.native(c.file));
        ui(w).ShowInFileManagerItem->trigger();
        ASSERT_FALSE(launches->shownItems.empty());
        EXPECT_EQ(QUrl(QString::fromStdString(launches->shownItems.back())).toLocalFile().toStdString(),
                  drive_.native(c.file));

        editSelectedRow("Renamed.wav");
        EXPECT_EQ(drive_.read(dir + "renamed.wav"), bytes);
        EXPECT_FALSE(drive_.exists(c.file));
        EXPECT_EQ(drive_.read(c.twin), twinBytes);

        selectRow();
        dialogs->answer(IDYES);
        w.deleteSelectedWave();
        EXPECT_FALSE(drive_.exists(dir + "renamed.wav"));
        EXPECT_EQ(drive_.read(c.twin), twinBytes);
    }
}

TEST_F(Commands, CaseTwinFoldersGetTheirNewFoldersAndRenamesThemselves)
{
    const struct {
        std::string node; // as the disk spells it
        std::string rel, twin, renamed;
    } cases[] = {
        {"C:\\Music\\", "Music", "music", "Renamed"},                   // drive root
        {"C:\\S\\deep\\x\\", "S/deep/x", "S/Deep/x", "S/deep/Renamed"}, // middle
        {"C:\\T\\LAST\\", "T/LAST", "T/Last", "T/Renamed"},             // last folder
    };
    for (const auto& c : cases) {
        drive_.mkdirs(c.rel);
        drive_.mkdirs(c.twin);
    }
    BrowserWindow& w = start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.node);
        selectFolder(c.node);
        w.NewFolderClick();
        acceptTreeEdit("Made");
        EXPECT_TRUE(drive_.exists(c.rel + "/Made"));
        EXPECT_FALSE(drive_.exists(c.twin + "/Made"));
        EXPECT_FALSE(drive_.exists(c.twin + "/new folder"));

        selectFolder(c.node);
        focus(ui(w).FolderTree);
        w.renameSelected();
        acceptTreeEdit(QString::fromStdString(c.renamed.substr(c.renamed.rfind('/') + 1)));
        EXPECT_TRUE(drive_.exists(c.renamed + "/Made"));
        EXPECT_FALSE(drive_.exists(c.twin + "/Made"));
        EXPECT_EQ(ui(w).FolderTree->currentItem()->text(0).toStdString(), c.renamed.substr(c.renamed.rfind('/') + 1));
    }
}

TEST_F(Commands, DeleteOfANameWithSemicolonTouchesOnlyThatFile)
{
    wave("SOUNDS/a;b.wav");
    wave("SOUNDS/a");
    wave("SOUNDS/b.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "a;b.wav");
    dialogs->answer(IDYES);
    w.deleteSelectedWave();
    EXPECT_FALSE(drive_.exists("SOUNDS/a;b.wav"));
    EXPECT_TRUE(drive_.exists("SOUNDS/a"));
    EXPECT_TRUE(drive_.exists("SOUNDS/b.wav"));
    EXPECT_EQ(captions(), QStringList{"b.wav"});
}

TEST_F(Commands, RenamingARowMovesTheFileInLowerCaseAndShowsThatName)
{
    wave("SOUNDS/bell.wav");
    wave("SOUNDS/alarm.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    editSelectedRow("Chime.WAV");
    EXPECT_FALSE(drive_.exists("SOUNDS/bell.wav"));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(drive_.native("SOUNDS/chime.wav"))));
    EXPECT_FALSE(QDir(QString::fromStdString(drive_.native("SOUNDS"))).entryList().contains("Chime.WAV"));
    // The row shows at once the name the disk now holds.
    EXPECT_EQ(captions(), (QStringList{"alarm.wav", "chime.wav"}));
    EXPECT_EQ(w.SelectedWavePath(), "c:\\sounds\\chime.wav");
    EXPECT_TRUE(recordedChangeNotifications().empty());
    w.FillWaveList();
    EXPECT_EQ(captions(), (QStringList{"alarm.wav", "chime.wav"}));
}

TEST_F(Commands, F2OffersTheNameWithoutItsExtensionAndSpaceIsText)
{
    wave("SOUNDS/bell.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->selectedText(), "bell");
    QTest::keyClicks(editor, "big bell"); // the blank neither plays nor stops
    EXPECT_FALSE(playback(w).playing());
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(drive_.exists("SOUNDS/big bell.wav"));
    EXPECT_EQ(captions(), QStringList{"big bell.wav"});
    EXPECT_FALSE(playback(w).playing());
}

TEST_F(Commands, RefusedRowRenamesLeaveFileAndCaption)
{
    const struct {
        const char* what;
        QString text;
    } cases[] = {
        {"taken name", "alarm.wav"},
        {"taken in other case", "ALARM.WAV"},
        {"slash", "sub/x.wav"},
        {"backslash", "sub\\x.wav"},
        {"parent", ".."},
        {"empty", ""},
        {"nul", QString("x") + QChar(0) + "y.wav"},
    };
    drive_.write("SOUNDS/bell.wav", "one");
    drive_.write("SOUNDS/alarm.wav", "two");
    drive_.mkdirs("SOUNDS/sub");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        editSelectedRow(c.text);
        EXPECT_EQ(drive_.read("SOUNDS/bell.wav"), "one");
        EXPECT_EQ(drive_.read("SOUNDS/alarm.wav"), "two");
        EXPECT_TRUE(QDir(QString::fromStdString(drive_.native("SOUNDS/sub"))).isEmpty());
        EXPECT_EQ(captions(), (QStringList{"alarm.wav", "bell.wav"}));
        EXPECT_EQ(w.SelectedWavePath(), "c:\\sounds\\bell.wav");
    }
}

TEST_F(Commands, RenamingAFolderKeepsCaseSendsOneNotificationAndMovesTheNodes)
{
    drive_.mkdirs("SOUNDS/NEW FOLDER/INNER");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\NEW FOLDER\\INNER\\");
    selectFolder("C:\\SOUNDS\\NEW FOLDER\\");
    focus(ui(w).FolderTree);
    clearRecordedChangeNotifications();
    w.renameSelected();
    acceptTreeEdit("Drums");

    EXPECT_TRUE(QDir(QString::fromStdString(drive_.native("SOUNDS"))).entryList().contains("Drums"));
    EXPECT_FALSE(drive_.exists("SOUNDS/NEW FOLDER"));
    const auto renames = recordedChangeNotifications();
    ASSERT_EQ(renames.size(), 1u);
    EXPECT_EQ(renames[0].event, SHCNE_RENAMEFOLDER);
    EXPECT_EQ(renames[0].flags, SHCNF_PATH);
    EXPECT_EQ(renames[0].item1, "C:\\SOUNDS\\NEW FOLDER\\");
    EXPECT_EQ(renames[0].item2, "C:\\SOUNDS\\Drums");
    QTreeWidgetItem* renamed = ui(w).FolderTree->currentItem();
    EXPECT_EQ(renamed->text(0), "Drums");
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\DRUMS\\");
    EXPECT_EQ(node("C:\\SOUNDS\\DRUMS\\INNER\\"), renamed->child(0));
}

TEST_F(Commands, AFailedOrRefusedFolderRenamePutsTheOldLabelBack)
{
    const struct {
        const char* what;
        QString text;
    } cases[] = {{"taken", "Other"}, {"slash", "a/b"}, {"backslash", "a\\b"}, {"dots", ".."}};
    drive_.mkdirs("SOUNDS/Drums");
    drive_.mkdirs("SOUNDS/Other");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\DRUMS\\");
    focus(ui(w).FolderTree);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clearRecordedChangeNotifications();
        w.renameSelected();
        acceptTreeEdit(c.text);
        EXPECT_EQ(ui(w).FolderTree->currentItem()->text(0), "Drums");
        EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\DRUMS\\");
        EXPECT_TRUE(drive_.exists("SOUNDS/Drums"));
        EXPECT_EQ(QDir(QString::fromStdString(drive_.native("SOUNDS"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                  (QStringList{"Drums", "Other"}));
        EXPECT_TRUE(recordedChangeNotifications().empty());
    }
}

TEST_F(Commands, DrivesCannotBeRenamed)
{
    BrowserWindow& w = start();
    ui(w).FolderTree->setCurrentItem(ui(w).FolderTree->topLevelItem(0));
    focus(ui(w).FolderTree);
    w.renameSelected();
    EXPECT_EQ(treeEditor(), nullptr);
    bool allow = true;
    w.allowFolderRename(ui(w).FolderTree->topLevelItem(0), allow);
    EXPECT_FALSE(allow);
}

TEST_F(Commands, NewFolderTwiceGivesNumberedLowerCaseFoldersEachEdited)
{
    drive_.mkdirs("SOUNDS/DRUMS/DEEP/DEEPER");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ui(w).NewFolderItem->trigger();
    EXPECT_NE(treeEditor(), nullptr);
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\NEW FOLDER\\");
    EXPECT_EQ(w.windowTitle(), "Tonfolio - NEW FOLDER");
    cancelTreeEdit();
    selectFolder("C:\\SOUNDS\\");
    ui(w).NewFolderBtn->trigger();
    EXPECT_NE(treeEditor(), nullptr);
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\NEW FOLDER #1\\");
    cancelTreeEdit();

    const QStringList made =
        QDir(QString::fromStdString(drive_.native("SOUNDS"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_EQ(made, (QStringList{"DRUMS", "new folder", "new folder #1"}));
    const auto mkdirs = notifications(SHCNE_MKDIR);
    ASSERT_EQ(mkdirs.size(), 2u);
    EXPECT_EQ(mkdirs[0].item1, "c:\\sounds\\new folder");
    EXPECT_EQ(mkdirs[1].item1, "c:\\sounds\\new folder #1");
    EXPECT_EQ(mkdirs[1].flags, SHCNF_PATH);
    EXPECT_EQ(mkdirs[1].item2, "");
    // The whole branch below the parent was read and opened.
    ASSERT_NE(node("C:\\SOUNDS\\DRUMS\\DEEP\\DEEPER\\"), nullptr);
    EXPECT_TRUE(node("C:\\SOUNDS\\DRUMS\\DEEP\\")->isExpanded());
}

TEST_F(Commands, NewFolderAcceptedNameRenamesTheNewFolder)
{
    drive_.mkdirs("SOUNDS");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    w.NewFolderClick();
    acceptTreeEdit("Loops");
    EXPECT_EQ(QDir(QString::fromStdString(drive_.native("SOUNDS"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{"Loops"});
    const auto renames = notifications(SHCNE_RENAMEFOLDER);
    ASSERT_EQ(renames.size(), 1u);
    EXPECT_EQ(renames[0].item1, "C:\\SOUNDS\\NEW FOLDER\\");
    EXPECT_EQ(renames[0].item2, "C:\\SOUNDS\\Loops");
}

TEST_F(Commands, NewFolderDoesNotWalkIntoLinkedFolders)
{
    drive_.mkdirs("A/B");
    // A link back to an ancestor would make the branch endless.
    std::filesystem::create_directory_symlink(drive_.native("A"), drive_.native("A/B/LOOP"));
    BrowserWindow& w = start();
    selectFolder("C:\\A\\");
    w.NewFolderClick();
    cancelTreeEdit();
    ASSERT_NE(node("C:\\A\\B\\LOOP\\"), nullptr);
    EXPECT_FALSE(node("C:\\A\\B\\LOOP\\")->isExpanded());
    EXPECT_TRUE(drive_.exists("A/new folder"));
}

TEST_F(Commands, AFailedNewFolderShowsTheErrorBoxAndAddsNothing)
{
    drive_.mkdirs("LOCKED/INNER");
    BrowserWindow& w = start();
    selectFolder("C:\\LOCKED\\");
    const int children = ui(w).FolderTree->currentItem()->childCount();
    testing_support::Immutable locked(drive_.native("LOCKED"));
    if (!locked.ok())
        QFile::setPermissions(QString::fromStdString(drive_.native("LOCKED")), QFile::ReadOwner | QFile::ExeOwner);
    w.NewFolderClick();
    ASSERT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_EQ(dialogs->prompts()[0].type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_FALSE(dialogs->prompts()[0].text.empty());
    EXPECT_EQ(ui(w).FolderTree->currentItem()->childCount(), children);
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\LOCKED\\");
    EXPECT_EQ(treeEditor(), nullptr);
    EXPECT_TRUE(notifications(SHCNE_MKDIR).empty());
    QFile::setPermissions(QString::fromStdString(drive_.native("LOCKED")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(Commands, PreviousFolderGoesUpAndStopsAtTheDrive)
{
    wave("SOUNDS/bell.wav");
    drive_.mkdirs("SOUNDS/DRUMS");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\DRUMS\\");
    ui(w).GoUpBtn->trigger();
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\");
    EXPECT_EQ(captions(), QStringList{"bell.wav"});
    w.selectParentFolder();
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\");
    w.selectParentFolder();
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\");
}

TEST_F(Commands, F5InTheTreeReloadsAndKeepsTheFolder)
{
    drive_.mkdirs("SOUNDS/DRUMS");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\DRUMS\\");
    drive_.mkdirs("SOUNDS/LATER");
    focus(ui(w).FolderTree);
    QTest::keyClick(ui(w).FolderTree, Qt::Key_F5);
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\DRUMS\\");
    EXPECT_NE(node("C:\\SOUNDS\\LATER\\"), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Commands, TheEditorAndThePropertiesGetTheSelectedFile)
{
    wave("SOUNDS/Bell.WAV");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    ui(w).EditWave->trigger();
    ASSERT_EQ(launches->urls.size(), 1u);
    EXPECT_EQ(QUrl(QString::fromStdString(launches->urls[0])).toLocalFile().toStdString(),
              drive_.native("SOUNDS/Bell.WAV"));
    w.WaveListDblClick();
    EXPECT_EQ(launches->urls.size(), 2u);
    ui(w).PropertiesItem->trigger();
    ASSERT_EQ(launches->properties.size(), 1u);
    EXPECT_EQ(launches->properties[0], drive_.native("SOUNDS/Bell.WAV"));
    // Without a file manager that shows items, the folder is opened.
    launches->fileManager = false;
    ASSERT_TRUE(ui(w).ShowInFileManagerItem->isEnabled());
    ui(w).ShowInFileManagerItem->trigger();
    ASSERT_EQ(launches->urls.size(), 3u);
    EXPECT_EQ(QUrl(QString::fromStdString(launches->urls[2])).toLocalFile().toStdString(),
              drive_.native("SOUNDS") + "/");

    // Write Tags into File stores the tags as the file's keywords, but not while the file plays.
    auto* tags = w.findChild<WriteTagsCommand*>();
    ASSERT_TRUE(tags && tags->action()->isEnabled());
    tags->setTagsOf([](const std::string&) { return QStringList{"bell", "metal"}; });
    ui(w).PlayItem->trigger();
    tags->run();
    ASSERT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_NE(dialogs->prompts()[0].text.find("being played"), std::string::npos) << dialogs->prompts()[0].text;
    EXPECT_TRUE(keywordsOf(drive_.native("SOUNDS/Bell.WAV")).isEmpty());
    ui(w).StopItem->trigger();
    tags->run();
    EXPECT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_EQ(keywordsOf(drive_.native("SOUNDS/Bell.WAV")), (QStringList{"bell", "metal"}));

    // Nothing selected: a double click opens nothing.
    w.FillWaveList();
    w.WaveListDblClick();
    EXPECT_EQ(launches->urls.size(), 3u);
    EXPECT_FALSE(ui(w).ShowInFileManagerItem->isEnabled());
}

} // namespace
