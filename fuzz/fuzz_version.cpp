// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target of the version functions: the bytes are taken both as a file image (ELF section or PE
// resource) and as a bare block, loaded as GetFileVersionInfo does and queried as the version label does.
#include "platform/version/version.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kKeys[] = {"CompanyName",      "FileDescription", "FileVersion",    "InternalName", "LegalCopyright",
                             "OriginalFilename", "ProductName",     "ProductVersion", "Comments",     "SpecialBuild"};

void touch(const void* value, platform::UINT len, const std::uint8_t* lo, const std::uint8_t* hi)
{
    const auto* p = static_cast<const std::uint8_t*>(value);
    if (len > 0 && (p < lo || p >= hi))
        std::abort(); // a lookup pointed outside the information it was given
}

void exercise(const std::uint8_t* raw, std::size_t size)
{
    std::vector<unsigned char> info(platform::versionInfoBufferSize(size));
    if (!platform::loadVersionBlock(raw, size, info.data(), info.size()))
        return;
    const std::uint8_t* lo = info.data();
    const std::uint8_t* hi = lo + info.size();
    void* value = nullptr;
    platform::UINT len = 0;
    if (platform::VerQueryValue(info.data(), "\\", &value, &len)) {
        touch(value, len, lo, hi);
        if (len >= sizeof(platform::VS_FIXEDFILEINFO)) {
            platform::VS_FIXEDFILEINFO fixed;
            std::memcpy(&fixed, value, sizeof fixed);
        }
    }
    if (!platform::VerQueryValue(info.data(), "\\VarFileInfo\\Translation", &value, &len))
        return;
    touch(value, len, lo, hi);
    // Every listed translation, as the label would form its table name.
    for (platform::UINT i = 0; i + 4 <= len && i < 64; i += 4) {
        const auto* t = static_cast<const std::uint8_t*>(value) + i;
        char table[9];
        std::snprintf(table, sizeof table, "%02X%02X%02X%02X", t[1], t[0], t[3], t[2]);
        for (const char* key : kKeys) {
            void* s = nullptr;
            platform::UINT slen = 0;
            if (platform::VerQueryValue(info.data(), std::string("\\StringFileInfo\\") + table + "\\" + key, &s,
                                        &slen)) {
                touch(s, slen, lo, hi);
                (void)std::strlen(static_cast<const char*>(s));
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t offset = 0, length = 0;
    if (platform::findVersionBlock(data, size, &offset, &length)) {
        if (offset > size || length > size - offset)
            std::abort(); // the locator must only name bytes of the image
        exercise(data + offset, length < 0xFFFF ? length : 0xFFFF);
    }
    exercise(data, size < 0xFFFF ? size : 0xFFFF);
    // Bounded lookups straight on the bytes, without the loader's checks first.
    void* value = nullptr;
    platform::UINT len = 0;
    if (platform::VerQueryValueIn(data, size, "\\StringFileInfo\\040904E4\\FileVersion", &value, &len))
        touch(value, len, data, data + size);
    if (platform::VerQueryValueIn(data, size, "\\VarFileInfo\\Translation", &value, &len))
        touch(value, len, data, data + size);
    return 0;
}
