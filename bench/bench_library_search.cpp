// SPDX-License-Identifier: GPL-3.0-or-later
// Search while typing over a library of 1,000,000 files (made here, straight into the store: the files
// need not exist): every keystroke of a word, of two words the last of them half typed, and of a word
// with a tempo range is one search for the first 1,000 rows. The 95th percentile of a keystroke must
// stay within 50 ms; the baseline of the same run is the same keystrokes over the names held in memory
// (what filtering one folder's list does), so the ratio tells what the index is worth at this size.
// Sizes: TONFOLIO_BENCH_FILES (1,000,000), TONFOLIO_BENCH_ROUNDS (3). With TONFOLIO_TEST_PG_URL (the
// private server of scripts/postgres.sh) the same runs against a shared library on that local server.
#include "bench/benchlibrary.h"
#include "library/postgreslibrarystore.h"
#include "library/searchquery.h"
#include "library/sqlitelibrarystore.h"
#include "platform/database/pgconnection.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}


/// Fills the store: files in folders of ten, every other one measured. Returns the names, for the baseline.
std::vector<std::string> fill(library::LibraryStore& store, const std::string& rootPath, long files)
{
    std::mt19937 rng(11);
    const library::RootId root = *store.addRoot(rootPath, "/");
    std::vector<std::string> names;
    names.reserve(size_t(files));
    std::vector<library::FolderWrite> batch;
    const long perFolder = 10;
    for (long folder = 0; folder * perFolder < files; ++folder) {
        library::FolderWrite w;
        char path[128];
        std::snprintf(path, sizeof path, "Pack %04ld %s/%s %s", folder / 50, kMoods[(folder / 50) % 16],
                      kKinds[rng() % 18], kMoods[rng() % 16]);
        w.path = std::string(path) + " " + std::to_string(folder);
        w.parentPath = path;
        w.parentPath.resize(w.parentPath.find('/'));
        w.modified = 1;
        for (long i = 0; i < perFolder && folder * perFolder + i < files; ++i) {
            library::FileRecord f;
            char name[96];
            std::snprintf(name, sizeof name, "%s_%s_%s_%03ld.wav", kKinds[rng() % 18], kMoods[rng() % 16],
                          kMoods[rng() % 16], long(rng() % 1000));
            f.name = name;
            f.size = 100000 + long(rng() % 1000000);
            f.modified = 1700000000000000000LL + long(rng() % 1000000);
            f.header.read = true;
            f.header.formatTag = 1;
            f.header.channels = 2;
            f.header.bits = 24;
            f.header.rate = 48000;
            f.header.seconds = double(f.size) / 288000;
            names.push_back(std::string(w.path) + "/" + name);
            w.upserts.push_back(std::move(f));
        }
        batch.push_back(std::move(w));
        if (batch.size() == 500) {
            store.writeFolders(root, batch);
            batch.clear();
        }
    }
    store.writeFolders(root, batch);
    // The words index, as it is once it has caught up with pass one.
    while (store.indexWords(20000) > 0) {
    }
    // Every other file measured, as pass two leaves a library half way.
    library::FileId after = 0;
    for (;;) {
        const std::vector<library::Unmeasured> next = store.unmeasured(after, 5000);
        if (next.empty())
            break;
        std::vector<library::MeasuredFile> measured;
        for (const library::Unmeasured& u : next) {
            after = u.id;
            if (u.id % 2)
                continue;
            library::MeasuredFile m;
            m.id = u.id;
            m.size = u.size;
            m.modified = u.modified;
            m.measures.loudness = -40 + double(rng() % 3600) / 100;
            m.measures.peak = -20 + double(rng() % 2000) / 100;
            m.measures.tempo = 60 + double(rng() % 12000) / 100;
            m.measures.pitch = 24 + double(rng() % 7200) / 100;
            m.measures.key = library::MusicalKey{int(rng() % 12), rng() % 2 == 0};
            measured.push_back(m);
        }
        store.putMeasures(measured);
    }
    return names;
}

/// The 95th percentile of the times, ms.
double p95(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[std::min(ms.size() - 1, size_t(double(ms.size()) * 0.95))];
}

/// Every keystroke of typed, from the first character.
std::vector<QString> keystrokes(const QString& typed)
{
    std::vector<QString> out;
    for (qsizetype n = 1; n <= typed.size(); ++n)
        out.push_back(typed.left(n));
    return out;
}

/// The folder list's way: every name looked at for every word.
size_t filterInMemory(const std::vector<std::string>& folded, const library::SearchQuery& q)
{
    size_t found = 0;
    for (const std::string& name : folded) {
        bool all = true;
        for (const std::string& w : q.words)
            all = all && name.find(w) != std::string::npos;
        found += all;
        if (found == 1000)
            break;
    }
    return found;
}

} // namespace

/// Types the sessions' keystrokes into the store; whether every p95 kept within its limit.
bool timeTyping(library::LibraryStore& store, const std::vector<std::string>& folded, int rounds);

/// Fills an SQLite library and types into it.
bool timeLocal(const std::string& db, const std::string& rootPath, long files, int rounds);

