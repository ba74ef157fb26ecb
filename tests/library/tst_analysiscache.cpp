// SPDX-License-Identifier: GPL-3.0-or-later
// The measures cache on real files: kept across a restart, forgotten when a file changes, a damaged,
// foreign or linked database set aside and rebuilt, a good one kept through a full disk, a held lock
// and two copies starting at once, and the oldest entries dropped beyond the limit.
#include "library/analysiscache.h"
#include "platform/files/files.h"
#include "support/tempdrive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using library::AnalysisCache;
using platform::FileIdentity;
using library::SoundAnalysis;

namespace {

SoundAnalysis measures(double lufs, double tempo)
{
    SoundAnalysis m;
    m.loudness = lufs;
    m.peak = -1.5;
    m.tempo = tempo;
    return m;
}

/// Makes a database of some other program at `file`.
void makeForeignDatabase(const std::string& file)
{
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('keep me')", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

bool isLink(const std::string& file)
{
    struct stat st {};
    return ::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

class AnalysisCacheTest : public ::testing::Test {
protected:
    std::string dbFile() const { return dir_.path().toStdString() + "/cache/analysis.sqlite"; }
    void removeDatabase() const
    {
        for (const char* suffix :
             {"", "-wal", "-shm", "-journal", ".damaged", ".damaged-wal", ".damaged-shm", ".damaged-journal"})
            ::unlink((dbFile() + suffix).c_str());
    }
    QTemporaryDir dir_;
    testing_support::TempDrive drive_;
};

TEST_F(AnalysisCacheTest, MeasuresSurviveARestartUntilTheFileChanges)
{
    drive_.write("a.wav", std::string(100, 'a'));
    const auto id = platform::fileIdentity("C:\\a.wav");
    ASSERT_TRUE(id);
    {
        AnalysisCache cache(dbFile());
        ASSERT_TRUE(cache.isOpen());
        EXPECT_TRUE(cache.notice().empty());
        EXPECT_FALSE(cache.find({*id})[0]);
        cache.store({{*id, measures(-14.5, std::nan(""))}});
    }
    AnalysisCache again(dbFile());
    const auto found = again.find({*id})[0];
    ASSERT_TRUE(found);
    EXPECT_DOUBLE_EQ(found->loudness, -14.5);
    EXPECT_TRUE(std::isnan(found->tempo)); // no tempo stays no tempo
    EXPECT_TRUE(std::isnan(found->pitch));
    EXPECT_FALSE(found->key || found->wholeSoundLoudness || found->features);
    // A key, the loudness of a whole short sound and how it sounds come back as they were.
    SoundAnalysis keyed = measures(-30.5, 128);
    keyed.key = library::MusicalKey{9, true};
    keyed.wholeSoundLoudness = true;
    keyed.features.emplace();
    for (size_t i = 0; i < keyed.features->size(); ++i)
        (*keyed.features)[i] = i == 44 ? std::nanf("") : float(i) - 20.25f; // a noise has no note
    again.store({{*id, keyed}});
    const auto withKey = AnalysisCache(dbFile()).find({*id})[0];
    ASSERT_TRUE(withKey && withKey->key && withKey->features);
    EXPECT_EQ(withKey->key->name(), "A minor");
    EXPECT_TRUE(withKey->wholeSoundLoudness);
    EXPECT_EQ(library::featureBytes(*withKey->features), library::featureBytes(*keyed.features));

    // Silence keeps its minus infinity. Infinities that measuring no longer gives (an earlier version
    // kept them) count as not measured, so the file is measured again.
    SoundAnalysis silence = measures(-HUGE_VAL, std::nan(""));
    silence.peak = -HUGE_VAL;
    again.store({{*id, silence}});
    ASSERT_TRUE(again.find({*id})[0]);
    EXPECT_TRUE(std::isinf(again.find({*id})[0]->loudness));
    for (const double wrong : {HUGE_VAL, -HUGE_VAL}) {
        again.store({{*id, measures(wrong, 120)}});
        EXPECT_FALSE(AnalysisCache(dbFile()).find({*id})[0]) << wrong;
    }

    // A new modification time, or a new size, makes the entry stale.
    const timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, drive_.native("a.wav").c_str(), times, 0), 0);
    const auto touched = platform::fileIdentity("C:\\a.wav");
    EXPECT_EQ(touched->inode, id->inode);
    EXPECT_FALSE(again.find({*touched})[0]);
    drive_.write("a.wav", std::string(101, 'a'));
    EXPECT_FALSE(again.find({*platform::fileIdentity("C:\\a.wav")})[0]);
    // Folders, pipes and missing files have no identity.
    drive_.mkdirs("d.wav");
    EXPECT_FALSE(platform::fileIdentity("C:\\d.wav"));
    EXPECT_FALSE(platform::fileIdentity("C:\\missing.wav"));
    // Looked up by folder, a name is taken as spelt: "A.WAV" is not the file "a.wav".
    const auto inFolder = platform::fileIdentitiesIn("C:\\", {"a.wav", "A.WAV", "d.wav", "missing.wav"});
    ASSERT_EQ(inFolder.size(), 4u);
    EXPECT_TRUE(inFolder[0] && inFolder[0]->inode == id->inode);
    EXPECT_FALSE(inFolder[1] || inFolder[2] || inFolder[3]);
    // A listing's look at each entry identifies it as a look of its own does; a folder has none.
    platform::WIN32_FIND_DATA entry;
    const platform::HANDLE find = platform::FindFirstFile("C:\\*.wav", &entry);
    ASSERT_NE(find, platform::INVALID_HANDLE_VALUE);
    int listed = 0;
    do {
        const auto seen = platform::lastFoundIdentity(), own = platform::fileIdentity(std::string("C:\\") + entry.cFileName);
        EXPECT_EQ(bool(seen), bool(own)) << entry.cFileName;
        if (seen && own) {
            EXPECT_TRUE(seen->inode == own->inode && seen->size == own->size && seen->modified == own->modified);
        }
        ++listed;
    } while (platform::FindNextFile(find, &entry));
    platform::FindClose(find);
    EXPECT_EQ(listed, 2);
}

TEST_F(AnalysisCacheTest, ADamagedOrForeignFileIsSetAsideAndRebuilt)
{
    const FileIdentity id{1, 2, 3, 4};
    {
        AnalysisCache cache(dbFile());
        cache.store({{id, measures(-20, 100)}});
    }
    // Damage inside the file: its pages overwritten with rubbish past the header.
    {
        QFile f(QString::fromStdString(dbFile()));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        f.seek(100);
        f.write(QByteArray(int(size - 100), '\x5a'));
    }
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::optional<AnalysisCache> cache(std::in_place, dbFile());
        EXPECT_TRUE(cache->isOpen());
        EXPECT_NE(cache->notice().find("damaged"), std::string::npos) << cache->notice();
        EXPECT_TRUE(QFile::exists(QString::fromStdString(dbFile() + ".damaged")));
        EXPECT_FALSE(cache->find({id})[0]);
        cache->store({{id, measures(-20, 100)}});
        EXPECT_TRUE(cache->find({id})[0]);
        cache.emplace(dbFile()); // a restart keeps the rebuilt file
        EXPECT_TRUE(cache->notice().empty());
        EXPECT_TRUE(cache->find({id})[0]);
        cache.reset();
        // Next: a database of some other program in its place; then one marked as ours whose table
        // lacks the measures.
        if (round < 2) {
            QFile::remove(QString::fromStdString(dbFile()));
            sqlite3* other = nullptr;
            ASSERT_EQ(sqlite3_open(dbFile().c_str(), &other), SQLITE_OK);
            sqlite3_exec(other,
                         round == 0 ? "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('keep me')"
                                    : "CREATE TABLE measures(device, inode); PRAGMA application_id=1416588902;"
                                      "PRAGMA user_version=3",
                         nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
    }
    // A plain text file in its place fares the same.
    QFile::remove(QString::fromStdString(dbFile()));
    {
        QFile f(QString::fromStdString(dbFile()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a database at all\n");
    }
    AnalysisCache cache(dbFile());
    EXPECT_TRUE(cache.isOpen());
    EXPECT_FALSE(cache.notice().empty());
}

TEST_F(AnalysisCacheTest, AFileOfTheFirstSchemaIsKeptAndItsMeasuresTakenAnew)
{
    // Its tempo and short sounds' loudness were measured otherwise: they are dropped, the file is kept.
    QDir().mkpath(QString::fromStdString(dbFile()).section('/', 0, -2));
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(dbFile().c_str(), &old), SQLITE_OK);
    sqlite3_exec(old,
                 "CREATE TABLE measures(device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL,"
                 " modified INTEGER NOT NULL, loudness REAL, peak REAL, tempo REAL, pitch REAL, stored INTEGER NOT"
                 " NULL, PRIMARY KEY(device, inode)) WITHOUT ROWID;"
                 "INSERT INTO measures VALUES(1, 2, 3, 4, -20, -1, 100, NULL, 0);"
                 "PRAGMA application_id=1416588902; PRAGMA user_version=1",
                 nullptr, nullptr, nullptr);
    sqlite3_close(old);
    const FileIdentity id{1, 2, 3, 4};
    AnalysisCache cache(dbFile());
    EXPECT_TRUE(cache.isOpen());
    EXPECT_TRUE(cache.notice().empty()) << cache.notice();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dbFile() + ".damaged")));
    EXPECT_FALSE(cache.find({id})[0]);
    cache.store({{id, measures(-20, 100)}});
    EXPECT_TRUE(AnalysisCache(dbFile()).find({id})[0]);
}

