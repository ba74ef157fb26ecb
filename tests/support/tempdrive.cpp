// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempdrive.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

TempDrive::TempDrive()
{
    if (!dir_.isValid())
        throw std::runtime_error("no temporary folder");
    setDrives({});
}

TempDrive::~TempDrive()
{
    platform::useSystemDrives();
    // QTemporaryDir cannot remove names that are not UTF-8; std::filesystem takes the bytes as they are.
    std::error_code ec;
    std::filesystem::remove_all(root(), ec);
}

std::string TempDrive::root() const
{
    return dir_.path().toStdString();
}

std::string TempDrive::native(const std::string& rel) const
{
    return rel.empty() ? root() : root() + "/" + rel;
}

// std::filesystem keeps a name's bytes, so names that are not UTF-8 reach the disk unchanged.
void TempDrive::mkdirs(const std::string& rel) const
{
    std::filesystem::create_directories(native(rel));
}

void TempDrive::write(const std::string& rel, const std::string& bytes) const
{
    const std::filesystem::path path(native(rel));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f)
        throw std::runtime_error("cannot write " + path.string());
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDrive::read(const std::string& rel) const
{
    std::ifstream f(native(rel), std::ios::binary);
    if (!f)
        return {};
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool TempDrive::exists(const std::string& rel) const
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(native(rel), ec));
}

void TempDrive::setDrives(const std::vector<platform::DriveInfo>& extra) const
{
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = root();
    c.kind = 3;
    c.label = "SYSTEM";
    c.serial = 0x1234ABCD;
    std::vector<platform::DriveInfo> all{c};
    all.insert(all.end(), extra.begin(), extra.end());
    platform::setDriveTable(all);
}

static void put16(std::string& s, unsigned v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}
static void put32(std::string& s, unsigned v)
{
    put16(s, v & 0xFFFF);
    put16(s, (v >> 16) & 0xFFFF);
}

std::string makeWav(int channels, int rate, int bits, int frames, double toneHz)
{
    const int bytesPerSample = bits / 8;
    const unsigned dataSize = unsigned(frames * channels * bytesPerSample);
    std::string s = "RIFF";
    put32(s, 36 + dataSize + (dataSize & 1));
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, 1);
    put16(s, unsigned(channels));
    put32(s, unsigned(rate));
    put32(s, unsigned(rate * channels * bytesPerSample));
    put16(s, unsigned(channels * bytesPerSample));
    put16(s, unsigned(bits));
    s += "data";
    put32(s, dataSize);
    for (int i = 0; i < frames; ++i) {
        const double v = toneHz > 0 ? 0.5 * std::sin(2 * M_PI * toneHz * i / rate) : 0.0;
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                s.push_back(char(128 + int(v * 127)));
            } else {
                long long q = llround(v * double((1LL << (bits - 1)) - 1));
                for (int b = 0; b < bytesPerSample; ++b)
                    s.push_back(char((q >> (8 * b)) & 0xFF));
            }
        }
    }
    if (dataSize & 1)
        s.push_back('\0');
    return s;
}

std::string makeWavOf(const std::vector<float>& samples, int rate, int channels)
{
    const int frames = channels > 0 ? int(samples.size()) / channels : 0;
    std::string s = makeWav(channels, rate, 16, 0);
    const unsigned dataSize = unsigned(frames * channels * 2);
    s.replace(4, 4,
              std::string{char((36 + dataSize) & 0xFF), char(((36 + dataSize) >> 8) & 0xFF),
                          char(((36 + dataSize) >> 16) & 0xFF), char(((36 + dataSize) >> 24) & 0xFF)});
    s.resize(40);
    put32(s, dataSize);
    for (int i = 0; i < frames * channels; ++i)
        put16(s, unsigned(short(std::lround(std::clamp(double(samples[size_t(i)]), -1.0, 1.0) * 32767))) & 0xFFFF);
    return s;
}

} // namespace testing_support
