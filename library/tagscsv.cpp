// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/tagscsv.h"

#include <QStringList>
#include <cstdlib>

namespace library {

const char* const kTagsCsvHeader = "path,favourite,tags,identity";

namespace {

// A record longer than this is no record of this file: a stray quote would otherwise take the rest.
constexpr size_t kLongestRecord = 1 << 20;

std::string quoted(const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string out = "\"";
    for (const char c : field) {
        out.push_back(c);
        if (c == '"')
            out.push_back('"');
    }
    return out + "\"";
}

std::string identityText(const platform::FileIdentity& id)
{
    return std::to_string(id.device) + ":" + std::to_string(id.inode) + ":" + std::to_string(id.size) + ":" +
           std::to_string(id.modified);
}

/// "device:inode:size:modified"; an empty field is no identity.
bool readIdentity(const std::string& text, std::optional<platform::FileIdentity>& out)
{
    if (text.empty())
        return true;
    const QStringList parts = QString::fromStdString(text).split(QLatin1Char(':'));
    if (parts.size() != 4)
        return false;
    bool ok[4] = {};
    platform::FileIdentity id;
    id.device = parts[0].toULongLong(&ok[0]);
    id.inode = parts[1].toULongLong(&ok[1]);
    id.size = parts[2].toLongLong(&ok[2]);
    id.modified = parts[3].toLongLong(&ok[3]);
    if (!(ok[0] && ok[1] && ok[2] && ok[3]))
        return false;
    out = id;
    return true;
}

} // namespace

std::string tagsCsvRecord(const MarkedFile& file)
{
    const std::string tags = file.marks.tags.join(QStringLiteral(", ")).toStdString();
    return quoted(file.path) + "," + (file.marks.favourite ? "1" : "0") + "," + quoted(tags) + "," +
           identityText(file.identity) + "\r\n";
}

void TagsCsvReader::skipLine()
{
    while (pos_ < text_.size() && text_[pos_] != '\n')
        ++pos_;
    if (pos_ < text_.size()) {
        ++pos_;
        ++line_;
    }
}

bool TagsCsvReader::fields(std::vector<std::string>& out, QString& problem)
{
    const size_t start = pos_;
    std::string field;
    bool inQuotes = false, wasQuoted = false;
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (pos_ - start > kLongestRecord) {
            problem = QStringLiteral("a record longer than %1 bytes (a quote not closed?)").arg(kLongestRecord);
            return false;
        }
        if (inQuotes) {
            ++pos_;
            if (c == '"' && pos_ < text_.size() && text_[pos_] == '"') {
                field.push_back('"');
                ++pos_;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                line_ += c == '\n' ? 1 : 0;
                field.push_back(c);
            }
            continue;
        }
        if (c == ',' || c == '\n' || (c == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')) {
            out.push_back(std::move(field));
            field.clear();
            wasQuoted = false;
            pos_ += c == '\r' ? 2 : 1;
            if (c != ',') {
                ++line_;
                return true;
            }
            continue;
        }
        if (c == '"' && field.empty() && !wasQuoted) {
            inQuotes = wasQuoted = true;
            ++pos_;
            continue;
        }
        if (wasQuoted || c == '"') {
            problem = QStringLiteral("a quote in the middle of a field (a field with quotes is quoted whole, "
                                     "its own quotes doubled)");
            return false;
        }
        field.push_back(c);
        ++pos_;
    }
    if (inQuotes) {
        problem = QStringLiteral("a quote that is not closed");
        return false;
    }
    out.push_back(std::move(field));
    return true;
}

bool TagsCsvReader::next(TagsCsvLine& out)
{
    while (pos_ < text_.size()) {
        out = TagsCsvLine();
        out.line = line_;
        std::vector<std::string> f;
        if (!fields(f, out.problem)) {
            skipLine();
            return true;
        }
        if (f.size() == 1 && f[0].empty())
            continue; // an empty line
        if (out.line == 1 && !f.empty() && f[0] == "path")
            continue;
        MarkedFile file;
        std::optional<platform::FileIdentity> identity;
        if (f.size() < 2 || f.size() > 4)
            out.problem = QStringLiteral("%1 fields where path, favourite, tags and identity are expected").arg(f.size());
        else if (f[0].empty() || f[0][0] != '/')
            out.problem = QStringLiteral("the path is not absolute");
        else if (f[1] != "0" && f[1] != "1" && !f[1].empty())
            out.problem = QStringLiteral("favourite is \"%1\", not 1 or 0").arg(QString::fromStdString(f[1]));
        else if (f.size() == 4 && !readIdentity(f[3], identity))
            out.problem = QStringLiteral("the identity \"%1\" is not device:inode:size:modified")
                              .arg(QString::fromStdString(f[3]));
        if (!out.problem.isEmpty())
            return true;
        file.path = f[0];
        file.marks.favourite = f[1] == "1";
        if (f.size() > 2)
            for (const QString& tag : QString::fromStdString(f[2]).split(QLatin1Char(','), Qt::SkipEmptyParts))
                if (!tag.trimmed().isEmpty())
                    file.marks.tags << tag.trimmed();
        if (identity)
            file.identity = *identity;
        out.file = std::move(file);
        return true;
    }
    return false;
}

} // namespace library
