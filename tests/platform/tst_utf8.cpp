// SPDX-License-Identifier: GPL-3.0-or-later
// The one rule for which name bytes are text: strict UTF-8, as shown, folded and looked up.
#include "platform/files/nativepath.h"
#include "platform/utf8.h"
#include "support/tempdrive.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

struct Utf8Case {
    const char* what;
    std::string bytes;
    bool valid;
    const char* shown; ///< as a widget shows it (UTF-8)
};

TEST(Utf8, OnlyStrictUtf8IsText)
{
    const Utf8Case cases[] = {
        {"empty", "", true, ""},
        {"ASCII", "Bell 2.wav", true, "Bell 2.wav"},
        {"two bytes", "caf\xc3\xa9", true, "caf\xc3\xa9"},
        {"three bytes", "\xe2\x82\xac", true, "\xe2\x82\xac"},
        {"four bytes", "\xf0\x9f\x98\x80", true, "\xf0\x9f\x98\x80"},
        {"the last code point", "\xf4\x8f\xbf\xbf", true, "\xf4\x8f\xbf\xbf"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", false, "\\xF4\\x90\\x80\\x80"},
        {"lead byte F5", "\xf5\x80\x80\x80", false, "\\xF5\\x80\\x80\\x80"},
        {"overlong two bytes", "\xc0\xaf", false, "\\xC0\\xAF"},
        {"overlong three bytes", "\xe0\x80\xaf", false, "\\xE0\\x80\\xAF"},
        {"overlong four bytes", "\xf0\x80\x80\xaf", false, "\\xF0\\x80\\x80\\xAF"},
        {"a surrogate", "\xed\xa0\x80", false, "\\xED\\xA0\\x80"},
        {"a lone trail byte", "a\x80z", false, "a\\x80z"},
        {"cut short at the end", "ok \xc3\xa9 \xff\xc3", false, "ok \xc3\xa9 \\xFF\\xC3"},
        {"a lead without its trail", "\xc3(", false, "\\xC3("},
    };
    for (const Utf8Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid);
        EXPECT_EQ(displayText(c.bytes), QString::fromUtf8(c.shown));
        // A name that is not text folds by its bytes (A to Z only), so it never equals another name.
        if (!c.valid) {
            std::string lowered = c.bytes;
            for (char& ch : lowered)
                ch = ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch;
            EXPECT_EQ(foldCase(c.bytes + "X"), lowered + "x");
        }
    }
}

TEST(Utf8, ANameThatIsNoTextNeverFindsItsNeighbour)
{
    // Both are surrogates; read leniently, both would become the same replacement character.
    testing_support::TempDrive drive;
    drive.write("\xed\xa0\x80.wav", "first");
    EXPECT_TRUE(existingNativePath("C:\\\xed\xa0\x80.WAV").has_value());
    EXPECT_FALSE(existingNativePath("C:\\\xed\xb0\x80.wav").has_value());
}

} // namespace
