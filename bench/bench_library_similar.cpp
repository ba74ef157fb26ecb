// SPDX-License-Identifier: GPL-3.0-or-later
// "More like this" over a library of 200,000 sounds: the features of varied generated sounds (twelve
// kinds, measured as the library measures them), each drawn again and again with a little jitter.
// Exact search must answer within 50 ms a query (median and 95th percentile printed); the approximate
// index of larger libraries is timed against it in the same run, with its recall of the exact ten
// nearest (at least 0.95), and what building either costs. Then the same library in the store: its
// first search, which reads every file's features, and the next ones with their rows.
// Sizes: TONFOLIO_BENCH_SOUNDS (200,000), TONFOLIO_BENCH_QUERIES (200).
#include "bench/benchlibrary.h"
#include "library/similarityindex.h"
#include "library/soundmeasurer.h"
#include "library/sqlitelibrarystore.h"
#include "tests/library/soundkinds.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using library::SimilarityIndex;
using library::SoundFeatures;

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double percentile(std::vector<double> v, double share)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(share * double(v.size())))];
}

/// The features of a few variants of every kind, as measuring their files would give them.
std::vector<SoundFeatures> measuredSounds(int variants)
{
    std::vector<SoundFeatures> out;
    for (int k = 0; k < labelled::kSoundKinds; ++k)
        for (int v = 0; v < variants; ++v) {
            const labelled::Sound s = labelled::renderKind(labelled::SoundKind(k), v);
            const auto m = library::measureSound(s.samples.data(), s.frames(), {s.rate, s.channels, 0});
            if (m.features)
                out.push_back(*m.features);
        }
    return out;
}

/// `count` sounds, each a measured one with every feature moved by a fraction of its spread.
std::vector<SoundFeatures> jittered(const std::vector<SoundFeatures>& measured, std::size_t count, std::mt19937& rng)
{
    SoundFeatures spread{};
    for (std::size_t f = 0; f < library::soundFeatureCount; ++f) {
        double sum = 0, squares = 0, n = 0;
        for (const SoundFeatures& s : measured)
            if (std::isfinite(s[f])) {
                sum += s[f];
                squares += double(s[f]) * s[f];
                ++n;
            }
        spread[f] = n > 1 ? float(std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)))) : 0.f;
    }
    std::normal_distribution<float> jitter(0, 0.15f);
    std::vector<SoundFeatures> out(count);
    for (SoundFeatures& s : out) {
        s = measured[rng() % measured.size()];
        for (std::size_t f = 0; f < library::soundFeatureCount; ++f)
            s[f] += jitter(rng) * spread[f]; // NaN stays NaN: a noise stays without a note
    }
    return out;
}

struct Timing {
    std::vector<double> ms;
    std::vector<std::vector<SimilarityIndex::Hit>> found;
};

Timing search(const SimilarityIndex& index, const std::vector<SoundFeatures>& queries, bool exact)
{
    Timing t;
    for (const SoundFeatures& q : queries) {
        const auto t0 = Clock::now();
        t.found.push_back(index.nearest(q, {}, 10, nullptr, exact));
        t.ms.push_back(msSince(t0));
    }
    return t;
}

/// A library in the store with these features, files in folders of a hundred, as pass two leaves it.
void fill(library::SqliteLibraryStore& store, const std::vector<SoundFeatures>& features)
{
    const library::RootId root = *store.addRoot("/sounds", "/");
    std::vector<library::FolderWrite> batch;
    for (std::size_t i = 0; i < features.size(); i += 100) {
        library::FolderWrite w;
        w.path = "Pack " + std::to_string(i / 100);
        w.modified = 1;
        for (std::size_t k = i; k < std::min(features.size(), i + 100); ++k) {
            library::FileRecord f;
            f.name = "Sound " + std::to_string(k) + ".wav";
            f.size = 1000;
            f.modified = 1;
            w.upserts.push_back(std::move(f));
        }
        batch.push_back(std::move(w));
        if (batch.size() == 200 || i + 100 >= features.size()) {
            store.writeFolders(root, batch);
            batch.clear();
        }
    }
    library::FileId after = 0;
    std::size_t next = 0;
    for (std::vector<library::Unmeasured> files; !(files = store.unmeasured(after, 5000)).empty();) {
        std::vector<library::MeasuredFile> measured;
        for (const library::Unmeasured& u : files) {
            library::MeasuredFile m{u.id, u.size, u.modified, {}};
            m.measures.features = features[next++ % features.size()];
            measured.push_back(m);
            after = u.id;
        }
        store.putMeasures(measured);
    }
}

} // namespace

