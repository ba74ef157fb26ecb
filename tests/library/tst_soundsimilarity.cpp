// SPDX-License-Identifier: GPL-3.0-or-later
// Sounds alike over a library of generated sounds of known kinds, indexed and measured by the real
// program: most of each sound's ten nearest are of its kind, a copy at another gain or rate comes
// right after the sound itself, a scope keeps to its files, and --like prints the nearest.
#include "library/postgreslibrarystore.h"
#include "library/resampler.h"
#include "library/sqlitelibrarystore.h"
#include "soundkinds.h"
#include "support/pgdatabase.h"
#include "support/tempdrive.h"

#include <QProcess>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

using namespace library;
using labelled::SoundKind;

constexpr int kVariants = 12;

/// A 16-bit PCM wave of interleaved frames.
std::string waveBytes(const labelled::Sound& s)
{
    const auto dataSize = unsigned(s.samples.size() * 2);
    std::string out = "RIFF";
    auto put = [&](unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(char((v >> (8 * i)) & 0xFF));
    };
    put(36 + dataSize, 4);
    out += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(unsigned(s.channels), 2);
    put(unsigned(s.rate), 4);
    put(unsigned(s.rate * s.channels * 2), 4);
    put(unsigned(s.channels * 2), 2);
    put(16, 2);
    out += "data";
    put(dataSize, 4);
    for (float v : s.samples)
        put(unsigned(short(std::lround(std::clamp(double(v), -1.0, 1.0) * 32767))) & 0xFFFF, 2);
    return out;
}

labelled::Sound atGain(labelled::Sound s, double db)
{
    for (float& v : s.samples)
        v = float(v * std::pow(10.0, db / 20));
    return s;
}

labelled::Sound atRate(const labelled::Sound& s, int rate)
{
    Resampler resampler(s.rate, rate, Resampler::Quality::Measure);
    labelled::Sound out;
    out.rate = rate;
    out.channels = 1;
    resampler.process(s.samples.data(), s.samples.size(), out.samples);
    resampler.finish(out.samples);
    return out;
}

class SoundSimilarity : public ::testing::Test {
protected:
    /// The library is made and measured once, by the program, for every test here.
    static void SetUpTestSuite()
    {
        // The same suite on a shared library (a ctest entry of its own sets TONFOLIO_TEST_STORE).
        if (qEnvironmentVariable("TONFOLIO_TEST_STORE") == "postgres") {
            pg = new testing_support::PgDatabase;
            if (pg->url().empty())
                return;
        }
        drive = new testing_support::TempDrive;
        for (int k = 0; k < labelled::kSoundKinds; ++k) {
            const std::string kind = labelled::soundKindName(SoundKind(k));
            for (int v = 0; v < kVariants; ++v)
                drive->write("lib/" + kind + "/" + kind + " " + std::to_string(v) + ".wav",
                             waveBytes(labelled::renderKind(SoundKind(k), v)));
            // The first variant again, 12 dB quieter and at 48 kHz.
            const labelled::Sound first = labelled::renderKind(SoundKind(k), 0);
            drive->write("lib/" + kind + "/" + kind + " 0 quiet.wav", waveBytes(atGain(first, -12)));
            drive->write("lib/" + kind + "/" + kind + " 0 48k.wav", waveBytes(atRate(first, 48000)));
        }
        ASSERT_EQ(run({"--add-library", lib()}), 0);
        ASSERT_EQ(run({"--index"}), 0);
    }
    static void TearDownTestSuite()
    {
        delete drive;
        drive = nullptr;
        delete pg;
        pg = nullptr;
    }
    void SetUp() override
    {
        if (!drive)
            GTEST_SKIP() << "no PostgreSQL server for the shared library: TONFOLIO_TEST_PG_URL is not set";
        if (pg)
            store = std::make_unique<PostgresLibraryStore>(pg->url());
        else
            store = std::make_unique<SqliteLibraryStore>(drive->native("data/tonfolio/library.sqlite"));
    }

    static QString lib() { return QString::fromStdString(drive->native("lib")); }
    static int run(const QStringList& args, QString* out = nullptr)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", QString::fromStdString(drive->native("data")));
        env.insert("XDG_CACHE_HOME", QString::fromStdString(drive->native("cache")));
        if (pg)
            env.insert("TONFOLIO_LIBRARY_URL", QString::fromStdString(pg->url()));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("TONFOLIO_BINARY_DIR") + "/tonfolio", args);
        EXPECT_TRUE(p.waitForFinished(300000)) << args.join(' ').toStdString();
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        if (p.exitCode() != 0)
            std::fprintf(stderr, "%s\n", p.readAllStandardError().constData());
        return p.exitCode();
    }
    /// The kind a file of the library is of: its folder.
    static std::string kindOf(const SearchRow& r) { return r.folder; }

    std::unique_ptr<LibraryStore> store;
    static testing_support::TempDrive* drive;
    static testing_support::PgDatabase* pg;
};