/// The same over a library on the PostgreSQL server at url, in a database of its own made here.
bool timeShared(const std::string& url, const std::string& rootPath, long files, int rounds)
{
    // TONFOLIO_BENCH_DATABASE: a database kept from an earlier run (TONFOLIO_BENCH_KEEP_DATABASE),
    // typed into as it is, without the names in memory to compare with.
    const char* kept = std::getenv("TONFOLIO_BENCH_DATABASE");
    const std::string name = kept ? kept : "tonfolio_bench_" + std::to_string(::getpid());
    platform::PgConnection admin(url);
    if (!kept && !admin.run(("CREATE DATABASE " + name).c_str())) {
        std::printf("shared library: no database (%s)\n", admin.error().c_str());
        return false;
    }
    const std::string at =
        url.substr(0, url.find("/", url.find("//") + 2) + 1) + name + url.substr(std::min(url.size(), url.find('?')));
    bool ok = false;
    {
        library::PostgresLibraryStore store(at);
        auto t0 = Clock::now();
        std::vector<std::string> folded;
        if (!kept) {
            for (const std::string& n : fill(store, rootPath, files))
                folded.push_back(library::searchFoldedBytes(n));
            platform::PgConnection(at).run("VACUUM ANALYZE");
        }
        std::printf("shared library on the local PostgreSQL server: indexed %ld files in %.1f s\n", files,
                    msSince(t0) / 1000);
        ok = timeTyping(store, folded, rounds);
    }
    if (!kept && !std::getenv("TONFOLIO_BENCH_KEEP_DATABASE"))
        admin.run(("DROP DATABASE " + name + " WITH (FORCE)").c_str());
    return ok;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long files = sizeFromEnvironment("TONFOLIO_BENCH_FILES", 1000000);
    const int rounds = int(sizeFromEnvironment("TONFOLIO_BENCH_ROUNDS", 3));
    QTemporaryDir work(QDir::tempPath() + "/tonfolio-bench-XXXXXX");
    if (!work.isValid())
        return 1;
    const std::string db = work.path().toStdString() + "/library.sqlite";
    bool allOk = true;
    // TONFOLIO_BENCH_SHARED_ONLY: the shared library alone, for work on its queries.
    if (!std::getenv("TONFOLIO_BENCH_SHARED_ONLY"))
        allOk = timeLocal(db, work.path().toStdString(), files, rounds);
    if (const char* url = std::getenv("TONFOLIO_TEST_PG_URL"); url && *url)
        allOk = QDir().mkpath(work.path() + "/shared") &&
                timeShared(url, work.path().toStdString() + "/shared", files, rounds) && allOk;
    return allOk ? 0 : 1;
}

bool timeLocal(const std::string& db, const std::string& rootPath, long files, int rounds)
{
    auto t0 = Clock::now();
    std::vector<std::string> folded;
    {
        library::SqliteLibraryStore store(db);
        for (const std::string& n : fill(store, rootPath, files))
            folded.push_back(library::searchFoldedBytes(n));
    }
    struct stat st {};
    ::stat(db.c_str(), &st);
    std::printf("indexed %ld files in %.1f s; database %.0f bytes per file\n", files, msSince(t0) / 1000,
                double(st.st_size) / double(files));
    library::SqliteLibraryStore store(db);
    return timeTyping(store, folded, rounds);
}

bool timeTyping(library::LibraryStore& store, const std::vector<std::string>& folded, int rounds)
{
    struct Session {
        const char* what;
        std::vector<const char*> typed; ///< one typing per round, taken in turn
    };
    const Session sessions[] = {
        {"a word", {"snare", "vinyl", "impact", "pluck"}},
        {"two words, the last half typed", {"dusty clap ti", "warm pad so", "hard kick cr"}},
        {"a word with a tempo range", {"kick bpm:120-130", "bass bpm:>=90", "loop bpm:85-95"}},
    };
    bool allOk = true;
    for (const Session& session : sessions) {
        std::vector<double> ours, floor;
        for (int round = 0; round < rounds; ++round)
            for (const char* typed : session.typed)
                for (const QString& keys : keystrokes(QString::fromUtf8(typed))) {
                    const library::SearchQuery q = library::SearchQuery::parse(keys);
                    auto k0 = Clock::now();
                    const library::SearchResult r = store.search(q, {}, 1000);
                    ours.push_back(msSince(k0));
                    if (std::getenv("TONFOLIO_BENCH_VERBOSE"))
                        std::printf("  %-20s %7.1f ms, %zu rows\n", qPrintable(keys), ours.back(), r.rows.size());
                    if (r.failed)
                        std::printf("  search failed: %s\n", qPrintable(keys));
                    k0 = Clock::now();
                    filterInMemory(folded, q);
                    floor.push_back(msSince(k0));
                }
        const double mine = p95(ours), base = p95(floor);
        const bool ok = mine <= 50;
        allOk = allOk && ok;
        std::printf("%-32s p95 %6.1f ms per keystroke (limit 50 ms) %s; names in memory %6.1f ms: %.2fx\n",
                    session.what, mine, ok ? "ok" : "SLOWER", base, mine / std::max(base, 0.001));
    }
    // Sorting by a column sorts every match, not the first thousand.
    for (const library::SearchColumn column : {library::SearchColumn::Name, library::SearchColumn::Tempo}) {
        std::vector<double> ms;
        for (const char* typed : {"snare", "kick bpm:120-130"})
            for (const QString& keys : keystrokes(QString::fromUtf8(typed))) {
                const auto k0 = Clock::now();
                store.search(library::SearchQuery::parse(keys), {column, false}, 1000);
                ms.push_back(msSince(k0));
            }
        std::printf("sorted by %-6s p95 %6.1f ms per keystroke\n",
                    column == library::SearchColumn::Name ? "name" : "tempo", p95(ms));
    }
    return allOk;
}
