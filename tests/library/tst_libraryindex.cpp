// SPDX-License-Identifier: GPL-3.0-or-later
// The library on real folders: pass one over a generated tree, search by words and measures, rescans
// after changes by another program (watched and not), a pass stopped half way, a drive gone, the
// program's own changes. Each test runs against the local SQLite library and against a shared one on
// the private PostgreSQL server.
#include "library/libraryindexfixture.h"

namespace {

TEST_P(LibraryIndex, FindsFilesByWordsFoldersAndMeasures)
{
    // Names with what query languages and patterns read as operators and wildcards.
    const std::string odd = "100% 'quoted' _x;--.wav";
    drive.write("lib/Odd/" + odd, makeWav(1, 8000, 16, 10));
    drive.write("lib/Odd/1000 xy.wav", makeWav(1, 8000, 16, 10));
    const ScanOutcome out = scan();
    EXPECT_EQ(out.state, RootState::Ready) << out.status.toStdString();
    EXPECT_EQ(out.files, 7);
    measure("kick deep", -18, 124, "Am");
    measure("snare", -30, 90, "C");
    mark("Drums/Kicks/Kick Deep 01.wav", true, {});
    mark("Drums/Kicks/KICK_hard.wav", false, {"Kick", "Hard"});
    mark("Drums/Snares/Snare é.wav", false, {"kick", "Snare"});
    const QString oddTag = QString::fromUtf8("it's \"50%\" _\\ '); DROP TABLE tags; --");
    mark("Odd/" + odd, false, {oddTag});
    struct Row {
        const char* typed;
        std::vector<std::string> names;
    } rows[] = {
        {"kick", {"KICK_hard.wav", "Kick Deep 01.wav"}},
        {"KICK har", {"KICK_hard.wav"}},
        {"drums", {"KICK_hard.wav", "Kick Deep 01.wav", "Snare é.wav"}}, // by folder
        {"kicks deep", {"Kick Deep 01.wav"}},                            // folder and name together
        {"snare e", {"Snare é.wav"}},                                    // accents folded, short word
        {"pa", {"Pad warm.wav"}},
        {"name", {"odd \xff name.wav"}},
        {"bpm:120-130", {"Kick Deep 01.wav"}},
        {"lufs:<-20", {"Snare é.wav"}},
        {"key:Am~", {"Kick Deep 01.wav", "Snare é.wav"}}, // C mixes with A minor
        {"kick bpm:>100", {"Kick Deep 01.wav"}},
        {"drums bpm:<100", {"Snare é.wav"}},
        {"pad bpm:120-130", {}},
        {"\"quoted\" OR *", {}},            // no word is read as an operator of the index
        {"loop", {}},                       // the link back up was not followed
        {"pipe", {}},                       // nor was the pipe opened or taken for a file
        {"swell attack", {"Pad warm.wav"}}, // by the file's own texts
        {"loop:", {"Pad warm.wav"}},
        {"loop: kick", {}},
        {"fav:", {"Kick Deep 01.wav"}},
        {"tag:KICK", {"KICK_hard.wav", "Snare é.wav"}},
        {"tag:kick tag:hard", {"KICK_hard.wav"}},
        {"tag:kick snare", {"Snare é.wav"}},
        {"tag:kic", {}},
        {"fav: bpm:120-130 drums", {"Kick Deep 01.wav"}},
        {"0%", {odd}}, // '%', '_' and '\\' are no wildcards
        {"%", {odd}},
        {"0_x", {}},
        {"_x", {odd}},
        {"x\\", {}},
        {"'quoted'", {odd}},
        {";--", {odd}},
    };
    // Right after the pass, while the words index catches up, and with it.
    for (const bool indexed : {false, true}) {
        while (indexed && store->indexWords(3) > 0) {
        }
        for (const Row& r : rows)
            EXPECT_EQ(find(r.typed), r.names) << r.typed << (indexed ? "" : " (words not indexed yet)");
    }
    EXPECT_EQ(store->marksOf(drive.native("lib/Odd/" + odd)).tags, QStringList{oddTag});
    EXPECT_EQ(store->allTags(), QStringList({"Hard", oddTag, "Kick", "Snare"}));
    // Rows carry what a list of results shows: folder and name apart.
    const SearchResult kicks = store->search(SearchQuery::parse("deep"), {SearchColumn::Name, false}, 10);
    ASSERT_EQ(kicks.rows.size(), 1u);
    EXPECT_EQ(kicks.rows[0].folderPath(), drive.native("lib/Drums/Kicks/"));
    EXPECT_EQ(kicks.rows[0].header.rate, 44100u);
    const SearchResult pad = store->search(SearchQuery::parse("loop:"), {}, 10);
    ASSERT_EQ(pad.rows.size(), 1u);
    EXPECT_EQ(pad.rows[0].header.description, QStringLiteral("Analog swell"));
    EXPECT_EQ(pad.rows[0].header.loops, 1u);

    // A file stored long after the others: first in the reverse order, last in the order, and a
    // shorter list of either says there is more.
    if (shared()) {
        ASSERT_TRUE(pg.run("SELECT setval('files_id_seq', 100000)"));
    }
    drive.write("lib/Drums/Kicks/Kick late.wav", makeWav(1, 8000, 16, 10));
    scan();
    const auto stored = [&](bool descending, int limit) {
        const SearchResult r = store->search(SearchQuery::parse("kick"), {SearchColumn::Stored, descending}, limit);
        std::vector<std::string> names;
        for (const SearchRow& row : r.rows)
            names.push_back(row.name);
        return std::make_pair(names, r.more);
    };
    const auto [down, downMore] = stored(true, 10);
    EXPECT_FALSE(downMore);
    ASSERT_EQ(down.size(), 3u);
    EXPECT_EQ(down[0], "Kick late.wav");
    const auto [up, upMore] = stored(false, 2);
    EXPECT_TRUE(upMore);
    EXPECT_EQ(up, std::vector<std::string>({down[2], down[1]}));
}

TEST_P(LibraryIndex, RescansFollowOtherProgramsAndKeepWhatLooksLikeAMissingDrive)
{
    // A folder changed in the moments before its listing is listed again next time: these are not.
    QTest::qWait(2100);
    ASSERT_EQ(scan().files, 5);
    // Another program adds, changes in place and removes files.
    drive.write("lib/Synth/Lead new.wav", makeWav(1, 44100, 16, 100));
    // Written in place: the folder's time stays, only a full check (or a watch) sees the new size.
    drive.write("lib/Drums/Kicks/KICK_hard.wav", makeWav(1, 32000, 16, 300));
    std::remove(drive.native("lib/Drums/Snares/Snare é.wav").c_str());
    EXPECT_EQ(scan().state, RootState::Ready);
    EXPECT_EQ(find("lead"), std::vector<std::string>{"Lead new.wav"});
    EXPECT_TRUE(find("snare").empty());
    EXPECT_EQ(store->search(SearchQuery::parse("hard"), {}, 10).rows.at(0).header.rate, 48000u);
    // A file removed between the listing and the reading of its header is not indexed.
    drive.write("lib/Synth/Brief.wav", makeWav(1, 44100, 16, 100));
    platform::setOpenHook([](const std::string& path) {
        if (path.find("Brief.wav") != std::string::npos)
            std::remove(path.c_str());
    });
    EXPECT_EQ(scan().state, RootState::Ready);
    platform::setOpenHook(nullptr);
    EXPECT_TRUE(find("brief").empty());
    EXPECT_EQ(find("lead"), std::vector<std::string>{"Lead new.wav"});
    ASSERT_TRUE(store->beginFullCheck(root));
    EXPECT_EQ(scan().state, RootState::Ready);
    EXPECT_EQ(store->search(SearchQuery::parse("hard"), {}, 10).rows.at(0).header.rate, 32000u);

    // Most files gone at once: kept and asked about, still found.
    for (const char* f : {"lib/Synth/Lead new.wav", "lib/Synth/Pad warm.wav", "lib/Drums/Kicks/KICK_hard.wav"})
        std::remove(drive.native(f).c_str());
    const ScanOutcome asked = scan();
    EXPECT_EQ(asked.state, RootState::NeedsConfirmation);
    EXPECT_EQ(asked.missing, 3);
    EXPECT_EQ(find("pad"), std::vector<std::string>{"Pad warm.wav"});
    ASSERT_TRUE(store->finishPass(root, false, RootState::Ready, {}));
    EXPECT_TRUE(find("pad").empty());
    EXPECT_EQ(current().files, 2); // the kick and the odd name are left
}

TEST_P(LibraryIndex, APassStoppedHalfWayGoesOnAndAnOfflineDriveKeepsItsFiles)
{
    for (int i = 0; i < 40; ++i)
        drive.write("lib/Many/" + std::to_string(i) + "/Tone " + std::to_string(i) + ".wav", makeWav(1, 8000, 16, 10));
    std::atomic<bool> stop{false};
    FolderScanner::Options o;
    o.batchFiles = 5;
    o.headerReaders = 1; // few folders read ahead of the writes
    o.readsAheadPerReader = 32;
    FolderScanner scanner(*store, o);
    scanner.setStopFlag(&stop);
    scanner.setProgress([&](const ScanProgress& p) { stop = p.files >= 10; });
    const ScanOutcome first = scanner.scan(current());
    EXPECT_TRUE(first.stopped);
    EXPECT_EQ(current().state, RootState::Indexing);
    // Another connection (a restarted program) finds what was written and finishes.
    store = openStore();
    const std::int64_t before = store->counts(root).files;
    EXPECT_GE(before, 10);
    EXPECT_LT(before, 45);
    EXPECT_EQ(scan().files, 45);
    EXPECT_EQ(find("tone").size(), 40u);

    // A library folder on a drive that is unplugged keeps its entries, marked offline.
    platform::DriveInfo usb;
    usb.letter = 'E';
    usb.directory = drive.native("usb");
    drive.mkdirs("usb/Loops");
    drive.write("usb/Loops/Break 90.wav", makeWav(1, 44100, 16, 100));
    drive.setDrives({usb});
    const RootId stick = *store->addRoot(drive.native("usb/Loops"), usb.directory);
    LibraryRoot r;
    for (const LibraryRoot& each : store->roots())
        if (each.id == stick)
            r = each;
    FolderScanner onStick(*store, {});
    EXPECT_EQ(onStick.scan(r).state, RootState::Ready);
    drive.setDrives({});
    const ScanOutcome gone = onStick.scan(r);
    EXPECT_EQ(gone.state, RootState::Offline);
    const SearchResult kept = store->search(SearchQuery::parse("break"), {}, 10);
    ASSERT_EQ(kept.rows.size(), 1u);
    EXPECT_EQ(kept.rows[0].availability, Availability::Offline);
}

TEST_P(LibraryIndex, TheProgramsOwnChangesAreInTheIndexAtOnce)
{
    scan();
    while (store->indexWords(100) > 0) {
    }
    ASSERT_TRUE(store->renameFile(root, "Synth", "Pad warm.wav", "Pad cold.wav"));
    EXPECT_EQ(find("cold synth"), std::vector<std::string>{"Pad cold.wav"});
    EXPECT_TRUE(find("warm").empty());
    ASSERT_TRUE(store->moveFile(root, "Synth", "Pad cold.wav", root, "Drums/Kicks"));
    EXPECT_EQ(find("kicks cold"), std::vector<std::string>{"Pad cold.wav"});
    EXPECT_TRUE(find("synth cold").empty());
    ASSERT_TRUE(store->removeFile(root, "Drums/Kicks", "Pad cold.wav"));
    EXPECT_TRUE(find("cold").empty());
    if (!shared()) {
        // The full-text index holds exactly the words of the files, after all that.
        store.reset();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(databaseFile().c_str(), &db), SQLITE_OK);
        EXPECT_EQ(
            platform::DatabaseFile::exec(db, "INSERT INTO file_words(file_words, rank) VALUES('integrity-check', 1)"),
            SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
}

TEST_P(LibraryIndex, FavouritesAndTagsFollowTheirFiles)
{
    // A library of the version before favourites gains them and keeps its folders.
    std::unique_ptr<LibraryStore> upgraded;
    testing_support::PgDatabase olderPg;
    if (shared()) {
        ASSERT_TRUE(
            olderPg.run(std::string(PostgresLibraryStore::migrations()[0]) +
                        ";CREATE TABLE schema_version(version integer NOT NULL);"
                        "INSERT INTO schema_version VALUES(1);INSERT INTO roots(name, mount) VALUES('/kept', '/');"
                        "INSERT INTO folders(root, path, words) VALUES(1, '', 'kept');"
                        "INSERT INTO files(folder, name, size, modified, device, inode, own_words, words)"
                        " VALUES(1, 'old.wav', 1, 1, 1, 1, 'old.wav', 'old.wav kept');"
                        "INSERT INTO measures(file, tempo, decoded) VALUES(1, 120, true)"));
        upgraded = std::make_unique<PostgresLibraryStore>(olderPg.url());
        // Its files are found by their measures as before.
        EXPECT_EQ(upgraded->search(SearchQuery::parse("old bpm:120"), {}, 10).rows.size(), 1u);
    } else {
        platform::DatabaseSchema first = SqliteLibraryStore::schema();
        first.migrations.resize(1);
        first.probes.clear();
        platform::DatabaseFile older(drive.native("older.sqlite"), first);
        ASSERT_EQ(older.open(), platform::DatabaseFile::Opening::Usable);
        ASSERT_EQ(platform::DatabaseFile::exec(
                      older.db(), "INSERT INTO roots(path, mount) VALUES('/kept', '/');"
                                  "INSERT INTO folders(id, root, path) VALUES(1, 1, '');"
                                  "INSERT INTO files(id, folder, name, size, modified, device, inode)"
                                  " VALUES(1, 1, 'a.wav', 1, 1, 1, 1);"
                                  "INSERT INTO file_words(rowid, words, folder) VALUES(1, 'a.wav', 'kept')"),
                  0);
        older.close();
        upgraded = std::make_unique<SqliteLibraryStore>(drive.native("older.sqlite"));
        // Its files are found by their words before and after they are indexed anew.
        for (const int indexed : {0, 1}) {
            while (indexed && upgraded->indexWords(100) > 0) {
            }
            EXPECT_EQ(upgraded->search(SearchQuery::parse("kept a.w"), {}, 10).rows.size(), 1u) << indexed;
        }
    }
    ASSERT_EQ(upgraded->roots().size(), 1u);
    EXPECT_TRUE(upgraded->changeTags("/kept/a.wav", {}, {"kept"}, {}));
    EXPECT_EQ(upgraded->allTags(), QStringList{"kept"});

    scan();
    mark("Synth/Pad warm.wav", true, {"Warm", "pad", "WARM"});
    EXPECT_EQ(store->marksOf(drive.native("lib/Synth/Pad warm.wav")).tags, QStringList({"pad", "Warm"}));
    // The program's own rename and move: on disk, in the index and in the marks.
    const auto programMoves = [&](const char* from, const char* to, int times = 1) {
        ASSERT_EQ(::rename(drive.native(from).c_str(), drive.native(to).c_str()), 0);
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(store->followMarks(drive.native(from), drive.native(to)));
    };
    programMoves("lib/Synth/Pad warm.wav", "lib/Synth/Pad cold.wav");
    ASSERT_TRUE(store->renameFile(root, "Synth", "Pad warm.wav", "Pad cold.wav"));
    // Told twice (by the window and by the indexer), the second changes nothing.
    programMoves("lib/Synth/Pad cold.wav", "lib/Drums/Pad cold.wav", 2);
    ASSERT_TRUE(store->moveFile(root, "Synth", "Pad cold.wav", root, "Drums"));
    EXPECT_EQ(find("fav: tag:warm"), std::vector<std::string>{"Pad cold.wav"});
    EXPECT_TRUE(store->marksOf(drive.native("lib/Drums/Pad cold.wav")).favourite);
    // Another program moves it; the next pass finds it again by its identity.
    drive.mkdirs("lib/Moved");
    ASSERT_EQ(::rename(drive.native("lib/Drums/Pad cold.wav").c_str(), drive.native("lib/Moved/Pad.wav").c_str()), 0);
    ASSERT_TRUE(store->beginFullCheck(root));
    scan();
    EXPECT_EQ(find("tag:pad"), std::vector<std::string>{"Pad.wav"});
    EXPECT_EQ(store->markedFiles(true).at(0).path, drive.native("lib/Moved/Pad.wav"));
    // A file outside the library folders keeps its marks by path; taking the last one away forgets it.
    drive.write("elsewhere/Hit.wav", makeWav(1, 8000, 16, 10));
    const std::string hit = drive.native("elsewhere/Hit.wav");
    ASSERT_TRUE(store->changeTags(hit, *platform::entryIdentity(hit), {"hit"}, {}));
    ASSERT_TRUE(store->followMarks(drive.native("elsewhere"), drive.native("other")));
    EXPECT_EQ(store->marksIn(drive.native("other")).at("Hit.wav").tags, QStringList{"hit"});
    EXPECT_EQ(store->allTags(), QStringList({"hit", "pad", "Warm"}));
    ASSERT_TRUE(store->changeTags(drive.native("other/Hit.wav"), {}, {}, {"HIT"}));
    EXPECT_EQ(store->markedFiles(false).size(), 1u);
}

TEST_P(LibraryIndex, MarksWrittenByTwoClientsAtOnceAreAllKept)
{
    const std::string path = drive.native("lib/Synth/Pad warm.wav");
    const platform::FileIdentity identity = *platform::entryIdentity(path);
    constexpr int kWrites = 40;
    // Both make the file's mark at the first write; one also stars and unstars it meanwhile.
    const auto client = [&](QChar who) {
        const std::unique_ptr<LibraryStore> own = openStore();
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_TRUE(own->changeTags(path, identity, {QString("%1%2").arg(who).arg(i)}, {}));
            if (who == 'b') {
                EXPECT_TRUE(own->setFavourite(path, identity, i % 2 == 1));
            }
        }
    };
    std::thread a(client, QChar('a')), b(client, QChar('b'));
    a.join();
    b.join();
    const FileMarks kept = store->marksOf(path);
    EXPECT_EQ(kept.tags.size(), 2 * kWrites);
    EXPECT_TRUE(kept.favourite);
}

TEST_P(LibraryIndex, WatchesAndTimedRescansSeeOtherProgramsChanges)
{
    // With watches, and with none left (the timed rescan takes over).
    for (const std::size_t limit : {std::size_t(0), std::size_t(1)}) {
        LibraryIndexer::Options o;
        o.openStore = opener();
        o.cacheFile = drive.native("cache.sqlite");
        o.measure = false;
        o.rescanSeconds = 1;
        o.settleMs = 50;
        o.watchLimit = limit;
        LibraryIndexer indexer(o);
        QSignalSpy finished(&indexer, &LibraryIndexer::passOneFinished);
        QSignalSpy changed(&indexer, &LibraryIndexer::changed);
        indexer.start();
        ASSERT_TRUE(finished.count() > 0 || finished.wait(20000));
        const std::string name = "Riser " + std::to_string(limit) + ".wav";
        drive.write("lib/Synth/" + name, makeWav(1, 44100, 16, 100));
        const std::string folded = "riser " + std::to_string(limit);
        bool seen = false;
        for (int i = 0; i < 300 && !seen; ++i) {
            changed.wait(100);
            seen = !find(folded.c_str()).empty();
        }
        EXPECT_TRUE(seen) << "watch limit " << limit;
    }
}

// A folder on a mount that stopped answering holds the pass in a system call; closing does not wait
// for it. The open hook stands for the hung mount, until the test lets it go.
std::atomic<int> hungOpens{0};
std::atomic<bool> mountBack{false};

TEST_P(LibraryIndex, ClosingDoesNotWaitForAFolderThatDoesNotAnswer)
{
    platform::setOpenHook([](const std::string& path) {
        if (path.find("Pad warm") == std::string::npos)
            return;
        ++hungOpens;
        for (int i = 0; i < 600 && !mountBack; ++i)
            QThread::msleep(50);
    });
    QElapsedTimer closing;
    {
        LibraryIndexer::Options o;
        o.openStore = opener();
        o.measure = false;
        o.watch = false;
        LibraryIndexer indexer(o);
        indexer.start();
        for (int i = 0; i < 200 && hungOpens == 0; ++i)
            QThread::msleep(50);
        ASSERT_GT(hungOpens.load(), 0);
        closing.start();
    }
    EXPECT_LT(closing.elapsed(), 15000);
    // The mount answers again: the thread left behind ends, and is gone with the events that follow.
    mountBack = true;
    platform::setOpenHook(nullptr);
    QTest::qWait(500);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

INSTANTIATE_TEST_SUITE_P(Stores, LibraryIndex, ::testing::Values(Store::Sqlite, Store::Postgres),
                         [](const auto& info) { return info.param == Store::Sqlite ? "Sqlite" : "Postgres"; });

} // namespace
