// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drives, volumes, directory searches, attributes, folders, moves and whole-file reading,
// over drive-letter paths ("C:\HOME\ANNA\SOUNDS\") that ignore letter case.

#include "platform/types.h"

#include <string>

namespace platform {

// Drive kinds, as GetDriveType answers.
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

// File attributes.
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// Critical-error mode.
constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;

// CreateFile arguments.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

/// The raw result of one search step. cFileName holds the name's bytes, NUL-terminated.
struct WIN32_FIND_DATA {
    DWORD dwFileAttributes = 0;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh = 0;
    DWORD nFileSizeLow = 0;
    DWORD dwReserved0 = 0;
    DWORD dwReserved1 = 0;
    char cFileName[MAX_PATH] = {};
    char cAlternateFileName[14] = {};
};

/// Bit i stands for drive letter A + i.
DWORD GetLogicalDrives();
/// Kind of the drive of a root such as "C:\" (letter case ignored).
UINT GetDriveType(const std::string& root);
/// Label and serial number of the volume of a root; false when no volume can be read.
/// Buffers follow the usual shape: a size in characters, the text NUL-terminated and cut to fit.
BOOL GetVolumeInformation(const std::string& root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                          DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                          DWORD fileSystemNameSize);

/// Starts a search on a pattern whose last component may hold * and ? (matched ignoring case).
/// "." and ".." are returned like any entry; names holding a backslash never are.
HANDLE FindFirstFile(const std::string& pattern, WIN32_FIND_DATA* data);
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE find);

/// A search that FindFirstFile started, ended with FindClose when the handle goes, on every path.
class FindHandle {
public:
    explicit FindHandle(HANDLE find = INVALID_HANDLE_VALUE) : find_(find) {}
    ~FindHandle() { reset(); }
    FindHandle(FindHandle&& other) noexcept : find_(other.release()) {}
    FindHandle& operator=(FindHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    HANDLE get() const { return find_; }
    /// Whether a search is held (a failed or no search is not).
    bool valid() const { return find_ && find_ != INVALID_HANDLE_VALUE; }
    /// Ends the search held, if any, and holds `find` instead.
    void reset(HANDLE find = INVALID_HANDLE_VALUE)
    {
        if (valid())
            FindClose(find_);
        find_ = find;
    }
    /// Gives the search up without ending it.
    HANDLE release()
    {
        const HANDLE find = find_;
        find_ = INVALID_HANDLE_VALUE;
        return find;
    }

private:
    HANDLE find_;
};

DWORD GetFileAttributes(const std::string& path);

/// Current and system folder as drive-letter paths, without trailing separator unless a root.
std::string GetCurrentDirectory();
BOOL SetCurrentDirectory(const std::string& path);
std::string GetWindowsDirectory();

/// Fails with ERROR_ALREADY_EXISTS when anything of that name exists.
BOOL CreateDirectory(const std::string& path);
/// Never replaces an existing entry (ERROR_ALREADY_EXISTS). Across file systems a file is copied,
/// the copy checked, and only then the source removed. A rename that changes only letter case works.
BOOL MoveFile(const std::string& from, const std::string& to);
/// Removes a file (not a folder).
BOOL DeleteFile(const std::string& path);
/// Removes an empty folder.
BOOL RemoveDirectory(const std::string& path);

/// Opens a regular file for reading; anything else (FIFO, device, folder) fails at once.
HANDLE CreateFile(const std::string& path, DWORD access, DWORD share, void* security, DWORD creation, DWORD flags,
                  HANDLE templ);
DWORD GetFileSize(HANDLE file, DWORD* high);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL CloseHandle(HANDLE handle);

/// Called on the opening thread before the system layer opens a file or a folder, with its drive-letter
/// path. For tests and benchmarks: a delay stands for a slow disk or a network share, a change of the
/// folder for another program at work. Null (the default) calls nothing.
using OpenHook = void (*)(const std::string& path);
void setOpenHook(OpenHook hook);

/// Process-wide; returns the previous mode. Linux shows no critical-error dialogs, so nothing else changes.
UINT SetErrorMode(UINT mode);

} // namespace platform
