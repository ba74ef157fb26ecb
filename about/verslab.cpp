// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/verslab.h"

#include "platform/version/version.h"

#include <cstring>
#include <vector>

namespace {

struct Field {
    const char* key;
    const char* prefix;
};

const Field kFields[] = {
    {"CompanyName", "Company Name:"},
    {"FileDescription", "File Description:"},
    {"FileVersion", "File Version:"},
    {"InternalName", "Internal Name:"},
    {"LegalCopyright", "Legal Copyright:"},
    {"OriginalFilename", "Original Filename:"},
    {"ProductName", "Product Name:"},
    {"ProductVersion", "Product Version:"},
    {"Comments", "Comments:"},
    {"Flags", "Flags:"},
};

const Field& fieldOf(TVersionLabel::TVersionResources value)
{
    unsigned i = value;
    return kFields[i < std::size(kFields) ? i : unsigned(TVersionLabel::vrFileVersion)];
}

} // namespace

TVersionLabel::TVersionLabel(QWidget* parent) : QLabel(parent)
{
    // Values come from files: shown as they stand, never read as markup.
    setTextFormat(Qt::PlainText);
    infoString_.clear();
    filename_.clear();
    setWordWrap(false);
    // Auto size: the label takes the size of its text.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setShowInfoPrefix(true);
    setLangCharset(QStringLiteral("-1"));
    setVersionResource(vrFileVersion);
}

QString TVersionLabel::keyOf(TVersionResources value)
{
    return QString::fromLatin1(fieldOf(value).key);
}

QString TVersionLabel::prefixOf(TVersionResources value)
{
    return QString::fromLatin1(fieldOf(value).prefix);
}

void TVersionLabel::setVersionResource(TVersionResources value)
{
    versionResource_ = value;
    setVersionResourceKey(keyOf(value));
    setInfoPrefix(prefixOf(value));
}

void TVersionLabel::setVersionResourceKey(const QString& value)
{
    if (value == versionResourceKey_)
        return;
    versionResourceKey_ = value;
    setInfoPrefix(value);
}

void TVersionLabel::setInfoPrefix(const QString& value)
{
    if (value == infoPrefix_)
        return;
    infoPrefix_ = value;
    UpdateInfo();
}

void TVersionLabel::setShowInfoPrefix(bool value)
{
    if (value == showInfoPrefix_)
        return;
    showInfoPrefix_ = value;
    UpdateInfo();
}

void TVersionLabel::setLangCharset(const QString& value)
{
    if (value == langCharset_)
        return;
    langCharset_ = value;
    UpdateInfo();
}

void TVersionLabel::setFilename(const std::string& value)
{
    filename_ = value;
    UpdateInfo();
}

void TVersionLabel::UpdateInfo()
{
    ++refreshCount_;
    setText(ReadVersionText());
    adjustSize();
    infoString_ = text();
}

QString TVersionLabel::ReadVersionText()
{
    QString result;
    // Names of any length are taken whole: a cut name would read another file's version.
    std::string file = filename_;
    if (file.empty()) {
        std::vector<char> buf(4096);
        platform::DWORD n = platform::GetModuleFileName(nullptr, buf.data(), platform::DWORD(buf.size()));
        if (n > 0 && n < buf.size())
            file.assign(buf.data(), n);
    }
    platform::DWORD handle = 0;
    const platform::DWORD size = file.empty() ? 0 : platform::GetFileVersionInfoSize(file, &handle);
    if (size == 0) {
        result = QStringLiteral("< No Data Available >");
    } else {
        std::vector<unsigned char> block(std::size_t(size) + 1);
        if (!platform::GetFileVersionInfo(file, 0, size, block.data()))
            result = QStringLiteral("< Error retrieving version info >");
        else if (versionResource_ == vrFlags)
            result = FlagsText(block.data());
        else
            result = StringValueText(block.data());
    }
    if (showInfoPrefix_)
        return infoPrefix_ + QLatin1Char(' ') + result;
    return result;
}

QString TVersionLabel::FlagsText(const void* block)
{
    void* value = nullptr;
    platform::UINT len = 0;
    if (!platform::VerQueryValue(block, "\\", &value, &len))
        return QStringLiteral("< Error retrieving fixed version info >");
    QString text;
    // A block without a whole fixed record has no flags to show.
    if (len < 2 || len < sizeof(platform::VS_FIXEDFILEINFO))
        return text;
    platform::VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    static const struct {
        platform::DWORD bit;
        const char* text;
    } kFlags[] = {
        {platform::VS_FF_DEBUG, ", Debug Build"},         {platform::VS_FF_PRERELEASE, ", Pre-Release Build"},
        {platform::VS_FF_PATCHED, ", Patched Build"},     {platform::VS_FF_PRIVATEBUILD, ", Private Build"},
        {platform::VS_FF_INFOINFERRED, ", InfoInferred"}, {platform::VS_FF_SPECIALBUILD, ", Special Build"},
    };
    for (const auto& f : kFlags)
        if (fixed.dwFileFlags & f.bit)
            text += QLatin1String(f.text);
    if (text.startsWith(QLatin1Char(',')))
        text.remove(0, 2);
    return text;
}

QString TVersionLabel::StringValueText(const void* block)
{
    void* value = nullptr;
    platform::UINT len = 0;
    if (langCharset_ == QLatin1String("-1")) {
        if (!platform::VerQueryValue(block, "\\VarFileInfo\\Translation", &value, &len) || len < 4)
            return QStringLiteral("< Error retrieving translation info >");
        unsigned char t[4];
        std::memcpy(t, value, 4);
        const unsigned lang = t[0] | t[1] << 8, codePage = t[2] | t[3] << 8;
        // Stored without a refresh: later refreshes use it and skip this lookup.
        langCharset_ =
            QStringLiteral("%1%2").arg(lang, 4, 16, QLatin1Char('0')).arg(codePage, 4, 16, QLatin1Char('0')).toUpper();
    }
    const std::string path =
        "\\StringFileInfo\\" + langCharset_.toStdString() + "\\" + versionResourceKey_.toStdString();
    if (!platform::VerQueryValue(block, path, &value, &len))
        return QStringLiteral("< Error retrieving string version info >");
    if (len <= 1)
        return QStringLiteral("< No Version Info >");
    return QString::fromUtf8(static_cast<const char*>(value));
}
