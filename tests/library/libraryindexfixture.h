// SPDX-License-Identifier: GPL-3.0-or-later
// The library's tests on real folders: a library folder of generated waves (odd names, a link back up,
// a pipe named like a wave) and a store, the local SQLite file or a shared one on the private
// PostgreSQL server, as the test's parameter says.
#pragma once
#include "library/folderscanner.h"
#include "library/libraryindexer.h"
#include "library/postgreslibrarystore.h"
#include "library/searchquery.h"
#include "library/sqlitelibrarystore.h"
#include "platform/files/files.h"
#include "support/pgdatabase.h"
#include "support/tempdrive.h"
#include "waves/riffbytes.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace library;
using testing_support::makeWav;
using testing_support::TempDrive;

enum class Store { Sqlite, Postgres };

class LibraryIndex : public ::testing::TestWithParam<Store> {
protected:
    void SetUp() override
    {
        if (shared() && pg.url().empty())
            GTEST_SKIP() << "no PostgreSQL server for the shared library: TONFOLIO_TEST_PG_URL is not set";
        drive.write("lib/Drums/Kicks/Kick Deep 01.wav", makeWav(1, 44100, 16, 100));
        drive.write("lib/Drums/Kicks/KICK_hard.wav", makeWav(1, 48000, 24, 100));
        drive.write("lib/Drums/Snares/Snare é.wav", makeWav(2, 44100, 16, 100));
        // The file's own texts and a loop, in chunks after its sound.
        drive.write("lib/Synth/Pad warm.wav",
                    riffbytes::withChunks(makeWav(2, 96000, 32, 100),
                                          riffbytes::chunk("LIST", "INFO" + riffbytes::chunk("INAM", "Analog swell") +
                                                                       riffbytes::chunk("ICMT", "slow attack")) +
                                              riffbytes::chunk("smpl", riffbytes::smplBody(0, 99))));
        drive.write("lib/Synth/notes.txt", "not a wave");
        // A name that is no UTF-8, and a link pointing back up: neither may stop the walk.
        drive.write(std::string("lib/Synth/odd \xff name.wav"), makeWav(1, 22050, 8, 100));
        ::symlink(drive.native("lib").c_str(), drive.native("lib/Synth/loop").c_str());
        // A pipe named like a wave: opening it for reading would wait for a writer forever.
        ::mkfifo(drive.native("lib/Synth/pipe.wav").c_str(), 0644);
        store = openStore();
        ASSERT_TRUE(store->isOpen()) << store->takeNotice().toStdString();
        root = *store->addRoot(drive.native("lib"), "/");
    }

    bool shared() const { return GetParam() == Store::Postgres; }
    std::string databaseFile() const { return drive.native("library.sqlite"); }
    /// A connection to the test's library, as another thread or program opens it.
    std::unique_ptr<LibraryStore> openStore() const
    {
        if (shared())
            return std::make_unique<PostgresLibraryStore>(pg.url());
        return std::make_unique<SqliteLibraryStore>(databaseFile());
    }
    std::function<std::unique_ptr<LibraryStore>()> opener() const
    {
        return [this] { return openStore(); };
    }
    LibraryRoot current() const
    {
        for (const LibraryRoot& r : store->roots())
            if (r.id == root)
                return r;
        return {};
    }
    ScanOutcome scan(const std::atomic<bool>* stop = nullptr, int batchFiles = 2000)
    {
        FolderScanner::Options o;
        o.batchFiles = batchFiles;
        FolderScanner scanner(*store, o);
        scanner.setStopFlag(stop);
        return scanner.scan(current());
    }
    /// The names a query finds, sorted.
    std::vector<std::string> find(const char* typed)
    {
        std::vector<std::string> names;
        for (const SearchRow& r : store->search(SearchQuery::parse(QString::fromUtf8(typed)), {}, 100).rows)
            names.push_back(r.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    void measure(const char* name, double loudness, double tempo, const char* key)
    {
        for (const SearchRow& r : store->search(SearchQuery::parse(QString::fromUtf8(name)), {}, 10).rows) {
            MeasuredFile m{r.id, r.size, r.modified, {}};
            m.measures.loudness = loudness;
            m.measures.tempo = tempo;
            m.measures.key = MusicalKey::parse(key);
            ASSERT_TRUE(store->putMeasures({m}));
        }
    }

    /// Stars and tags a file of the library folder.
    void mark(const std::string& relative, bool favourite, const QStringList& tags)
    {
        const std::string path = drive.native("lib/" + relative);
        const auto identity = platform::entryIdentity(path);
        ASSERT_TRUE(identity) << path;
        ASSERT_TRUE(store->setFavourite(path, *identity, favourite));
        ASSERT_TRUE(store->changeTags(path, *identity, tags, {}));
    }

    TempDrive drive;
    testing_support::PgDatabase pg;
    std::unique_ptr<LibraryStore> store;
    RootId root = 0;
};

} // namespace
