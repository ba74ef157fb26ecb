// SPDX-License-Identifier: GPL-3.0-or-later
// Header reading over a folder of 10,000 small waves with mixed-case names (warm cache), against
// two baselines of the same run: opening each file by its real name and reading 64 bytes (the floor
// of any reader), and libsndfile opening and closing each file.
#include "platform/files/drives.h"
#include "waves/W32Waves.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sndfile.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFiles = 10000;
constexpr int kRounds = 5;

void put(std::string& s, unsigned v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(char((v >> (8 * i)) & 0xFF));
}

// A small PCM wave; every third one carries a LIST chunk before its data, as many editors write.
std::string smallWave(int i)
{
    const unsigned channels = 1 + i % 2, rate = (i % 3 == 0) ? 22050 : 44100, bits = (i % 4 == 0) ? 8 : 16;
    const unsigned align = channels * bits / 8, dataSize = 400 * align;
    std::string list;
    if (i % 3 == 0)
        list = "LIST" + std::string("\x0c\0\0\0", 4) + "INFOISFT" + std::string("\0\0\0\0", 4);
    std::string s = "RIFF";
    put(s, unsigned(4 + 24 + list.size() + 8 + dataSize), 4);
    s += "WAVEfmt ";
    put(s, 16, 4);
    put(s, 1, 2);
    put(s, channels, 2);
    put(s, rate, 4);
    put(s, rate * align, 4);
    put(s, align, 2);
    put(s, bits, 2);
    s += list + "data";
    put(s, dataSize, 4);
    s.append(dataSize, '\0');
    return s;
}

// Names as a desktop collects them: mixed case, some upper-case extensions.
std::string mixedName(int i)
{
    static const char* const stems[] = {"Bell", "chime", "DING", "Whoosh", "click", "Alarm", "pop", "Tada"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%05d.%s", stems[i % 8], i, (i % 5 == 0) ? "WAV" : (i % 5 == 1) ? "Wav" : "wav");
    return buf;
}

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

// Seconds of one pass, the best of several; the passes of all contenders alternate round by round so
// that a change of the machine's load hits them alike.
struct Timer {
    double best = 1e30;
    template <typename F> void run(F&& pass)
    {
        const auto t0 = std::chrono::steady_clock::now();
        pass();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
};

} // namespace

int main()
{
    std::string root = (std::filesystem::temp_directory_path() / "tonfolio-bench-waves-XXXXXX").string();
    if (!::mkdtemp(root.data())) {
        std::perror("mkdtemp");
        return 0;
    }
    const std::string folder = root + "/My Sounds";
    std::filesystem::create_directories(folder);
    std::vector<std::string> realNames, drivePaths;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = mixedName(i);
        std::ofstream(folder + "/" + name, std::ios::binary) << smallWave(i);
        realNames.push_back(folder + "/" + name);
        // Paths as the wave list makes them: the folder upper-cased, the file name lower-cased.
        drivePaths.push_back("C:\\MY SOUNDS\\" + lower(name));
    }
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = root;
    platform::setDriveTable({c});

    long valid = 0, floorBytes = 0, sndfileOk = 0;
    auto readerPass = [&] {
        TWaveInfo w;
        for (const std::string& p : drivePaths)
            valid += ReadWaveInfo(p, w);
    };
    auto floorPass = [&] {
        char buf[64];
        for (const std::string& p : realNames) {
            const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            floorBytes += ::read(fd, buf, sizeof buf);
            ::close(fd);
        }
    };
    auto sndfilePass = [&] {
        for (const std::string& p : realNames) {
            SF_INFO info{};
            if (SNDFILE* f = sf_open(p.c_str(), SFM_READ, &info)) {
                ++sndfileOk;
                sf_close(f);
            }
        }
    };
    // Warm the page cache and every cache of the reader before timing.
    readerPass();
    floorPass();
    sndfilePass();
    Timer floorTimer, readerTimer, sndfileTimer;
    for (int r = 0; r < kRounds; ++r) {
        floorTimer.run(floorPass);
        readerTimer.run(readerPass);
        sndfileTimer.run(sndfilePass);
    }
    const double floorTime = floorTimer.best, readerTime = readerTimer.best, sndfileTime = sndfileTimer.best;

    if (valid != long(kFiles) * (kRounds + 1))
        std::printf("warning: %ld of %d reads valid\n", valid / (kRounds + 1), kFiles);
    std::printf("files %d, best of %d rounds\n", kFiles, kRounds);
    std::printf("ReadWaveInfo   %.2f us/file\n", readerTime / kFiles * 1e6);
    std::printf("open+read 64   %.2f us/file\n", floorTime / kFiles * 1e6);
    std::printf("sf_open/close  %.2f us/file\n", sndfileTime / kFiles * 1e6);
    std::printf("ratio %.2f against the floor (target <= 2.0)\n", readerTime / floorTime);
    std::printf("speedup %.2f against libsndfile (target >= 3.0)\n", sndfileTime / readerTime);

    platform::useSystemDrives();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
