// SPDX-License-Identifier: GPL-3.0-or-later
// The file calls over a temporary drive C:, on real folders.
#include "platform/files/files.h"
#include "platform/files/foldertree.h"
#include "platform/files/nativepath.h"
#include "platform/sound/mmio.h"
#include "support/tempdrive.h"
#include "support/tempmount.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::TempDrive;
using testing_support::TempMount;

namespace {

// Another program that makes a file under a watched name at a chosen moment: just before the n-th rename
// onto that name. The C library's renameat2 is replaced by this one for the whole test program.
struct RenameRace {
    std::string target;
    int atCall = 0;
    int calls = 0;
} race;

} // namespace

extern "C" int renameat2(int oldDir, const char* oldPath, int newDir, const char* newPath, unsigned int flags)
{
    if (!race.target.empty() && race.target == newPath && ++race.calls == race.atCall) {
        const int fd = ::open(newPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        (void)!::write(fd, "theirs", 6);
        ::close(fd);
    }
    using Real = int (*)(int, const char*, int, const char*, unsigned int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "renameat2"));
    return real(oldDir, oldPath, newDir, newPath, flags);
}

namespace {

std::vector<std::string> find(const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATA d;
    HANDLE h = FindFirstFile(pattern, &d);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        names.emplace_back(d.cFileName);
    while (FindNextFile(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    FindClose(h);
    return names;
}

// The descriptors of this process that lie at or below a folder.
std::vector<std::string> openBelow(const std::string& folder)
{
    std::vector<std::string> held;
    const QDir fds("/proc/self/fd");
    for (const QString& n : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t len = ::readlink(fds.filePath(n).toUtf8().constData(), target, sizeof target - 1);
        const std::string t(target, len > 0 ? size_t(len) : 0);
        if (t == folder || t.rfind(folder + "/", 0) == 0)
            held.push_back(t);
    }
    return held;
}

std::string tail(const std::optional<std::string>& p)
{
    return p ? p->substr(p->rfind('/') + 1) : "<none>";
}

} // namespace

TEST(Resolve, ComponentsMatchIgnoringCaseExactFirst)
{
    TempDrive c;
    c.write("Sounds/Bell.WAV", "x");
    c.write("Sounds/a.wav", "lower");
    c.write("Sounds/A.wav", "upper");
    c.write("Sounds/mIxEd.wav", "m");
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"C:\\SOUNDS\\BELL.WAV", "Bell.WAV"}, {"c:\\sounds\\bell.wav", "Bell.WAV"},
        {"C:\\Sounds\\a.wav", "a.wav"},       {"C:\\Sounds\\A.wav", "A.wav"},
        {"C:\\Sounds\\a.WAV", "A.wav"},       {"C:\\SOUNDS\\MIXED.WAV", "mIxEd.wav"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(tail(existingNativePath(k.path)), k.expected) << k.path;
    EXPECT_EQ(GetFileAttributes("C:\\SOUNDS\\"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributes("C:\\SOUNDS\\BELL.WAV"), FILE_ATTRIBUTE_ARCHIVE);
}

TEST(Resolve, BadPathsFailQuietly)
{
    TempDrive c;
    c.write("a/file.wav", "x");
    for (const char* bad : {"", "?", "relative\\x", "C:relative", "Q:\\", "C:\\missing\\file.wav", "C:\\a\\file.wav\\x",
                            "C:\\a/../../x", "C:\\a\\file.wav\\..\\..\\..\\..\\etc"})
        EXPECT_EQ(GetFileAttributes(bad), INVALID_FILE_ATTRIBUTES) << bad;
    // ".." never climbs above the drive root.
    EXPECT_EQ(existingNativePath("C:\\..\\..\\a\\file.wav"), c.native("a/file.wav"));
    EXPECT_EQ(GetFileAttributes(std::string("C:\\") + std::string(5000, 'x')), INVALID_FILE_ATTRIBUTES);
}

TEST(Resolve, SeesChangesMadeBehindItsBack)
{
    TempDrive c;
    c.write("d/Song.wav", "1");
    EXPECT_EQ(tail(existingNativePath("C:\\D\\SONG.WAV")), "Song.wav");
    ::rename(c.native("d/Song.wav").c_str(), c.native("d/Tune.wav").c_str());
    EXPECT_FALSE(existingNativePath("C:\\D\\SONG.WAV"));
    EXPECT_EQ(tail(existingNativePath("C:\\D\\TUNE.WAV")), "Tune.wav");
    c.write("d/TUNE.WAV", "2"); // an exact spelling appears later and wins
    EXPECT_EQ(tail(existingNativePath("C:\\D\\TUNE.WAV")), "TUNE.WAV");

    // The same a moment after the folder was looked at, while what was seen is still taken on trust:
    // a name found by its case twin then, or not at all, finds its own entry made since.
    const struct {
        const char* before;
        const char* appears;
        const char* path;
    } cases[] = {
        {"e/tone.wav", "e/TONE.wav", "C:\\E\\TONE.wav"},
        {"e/tone.wav", "e/other.wav", "C:\\E\\other.wav"},
    };
    for (const auto& k : cases) {
        TempDrive d;
        d.write(k.before, "before");
        ::usleep(150000); // the folder is read as settled, not as just changed
        existingNativePath(k.path);
        d.write(k.appears, "appears");
        EXPECT_EQ(existingNativePath(k.path), d.native(k.appears)) << k.path;
    }
}

TEST(Find, ListsEntriesWithAttributesAndHidesBackslashNames)
{
    TempDrive c;
    c.write("f/b.wav", "12345");
    c.write("f/A.WAV", "");
    c.write("f/.hidden.wav", "");
    c.write("f/with\\slash.wav", "");
    c.write("f/notes.txt", "");
    c.mkdirs("f/sub.wav");
    ::mkfifo(c.native("f/pipe.wav").c_str(), 0644);
    std::string odd = "\xff\xfe.wav";
    c.write("f/" + odd, "");
    EXPECT_EQ(find("C:\\F\\*.WAV"),
              (std::vector<std::string>{".hidden.wav", "A.WAV", "b.wav", "pipe.wav", "sub.wav", odd}));
    EXPECT_EQ(find("C:\\F\\*"), (std::vector<std::string>{".", "..", ".hidden.wav", "A.WAV", "b.wav", "notes.txt",
                                                          "pipe.wav", "sub.wav", odd}));
    EXPECT_EQ(find("C:\\F\\?.wav"), (std::vector<std::string>{"A.WAV", "b.wav"}));
    EXPECT_EQ(find("C:\\F\\B.WAV"), (std::vector<std::string>{"b.wav"}));
    EXPECT_TRUE(find("C:\\F\\nothing*.wav").empty());
    EXPECT_TRUE(find("C:\\NOFOLDER\\*.wav").empty());

    WIN32_FIND_DATA d;
    HANDLE h = FindFirstFile("C:\\f\\b.wav", &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(d.nFileSizeLow, 5u);
    EXPECT_EQ(d.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    FindClose(h);
    EXPECT_EQ(GetFileAttributes("C:\\f\\.hidden.wav"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(GetFileAttributes("C:\\f\\pipe.wav"), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(GetFileAttributes("C:\\f\\sub.wav"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributes("C:\\f\\" + odd), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(GetFileAttributes("C:\\f\\with\\slash.wav"), INVALID_FILE_ATTRIBUTES);
    ::chmod(c.native("f/b.wav").c_str(), 0444);
    EXPECT_EQ(GetFileAttributes("C:\\f\\b.wav"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

TEST(Read, OnlyRegularFilesAndNeverBlocks)
{
    TempDrive c;
    c.write("w/tone.wav", "RIFFdata");
    c.mkdirs("w/dir.wav");
    ::mkfifo(c.native("w/fifo.wav").c_str(), 0644);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(CreateFile("C:\\W\\FIFO.WAV", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFile("C:\\W\\DIR.WAV", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_LT(t.elapsed(), 5000);

    HANDLE h = CreateFile("C:\\W\\TONE.WAV", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(h, &high), 8u);
    EXPECT_EQ(high, 0u);
    char buf[16] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(std::string(buf, got), "RIFFdata");
    EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(ReadFile(h, buf, 4, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "data");
    EXPECT_TRUE(CloseHandle(h));
}

TEST(Read, AListedFileIsIdentifiedByItsOpenAndNothingElseIsOpened)
{
    TempDrive c;
    c.write("w/known.wav", "RIFFknown");
    c.write("w/new.wav", "RIFFnew");
    c.mkdirs("w/dir.wav");
    ::mkfifo(c.native("w/fifo.wav").c_str(), 0644);
    ASSERT_EQ(::symlink("new.wav", c.native("w/link.wav").c_str()), 0);
    const TreeListing listing =
        listTreeFolder(c.native("w"), ".wav", [](const std::string& name) { return name == "known.wav"; });
    std::map<std::string, const TreeEntry*> byName;
    for (const TreeEntry& e : listing.entries)
        byName[e.name] = &e;
    ASSERT_TRUE(byName.count("known.wav") && byName.count("new.wav") && byName.count("link.wav"));
    EXPECT_TRUE(byName["known.wav"]->identified);
    EXPECT_EQ(byName["known.wav"]->identity, *fileIdentity(c.native("w/known.wav")));
    EXPECT_FALSE(byName["new.wav"]->identified);
    EXPECT_TRUE(byName["link.wav"]->identified); // a link's target is looked at in any case
    EXPECT_FALSE(byName.count("fifo.wav"));

    std::optional<FileIdentity> identity;
    const int fd = openListedFile(c.native("w/new.wav"), identity);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(identity, fileIdentity(c.native("w/new.wav")));
    // Whatever took a listed file's place since is not opened, and nothing blocks.
    QElapsedTimer t;
    t.start();
    for (const char* name : {"w/fifo.wav", "w/dir.wav", "w/link.wav", "w/gone.wav"}) {
        EXPECT_EQ(openListedFile(c.native(name), identity), -1) << name;
        EXPECT_FALSE(identity) << name;
    }
    EXPECT_LT(t.elapsed(), 5000);
}

TEST(Read, NothingStaysOpenSoTheDriveCanBeUnmounted)
{
    TempDrive c;
    TempMount stick; // a removable drive; without the right to mount, a plain folder shows the same fault
    const std::string root = stick.mounted() ? stick.path() : c.native("stick");
    ::mkdir(root.c_str(), 0755);
    platform::DriveInfo e;
    e.letter = 'E';
    e.directory = root;
    e.kind = DRIVE_REMOVABLE;
    c.setDrives({e});
    ::mkdir((root + "/Takes").c_str(), 0755);
    for (const char* name : {"/Takes/Bell.wav", "/Takes/drum.WAV"})
        ::close(::open((root + name).c_str(), O_CREAT | O_WRONLY, 0644));

    // What showing the folder does: list it, look at and read each file under the program's spelling.
    EXPECT_EQ(find("E:\\TAKES\\*.WAV").size(), 2u);
    EXPECT_EQ(GetFileAttributes("E:\\takes\\bell.wav"), FILE_ATTRIBUTE_ARCHIVE);
    HANDLE h = CreateFile("E:\\takes\\drum.wav", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    HMMIO m = mmioOpen("E:\\takes\\bell.wav", nullptr, MMIO_READ);
    ASSERT_TRUE(m);
    mmioClose(m, 0);
    EXPECT_TRUE(existingNativePath("E:\\TAKES\\DRUM.WAV"));

    EXPECT_EQ(openBelow(root), std::vector<std::string>{});
    if (stick.mounted()) {
        EXPECT_TRUE(stick.unmount()) << "umount: " << std::strerror(errno);
    }
}

TEST(Move, NeverReplacesAndKeepsBytes)
{
    TempDrive c;
    c.write("m/one.wav", "ONE");
    c.write("m/two.wav", "TWO");
    c.write("m/Other.wav", "OTHER");
    c.mkdirs("n");
    EXPECT_FALSE(MoveFile("C:\\M\\ONE.WAV", "C:\\M\\two.wav"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(MoveFile("C:\\M\\ONE.WAV", "C:\\M\\OTHER.WAV")); // another spelling of an existing name
    EXPECT_EQ(c.read("m/one.wav"), "ONE");
    EXPECT_EQ(c.read("m/two.wav"), "TWO");
    EXPECT_EQ(c.read("m/Other.wav"), "OTHER");

    EXPECT_TRUE(MoveFile("C:\\M\\ONE.WAV", "C:\\N\\one.wav"));
    EXPECT_EQ(c.read("n/one.wav"), "ONE");
    EXPECT_FALSE(c.exists("m/one.wav"));

    // Only the letter case changes: the new spelling lands on disk.
    EXPECT_TRUE(MoveFile("C:\\M\\TWO.WAV", "C:\\M\\Two.WAV"));
    EXPECT_EQ(find("C:\\M\\t*"), (std::vector<std::string>{"Two.WAV"}));
    EXPECT_EQ(c.read("m/Two.WAV"), "TWO");

    EXPECT_FALSE(MoveFile("C:\\M\\missing.wav", "C:\\N\\x.wav"));
    EXPECT_FALSE(MoveFile("C:\\M\\Two.WAV", "C:\\NOWHERE\\x.wav"));
    EXPECT_FALSE(MoveFile("C:\\M", "C:\\M\\inside"));
    EXPECT_TRUE(c.exists("m/Two.WAV"));
}

TEST(Move, AcrossFileSystemsCopiesChecksThenRemoves)
{
    TempDrive c;
    struct stat a {
    }, b{};
    if (::stat("/dev/shm", &b) != 0 || ::stat(c.root().c_str(), &a) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system here";
    QTemporaryDir other("/dev/shm/tonfolio-XXXXXX");
    platform::DriveInfo d;
    d.letter = 'D';
    d.directory = other.path().toStdString();
    d.kind = DRIVE_RAMDISK;
    c.setDrives({d});
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    c.write("x/big.wav", big);
    c.write("tree/sub/deep.wav", "deep");
    EXPECT_TRUE(MoveFile("C:\\X\\BIG.WAV", "D:\\big.wav"));
    EXPECT_FALSE(c.exists("x/big.wav"));
    EXPECT_EQ(GetFileAttributes("D:\\BIG.WAV"), FILE_ATTRIBUTE_ARCHIVE);
    HANDLE h = CreateFile("D:\\big.wav", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string back(big.size(), '\0');
    DWORD got = 0;
    ReadFile(h, back.data(), DWORD(back.size()), &got, nullptr);
    CloseHandle(h);
    EXPECT_EQ(back, big);
    EXPECT_TRUE(MoveFile("C:\\TREE", "D:\\tree"));
    EXPECT_FALSE(c.exists("tree"));
    EXPECT_EQ(GetFileAttributes("D:\\TREE\\SUB\\DEEP.WAV"), FILE_ATTRIBUTE_ARCHIVE);
    // Onto an existing name on the other side: refused, source kept.
    c.write("x/big.wav", "new");
    EXPECT_FALSE(MoveFile("C:\\X\\BIG.WAV", "D:\\BIG.WAV"));
    EXPECT_EQ(c.read("x/big.wav"), "new");
}

TEST(Move, AcrossFileSystemsNeverRemovesANameSomeoneElseMade)
{
    TempDrive c;
    TempMount disk;
    QTemporaryDir shm("/dev/shm/tonfolio-XXXXXX");
    std::string other = disk.path();
    struct stat a {
    }, b{};
    if (!disk.mounted()) {
        if (!shm.isValid() || ::stat(shm.path().toUtf8().constData(), &b) != 0 || ::stat(c.root().c_str(), &a) != 0 ||
            a.st_dev == b.st_dev)
            GTEST_SKIP() << "no second file system here";
        other = shm.path().toStdString();
    }
    platform::DriveInfo d;
    d.letter = 'D';
    d.directory = other;
    c.setDrives({d});
    c.write("take.wav", "mine");
    c.write("kit/kick.wav", "kick");
    // Another program makes the name after the check: at the move's own rename (which fails across file
    // systems), or at the finished copy's rename into place.
    struct Case {
        const char* from;
        const char* to;
        int atCall;
    } cases[] = {
        {"C:\\take.wav", "take.wav", 1}, {"C:\\take.wav", "take.wav", 2}, {"C:\\kit", "kit", 1}, {"C:\\kit", "kit", 2}};
    for (const Case& k : cases) {
        const std::string target = other + "/" + k.to;
        race = RenameRace{target, k.atCall, 0};
        EXPECT_FALSE(MoveFile(k.from, std::string("D:\\") + k.to)) << k.from << " " << k.atCall;
        race = RenameRace{};
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS) << k.from << " " << k.atCall;
        QFile theirs(QString::fromStdString(target));
        ASSERT_TRUE(theirs.open(QIODevice::ReadOnly)) << k.from << " " << k.atCall;
        EXPECT_EQ(theirs.readAll().toStdString(), "theirs") << k.from << " " << k.atCall;
        theirs.remove();
        EXPECT_EQ(QDir(QString::fromStdString(other)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{}); // no copy left behind either
    }
    EXPECT_EQ(c.read("take.wav"), "mine");
    EXPECT_EQ(c.read("kit/kick.wav"), "kick");
    EXPECT_TRUE(MoveFile("C:\\kit", "D:\\kit"));
    EXPECT_EQ(GetFileAttributes("D:\\KIT\\KICK.WAV"), FILE_ATTRIBUTE_ARCHIVE);
}

TEST(Folders, CreateFailsForAnyExistingSpelling)
{
    TempDrive c;
    c.mkdirs("Sounds");
    EXPECT_TRUE(CreateDirectory("C:\\SOUNDS\\new folder"));
    EXPECT_TRUE(c.exists("Sounds/new folder"));
    EXPECT_FALSE(CreateDirectory("C:\\sounds\\NEW FOLDER"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectory("C:\\missing\\x"));
    EXPECT_FALSE(CreateDirectory("C:\\"));
    EXPECT_FALSE(CreateDirectory("C:\\a/b"));
    EXPECT_TRUE(RemoveDirectory("C:\\SOUNDS\\NEW FOLDER"));
    EXPECT_FALSE(c.exists("Sounds/new folder"));
}

TEST(Drives, TableKindsLabelsAndSerials)
{
    TempDrive c;
    QTemporaryDir gone;
    platform::DriveInfo e;
    e.letter = 'E';
    e.directory = gone.path().toStdString() + "/vanished";
    e.kind = DRIVE_REMOVABLE;
    platform::DriveInfo f;
    f.letter = 'F';
    f.directory = c.root();
    f.kind = DRIVE_CDROM;
    f.label = "DISC";
    c.setDrives({e, f});
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4) | (1u << 5));
    EXPECT_EQ(GetDriveType("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveType("e:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveType("F:\\"), DRIVE_CDROM);
    EXPECT_EQ(GetDriveType("Z:\\"), DRIVE_NO_ROOT_DIR);
    char label[24];
    DWORD serial = 0;
    EXPECT_TRUE(GetVolumeInformation("C:\\", label, sizeof label, &serial, nullptr, nullptr, nullptr, 0));
    EXPECT_STREQ(label, "SYSTEM");
    EXPECT_EQ(serial, 0x1234ABCDu);
    EXPECT_FALSE(GetVolumeInformation("E:\\", label, sizeof label, &serial, nullptr, nullptr, nullptr, 0));
    EXPECT_TRUE(GetVolumeInformation("F:\\", label, 3, &serial, nullptr, nullptr, nullptr, 0));
    EXPECT_STREQ(label, "DI"); // cut to the buffer
}

TEST(Drives, LettersFromTheMountTable)
{
    const std::string info = "22 1 8:1 / / rw - ext4 /dev/nonexistent-root rw\n"
                             "23 22 0:5 / /proc rw - proc proc rw\n"
                             "24 22 0:6 / /mnt/data rw - ext4 /dev/nonexistent-b rw\n"
                             "25 22 0:7 / /media/anna/STICK rw - vfat /dev/nonexistent-c rw\n"
                             "26 22 0:8 / /net/share rw - nfs4 server:/share rw\n"
                             "27 22 0:9 / /mnt/ram rw - tmpfs tmpfs rw\n"
                             "28 22 0:10 / /media/cd\\040rom rw - iso9660 /dev/sr0 ro\n"
                             "29 22 0:11 / /sys/fs/cgroup rw - cgroup2 cgroup rw\n"
                             "30 22 0:12 / /run/user/1000 rw - tmpfs tmpfs rw\n";
    const auto drives = drivesFromMountInfo(info, {});
    std::string got;
    for (const auto& d : drives)
        got += std::string(1, d.letter) + "=" + d.directory + ":" + std::to_string(d.kind) + ";";
    EXPECT_EQ(got, "C=/:3;D=/media/anna/STICK:2;E=/media/cd rom:5;F=/mnt/data:3;G=/mnt/ram:6;H=/net/share:4;");
    // A letter stays with its mount; a new mount takes the lowest free letter.
    const std::string fewer = "22 1 8:1 / / rw - ext4 /dev/x rw\n24 22 0:6 / /mnt/data rw - ext4 /dev/y rw\n"
                              "31 22 0:6 / /mnt/added rw - ext4 /dev/z rw\n";
    got.clear();
    for (const auto& d : drivesFromMountInfo(fewer, drives))
        got += std::string(1, d.letter) + "=" + d.directory + ";";
    EXPECT_EQ(got, "C=/;D=/mnt/added;F=/mnt/data;");

    const auto parsed = parseDriveTable("c=/tmp/x/;D=/mnt/y:removable:STICK:00C0FFEE;bad;E=");
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].directory, "/tmp/x");
    EXPECT_EQ(parsed[1].kind, DRIVE_REMOVABLE);
    EXPECT_EQ(parsed[1].label, "STICK");
    EXPECT_EQ(*parsed[1].serial, 0x00C0FFEEu);
}

TEST(Paths, DrivePathOfAndCurrentFolder)
{
    TempDrive c;
    c.mkdirs("Home/Anna");
    EXPECT_EQ(drivePathOf(c.native("Home/Anna")), "C:\\Home\\Anna");
    EXPECT_EQ(drivePathOf(c.root()), "C:\\");
    EXPECT_EQ(drivePathOf("/definitely/not/under"), "");
    char old[4096];
    ASSERT_TRUE(::getcwd(old, sizeof old));
    EXPECT_TRUE(SetCurrentDirectory("C:\\HOME\\ANNA"));
    EXPECT_EQ(GetCurrentDirectory(), "C:\\Home\\Anna");
    EXPECT_EQ(::chdir(old), 0);
}
