// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/pathinfo.h"

#include "platform/files/nativepath.h"

#include <QByteArray>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace platform {

bool IsLinkedFolder(const std::string& drivePath)
{
    std::string path = drivePath;
    // A trailing separator would make lstat look through the link.
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    const std::optional<std::string> native = existingNativePath(path);
    if (!native)
        return false;
    struct stat st {};
    return ::lstat(native->c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int SpellingsOf(const std::string& drivePath)
{
    const size_t sep = drivePath.rfind('\\');
    if (sep == std::string::npos || sep + 1 >= drivePath.size())
        return 0;
    const std::optional<std::string> folder = existingNativePath(drivePath.substr(0, sep + 1));
    if (!folder)
        return 0;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder->c_str()), ::closedir);
    if (!dir)
        return 0;
    const std::string wanted = foldCase(drivePath.substr(sep + 1));
    int count = 0;
    while (const dirent* entry = ::readdir(dir.get()))
        if (foldCase(entry->d_name) == wanted)
            ++count;
    return count;
}

bool NamesExactly(const std::string& drivePath)
{
    if (drivePath.size() < 3 || drivePath[1] != ':' || drivePath[2] != '\\')
        return false;
    const std::optional<DriveInfo> drive = driveOf(drivePath[0]);
    const std::optional<std::string> native = existingNativePath(drivePath);
    if (!drive || !native)
        return false;
    // Resolving keeps every name the disk holds; a name found ignoring case shows up as a difference.
    std::string spelt = drive->directory == "/" ? std::string() : drive->directory;
    size_t start = 3;
    while (start < drivePath.size()) {
        size_t end = drivePath.find('\\', start);
        if (end == std::string::npos)
            end = drivePath.size();
        const std::string name = drivePath.substr(start, end - start);
        if (name == "." || name == "..")
            return false;
        if (!name.empty())
            spelt += "/" + name;
        start = end + 1;
    }
    return *native == (spelt.empty() ? "/" : spelt);
}

std::string FileUrlOf(const std::string& drivePath)
{
    const std::optional<std::string> native = existingNativePath(drivePath);
    if (!native)
        return {};
    // Percent-encoding the bytes keeps names that are not valid UTF-8 intact.
    const QByteArray encoded = QByteArray(native->data(), qsizetype(native->size())).toPercentEncoding("/");
    return "file://" + encoded.toStdString();
}

} // namespace platform
