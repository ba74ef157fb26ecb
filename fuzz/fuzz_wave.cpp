// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the wave header reader as a file on a temporary drive C:, and renders the
// row texts of whatever it read.
#include "platform/files/drives.h"
#include "waves/W32Waves.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const char kPrefix[] = "tonfolio-fuzz-wave-";

// Folders of earlier runs that were killed before they could clean up.
void removeLeftovers(const std::filesystem::path& tmp)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(tmp, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + sizeof kPrefix - 1, nullptr, 10);
        if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove_all(e.path(), ec);
    }
}

// One folder per process, serving as drive C:; the input file lives only during one call.
struct Scratch {
    std::string dir;
    std::string file;
    Scratch()
    {
        const std::filesystem::path tmp = std::filesystem::temp_directory_path();
        removeLeftovers(tmp);
        dir = (tmp / (kPrefix + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(dir);
        file = dir + "/input.wav";
        platform::DriveInfo c;
        c.letter = 'C';
        c.directory = dir;
        platform::setDriveTable({c});
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

Scratch& scratch()
{
    static Scratch s;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Scratch& s = scratch();
    FILE* f = std::fopen(s.file.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);

    TWaveInfo w;
    const bool valid = ReadWaveInfo("C:\\INPUT.WAV", w);
    ::unlink(s.file.c_str());
    if (valid != w.Valid || (!valid && (w.DataSize != 0 || w.Length != 0)))
        std::abort();
    if (w.Length < 0)
        std::abort();
    const QString row = WaveFormatText(w) + WaveLengthText(w) + FileSizeText(qint64(size)) + WaveTypeText(w);
    if (row.isEmpty())
        std::abort();
    return 0;
}
