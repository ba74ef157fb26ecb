// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file parser: any bytes must parse without harm, and what it reads must survive
// being written and read again unchanged.
#include "platform/settings/regfile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace platform;

static bool same(const regfile::Document& a, const regfile::Document& b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (size_t i = 0; i < a.keys.size(); ++i) {
        const auto& ka = a.keys[i];
        const auto& kb = b.keys[i];
        if (ka.path != kb.path || ka.values.size() != kb.values.size())
            return false;
        for (size_t j = 0; j < ka.values.size(); ++j)
            if (ka.values[j].name != kb.values[j].name || ka.values[j].type != kb.values[j].type ||
                ka.values[j].data != kb.values[j].data)
                return false;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const regfile::Document doc = regfile::parse(text);
    const regfile::Document again = regfile::parse(regfile::format(doc));
    if (!same(doc, again))
        std::abort();
    return 0;
}
