// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform overview of a 500 MB 16-bit stereo wave, with the page cache cold (evicted with
// posix_fadvise) and warm, against decoding the same file with libsndfile to nothing in the same
// run; the longest gap in the window's event loop while the strip computes; and the memory the
// envelope of a file takes, for a long and a short file.
#include "browser/WaveformStrip.h"
#include "platform/files/drives.h"
#include "library/wavepeaks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sndfile.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t kDataBytes = 500LL * 1000 * 1000;
constexpr int kRounds = 3;

void put(std::string& s, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(char((v >> (8 * i)) & 0xFF));
}

/// A 16-bit stereo 44.1 kHz wave of `dataBytes` of a wandering tone, written a megabyte at a time.
bool writeWave(const std::string& path, std::int64_t dataBytes)
{
    std::string header = "RIFF";
    put(header, std::uint32_t(36 + dataBytes), 4);
    header += "WAVEfmt ";
    put(header, 16, 4);
    put(header, 1, 2);
    put(header, 2, 2);
    put(header, 44100, 4);
    put(header, 44100 * 4, 4);
    put(header, 4, 2);
    put(header, 16, 2);
    header += "data";
    put(header, std::uint32_t(dataBytes), 4);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, header.data(), header.size()) == ssize_t(header.size());
    // One second of the two tones repeats exactly; its loudness changes from second to second.
    std::vector<float> second(44100 * 2);
    for (std::size_t f = 0; f < 44100; ++f) {
        second[2 * f] = float(32000 * std::sin(2 * M_PI * 220 * f / 44100.0));
        second[2 * f + 1] = float(20000 * std::sin(2 * M_PI * 330 * f / 44100.0));
    }
    std::vector<std::int16_t> block(second.size());
    for (std::int64_t written = 0, s = 0; ok && written < dataBytes; ++s) {
        const float amp = float(0.5 + 0.45 * std::sin(s * 0.7));
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = std::int16_t(amp * second[i]);
        const std::size_t n = std::size_t(std::min<std::int64_t>(dataBytes - written, block.size() * 2));
        ok = ::write(fd, block.data(), n) == ssize_t(n);
        written += std::int64_t(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    return ok;
}

void evict(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double seconds(const std::chrono::steady_clock::time_point& since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// Processor time of the calling thread: on a shared, busy machine it says what the work costs
/// when wall time says mostly how long the thread waited for a processor.
double threadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

/// Wall and processor seconds of one pass, each the best of the passes so far.
struct Best {
    double wall = 1e30, cpu = 1e30;
    template <typename F> void run(F&& pass)
    {
        const double cpu0 = threadSeconds();
        const double w = pass();
        if (w < 0)
            return;
        wall = std::min(wall, w);
        cpu = std::min(cpu, threadSeconds() - cpu0);
    }
};

/// libsndfile's own decoding of every frame to float, the same conversion the player needs.
double decodeWithSndfile(const std::string& native)
{
    const auto t0 = std::chrono::steady_clock::now();
    SF_INFO info{};
    SNDFILE* f = sf_open(native.c_str(), SFM_READ, &info);
    if (!f)
        return -1;
    std::vector<float> buffer(16384 * std::size_t(info.channels));
    while (sf_readf_float(f, buffer.data(), 16384) > 0) {
    }
    sf_close(f);
    return seconds(t0);
}

double computePeaks(const std::string& drivePath)
{
    const auto t0 = std::chrono::steady_clock::now();
    auto scanner = library::WavePeakScanner::open(drivePath);
    std::atomic<bool> cancel{false};
    if (!scanner || !scanner->run(cancel))
        return -1;
    return seconds(t0);
}

std::size_t envelopeBytes(const library::WavePeaks& peaks)
{
    return sizeof peaks + std::size_t(peaks.bands()) * std::size_t(peaks.bins()) * sizeof(library::PeakBin);
}

/// Shows the strip for the file and measures the longest stretch the event loop spends away from a
/// 1 ms timer until the picture is complete; without a file, for a while of doing nothing, which
/// tells what the machine's own load gives.
double longestEventLoopGapMs(const std::string& drivePath, double* computeSeconds)
{
    const bool idle = drivePath.empty();
    WaveformStrip strip;
    strip.resize(1600, 200);
    strip.show();
    // The strip's first appearance (fonts, backing store) is not part of computing.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QElapsedTimer clock;
    double longest = 0, last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        longest = std::max(longest, now - last);
        last = now;
        if (idle ? now > *computeSeconds * 1000 : strip.loader()->state() != library::WavePeaksLoader::State::Loading)
            QApplication::quit();
    });
    clock.start();
    tick.start();
    strip.showFile(drivePath);
    QApplication::exec();
    *computeSeconds = clock.nsecsElapsed() / 1e9;
    return longest;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::string root = (std::filesystem::temp_directory_path() / "tonfolio-bench-waveform-XXXXXX").string();
    if (!::mkdtemp(root.data())) {
        std::perror("mkdtemp");
        return 0;
    }
    const std::string native = root + "/long.wav";
    if (!writeWave(native, kDataBytes) || !writeWave(root + "/short.wav", 44100 * 4)) {
        std::printf("cannot write the test files in %s\n", root.c_str());
        std::filesystem::remove_all(root);
        return 0;
    }
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = root;
    platform::setDriveTable({c});
    const std::string drivePath = "C:\\long.wav";

    // Cold and warm passes of both alternate, so that a change of the machine's load hits them alike.
    Best coldBase, coldPeaks, warmBase, warmPeaks;
    const auto sndfilePass = [&] { return decodeWithSndfile(native); };
    const auto peaksPass = [&] { return computePeaks(drivePath); };
    for (int r = 0; r < kRounds; ++r) {
        evict(native);
        coldBase.run(sndfilePass);
        evict(native);
        coldPeaks.run(peaksPass);
        decodeWithSndfile(native);
        warmBase.run(sndfilePass);
        warmPeaks.run(peaksPass);
    }
    double stripSeconds = 0;
    const double gapMs = longestEventLoopGapMs(drivePath, &stripSeconds);
    double idleSeconds = stripSeconds;
    const double idleGapMs = longestEventLoopGapMs(std::string(), &idleSeconds);

    auto longScan = library::WavePeakScanner::open(drivePath);
    auto shortScan = library::WavePeakScanner::open("C:\\short.wav");
    const std::size_t fixedBound =
        sizeof(library::WavePeaks) + 2 * library::WavePeaks::kMaxBins * sizeof(library::PeakBin);

    std::printf("file %.0f MB, 16-bit stereo, best of %d rounds\n", kDataBytes / 1e6, kRounds);
    std::printf("cold: libsndfile %.3f s (%.3f s processor), overview %.3f s (%.3f s processor)\n", coldBase.wall,
                coldBase.cpu, coldPeaks.wall, coldPeaks.cpu);
    std::printf("warm: libsndfile %.3f s (%.3f s processor), overview %.3f s (%.3f s processor)\n", warmBase.wall,
                warmBase.cpu, warmPeaks.wall, warmPeaks.cpu);
    std::printf("ratio cold %.2f against libsndfile (target <= 1.3), processor time %.2f\n",
                coldPeaks.wall / coldBase.wall, coldPeaks.cpu / coldBase.cpu);
    std::printf("ratio warm %.2f against libsndfile (target <= 1.3), processor time %.2f\n",
                warmPeaks.wall / warmBase.wall, warmPeaks.cpu / warmBase.cpu);
    std::printf("event loop: longest gap %.1f ms while the strip computed for %.2f s (target < 16)\n", gapMs,
                stripSeconds);
    std::printf("event loop: longest gap %.1f ms doing nothing for as long (the machine's own load)\n", idleGapMs);
    if (longScan && shortScan)
        std::printf("envelope memory: %zu bytes for %.0f s, %zu bytes for %.0f s (fixed bound %zu)\n",
                    envelopeBytes(*longScan->peaks()), longScan->peaks()->seconds(), envelopeBytes(*shortScan->peaks()),
                    shortScan->peaks()->seconds(), fixedBound);

    longScan.reset();
    shortScan.reset();
    platform::useSystemDrives();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
