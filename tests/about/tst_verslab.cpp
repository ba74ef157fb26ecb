// SPDX-License-Identifier: GPL-3.0-or-later
// The version label over the program's own block and over blocks the tests write: every fixed text,
// the flags, the translation lookup, the key as prefix and the refreshes its setters cause.
#include "about/verslab.h"
#include "resources/version/blockwriter.h"
#include "support/tempdrive.h"
#include "support/versionfiles.h"

#include <gtest/gtest.h>

using testing_support::elfWith;
using testing_support::TempDrive;

namespace {

versionblock::Description description(std::uint32_t flags = 0)
{
    versionblock::Description d;
    d.fileFlags = flags;
    versionblock::StringTable t;
    t.langCharset = "080904E4";
    t.strings = {
        {"FileVersion", "4.2.0"}, {"Comments", ""}, {"SpecialBuild", "nightly"}, {"ProductName", "<b>Bold</b>"}};
    d.tables.push_back(t);
    d.translations = {{0x0809, 0x04E4}};
    return d;
}

/// The label's text for a field of a file on the test drive, without the prefix.
QString textOf(const std::string& file, TVersionLabel::TVersionResources field)
{
    TVersionLabel label;
    label.setShowInfoPrefix(false);
    label.setVersionResource(field);
    label.setFilename(file);
    // A new label has already looked up the program's own block and kept its translation; ask the file's.
    label.setLangCharset("-1");
    EXPECT_EQ(label.text(), label.InfoString());
    return label.InfoString();
}

} // namespace

TEST(VersionLabel, ShowsTheProgramsOwnBlock)
{
    TVersionLabel label;
    EXPECT_EQ(label.VersionResource(), TVersionLabel::vrFileVersion);
    EXPECT_EQ(label.VersionResourceKey(), "FileVersion");
    EXPECT_EQ(label.InfoString(), "File Version: " TONFOLIO_VERSION);
    label.setShowInfoPrefix(false);
    EXPECT_EQ(label.InfoString(), TONFOLIO_VERSION);
    EXPECT_EQ(label.LangCharset(), "040904E4");

    const struct {
        TVersionLabel::TVersionResources field;
        const char* text;
    } own[] = {{TVersionLabel::vrCompanyName, "Varnholt"},
               {TVersionLabel::vrProductName, "Tonfolio"},
               {TVersionLabel::vrProductVersion, TONFOLIO_VERSION},
               {TVersionLabel::vrOriginalFilename, "tonfolio"}};
    for (const auto& f : own) {
        label.setVersionResource(f.field);
        EXPECT_EQ(label.InfoString(), f.text);
    }
    // Every string key of the table is present in the program's block.
    for (int f = TVersionLabel::vrCompanyName; f <= TVersionLabel::vrComments; ++f) {
        label.setVersionResource(TVersionLabel::TVersionResources(f));
        EXPECT_FALSE(label.InfoString().startsWith("<")) << f << " " << label.InfoString().toStdString();
    }
}

