// SPDX-License-Identifier: GPL-3.0-or-later
#include "dirtree/FileRoutines.h"

#include "dirtree/DirTreePaths.h"

std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    std::string s = folder;
    if (s.empty() || s.back() != '\\')
        s += '\\';
    return lowerAscii(s + name);
}

std::string FolderDisplayName(const std::string& path)
{
    std::string s = path;
    if (!s.empty() && s.back() == '\\')
        s.pop_back();
    std::string name;
    if (s.size() > 2) {
        name = s.substr(s.rfind('\\') + 1);
    } else {
        // A drive (or the "?" marker): its volume label, then the drive in parentheses; without a
        // label just the drive, so the title reads "Tonfolio - (C:)" and not with a double blank.
        std::string label;
        char buf[24] = {};
        platform::DWORD serial = 0;
        if (platform::GetVolumeInformation(s + "\\", buf, sizeof buf, &serial, nullptr, nullptr, nullptr, 0))
            label = buf;
        name = (label.empty() ? std::string() : label + " ") + "(" + s + ")";
    }
    for (char& c : name)
        c = upperAscii(c);
    return name;
}

std::string NewFolderName(const std::string& parent)
{
    // The parent keeps its spelling: lower-casing it could name another folder differing only in case.
    // The name itself is found in any case.
    std::string folder = parent;
    AddBackslash(folder);
    std::string name = "New Folder";
    for (unsigned long n = 1; NameExists(folder + name); ++n)
        name = "New Folder #" + std::to_string(n);
    return name;
}

bool NameExists(const std::string& path)
{
    // Hidden and system entries count too: the name is taken all the same, and creating the folder
    // would fail.
    ErrorModeGuard quiet;
    return platform::GetFileAttributes(path) != platform::INVALID_FILE_ATTRIBUTES;
}

std::string ReplaceLastName(const std::string& oldPath, const std::string& newName)
{
    std::string s = oldPath;
    if (!s.empty() && s.back() == '\\')
        s.pop_back();
    const size_t sep = s.rfind('\\');
    if (sep == std::string::npos)
        return s;
    return s.substr(0, sep + 1) + newName;
}

bool RenameFolder(const std::string& oldPath, const std::string& newPath)
{
    std::string from = oldPath;
    if (!from.empty() && from.back() == '\\')
        from.pop_back();
    return platform::MoveFile(from, newPath) != 0;
}
