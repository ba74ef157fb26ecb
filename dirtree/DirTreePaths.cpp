// SPDX-License-Identifier: GPL-3.0-or-later
#include "dirtree/DirTreePaths.h"

#include "platform/shell/shellinfo.h"

#include <cstring>

using namespace platform;

namespace {

std::string afterLastSeparator(const std::string& s)
{
    const size_t cut = s.rfind('\\');
    return cut == std::string::npos ? s : s.substr(cut + 1);
}

// The drive kind's member of TDriveTypes; false for kinds that are always admitted.
bool driveTypeMember(UINT kind, TDriveType& member)
{
    switch (kind) {
    case DRIVE_UNKNOWN:
        member = drtUnknown;
        return true;
    case DRIVE_REMOVABLE:
        member = drtRemovable;
        return true;
    case DRIVE_FIXED:
        member = drtFixed;
        return true;
    case DRIVE_REMOTE:
        member = drtRemote;
        return true;
    case DRIVE_CDROM:
        member = drtCDRom;
        return true;
    case DRIVE_RAMDISK:
        member = drtRamDisk;
        return true;
    default:
        return false;
    }
}

void takeFindData(TDirRec& rec)
{
    rec.Attr = rec.FindData.dwFileAttributes;
    rec.Name.assign(rec.FindData.cFileName, strnlen(rec.FindData.cFileName, MAX_PATH));
    rec.Data = nullptr;
}

std::uint32_t lastErrorOr(std::uint32_t fallback)
{
    const DWORD e = GetLastError();
    return e ? e : fallback;
}

} // namespace

ErrorModeGuard::ErrorModeGuard(UINT mode) : previous_(SetErrorMode(mode)) {}

ErrorModeGuard::~ErrorModeGuard()
{
    SetErrorMode(previous_);
}

// Linux names are UTF-8, whose trail bytes are all 0x80 and above, so a 0x5C byte is always a separator.
char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

char driveLetterOf(const std::string& path)
{
    return path.empty() ? '\0' : upperAscii(path[0]);
}

int PathDepth(const std::string& path)
{
    int n = 0;
    for (char c : path)
        n += c == '\\';
    return n;
}

std::string PathPrefix(const std::string& path, int n)
{
    int seen = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (path[i] == '\\' && ++seen == n)
            return path.substr(0, i + 1);
    return path;
}

void AddBackslash(std::string& path)
{
    if (!path.empty() && path.back() != '\\')
        path += '\\';
}

std::string RemoveBackslash(const std::string& path)
{
    if (!path.empty() && path.back() == '\\')
        return path.substr(0, path.size() - 1);
    return path;
}

std::string FileSystemName(const std::string& path)
{
    ErrorModeGuard guard;
    const std::string t = RemoveBackslash(path);
    std::string result = afterLastSeparator(t);
    WIN32_FIND_DATA data;
    const FindHandle search(FindFirstFile(t, &data));
    if (search.valid())
        result.assign(data.cFileName, strnlen(data.cFileName, MAX_PATH));
    return result + '\\';
}

std::string ShellName(const std::string& path)
{
    ErrorModeGuard guard;
    const std::string t = RemoveBackslash(path);
    std::string result = afterLastSeparator(t);
    SHFILEINFO info;
    if (SHGetFileInfo(t, 0, &info, SHGFI_DISPLAYNAME) != 0)
        result = info.szDisplayName;
    return result + '\\';
}

std::string LongPath(const std::string& path, bool shellNames)
{
    std::string s = RemoveBackslash(path);
    const int n = PathDepth(s);
    if (n == 0)
        return s;
    std::string result = std::string(1, upperAscii(s[0])) + ":\\";
    AddBackslash(s);
    for (int k = 2; k <= n + 1; ++k) {
        const std::string prefix = PathPrefix(s, k);
        result += shellNames ? ShellName(prefix) : FileSystemName(prefix);
    }
    return RemoveBackslash(result);
}

std::string VolumeLabelText(char letter, std::int32_t& serial)
{
    const std::string root = std::string(1, letter) + ":\\";
    char label[24] = {};
    char fileSystem[499] = {};
    DWORD volumeSerial = 0, maxComponent = 0, flags = 0;
    std::string text;
    if (GetVolumeInformation(root, label, sizeof label, &volumeSerial, &maxComponent, &flags, fileSystem,
                             sizeof fileSystem)) {
        // An unlabelled drive reads "(C:)", without a leading blank.
        text = (label[0] ? std::string(label) + " " : std::string()) + "(" + upperAscii(letter) + ":)";
        serial = std::int32_t(volumeSerial);
    } else {
        text = std::string("(") + upperAscii(letter) + ":)";
        serial = -1;
    }
    const UINT kind = GetDriveType(root);
    if (kind == DRIVE_REMOVABLE || kind == DRIVE_REMOTE) {
        SHFILEINFO info;
        text = SHGetFileInfo(root, 0, &info, SHGFI_DISPLAYNAME) != 0 ? std::string(info.szDisplayName) : std::string();
    }
    return text;
}

std::int32_t VolumeSerial(char letter)
{
    std::int32_t serial = 0;
    VolumeLabelText(letter, serial);
    return serial;
}

std::uint32_t EnabledDrives(TDriveTypes allowed)
{
    ErrorModeGuard guard;
    std::uint32_t mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i)))
            continue;
        TDriveType member;
        if (driveTypeMember(GetDriveType(std::string(1, char('A' + i)) + ":\\"), member) &&
            !(allowed & driveTypeBit(member)))
            mask &= ~(1u << i);
    }
    return mask;
}

std::uint32_t FindFirstEntry(const std::string& pattern, TDirRec& rec)
{
    rec = TDirRec{};
    rec.FindHandle = FindFirstFile(pattern, &rec.FindData);
    if (rec.FindHandle == INVALID_HANDLE_VALUE)
        return lastErrorOr(ERROR_FILE_NOT_FOUND);
    takeFindData(rec);
    return 0;
}

std::uint32_t FindNextEntry(TDirRec& rec)
{
    if (!FindNextFile(rec.FindHandle, &rec.FindData))
        return lastErrorOr(ERROR_NO_MORE_FILES);
    takeFindData(rec);
    return 0;
}

bool PathExists(const std::string& path)
{
    ErrorModeGuard guard;
    return GetFileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::string& path)
{
    const DWORD attrs = GetFileAttributes(path);
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}