TEST_F(AnalysisCacheTest, TheOldestEntriesGoBeyondTheLimit)
{
    AnalysisCache cache(dbFile(), 3);
    for (std::uint64_t inode = 1; inode <= 5; ++inode) {
        cache.store({{FileIdentity{7, inode, 10, 20}, measures(-20, 90)}});
        ::usleep(2000); // stored at different milliseconds
    }
    EXPECT_EQ(cache.entryCount(), 3);
    const auto found = cache.find({{7, 1, 10, 20}, {7, 2, 10, 20}, {7, 3, 10, 20}, {7, 5, 10, 20}});
    EXPECT_FALSE(found[0] || found[1]);
    EXPECT_TRUE(found[2] && found[3]);

    // Asked for in any order, twice, across devices and inodes beyond the stored numbers' sign: each
    // identity finds its own entry.
    AnalysisCache other(dir_.path().toStdString() + "/other.sqlite");
    const std::uint64_t high = (std::uint64_t(1) << 63) + 5;
    other.store({{{7, high, 10, 20}, measures(-1, 90)}, {{8, 4, 10, 20}, measures(-2, 90)},
                 {{7, 5, 10, 20}, measures(-3, 90)}, {{7, 500, 10, 20}, measures(-4, 90)}});
    const auto mixed = other.find({{8, 4, 10, 20}, {7, high, 10, 20}, {7, 5, 10, 20}, {8, 4, 10, 20}, {8, 5, 10, 20},
                                   {7, 4, 10, 20}, {7, 500, 11, 20}, {7, 6, 10, 20}});
    const double expected[] = {-2, -1, -3, -2, 0, 0, 0, 0};
    for (size_t i = 0; i < mixed.size(); ++i)
        EXPECT_EQ(mixed[i] ? mixed[i]->loudness : 0, expected[i]) << i;
}

