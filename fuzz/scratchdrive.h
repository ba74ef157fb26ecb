// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A folder per fuzzing process that serves as drive C:, for targets that read their input as a file.

#include "platform/files/drives.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzzing {

class ScratchDrive {
public:
    /// The drive of this process, made on first use; `prefix` names its folder in the temporary folder.
    static ScratchDrive& get(const char* prefix)
    {
        static ScratchDrive s(prefix);
        return s;
    }
    ~ScratchDrive()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    /// Writes the input as C:\INPUT.WAV; the caller removes it with removeInput() when done.
    void writeInput(const void* data, size_t size) const
    {
        FILE* f = std::fopen(file_.c_str(), "wb");
        if (!f)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
    }
    void removeInput() const { ::unlink(file_.c_str()); }
    static constexpr const char* kInput = "C:\\INPUT.WAV";

private:
    explicit ScratchDrive(const std::string& prefix)
    {
        const std::filesystem::path tmp = std::filesystem::temp_directory_path();
        removeLeftovers(tmp, prefix);
        dir_ = (tmp / (prefix + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(dir_);
        file_ = dir_ + "/input.wav";
        platform::DriveInfo c;
        c.letter = 'C';
        c.directory = dir_;
        platform::setDriveTable({c});
    }

    // Folders of earlier runs that were killed before they could clean up.
    static void removeLeftovers(const std::filesystem::path& tmp, const std::string& prefix)
    {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(tmp, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) != 0)
                continue;
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
                std::filesystem::remove_all(e.path(), ec);
        }
    }

    std::string dir_;
    std::string file_;
};

/// A wave file made from fuzzed bytes, so that mutations reach the format fields as well as the
/// samples: bytes that start as a RIFF or RF64 file are the file itself; any others are the body of a
/// format chunk (tag, channels, rate, byte rate, block align, bits, then as many extra bytes as the
/// size at offset 16 says, up to 64), followed by the samples of the data chunk.
inline std::string waveFromFields(const uint8_t* data, size_t size)
{
    const std::string in(reinterpret_cast<const char*>(data), size);
    if (in.compare(0, 4, "RIFF") == 0 || in.compare(0, 4, "RF64") == 0)
        return in;
    const size_t extra = size >= 18 ? size_t(data[16] | data[17] << 8) % 65 : 0;
    std::string fmt = in.substr(0, std::min(size, 18 + extra));
    fmt.resize(std::max<size_t>(fmt.size(), 16), '\0');
    const std::string samples = in.substr(std::min(size, fmt.size()));
    auto le32 = [](size_t v) {
        return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    };
    std::string padded = fmt.size() % 2 ? fmt + '\0' : fmt;
    return "RIFF" + le32(4 + 8 + padded.size() + 8 + samples.size()) + "WAVEfmt " + le32(fmt.size()) + padded +
           "data" + le32(samples.size()) + samples;
}

} // namespace fuzzing