testing_support::TempDrive* SoundSimilarity::drive = nullptr;
testing_support::PgDatabase* SoundSimilarity::pg = nullptr;

TEST_F(SoundSimilarity, NearestAreOfTheSameKindAndCopiesComeFirst)
{
    const SearchResult all = store->search({}, {}, 10000);
    ASSERT_EQ(all.rows.size(), std::size_t(labelled::kSoundKinds * (kVariants + 2)));
    std::map<std::string, std::pair<int, int>> perKind; // same kind among the ten nearest, of how many
    int queries = 0, same = 0;
    for (const SearchRow& q : all.rows) {
        const auto like = store->featuresOf(q.id);
        ASSERT_TRUE(like) << q.path();
        const bool copy = q.name.find(" 0") != std::string::npos;
        const SearchResult near = store->similar(*like, {}, {}, 13);
        ASSERT_FALSE(near.failed);
        EXPECT_EQ(near.rows.front().id, q.id) << q.path(); // itself first
        EXPECT_NEAR(*near.rows.front().similarity, 1.0, 1e-6);
        if (copy) { // the original and its two copies, before anything else
            std::set<std::string> firstThree;
            for (int i = 0; i < 3; ++i)
                firstThree.insert(near.rows[std::size_t(i)].name);
            const std::string kind = kindOf(q);
            EXPECT_EQ(firstThree, (std::set<std::string>{kind + " 0.wav", kind + " 0 quiet.wav", kind + " 0 48k.wav"}))
                << q.path();
            continue; // the copies would flatter the figures
        }
        int hits = 0, looked = 0;
        for (const SearchRow& r : near.rows) {
            if (r.id == q.id || r.name.find(" 0 ") != std::string::npos)
                continue;
            if (looked == 10)
                break;
            ++looked;
            hits += kindOf(r) == kindOf(q);
        }
        perKind[kindOf(q)].first += hits;
        perKind[kindOf(q)].second += looked;
        same += hits;
        queries += 10;
    }
    for (const auto& [kind, counts] : perKind)
        std::printf("precision@10 %-7s %.2f\n", kind.c_str(), double(counts.first) / counts.second);
    const double precision = double(same) / queries;
    std::printf("precision@10 over %d queries: %.3f\n", queries / 10, precision);
    EXPECT_GE(precision, 0.9);
}

TEST_F(SoundSimilarity, ScopesWeightsAndTheCommandLine)
{
    const std::string kick = drive->native("lib/kick/kick 3.wav");
    const auto id = store->fileAt(kick);
    ASSERT_TRUE(id);
    const SoundFeatures like = *store->featuresOf(*id);
    // Only the files of the folder on screen, or of a search.
    SearchQuery folder;
    folder.folder = drive->native("lib/snare");
    SearchResult near = store->similar(like, {}, folder, 100);
    EXPECT_EQ(near.rows.size(), std::size_t(kVariants + 2));
    for (const SearchRow& r : near.rows)
        EXPECT_EQ(r.folder, "snare");
    near = store->similar(like, {}, SearchQuery::parse("clap 1"), 100);
    EXPECT_EQ(near.rows.size(), 3u); // clap 1, clap 10, clap 11
    // Pitch alone: the nearest tones are at about the note of the one searched by.
    const auto sine = store->fileAt(drive->native("lib/sine/sine 5.wav"));
    const double note = store->measures(*sine)->pitch;
    near = store->similar(*store->featuresOf(*sine), {0, 1, 0}, {}, 4);
    for (const SearchRow& r : near.rows)
        EXPECT_NEAR(r.measures->pitch, note, 1.0) << r.path();

    // The command line: a file of the library, one outside it, and files that are no sound.
    QString out;
    EXPECT_EQ(run({"--like", QString::fromStdString(kick)}, &out), 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 20) << out.toStdString();
    EXPECT_EQ(lines.front(), "0.0000\t" + QString::fromStdString(kick));
    for (const QString& line : lines.mid(0, 5))
        EXPECT_TRUE(line.contains("/kick/")) << out.toStdString();
    drive->write("elsewhere/new kick.wav", waveBytes(labelled::renderKind(SoundKind::Kick, 40)));
    EXPECT_EQ(run({"--like", QString::fromStdString(drive->native("elsewhere/new kick.wav")), "--json"}, &out), 0);
    EXPECT_TRUE(out.startsWith("{") && out.section('\n', 0, 0).contains("/kick/") &&
                out.section('\n', 0, 0).contains("\"distance\":"))
        << out.toStdString();
    drive->write("elsewhere/notes.wav", "not a wave");
    for (const char* bad : {"elsewhere/notes.wav", "elsewhere/nothing.wav"}) {
        EXPECT_EQ(run({"--like", QString::fromStdString(drive->native(bad))}, &out), 1) << bad;
        EXPECT_TRUE(out.isEmpty());
    }
}

} // namespace
