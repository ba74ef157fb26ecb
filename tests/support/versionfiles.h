// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files that carry a version block, for the tests of the version functions and the version label.
#include "platform/version/version.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

namespace versionfiles_detail {
inline void put16(std::string& s, std::size_t at, std::uint16_t v)
{
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8);
}
inline void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    put16(s, at, std::uint16_t(v & 0xFFFF));
    put16(s, at + 2, std::uint16_t(v >> 16));
}
inline void put64(std::string& s, std::size_t at, std::uint64_t v)
{
    put32(s, at, std::uint32_t(v));
    put32(s, at + 4, std::uint32_t(v >> 32));
}

} // namespace versionfiles_detail

/// A minimal 64-bit little-endian ELF file holding one data section of the given name.
inline std::string elfWith(const std::vector<std::uint8_t>& data,
                           const std::string& name = platform::kVersionSectionName)
{
    using namespace versionfiles_detail;
    const std::string strtab = std::string("\0.shstrtab\0", 11) + name + '\0';
    std::string f(64, '\0');
    f.replace(0, 4,
              "\x7f"
              "ELF");
    f[4] = 2; // 64-bit
    f[5] = 1; // little-endian
    f[6] = 1;
    const std::size_t dataAt = f.size();
    f.append(reinterpret_cast<const char*>(data.data()), data.size());
    while (f.size() % 8)
        f.push_back('\0');
    const std::size_t strAt = f.size();
    f += strtab;
    while (f.size() % 8)
        f.push_back('\0');
    const std::size_t shoff = f.size();
    f.append(3 * 64, '\0');
    put64(f, 0x28, shoff);
    put16(f, 0x3A, 64);
    put16(f, 0x3C, 3);
    put16(f, 0x3E, 1);
    // Section 1: the string table; section 2: the data.
    put32(f, shoff + 64 + 0, 1);
    put32(f, shoff + 64 + 4, 3);
    put64(f, shoff + 64 + 24, strAt);
    put64(f, shoff + 64 + 32, strtab.size());
    put32(f, shoff + 128 + 0, 11);
    put32(f, shoff + 128 + 4, 1);
    put64(f, shoff + 128 + 24, dataAt);
    put64(f, shoff + 128 + 32, data.size());
    return f;
}

} // namespace testing_support
