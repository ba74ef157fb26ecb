// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Free routines of the DirTree unit: how folder paths are written, split and shown, how drives are
// classified and labelled, and how a folder is searched. They keep no state.

#include "platform/files/files.h"

#include <cstdint>
#include <string>

/// Drive kinds admitted by the tree, values 0 to 5.
enum TDriveType { drtUnknown, drtRemovable, drtFixed, drtRemote, drtCDRom, drtRamDisk };
/// A set of TDriveType: bit (1 << kind).
using TDriveTypes = std::uint8_t;
constexpr TDriveTypes driveTypeBit(TDriveType t)
{
    return TDriveTypes(1u << t);
}
constexpr TDriveTypes AllDriveTypes = 0x3F;

/// The search record of one directory entry.
struct TDirRec {
    std::uint32_t Attr = 0;
    std::string Name;
    platform::HANDLE FindHandle = nullptr;
    platform::WIN32_FIND_DATA FindData;
    void* Data = nullptr;
};

/// A to Z for a to z and every other byte as it is, whatever the locale: the one upper-casing of
/// drive letters and of the bytes of names that are not text.
char upperAscii(char c);
/// The drive letter a path starts with, upper-cased; '\0' for an empty path.
char driveLetterOf(const std::string& path);

int PathDepth(const std::string& path);
std::string PathPrefix(const std::string& path, int n);
void AddBackslash(std::string& path);
std::string RemoveBackslash(const std::string& path);
std::string FileSystemName(const std::string& path);
std::string ShellName(const std::string& path);
std::string LongPath(const std::string& path, bool shellNames);
std::string VolumeLabelText(char letter, std::int32_t& serial);
std::int32_t VolumeSerial(char letter);
std::uint32_t EnabledDrives(TDriveTypes allowed);
std::uint32_t FindFirstEntry(const std::string& pattern, TDirRec& rec);
std::uint32_t FindNextEntry(TDirRec& rec);
bool PathExists(const std::string& path);
bool FolderExists(const std::string& path);

/// Switches the process error mode for its lifetime and restores the previous mode on every path.
class ErrorModeGuard {
public:
    explicit ErrorModeGuard(platform::UINT mode = platform::SEM_FAILCRITICALERRORS);
    ~ErrorModeGuard();
    ErrorModeGuard(const ErrorModeGuard&) = delete;
    ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;

private:
    platform::UINT previous_;
};
