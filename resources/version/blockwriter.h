// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes version blocks in the VS_VERSIONINFO layout: the build uses it for the program's own block,
// the tests and the fuzz seeds for blocks of their own. Header-only so a host tool can use it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace versionblock {

/// One string table: its eight-digit language and code page key and its key/value pairs.
struct StringTable {
    std::string langCharset = "040904E4";
    std::vector<std::pair<std::string, std::string>> strings; ///< UTF-8 keys and values
};

/// What goes into a block. Version numbers are major, minor, patch, build.
struct Description {
    std::uint16_t fileVersion[4] = {1, 0, 0, 0};
    std::uint16_t productVersion[4] = {1, 0, 0, 0};
    std::uint32_t fileFlagsMask = 0x3F;
    std::uint32_t fileFlags = 0;
    bool withFixedInfo = true;
    std::vector<StringTable> tables;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations; ///< language, code page
    bool withVarFileInfo = true;
};

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;

class Writer {
public:
    std::vector<std::uint8_t> bytes;

    void word(std::uint16_t v)
    {
        bytes.push_back(std::uint8_t(v & 0xFF));
        bytes.push_back(std::uint8_t(v >> 8));
    }
    void dword(std::uint32_t v)
    {
        word(std::uint16_t(v & 0xFFFF));
        word(std::uint16_t(v >> 16));
    }
    void align()
    {
        while (bytes.size() % 4)
            bytes.push_back(0);
    }
    void text(const std::u16string& s)
    {
        for (char16_t c : s)
            word(std::uint16_t(c));
        word(0);
    }
    /// Starts a node (length patched by end()); returns its offset.
    std::size_t begin(const std::u16string& key, std::uint16_t valueLength, std::uint16_t type)
    {
        align();
        std::size_t at = bytes.size();
        word(0);
        word(valueLength);
        word(type);
        text(key);
        align();
        return at;
    }
    void end(std::size_t at)
    {
        std::size_t len = bytes.size() - at;
        bytes[at] = std::uint8_t(len & 0xFF);
        bytes[at + 1] = std::uint8_t(len >> 8);
    }
};

/// UTF-8 to UTF-16 (invalid bytes become U+FFFD).
inline std::u16string toUtf16(const std::string& s)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) {
            ++i;
        } else {
            cp = n == 1 ? c : c & (0x7F >> n);
            for (std::size_t k = 1; k < n; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
            i += n;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

/// The complete block, its length a multiple of four.
inline std::vector<std::uint8_t> build(const Description& d)
{
    Writer w;
    std::size_t root = w.begin(u"VS_VERSION_INFO", d.withFixedInfo ? 52 : 0, 0);
    if (d.withFixedInfo) {
        w.dword(kFixedSignature);
        w.dword(0x00010000); // structure version 1.0
        w.dword(std::uint32_t(d.fileVersion[0]) << 16 | d.fileVersion[1]);
        w.dword(std::uint32_t(d.fileVersion[2]) << 16 | d.fileVersion[3]);
        w.dword(std::uint32_t(d.productVersion[0]) << 16 | d.productVersion[1]);
        w.dword(std::uint32_t(d.productVersion[2]) << 16 | d.productVersion[3]);
        w.dword(d.fileFlagsMask);
        w.dword(d.fileFlags);
        w.dword(0x00040004); // VOS_NT_WINDOWS32, the usual value
        w.dword(1);          // VFT_APP
        w.dword(0);          // no subtype
        w.dword(0);          // no date
        w.dword(0);
    }
    if (!d.tables.empty()) {
        std::size_t sfi = w.begin(u"StringFileInfo", 0, 1);
        for (const StringTable& t : d.tables) {
            std::size_t table = w.begin(toUtf16(t.langCharset), 0, 1);
            for (const auto& [key, value] : t.strings) {
                std::u16string v = toUtf16(value);
                std::size_t s = w.begin(toUtf16(key), std::uint16_t(v.size() + 1), 1);
                w.text(v);
                w.end(s);
            }
            w.end(table);
        }
        w.end(sfi);
    }
    if (d.withVarFileInfo) {
        std::size_t vfi = w.begin(u"VarFileInfo", 0, 1);
        std::size_t var = w.begin(u"Translation", std::uint16_t(4 * d.translations.size()), 0);
        for (const auto& [lang, cp] : d.translations) {
            w.word(lang);
            w.word(cp);
        }
        w.end(var);
        w.end(vfi);
    }
    w.end(root);
    w.align();
    return w.bytes;
}

} // namespace versionblock