TEST(VersionLabel, EveryFailureShowsItsFixedText)
{
    TempDrive drive;
    auto write = [&](const char* name, const versionblock::Description& d) {
        drive.write(name, elfWith(versionblock::build(d)));
    };
    write("good", description());
    versionblock::Description noVar = description();
    noVar.withVarFileInfo = false;
    write("novar", noVar);
    versionblock::Description emptyVar = description();
    emptyVar.translations.clear();
    write("emptyvar", emptyVar);
    versionblock::Description otherTable = description();
    otherTable.translations = {{0x0407, 0x04B0}, {0x0809, 0x04E4}}; // the first has no table
    write("othertable", otherTable);
    std::vector<std::uint8_t> badSignature = versionblock::build(description());
    badSignature[40] ^= 0xFF;
    drive.write("badsig", elfWith(badSignature));
    std::vector<std::uint8_t> lying = versionblock::build(description());
    lying[0] = std::uint8_t(lying.size() + 8); // longer than its section
    lying[1] = std::uint8_t((lying.size() + 8) >> 8);
    drive.write("lying", elfWith(lying));
    drive.write("plain.txt", "no block");

    const struct {
        const char* file;
        TVersionLabel::TVersionResources field;
        const char* text;
    } cases[] = {
        {"C:\\MISSING.EXE", TVersionLabel::vrFileVersion, "< No Data Available >"},
        {"C:\\PLAIN.TXT", TVersionLabel::vrFileVersion, "< No Data Available >"},
        {"C:\\LYING", TVersionLabel::vrFileVersion, "< Error retrieving version info >"},
        {"C:\\BADSIG", TVersionLabel::vrFlags, "< Error retrieving fixed version info >"},
        {"C:\\NOVAR", TVersionLabel::vrFileVersion, "< Error retrieving translation info >"},
        {"C:\\EMPTYVAR", TVersionLabel::vrFileVersion, "< Error retrieving translation info >"},
        {"C:\\OTHERTABLE", TVersionLabel::vrFileVersion, "< Error retrieving string version info >"},
        {"C:\\GOOD", TVersionLabel::vrCompanyName, "< Error retrieving string version info >"},
        {"C:\\GOOD", TVersionLabel::vrComments, "< No Version Info >"},
        {"C:\\GOOD", TVersionLabel::vrFileVersion, "4.2.0"},
        {"c:\\good", TVersionLabel::vrFileVersion, "4.2.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textOf(c.file, c.field).toStdString(), c.text) << c.file;

    // A value that looks like markup is shown as it stands.
    TVersionLabel markup;
    markup.setVersionResource(TVersionLabel::vrProductName);
    markup.setFilename("C:\\GOOD");
    markup.setLangCharset("-1");
    EXPECT_EQ(markup.text(), "Product Name: <b>Bold</b>");
    EXPECT_EQ(markup.textFormat(), Qt::PlainText);

    // The prefix goes before the fixed texts too.
    TVersionLabel label;
    label.setFilename("C:\\MISSING.EXE");
    EXPECT_EQ(label.InfoString(), "File Version: < No Data Available >");
}

TEST(VersionLabel, FlagsText)
{
    TempDrive drive;
    const struct {
        std::uint32_t flags;
        const char* text;
    } cases[] = {
        {0x03, "Debug Build, Pre-Release Build"},
        {0x00, ""},
        {0x3C, "Patched Build, Private Build, InfoInferred, Special Build"},
        {0x40, ""}, // bits beyond the known ones show nothing
    };
    for (const auto& c : cases) {
        drive.write("flags", elfWith(versionblock::build(description(c.flags))));
        EXPECT_EQ(textOf("C:\\FLAGS", TVersionLabel::vrFlags).toStdString(), c.text) << c.flags;
    }
    TVersionLabel label;
    label.setVersionResource(TVersionLabel::vrFlags);
    label.setFilename("C:\\FLAGS");
    EXPECT_EQ(label.InfoString(), "Flags: ");

    versionblock::Description noFixed = description();
    noFixed.withFixedInfo = false;
    drive.write("nofixed", elfWith(versionblock::build(noFixed)));
    EXPECT_EQ(textOf("C:\\NOFIXED", TVersionLabel::vrFlags), "");
}

TEST(VersionLabel, TranslationIsLookedUpOnceAndKept)
{
    TempDrive drive;
    versionblock::Description d = description();
    d.tables.push_back({"040704B0", {{"FileVersion", "4.2.0 (de)"}}});
    drive.write("two", elfWith(versionblock::build(d)));

    TVersionLabel label;
    label.setShowInfoPrefix(false);
    label.setFilename("C:\\TWO");
    label.setLangCharset("-1"); // forget the program's own translation, looked up at construction
    EXPECT_EQ(label.LangCharset(), "080904E4");
    EXPECT_EQ(label.InfoString(), "4.2.0");
    label.setLangCharset("040704B0");
    EXPECT_EQ(label.InfoString(), "4.2.0 (de)");
    label.setLangCharset("-1");
    EXPECT_EQ(label.LangCharset(), "080904E4");

    // A code that is kept is used for another file too, even where that file has no such table.
    drive.write("german", elfWith(versionblock::build([] {
                    versionblock::Description g = description();
                    g.tables[0].langCharset = "040704B0";
                    g.translations = {{0x0407, 0x04B0}};
                    return g;
                }())));
    label.setFilename("C:\\GERMAN");
    EXPECT_EQ(label.InfoString(), "< Error retrieving string version info >");
}

TEST(VersionLabel, KeyBecomesItsOwnPrefix)
{
    TempDrive drive;
    drive.write("special", elfWith(versionblock::build(description())));
    TVersionLabel label;
    label.setFilename("C:\\SPECIAL");
    label.setLangCharset("-1");
    label.setVersionResourceKey("SpecialBuild");
    EXPECT_EQ(label.InfoPrefix(), "SpecialBuild");
    EXPECT_EQ(label.InfoString(), "SpecialBuild nightly");
    EXPECT_EQ(label.VersionResource(), TVersionLabel::vrFileVersion);
}

TEST(VersionLabel, RefreshesOnlyWhenSomethingChanges)
{
    TVersionLabel label;
    int before = label.refreshCount();
    label.setVersionResource(TVersionLabel::vrFileVersion);
    label.setShowInfoPrefix(true);
    label.setInfoPrefix("File Version:");
    label.setLangCharset(label.LangCharset());
    EXPECT_EQ(label.refreshCount(), before);

    // The two setters without an equality test refresh every time.
    label.setFilename("");
    EXPECT_EQ(label.refreshCount(), before + 1);
    // Another field: once through the key's prefix, once through the table's prefix.
    label.setVersionResource(TVersionLabel::vrProductName);
    EXPECT_EQ(label.refreshCount(), before + 3);
    EXPECT_EQ(label.InfoString(), "Product Name: Tonfolio");
}

TEST(VersionLabel, LongFileNamesAreReadWhole)
{
    TempDrive drive;
    std::string rel, path = "C:";
    for (int i = 0; i < 6; ++i) {
        rel += std::string(50, char('a' + i)) + "/";
        path += "\\" + std::string(50, char('A' + i));
    }
    drive.write(rel + "prog", elfWith(versionblock::build(description())));
    path += "\\PROG";
    ASSERT_GT(path.size(), 300u);
    EXPECT_EQ(textOf(path, TVersionLabel::vrFileVersion), "4.2.0");
}
