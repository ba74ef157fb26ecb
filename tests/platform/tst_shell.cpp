// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's file operation on real folders: confirmations, collisions, trash, moves across file systems,
// progress and cancelling, and the failures that must leave every file where it was.
#include "platform/files/nativepath.h"
#include "platform/shell/shell.h"
#include "platform/shell/trash.h"
#include "support/shellfixture.h"
#include "support/tempmount.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::Immutable;

namespace {

// A literal with its embedded NULs (without the terminating one).
template <std::size_t N> std::string bytes(const char (&text)[N])
{
    return std::string(text, N - 1);
}

class Shell : public testing_support::ShellFixture {};

std::string readFile(const std::string& native)
{
    QFile f(QString::fromStdString(native));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

TEST(ShellLists, SplitStopsAtTheFirstEmptyName)
{
    struct Case {
        std::string list;
        std::vector<std::string> names;
    } cases[] = {
        {bytes("C:\\a.wav\0C:\\b.wav\0\0"), {"C:\\a.wav", "C:\\b.wav"}},
        {bytes("C:\\a.wav\0\0C:\\b.wav\0\0"), {"C:\\a.wav"}},
        {bytes("\0C:\\a.wav\0\0"), {}},
        {bytes("\0\0"), {}},
        {std::string(), {}},
        {"C:\\unterminated", {"C:\\unterminated"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(splitNulList(c.list), c.names) << c.list;
}

TEST(ShellLists, CollisionNames)
{
    EXPECT_EQ(collisionName("bell.wav", 1), "bell - Copy.wav");
    EXPECT_EQ(collisionName("bell.wav", 2), "bell - Copy (2).wav");
    EXPECT_EQ(collisionName("a.b.wav", 3), "a.b - Copy (3).wav");
    EXPECT_EQ(collisionName("drums", 1), "drums - Copy");
    EXPECT_EQ(collisionName(".hidden", 1), ".hidden - Copy");
}

TEST_F(Shell, DeleteWithUndoGoesToTheTrashAndCanBeRestored)
{
    const std::string wav = testing_support::makeWav(1, 8000, 16, 100);
    drive.write("sounds/bell.wav", wav);
    dialogs->answer(IDYES);
    ASSERT_EQ(run(FO_DELETE, {"C:\\SOUNDS\\BELL.WAV"}, {}, FOF_ALLOWUNDO), 0);
    EXPECT_FALSE(last.fAnyOperationsAborted);
    EXPECT_FALSE(drive.exists("sounds/bell.wav"));
    ASSERT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_EQ(dialogs->prompts()[0].text, "Are you sure you want to move 'BELL.WAV' to the Trash?");

    const std::string info = readFile(trashDir() + "/info/bell.wav.trashinfo");
    const std::string pathLine = "Path=" + trashInfoEscape(drive.native("sounds/bell.wav")) + "\n";
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u);
    EXPECT_NE(info.find(pathLine), std::string::npos) << info;
    EXPECT_NE(info.find("DeletionDate="), std::string::npos);

    // Restoring as a desktop does: back to the recorded path.
    ASSERT_EQ(::rename((trashDir() + "/files/bell.wav").c_str(), drive.native("sounds/bell.wav").c_str()), 0);
    EXPECT_EQ(drive.read("sounds/bell.wav"), wav);
}

TEST_F(Shell, TrashKeepsBothItemsOfTheSameName)
{
    drive.write("a/bell.wav", "first");
    drive.write("b/bell.wav", "second");
    ASSERT_EQ(run(FO_DELETE, {"C:\\a\\bell.wav"}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION), 0);
    ASSERT_EQ(run(FO_DELETE, {"C:\\b\\bell.wav"}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION), 0);
    EXPECT_EQ(readFile(trashDir() + "/files/bell.wav"), "first");
    EXPECT_EQ(readFile(trashDir() + "/files/bell.2.wav"), "second");
    EXPECT_NE(readFile(trashDir() + "/info/bell.2.wav.trashinfo").find(trashInfoEscape(drive.native("b/bell.wav"))),
              std::string::npos);
}

TEST_F(Shell, TrashInfoEscapesOddBytes)
{
    EXPECT_EQ(trashInfoEscape("/a b/%\xff.wav"), "/a%20b/%25%FF.wav");
}

TEST_F(Shell, DeleteAnsweredNoOrCancelledKeepsTheFile)
{
    drive.write("bell.wav", "x");
    for (int answer : {IDNO, IDCANCEL}) {
        dialogs->answer(answer);
        EXPECT_NE(run(FO_DELETE, {"C:\\bell.wav"}, {}, FOF_ALLOWUNDO), 0);
        EXPECT_TRUE(last.fAnyOperationsAborted);
        EXPECT_TRUE(drive.exists("bell.wav"));
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(trashDir() + "/files/bell.wav")));
}

TEST_F(Shell, DeleteWithoutUndoRemovesForGoodButNeverFollowsLinks)
{
    drive.write("keep/precious.wav", "precious");
    drive.write("gone/sub/a.wav", "a");
    ASSERT_EQ(::symlink(drive.native("keep").c_str(), drive.native("gone/link").c_str()), 0);
    dialogs->answer(IDYES);
    ASSERT_EQ(run(FO_DELETE, {"C:\\GONE\\"}, {}, 0), 0);
    EXPECT_EQ(dialogs->prompts().at(0).caption, "Confirm Folder Delete");
    EXPECT_FALSE(drive.exists("gone"));
    EXPECT_EQ(drive.read("keep/precious.wav"), "precious");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(trashDir() + "/files/gone")));
}

TEST_F(Shell, UnusableTrashShowsTheMessageAndKeepsTheFile)
{
    drive.write("bell.wav", "x");
    // A file where the trash folder should be: nothing can go into that trash.
    QDir().mkpath(QString::fromStdString(trashDir()).section('/', 0, -2));
    QFile blocker(QString::fromStdString(trashDir()));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_NE(run(FO_DELETE, {"C:\\bell.wav"}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION), 0);
    EXPECT_FALSE(last.fAnyOperationsAborted);
    EXPECT_TRUE(drive.exists("bell.wav"));
    ASSERT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_EQ(dialogs->prompts()[0].caption, "Error Deleting File or Folder");
    EXPECT_NE(dialogs->prompts()[0].text.find("Trash cannot be used"), std::string::npos);
}

TEST_F(Shell, MissingOrLockedSourcesFailWithAMessage)
{
    drive.write("locked/bell.wav", "x");
    EXPECT_NE(run(FO_DELETE, {"C:\\nothing.wav"}, {}, FOF_NOCONFIRMATION), 0);
    EXPECT_NE(run(FO_COPY, {"C:\\nothing.wav"}, {"C:\\locked"}, 0), 0);
    EXPECT_NE(run(FO_DELETE, {"C:\\"}, {}, FOF_NOCONFIRMATION), 0);
    EXPECT_EQ(dialogs->prompts().size(), 3u);
    for (const auto& p : dialogs->prompts())
        EXPECT_EQ(p.type, MB_OK | MB_ICONERROR);

    Immutable lock(drive.native("locked/bell.wav"));
    if (!lock.ok())
        GTEST_SKIP() << "no immutable flag on this file system";
    EXPECT_NE(run(FO_DELETE, {"C:\\locked\\bell.wav"}, {}, FOF_NOCONFIRMATION), 0);
    EXPECT_NE(run(FO_DELETE, {"C:\\locked\\bell.wav"}, {}, FOF_NOCONFIRMATION | FOF_ALLOWUNDO), 0);
    EXPECT_TRUE(drive.exists("locked/bell.wav"));
}

TEST_F(Shell, CopyCollisionAsksBeforeReplacing)
{
    struct Case {
        int answer;
        int result;
        bool aborted;
        std::string target;
    } cases[] = {
        {IDNO, 0, false, "old"},
        {IDCANCEL, static_cast<int>(ERROR_CANCELLED), true, "old"},
        {IDYES, 0, false, "new"},
    };
    for (const Case& c : cases) {
        drive.write("src/bell.wav", "new");
        drive.write("dst/BELL.WAV", "old"); // letter case alone does not make another file
        dialogs->answer(c.answer);
        EXPECT_EQ(run(FO_COPY, {"C:\\src\\bell.wav"}, {"C:\\DST\\"}, 0), c.result) << c.answer;
        EXPECT_EQ(bool(last.fAnyOperationsAborted), c.aborted);
        EXPECT_EQ(drive.read("dst/BELL.WAV"), c.target);
        EXPECT_FALSE(drive.exists("dst/bell.wav"));
        EXPECT_EQ(drive.read("src/bell.wav"), "new");
        EXPECT_EQ(QDir(QString::fromStdString(drive.native("dst"))).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
    EXPECT_EQ(dialogs->prompts().back().caption, "Confirm File Replace");
    EXPECT_EQ(dialogs->prompts().back().type, MB_YESNOCANCEL | MB_ICONWARNING);
}

TEST_F(Shell, RenameOnCollisionNamesTheCopies)
{
    drive.write("sounds/bell.wav", "x");
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(run(FO_COPY, {"C:\\sounds\\bell.wav"}, {"C:\\SOUNDS\\"}, FOF_RENAMEONCOLLISION), 0);
    EXPECT_EQ(drive.read("sounds/bell - Copy.wav"), "x");
    EXPECT_EQ(drive.read("sounds/bell - Copy (2).wav"), "x");
    EXPECT_EQ(drive.read("sounds/bell - Copy (3).wav"), "x");
    EXPECT_TRUE(dialogs->prompts().empty());
}

TEST_F(Shell, NothingIsReplacedWithoutAYes)
{
    drive.write("a/bell.wav", "mine");
    drive.write("b/bell.wav", "theirs");
    // Moving onto itself must neither ask to replace nor lose the file.
    EXPECT_NE(run(FO_MOVE, {"C:\\a\\bell.wav"}, {"C:\\a"}, FOF_ALLOWUNDO), 0);
    EXPECT_NE(run(FO_COPY, {"C:\\a\\bell.wav"}, {"C:\\A\\"}, 0), 0);
    EXPECT_NE(run(FO_MOVE, {"C:\\a\\bell.wav"}, {"C:\\b"}, FOF_NOCONFIRMATION), 0);
    EXPECT_EQ(drive.read("a/bell.wav"), "mine");
    EXPECT_EQ(drive.read("b/bell.wav"), "theirs");
    ASSERT_EQ(dialogs->prompts().size(), 3u);
    EXPECT_EQ(dialogs->prompts()[0].caption, "Error Moving File or Folder");
    EXPECT_EQ(dialogs->prompts()[1].caption, "Error Copying File or Folder");
    EXPECT_EQ(dialogs->prompts()[2].type, MB_OK | MB_ICONERROR);
}

TEST_F(Shell, FolderNeverGoesIntoItself)
{
    drive.write("kit/sub/a.wav", "a");
    EXPECT_NE(run(FO_COPY, {"C:\\kit"}, {"C:\\kit\\sub"}, 0), 0);
    EXPECT_NE(run(FO_MOVE, {"C:\\kit"}, {"C:\\KIT"}, 0), 0);
    EXPECT_EQ(QDir(QString::fromStdString(drive.native("kit/sub"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"a.wav"});
}

TEST_F(Shell, MoveAndCopyFoldersKeepTheirContent)
{
    drive.write("kit/snare.wav", "s");
    drive.write("kit/deep/kick.wav", "k");
    ASSERT_EQ(::symlink("snare.wav", drive.native("kit/alias.wav").c_str()), 0);
    drive.mkdirs("dst");
    ASSERT_EQ(run(FO_COPY, {"C:\\kit"}, {"C:\\dst"}, 0), 0);
    EXPECT_EQ(drive.read("dst/kit/deep/kick.wav"), "k");
    char link[64] = {};
    ASSERT_GT(::readlink(drive.native("dst/kit/alias.wav").c_str(), link, sizeof link - 1), 0);
    EXPECT_STREQ(link, "snare.wav");
    ASSERT_EQ(run(FO_MOVE, {"C:\\kit"}, {"C:\\dst\\moved"}, 0), 0);
    EXPECT_FALSE(drive.exists("kit"));
    EXPECT_EQ(drive.read("dst/moved/snare.wav"), "s");
}

TEST_F(Shell, RenameKeepsLetterCaseAndRefusesTakenOrBadNames)
{
    drive.write("bell.wav", "b");
    drive.write("gong.wav", "g");
    ASSERT_EQ(run(FO_RENAME, {"C:\\bell.wav"}, {"C:\\Bell.WAV"}, 0), 0);
    EXPECT_TRUE(QDir(QString::fromStdString(drive.root())).entryList(QDir::Files).contains("Bell.WAV"));
    EXPECT_FALSE(drive.exists("bell.wav"));

    for (const std::string& bad : {std::string("C:\\gong.wav"), std::string("C:\\GONG.wav"), std::string("a/b.wav"),
                                   std::string("C:\\x\\y.wav")}) {
        EXPECT_NE(run(FO_RENAME, {"C:\\Bell.WAV"}, {bad}, 0), 0) << bad;
        EXPECT_EQ(drive.read("Bell.WAV"), "b");
        EXPECT_EQ(drive.read("gong.wav"), "g");
    }
    EXPECT_FALSE(drive.exists("a"));

    // A move under its own name in another letter case renames as well.
    ASSERT_EQ(run(FO_MOVE, {"C:\\Bell.WAV"}, {"C:\\BELL.wav"}, 0), 0);
    EXPECT_TRUE(QDir(QString::fromStdString(drive.root())).entryList(QDir::Files).contains("BELL.wav"));
    EXPECT_EQ(drive.read("BELL.wav"), "b");
}

TEST_F(Shell, NamesAreTakenLiterally)
{
    drive.write("a*.wav", "star");
    drive.write("ab.wav", "plain");
    ASSERT_EQ(run(FO_DELETE, {"C:\\a*.wav"}, {}, FOF_NOCONFIRMATION), 0);
    EXPECT_FALSE(drive.exists("a*.wav"));
    EXPECT_EQ(drive.read("ab.wav"), "plain");
}

TEST_F(Shell, SpecialFilesAreRefusedWithoutBlocking)
{
    drive.mkdirs("dst");
    ASSERT_EQ(::mkfifo(drive.native("pipe.wav").c_str(), 0600), 0);
    EXPECT_NE(run(FO_COPY, {"C:\\pipe.wav"}, {"C:\\dst"}, 0), 0);
    EXPECT_FALSE(drive.exists("dst/pipe.wav"));
}

TEST_F(Shell, ReadOnlyTargetFolderLeavesEverythingInPlace)
{
    drive.write("bell.wav", "b");
    drive.mkdirs("ro");
    Immutable lock(drive.native("ro"));
    if (!lock.ok())
        GTEST_SKIP() << "no immutable flag on this file system";
    EXPECT_NE(run(FO_COPY, {"C:\\bell.wav"}, {"C:\\ro"}, 0), 0);
    EXPECT_NE(run(FO_MOVE, {"C:\\bell.wav"}, {"C:\\ro"}, FOF_ALLOWUNDO), 0);
    EXPECT_EQ(drive.read("bell.wav"), "b");
    EXPECT_EQ(dialogs->prompts().size(), 2u);
}

TEST_F(Shell, FullDiskLeavesNoPartialCopy)
{
    const std::string big(3 << 20, 'w');
    drive.write("big.wav", big);
    drive.mkdirs("dst");
    // A file size limit stands in for a full disk: writing past it fails as a full disk would.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = run(FO_COPY, {"C:\\big.wav"}, {"C:\\dst"}, 0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, static_cast<int>(ERROR_DISK_FULL));
    EXPECT_TRUE(QDir(QString::fromStdString(drive.native("dst"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(drive.read("big.wav"), big);
}

class ShellOtherDrive : public Shell {
protected:
    void SetUp() override
    {
        if (!other_.isValid())
            GTEST_SKIP() << "no /dev/shm";
        struct stat a {
        }, b{};
        ::stat(drive.root().c_str(), &a);
        ::stat(other_.path().toUtf8().constData(), &b);
        if (a.st_dev == b.st_dev)
            GTEST_SKIP() << "/dev/shm is on the same file system";
        DriveInfo d;
        d.letter = 'D';
        d.directory = other_.path().toStdString();
        d.kind = 6;
        drive.setDrives({d});
    }
    std::string other(const std::string& rel) const { return other_.path().toStdString() + "/" + rel; }
    QTemporaryDir other_{"/dev/shm/tonfolio-test-XXXXXX"};
};

TEST_F(ShellOtherDrive, MoveAcrossFileSystemsCopiesThenRemoves)
{
    const std::string wav = testing_support::makeWav(2, 44100, 16, 50000);
    drive.write("sounds/bell.wav", wav);
    drive.write("kit/deep/kick.wav", "k");
    ASSERT_EQ(run(FO_MOVE, {"C:\\sounds\\bell.wav", "C:\\kit"}, {"D:\\"}, FOF_ALLOWUNDO), 0);
    EXPECT_EQ(readFile(other("bell.wav")), wav);
    EXPECT_EQ(readFile(other("kit/deep/kick.wav")), "k");
    EXPECT_FALSE(drive.exists("sounds/bell.wav"));
    EXPECT_FALSE(drive.exists("kit"));
    EXPECT_TRUE(QDir(other_.path()).entryList(QStringList{"*.part"}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ShellOtherDrive, FailedMoveAcrossFileSystemsKeepsTheSource)
{
    const std::string big(3 << 20, 'w');
    drive.write("big.wav", big);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = run(FO_MOVE, {"C:\\big.wav"}, {"D:\\"}, 0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(result, 0);
    EXPECT_EQ(drive.read("big.wav"), big);
    EXPECT_TRUE(QDir(other_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ShellOtherDrive, TrashOfAnotherFileSystemIsItsOwn)
{
    ASSERT_TRUE(QFile(other_.path() + "/bell.wav").open(QIODevice::WriteOnly));
    if (::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "cannot write /dev/shm";
    const std::string trash = "/dev/shm/.Trash-" + std::to_string(::getuid());
    const bool trashExisted = QFileInfo::exists(QString::fromStdString(trash));
    ASSERT_EQ(run(FO_DELETE, {"D:\\bell.wav"}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION), 0);
    EXPECT_FALSE(QFileInfo::exists(other_.path() + "/bell.wav"));
    // The Path key is relative to the top of that file system.
    const std::string relative = other_.path().toStdString().substr(std::string("/dev/shm/").size()) + "/bell.wav";
    bool found = false;
    for (const QString& info : QDir(QString::fromStdString(trash + "/info")).entryList(QDir::Files)) {
        const std::string text = readFile(trash + "/info/" + info.toStdString());
        if (text.find("Path=" + trashInfoEscape(relative) + "\n") == std::string::npos)
            continue;
        found = true;
        const std::string name = info.toStdString().substr(0, info.size() - std::string(".trashinfo").size());
        ::unlink((trash + "/files/" + name).c_str());
        ::unlink((trash + "/info/" + info.toStdString()).c_str());
    }
    EXPECT_TRUE(found);
    if (!trashExisted)
        QDir(QString::fromStdString(trash)).removeRecursively();
}

TEST_F(Shell, TrashThroughALinkedFolderGoesToTheTopOfTheRealFileSystem)
{
    // ~/Music linked to a folder of a data disk: the file belongs to the disk's trash, with a Path key
    // that restores it to where it really lay.
    testing_support::TempMount disk;
    QTemporaryDir shm("/dev/shm/tonfolio-test-XXXXXX");
    std::string top = disk.path();
    std::string folder = "data/Music";
    if (!disk.mounted()) {
        struct stat a {
        }, b{};
        if (!shm.isValid() || ::stat(drive.root().c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 ||
            a.st_dev == b.st_dev || ::access("/dev/shm", W_OK) != 0)
            GTEST_SKIP() << "no second file system here";
        top = "/dev/shm";
        folder = shm.path().toStdString().substr(top.size() + 1) + "/data/Music";
    }
    const std::string real = top + "/" + folder;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(real)));
    ASSERT_TRUE(QFile(QString::fromStdString(real + "/bell.wav")).open(QIODevice::WriteOnly));
    ASSERT_EQ(::symlink(real.c_str(), drive.native("Music").c_str()), 0);
    const std::string trash = top + "/.Trash-" + std::to_string(::getuid());
    const bool trashExisted = QFileInfo::exists(QString::fromStdString(trash));

    ASSERT_EQ(run(FO_DELETE, {"C:\\MUSIC\\BELL.WAV"}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION), 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(real + "/bell.wav")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(real + "/.Trash-" + std::to_string(::getuid()))));
    std::string trashed;
    for (const QString& info : QDir(QString::fromStdString(trash + "/info")).entryList(QDir::Files)) {
        if (readFile(trash + "/info/" + info.toStdString())
                .find("Path=" + trashInfoEscape(folder + "/bell.wav") + "\n") != std::string::npos)
            trashed = info.toStdString().substr(0, info.size() - std::string(".trashinfo").size());
    }
    ASSERT_FALSE(trashed.empty());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(trash + "/files/" + trashed)));
    ::unlink((trash + "/files/" + trashed).c_str());
    ::unlink((trash + "/info/" + trashed + ".trashinfo").c_str());
    if (!trashExisted)
        QDir(QString::fromStdString(trash)).removeRecursively();
}

TEST_F(Shell, ProgressWindowCancelStopsTheCopy)
{
    setProgressDelay(0);
    drive.write("big.wav", std::string(4 << 20, 'w'));
    drive.mkdirs("dst");
    dialogs->cancelProgressAfter(2);
    EXPECT_EQ(run(FO_COPY, {"C:\\big.wav"}, {"C:\\dst"}, FOF_SIMPLEPROGRESS, "Copying big"), int(ERROR_CANCELLED));
    EXPECT_TRUE(last.fAnyOperationsAborted);
    EXPECT_TRUE(QDir(QString::fromStdString(drive.native("dst"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    ASSERT_EQ(dialogs->progressRuns().size(), 1u);
    EXPECT_EQ(dialogs->progressRuns()[0].title, "Copying big");
    EXPECT_TRUE(dialogs->progressRuns()[0].ended);
    EXPECT_TRUE(dialogs->prompts().empty()); // a cancel is no error
}

TEST_F(Shell, SilentOperationsShowNoProgress)
{
    setProgressDelay(0);
    drive.write("a.wav", "a");
    drive.mkdirs("dst");
    ASSERT_EQ(run(FO_COPY, {"C:\\a.wav"}, {"C:\\dst"}, FOF_SILENT), 0);
    EXPECT_TRUE(dialogs->progressRuns().empty());
    ASSERT_EQ(run(FO_MOVE, {"C:\\a.wav"}, {"C:\\dst\\b.wav"}, 0), 0);
    ASSERT_EQ(dialogs->progressRuns().size(), 1u);
    EXPECT_EQ(dialogs->progressRuns()[0].title, "Moving...");
    EXPECT_EQ(drive.read("dst/b.wav"), "a");
}

TEST(ShellNotify, ListenersHearAndEverythingIsRecorded)
{
    clearRecordedChangeNotifications();
    std::vector<ChangeNotification> heard;
    const int id = addChangeListener([&](const ChangeNotification& n) { heard.push_back(n); });
    SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATH, "C:\\OLD\\", "C:\\NEW");
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATH, "C:\\new folder", nullptr);
    removeChangeListener(id);
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATH, "C:\\x.wav");
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].item1, "C:\\OLD\\");
    EXPECT_EQ(heard[0].item2, "C:\\NEW");
    EXPECT_EQ(heard[1].event, SHCNE_MKDIR);
    EXPECT_TRUE(heard[1].item2.empty());
    EXPECT_EQ(recordedChangeNotifications().size(), 3u);
}

TEST(Dialogs, ScriptedAnswersAndSafeDefaults)
{
    ScopedScriptedDialogs dialogs;
    dialogs->answer(IDYES);
    EXPECT_EQ(MessageBox(nullptr, "q", "c", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBox(nullptr, "q", "c", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox(nullptr, "q", "c", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBox(nullptr, "i", "Information", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(dialogs->prompts().size(), 4u);
}

} // namespace
