// SPDX-License-Identifier: GPL-3.0-or-later
// Measuring a folder (loudness, peak, tempo, pitch, key) on one thread and on every core, against
// bs1770gain (integrated loudness and sample peak only) over the same files. Targets: at least 2x the files per
// second of bs1770gain with every core, and the speed-up from one thread to two printed.
// 200 files of 1 to 10 s and 20 of 3 to 5 minutes; "quick" as the first argument makes 40 and 2.
#include "benchdrive.h"
#include "benchwave.h"
#include "library/soundanalyser.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sndfile.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using library::SoundAnalyser;

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

/// Processor seconds (user and system) spent so far by this process or by its ended children.
double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

/// A loop of some seconds: a bass tone, a kick on every beat and a little noise, written in blocks so
/// that minutes of it take little memory.
void writeLoop(const std::string& path, double seconds, int channels, unsigned seed)
{
    constexpr int kRate = 44100;
    SNDFILE* f = createWave16(path, kRate, channels);
    if (!f)
        return;
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    const double hz = 55.0 * (1 + seed % 5);
    const long beat = long(kRate * 60 / (90 + seed % 60));
    const long frames = long(seconds * kRate);
    std::vector<float> block;
    for (long start = 0; start < frames; start += 65536) {
        const long n = std::min(65536L, frames - start);
        block.assign(size_t(n) * size_t(channels), 0.f);
        for (long i = 0; i < n; ++i) {
            const long at = start + i, since = at % beat;
            const float kick =
                since < 4000 ? 0.6f * float(std::sin(2 * M_PI * 60 * since / kRate)) * float(1 - since / 4000.0) : 0.f;
            const float v = 0.25f * float(std::sin(2 * M_PI * hz * double(at) / kRate)) + kick + noise(random);
            for (int c = 0; c < channels; ++c)
                block[size_t(i) * size_t(channels) + size_t(c)] = v;
        }
        sf_writef_float(f, block.data(), n);
    }
    sf_close(f);
}

/// Seconds the analyser takes over every file, from an empty cache, with this many threads.
double measureAll(const std::vector<std::string>& drivePaths, const std::string& cacheFile, int threads,
                  double* cpu = nullptr)
{
    std::remove(cacheFile.c_str());
    SoundAnalyser analyser(nullptr, cacheFile, threads);
    QEventLoop loop;
    size_t results = 0;
    QObject::connect(&analyser, &SoundAnalyser::measured,
                     [&](quint64, const std::vector<SoundAnalyser::Result>& r) { results += r.size(); });
    QObject::connect(&analyser, &SoundAnalyser::finished, &loop, &QEventLoop::quit);
    const auto t0 = Clock::now();
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    analyser.setFiles(1, drivePaths);
    loop.exec();
    const double took = secondsSince(t0);
    if (cpu)
        *cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    if (results != drivePaths.size())
        std::printf("  (only %zu of %zu files measured)\n", results, drivePaths.size());
    return took;
}

/// Seconds bs1770gain takes for the integrated loudness and sample peak of every file in the folder;
/// negative when it cannot be run or reports an error. (Its true peak, -t, fails in Debian 12's build:
/// its resampler stops at the first frame, which makes it look fast.) It runs at the priority of the analyser's threads, so that other work on the
/// machine weighs on both alike.
double bs1770gainAll(const QString& folder, double* cpu = nullptr)
{
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const auto t0 = Clock::now();
    p.start("nice", {"-n", "10", "bs1770gain", "-i", "-p", folder});
    if (!p.waitForStarted(5000))
        return -1;
    // Its report is read as it comes, or a full pipe would stall it.
    QByteArray report;
    while (!p.waitForFinished(1000))
        report += p.readAll();
    report += p.readAll();
    const double took = secondsSince(t0);
    if (cpu)
        *cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    if (report.contains("Error:"))
        std::printf("bs1770gain reported errors: %s\n", report.left(300).constData());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && !report.contains("Error:") ? took : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "quick") == 0;
    const int shortCount = quick ? 40 : 200, longCount = quick ? 2 : 20;
    QTemporaryDir root;
    useAsOnlyDrive(root.path().toStdString());
    const QString folder = root.path() + "/sounds";
    QDir().mkpath(folder);
    std::vector<std::string> drivePaths;
    double seconds = 0;
    for (int i = 0; i < shortCount + longCount; ++i) {
        const bool isLong = i >= shortCount;
        const double s = isLong ? 180.0 + 120.0 * (i - shortCount) / std::max(1, longCount - 1)
                                : 1.0 + 9.0 * double((i * 7919) % shortCount) / std::max(1, shortCount - 1);
        const std::string name = "s" + std::to_string(i) + ".wav";
        writeLoop(folder.toStdString() + "/" + name, s, i % 3 == 0 ? 1 : 2, unsigned(i));
        drivePaths.push_back("C:\\sounds\\" + name);
        seconds += s;
    }
    const int files = int(drivePaths.size());
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    std::printf("%d files (%d of 1-10 s, %d of 3-5 min), %.0f s of sound; %d cores\n", files, shortCount, longCount,
                seconds, cores);
    const std::string cacheFile = root.path().toStdString() + "/cache.sqlite";
    // The files are read once before any timing, so that every contender finds them in memory.
    bs1770gainAll(folder);
    double baselineCpu = 0, oneCpu = 0, twoCpu = 0;
    const double baseline = bs1770gainAll(folder, &baselineCpu);
    const double one = measureAll(drivePaths, cacheFile, 1, &oneCpu);
    const double two = measureAll(drivePaths, cacheFile, 2, &twoCpu);
    const double all = cores == 2 ? two : measureAll(drivePaths, cacheFile, cores);
    std::printf("measures, 1 thread:   %7.2f files/s (%.1f s)\n", files / one, one);
    std::printf("measures, 2 threads:  %7.2f files/s (%.1f s); speed-up from 1 to 2 threads %.2f\n", files / two, two,
                one / two);
    if (cores != 2)
        std::printf("measures, %d threads: %7.2f files/s (%.1f s)\n", cores, files / all, all);
    if (baseline <= 0) {
        std::printf("bs1770gain could not be run: no ratio\n");
        return 0;
    }
    std::printf("bs1770gain -i -p:     %7.2f files/s (%.1f s)\n", files / baseline, baseline);
    std::printf("ratio of files/s, measures on %d threads to bs1770gain: %.2f (target >= 2.0)\n", cores,
                baseline / all);
    // Other work on the machine stretches the wall-clock figures; processor time it bends far less.
    std::printf("processor time: measures %.1f s on 1 thread (%.1f s on 2), bs1770gain %.1f s; ratio of files per "
                "processor second %.2f\n",
                oneCpu, twoCpu, baselineCpu, baselineCpu / std::max(oneCpu, 1e-9));
    return 0;
}