TEST_F(AnalysisCacheTest, TwoCopiesMakingTheFileAtOnceBothUseIt)
{
    // Each copy looks at the file while the other may be making it: neither may take the other's new
    // file for a broken one.
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        removeDatabase();
        std::atomic<int> started{0};
        std::string notices[2];
        auto copy = [&](int i) {
            ++started;
            while (started < 2) {
            }
            AnalysisCache cache(dbFile());
            notices[i] = cache.notice();
            cache.store({{FileIdentity{1, std::uint64_t(i + 1), 3, 4}, measures(-20, 90)}});
        };
        std::thread first(copy, 0), second(copy, 1);
        first.join();
        second.join();
        EXPECT_EQ(notices[0] + notices[1], "");
        EXPECT_FALSE(QFile::exists(QString::fromStdString(dbFile() + ".damaged")));
        EXPECT_EQ(AnalysisCache(dbFile()).entryCount(), 2);
    }
}

TEST_F(AnalysisCacheTest, AFullDiskLeavesAGoodFileAndKeepsMeasuresUntilTheyCanBeWritten)
{
    const FileIdentity old{1, 2, 3, 4}, fresh{1, 5, 3, 4};
    AnalysisCache(dbFile()).store({{old, measures(-20, 100)}});
    // No file may grow: as a full disk, for root as well.
    rlimit was{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &was), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = was;
    full.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    {
        AnalysisCache cache(dbFile());
        EXPECT_NE(cache.notice().find("cannot be used"), std::string::npos) << cache.notice();
        EXPECT_EQ(cache.takeNotice(), cache.notice()); // told once
        EXPECT_EQ(cache.takeNotice(), "");
        cache.store({{fresh, measures(-30, 100)}});
        EXPECT_EQ(cache.takeNotice(), "");
        EXPECT_TRUE(cache.find({fresh})[0]);
        EXPECT_FALSE(cache.flush());
        ::setrlimit(RLIMIT_FSIZE, &was);
        EXPECT_TRUE(cache.flush());
    }
    ::setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dbFile() + ".damaged")));
    AnalysisCache after(dbFile());
    EXPECT_TRUE(after.notice().empty());
    const auto found = after.find({old, fresh});
    EXPECT_TRUE(found[0] && found[1]);
}