int main()
{
    const auto sounds = std::size_t(sizeFromEnvironment("TONFOLIO_BENCH_SOUNDS", 200000));
    const auto queryCount = std::size_t(sizeFromEnvironment("TONFOLIO_BENCH_QUERIES", 200));
    std::mt19937 rng(29);
    auto t0 = Clock::now();
    const std::vector<SoundFeatures> measured = measuredSounds(16);
    std::printf("%zu generated sounds measured in %.1f s\n", measured.size(), msSince(t0) / 1000);
    const std::vector<SoundFeatures> library = jittered(measured, sounds, rng);
    const std::vector<SoundFeatures> queries = jittered(measured, queryCount, rng);
    std::vector<SimilarityIndex::Id> ids(library.size());
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = SimilarityIndex::Id(i + 1);

    t0 = Clock::now();
    {
        const SimilarityIndex scaledOnly(ids, library, SIZE_MAX);
    }
    const double scaling = msSince(t0);
    t0 = Clock::now();
    const SimilarityIndex index(ids, library, 0); // with the approximate index whatever the size
    std::printf("%zu sounds (%zu bytes of features each): scaled for exact search in %.2f s, with the "
                "approximate index in %.1f s\n",
                library.size(), sizeof(SoundFeatures), scaling / 1000, msSince(t0) / 1000);
    const Timing exact = search(index, queries, true);
    const Timing approximate = search(index, queries, false);
    std::size_t agreed = 0, asked = 0;
    for (std::size_t q = 0; q < queries.size(); ++q) {
        std::set<SimilarityIndex::Id> truth;
        for (const auto& hit : exact.found[q])
            truth.insert(hit.id);
        for (const auto& hit : approximate.found[q])
            agreed += truth.count(hit.id);
        asked += truth.size();
    }
    const double exactMedian = percentile(exact.ms, 0.5), approximateMedian = percentile(approximate.ms, 0.5);
    std::printf("exact search:       median %6.2f ms, p95 %6.2f ms per query (limit 50 ms) %s\n", exactMedian,
                percentile(exact.ms, 0.95), percentile(exact.ms, 0.95) <= 50 ? "ok" : "TOO SLOW");
    std::printf("approximate search: median %6.2f ms, p95 %6.2f ms per query: %.1fx faster than exact\n",
                approximateMedian, percentile(approximate.ms, 0.95), exactMedian / approximateMedian);
    const double recall = double(agreed) / double(asked);
    std::printf("approximate recall@10 against exact: %.3f (at least 0.95) %s\n", recall,
                recall >= 0.95 ? "ok" : "TOO LOW");

    // The same through the store: the first search reads every file's features, the others find the
    // nearest and read their rows.
    QTemporaryDir dir;
    library::SqliteLibraryStore store(dir.path().toStdString() + "/library.sqlite");
    t0 = Clock::now();
    fill(store, library);
    std::printf("store of %zu measured files made in %.1f s (%.1f MB)\n", library.size(), msSince(t0) / 1000,
                double(QFileInfo(dir.path() + "/library.sqlite").size()) / 1e6);
    std::vector<double> ms;
    for (const SoundFeatures& q : queries) {
        t0 = Clock::now();
        const library::SearchResult found = store.similar(q, {}, {}, 100);
        ms.push_back(msSince(t0));
        if (found.rows.size() != 100)
            std::printf("store search found %zu rows\n", found.rows.size());
    }
    const double first = ms.front();
    ms.erase(ms.begin());
    std::printf("store search of 100 rows: first %.0f ms (reads the features), then median %.2f ms, p95 %.2f ms "
                "(limit 50 ms) %s\n",
                first, percentile(ms, 0.5), percentile(ms, 0.95), percentile(ms, 0.95) <= 50 ? "ok" : "TOO SLOW");
    return 0;
}
