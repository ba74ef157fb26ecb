// SPDX-License-Identifier: GPL-3.0-or-later
// The command line run as a user would, on a generated tree: two indexers at once, the searches'
// output, against the local SQLite library and a shared one on the private PostgreSQL server.
#include "library/libraryindexfixture.h"

namespace {

TEST_P(LibraryIndex, CommandLineOnAGeneratedTree)
{
    for (int i = 0; i < 30; ++i)
        drive.write("lib/Pack " + std::string(1, char('X' + i % 3)) + "/Hat " + std::to_string(i) + ".wav",
                    makeWav(1, 44100, 16, 22050, 440.0 * (1 + i % 4)));
    const QString program = qEnvironmentVariable("TONFOLIO_BINARY_DIR") + "/tonfolio";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString(drive.native("data")));
    env.insert("XDG_CACHE_HOME", QString::fromStdString(drive.native("cache")));
    if (shared())
        env.insert("TONFOLIO_LIBRARY_URL", QString::fromStdString(pg.url()));
    auto run = [&](const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        EXPECT_TRUE(p.waitForFinished(120000)) << args.join(' ').toStdString();
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    };
    const QString lib = QString::fromStdString(drive.native("lib"));
    EXPECT_EQ(run({"--add-library", lib}), 0);
    // Two indexers at once share the database; both finish.
    QProcess other;
    other.setProcessEnvironment(env);
    other.start(program, {"--index", "--no-measures"});
    EXPECT_EQ(run({"--index"}), 0);
    ASSERT_TRUE(other.waitForFinished(120000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    QString out;
    EXPECT_EQ(run({"--find", "hat pack y"}, &out), 0);
    EXPECT_EQ(out.count('\n'), 10) << out.toStdString();
    EXPECT_TRUE(out.startsWith(lib + "/Pack Y/Hat ")) << out.toStdString();
    EXPECT_EQ(run({"--find", "hat pitch:A4", "--json"}, &out), 0);
    EXPECT_EQ(out.count("\"name\":\"Hat "), 8) << out.toStdString();

    // Favourites and tags out to a file and back in, with names a comma-separated file must quote.
    const std::string hostile[] = {"lib/Pack X/a, \"quoted\" b.wav", "lib/Pack X/line\nbreak.wav",
                                   "lib/Pack Y/Hat 1.wav"};
    for (const std::string& name : hostile)
        drive.write(name, makeWav(1, 8000, 16, 10));
    EXPECT_EQ(run({"--index", "--no-measures"}), 0);
    const std::string data = drive.native("data/tonfolio/library.sqlite");
    const auto userStore = [&]() -> std::unique_ptr<LibraryStore> {
        if (shared())
            return std::make_unique<PostgresLibraryStore>(pg.url());
        return std::make_unique<SqliteLibraryStore>(data);
    };
    // An indexer left watching next to the files: a file added there shows in a client's search soon.
    {
        QProcess watcher;
        watcher.setProcessEnvironment(env);
        watcher.start(program, {"--index", "--watch", "--no-measures"});
        QTest::qWait(1000);
        drive.write("lib/Pack Z/Riser late.wav", makeWav(1, 8000, 16, 10));
        const auto client = userStore();
        bool seen = false;
        for (int i = 0; i < 300 && !seen; ++i, QTest::qWait(100))
            seen = !client->search(SearchQuery::parse("riser late"), {}, 10).rows.empty();
        EXPECT_TRUE(seen);
        watcher.terminate();
        EXPECT_TRUE(watcher.waitForFinished(20000));
    }
    std::map<std::string, FileMarks> marked;
    {
        const auto user = userStore();
        for (size_t i = 0; i < std::size(hostile); ++i) {
            const std::string path = drive.native(hostile[i]);
            ASSERT_TRUE(user->setFavourite(path, *platform::fileIdentity(path), i != 1));
            ASSERT_TRUE(
                user->changeTags(path, *platform::fileIdentity(path), {"a,b", "x \"y\"", QString::number(i)}, {}));
            EXPECT_EQ(user->marksOf(path).tags.size(), 4); // a comma parts tags
        }
        for (const MarkedFile& f : user->markedFiles(false))
            marked[f.path] = f.marks;
    }
    const QString csv = QString::fromStdString(drive.native("marks.csv"));
    EXPECT_EQ(run({"--export-tags", csv}), 0);
    EXPECT_EQ(run({"--export-tags", csv}), 1); // a file that is there is kept
    // Another library on another day: one file moved by another program and indexed there.
    store.reset();
    if (shared()) {
        ASSERT_TRUE(pg.recreate());
    }
    std::remove(data.c_str());
    for (const char* suffix : {"-wal", "-shm"})
        std::remove((data + suffix).c_str());
    ASSERT_EQ(::rename(drive.native(hostile[2]).c_str(), drive.native("lib/Pack Y/Hat moved.wav").c_str()), 0);
    EXPECT_EQ(run({"--index", "--no-measures", lib}), 0);
    QFile bad(csv);
    ASSERT_TRUE(bad.open(QIODevice::Append));
    bad.write("/nowhere.wav,1,,\r\nnot a path,1,,\r\n");
    bad.close();
    QProcess import;
    import.setProcessEnvironment(env);
    import.start(program, {"--import-tags", csv});
    ASSERT_TRUE(import.waitForFinished(60000));
    EXPECT_EQ(import.exitCode(), 1);
    const QString told = QString::fromUtf8(import.readAllStandardError());
    EXPECT_TRUE(told.contains("marks.csv:6: no file") && told.contains("marks.csv:7: the path")) << told.toStdString();
    const auto user = userStore();
    marked[drive.native("lib/Pack Y/Hat moved.wav")] = marked[drive.native(hostile[2])];
    marked.erase(drive.native(hostile[2]));
    std::map<std::string, FileMarks> back;
    for (const MarkedFile& f : user->markedFiles(false))
        back[f.path] = f.marks;
    ASSERT_EQ(back.size(), marked.size());
    for (const auto& [path, marks] : marked) {
        EXPECT_EQ(back[path].favourite, marks.favourite) << path;
        EXPECT_EQ(back[path].tags, marks.tags) << path;
    }
    // A damaged database is set aside and made anew; the library folders it held are kept if they can be.
    EXPECT_EQ(run({"--index", QString::fromStdString(drive.native("nowhere"))}), 1);
    if (shared())
        return;
    {
        QFile f(QString::fromStdString(drive.native("data/tonfolio/library.sqlite")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
    for (const char* suffix : {"-wal", "-shm"})
        std::remove(drive.native(std::string("data/tonfolio/library.sqlite") + suffix).c_str());
    EXPECT_EQ(run({"--find", "hat"}, &out), 0);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(drive.native("data/tonfolio/library.sqlite.damaged"))));
}

INSTANTIATE_TEST_SUITE_P(Stores, LibraryIndex, ::testing::Values(Store::Sqlite, Store::Postgres),
                         [](const auto& info) { return info.param == Store::Sqlite ? "Sqlite" : "Postgres"; });

} // namespace
