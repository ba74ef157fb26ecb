// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/utf8.h"

#include <cstdio>
#include <string>

namespace platform {

std::size_t utf8SequenceLength(std::string_view s, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    // C0 and C1 would only start overlong forms of ASCII; F5 and above, values past U+10FFFF.
    std::size_t length = 0;
    char32_t point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (s.size() - at < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(at + k) & 0x3F);
    }
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return overlong || surrogate || point > 0x10FFFF ? 0 : length;
}

bool isValidUtf8(std::string_view s)
{
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t length = utf8SequenceLength(s, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

QString displayText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = utf8SequenceLength(bytes, at);
        if (length > 0) {
            out.append(bytes.substr(at, length));
            at += length;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[at]));
        out += escaped;
        ++at;
    }
    return QString::fromStdString(out);
}

} // namespace platform