TEST_F(AnalysisCacheTest, MeasuresWaitOutAWriteLockHeldLongerThanABatchWaits)
{
    const FileIdentity id{1, 2, 3, 4};
    {
        AnalysisCache cache(dbFile());
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(dbFile().c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        cache.store({{id, measures(-20, 100)}}); // gives up waiting for the lock
        EXPECT_TRUE(cache.find({id})[0]);
        EXPECT_TRUE(cache.notice().empty()); // a lock held a while is no news for the user
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    } // the end of the session writes them
    EXPECT_TRUE(AnalysisCache(dbFile()).find({id})[0]);
}

TEST_F(AnalysisCacheTest, ALinkInPlaceOfTheFileIsSetAsideNotFollowed)
{
    const std::string elsewhere = dir_.path().toStdString() + "/elsewhere", target = elsewhere + "/target.sqlite";
    QDir().mkpath(QString::fromStdString(elsewhere));
    QDir().mkpath(QString::fromStdString(dbFile().substr(0, dbFile().rfind('/'))));
    for (const char* kind : {"empty", "missing", "foreign"}) {
        SCOPED_TRACE(kind);
        removeDatabase();
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((target + suffix).c_str());
        QFile t(QString::fromStdString(target));
        if (kind[0] == 'e')
            ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        else if (kind[0] == 'f')
            makeForeignDatabase(target);
        t.close();
        const QByteArray before = t.open(QIODevice::ReadOnly) ? t.readAll() : QByteArray("missing");
        t.close();
        ASSERT_EQ(::symlink(target.c_str(), dbFile().c_str()), 0);
        {
            AnalysisCache cache(dbFile());
            EXPECT_TRUE(cache.isOpen());
            EXPECT_NE(cache.notice().find("set aside"), std::string::npos) << cache.notice();
            cache.store({{FileIdentity{1, 2, 3, 4}, measures(-20, 100)}});
        }
        EXPECT_FALSE(isLink(dbFile()));
        EXPECT_TRUE(isLink(dbFile() + ".damaged"));
        const QByteArray after = t.open(QIODevice::ReadOnly) ? t.readAll() : QByteArray("missing");
        EXPECT_EQ(after, before);
        EXPECT_EQ(QDir(QString::fromStdString(elsewhere)).entryList(QDir::Files).size(), kind[0] == 'm' ? 0 : 1);
    }
}

} // namespace
