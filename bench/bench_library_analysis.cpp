// SPDX-License-Identifier: GPL-3.0-or-later
// Measuring sound files (loudness, peak, tempo, pitch) against decoding the same files with libsndfile
// to nothing, cold (files evicted from the page cache) and warm, per file. Target: at most 2x the decode.
// Files of 1 to 10 s, 44.1 kHz 16-bit; the number of files is the first argument (default 200).
#include "benchwave.h"
#include "platform/files/drives.h"
#include "library/soundanalysis.h"

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ebur128.h>
#include <fcntl.h>
#include <random>
#include <sndfile.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

/// A sound of some seconds: a tone with clicks on a beat and a little noise, like a sample of a kit.
void writeSound(const std::string& path, double seconds, int channels, unsigned seed)
{
    SNDFILE* f = createWave16(path, 44100, channels);
    if (!f)
        return;
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    const double hz = 110.0 * (1 + seed % 5);
    const int beat = int(44100 * 60 / (90 + seed % 60));
    const int frames = int(seconds * 44100);
    std::vector<float> buf(size_t(frames) * size_t(channels));
    for (int i = 0; i < frames; ++i) {
        const float click = (i % beat) < 300 ? 0.6f * float(1 - (i % beat) / 300.0) : 0.f;
        const float v = 0.3f * float(std::sin(2 * M_PI * hz * i / 44100)) + click + noise(random);
        for (int c = 0; c < channels; ++c)
            buf[size_t(i) * size_t(channels) + size_t(c)] = v;
    }
    sf_writef_float(f, buf.data(), frames);
    sf_close(f);
}

void evict(const std::vector<std::string>& files)
{
    ::sync();
    for (const auto& p : files) {
        const int fd = ::open(p.c_str(), O_RDONLY);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

/// Decodes every file with libsndfile to nothing; with loudness, each block also feeds libebur128 alone:
/// what the loudness measure costs at the least.
double decodeAll(const std::vector<std::string>& files, bool loudness = false)
{
    std::vector<float> buf(4096 * 2);
    const auto t0 = Clock::now();
    for (const auto& p : files) {
        SF_INFO info{};
        SNDFILE* f = sf_open(p.c_str(), SFM_READ, &info);
        if (!f)
            continue;
        ebur128_state* state =
            loudness ? ebur128_init(unsigned(info.channels), unsigned(info.samplerate), EBUR128_MODE_I) : nullptr;
        const sf_count_t chunk = sf_count_t(buf.size()) / info.channels;
        sf_count_t got;
        while ((got = sf_readf_float(f, buf.data(), chunk)) > 0)
            if (state)
                ebur128_add_frames_float(state, buf.data(), size_t(got));
        if (state) {
            double lufs = 0;
            ebur128_loudness_global(state, &lufs);
            ebur128_destroy(&state);
        }
        sf_close(f);
    }
    return msSince(t0);
}

double analyseAll(const std::vector<std::string>& drivePaths, int& measured)
{
    measured = 0;
    const auto t0 = Clock::now();
    for (const auto& p : drivePaths)
        if (library::analyseSound(p))
            ++measured;
    return msSince(t0);
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    QTemporaryDir root;
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = root.path().toStdString();
    platform::setDriveTable({c});
    std::vector<std::string> files, drivePaths;
    double seconds = 0;
    for (int i = 0; i < count; ++i) {
        const double s = 1.0 + 9.0 * double((i * 7919) % count) / std::max(1, count - 1);
        const std::string name = "s" + std::to_string(i) + ".wav";
        writeSound(root.path().toStdString() + "/" + name, s, i % 3 == 0 ? 1 : 2, unsigned(i));
        files.push_back(root.path().toStdString() + "/" + name);
        drivePaths.push_back("C:\\" + name);
        seconds += s;
    }
    std::printf("%d files, %.0f s of sound in all\n", count, seconds);
    int measured = 0;
    for (bool cold : {true, false}) {
        double decode = 1e18, analyse = 1e18, loudness = 1e18;
        for (int round = 0; round < (cold ? 1 : 2); ++round) {
            if (cold)
                evict(files);
            decode = std::min(decode, decodeAll(files));
            if (cold)
                evict(files);
            loudness = std::min(loudness, decodeAll(files, true));
            if (cold)
                evict(files);
            analyse = std::min(analyse, analyseAll(drivePaths, measured));
        }
        std::printf("%s: decode %.2f ms/file, analysis %.2f ms/file (%d measured), ratio %.2f (target <= 2.0); "
                    "decode with libebur128 alone %.2f ms/file, ratio %.2f\n",
                    cold ? "cold" : "warm", decode / count, analyse / count, measured, analyse / decode,
                    loudness / count, loudness / decode);
    }
    return 0;
}
