// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one rule for which bytes are text: Linux names are bytes, and only strict UTF-8 is shown,
// folded or upper-cased as text. Every other name is kept and compared by its bytes.

#include <QString>
#include <cstddef>
#include <string_view>

namespace platform {

/// Length of the UTF-8 sequence that starts at s[at], 0 when the bytes there start none. Strict:
/// no overlong forms, no surrogates, nothing past U+10FFFF and no sequence cut short.
std::size_t utf8SequenceLength(std::string_view s, std::size_t at);

/// Whether the bytes are UTF-8 throughout, by the rule of utf8SequenceLength.
bool isValidUtf8(std::string_view s);

/// A byte name as text for a widget: its UTF-8 sequences as they are, every other byte as \xNN.
QString displayText(std::string_view bytes);

} // namespace platform
