// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The REGEDIT4 text of the settings file: read leniently, written so that it reads back the same.

#include "platform/settings/registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// The text format of the settings file, open for tests and the fuzzer.
namespace regfile {

struct Value {
    std::string name; ///< empty for the default value ("@")
    DWORD type = REG_NONE;
    std::string data; ///< raw bytes as RegQueryValueEx returns them
};

struct Key {
    std::string path; ///< "HKEY_CURRENT_USER\Software\Varnholt\Tonfolio"
    std::vector<Value> values;
};

struct Document {
    std::vector<Key> keys;

    /// Key by path, ignoring ASCII case; null when absent.
    Key* find(const std::string& path);
    const Key* find(const std::string& path) const;
    Key& ensure(const std::string& path);
};

/// Reads a REGEDIT4 text. Lines that cannot be understood are skipped; nothing is ever refused.
Document parse(const std::string& text);
/// Writes a REGEDIT4 text that parse() reads back to the same document.
std::string format(const Document& doc);

Value* findValue(Key& key, const std::string& name);
const Value* findValue(const Key& key, const std::string& name);
void setValue(Key& key, Value value);

/// Names of keys and values ignore ASCII case only, as the file format does.
inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Hash and equality of names ignoring ASCII case, so that names are looked up without folded copies.
struct FoldedHash {
    size_t operator()(std::string_view s) const noexcept
    {
        size_t h = 14695981039346656037ULL;
        for (const char c : s)
            h = (h ^ static_cast<unsigned char>(lowerAscii(c))) * 1099511628211ULL;
        return h;
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const noexcept
    {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (lowerAscii(a[i]) != lowerAscii(b[i]))
                return false;
        return true;
    }
};

} // namespace regfile

} // namespace platform
