// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/files.h"

#include "platform/files/filecalls.h"
#include "platform/files/nativepath.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

namespace files_detail {

bool isDotName(const std::string& n)
{
    return n == "." || n == "..";
}

std::string parentOf(const std::string& drivePath, std::string* last)
{
    std::string p = drivePath;
    while (p.size() > 3 && p.back() == '\\')
        p.pop_back();
    const size_t cut = p.rfind('\\');
    if (cut == std::string::npos || cut < 2) {
        if (last)
            *last = p.size() > 2 ? p.substr(2) : std::string();
        return p.substr(0, std::min<size_t>(p.size(), 2)) + "\\";
    }
    if (last)
        *last = p.substr(cut + 1);
    return p.substr(0, cut + 1);
}

bool fail(int err)
{
    SetLastError(errorFromErrno(err));
    return false;
}

} // namespace files_detail

using namespace files_detail;

namespace {

std::atomic<UINT> errorMode{0};
std::atomic<OpenHook> openHook{nullptr};

struct FileHandle {
    int fd = -1;
};

} // namespace

DWORD GetLogicalDrives()
{
    refreshSystemDrivesIfChanged();
    DWORD mask = 0;
    for (const DriveInfo& d : driveTable())
        if (d.letter >= 'A' && d.letter <= 'Z')
            mask |= 1u << (d.letter - 'A');
    return mask;
}

UINT GetDriveType(const std::string& root)
{
    if (root.size() < 2 || root[1] != ':')
        return DRIVE_NO_ROOT_DIR;
    const std::optional<DriveInfo> d = driveOf(root[0]);
    if (!d)
        return DRIVE_NO_ROOT_DIR;
    struct stat st {};
    if (::stat(d->directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return DRIVE_NO_ROOT_DIR;
    return d->kind;
}

BOOL GetVolumeInformation(const std::string& root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                          DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                          DWORD fileSystemNameSize)
{
    const std::optional<DriveInfo> d = root.size() >= 2 && root[1] == ':' ? driveOf(root[0]) : std::nullopt;
    struct statvfs vfs {};
    if (!d || ::statvfs(d->directory.c_str(), &vfs) != 0) {
        SetLastError(d ? ERROR_NOT_READY : ERROR_PATH_NOT_FOUND);
        return FALSE_;
    }
    auto put = [](char* buf, DWORD size, const std::string& text) {
        if (buf && size > 0) {
            const size_t n = std::min<size_t>(text.size(), size - 1);
            std::memcpy(buf, text.data(), n);
            buf[n] = 0;
        }
    };
    put(volumeName, volumeNameSize, d->label);
    std::string fs = d->fileSystem.empty() ? "ext4" : d->fileSystem;
    put(fileSystemName, fileSystemNameSize, fs);
    if (serialNumber)
        *serialNumber = d->serial ? *d->serial : DWORD(vfs.f_fsid & 0xFFFFFFFF);
    if (maxComponentLength)
        *maxComponentLength = DWORD(vfs.f_namemax ? vfs.f_namemax : 255);
    if (fileSystemFlags)
        *fileSystemFlags = 0x3; // case-preserved and case-sensitive names
    return TRUE_;
}

std::string GetCurrentDirectory()
{
    char buf[4096];
    if (::getcwd(buf, sizeof buf)) {
        const std::string p = drivePathOf(buf);
        if (!p.empty())
            return p.size() == 3 ? p : p;
    }
    const std::vector<DriveInfo> drives = driveTable();
    for (const DriveInfo& d : drives)
        if (d.letter == 'C')
            return "C:\\";
    return drives.empty() ? std::string("C:\\") : std::string(1, drives.front().letter) + ":\\";
}

BOOL SetCurrentDirectory(const std::string& path)
{
    const std::optional<std::string> native = existingNativePath(path);
    if (!native)
        return FALSE_;
    if (::chdir(native->c_str()) != 0)
        return fail(errno);
    return TRUE_;
}

std::string GetWindowsDirectory()
{
    const std::string p = drivePathOf("/usr");
    if (!p.empty())
        return p;
    return GetCurrentDirectory().substr(0, 2) + "\\";
}

HANDLE CreateFile(const std::string& path, DWORD access, DWORD, void*, DWORD creation, DWORD, HANDLE)
{
    if (access != GENERIC_READ || creation != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER); // the program only ever reads existing files
        return INVALID_HANDLE_VALUE;
    }
    const int fd = openRegularFile(path);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    return new FileHandle{fd};
}

DWORD GetFileSize(HANDLE file, DWORD* high)
{
    if (!file || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat st {};
    if (::fstat(static_cast<FileHandle*>(file)->fd, &st) != 0) {
        SetLastError(errorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    const unsigned long long size = (unsigned long long)st.st_size;
    if (high)
        *high = DWORD(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(size & 0xFFFFFFFF);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*)
{
    if (read)
        *read = 0;
    if (!file || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    const int fd = static_cast<FileHandle*>(file)->fd;
    DWORD done = 0;
    while (done < toRead) {
        const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, toRead - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetLastError(errorFromErrno(errno));
            if (read)
                *read = done;
            return FALSE_;
        }
        if (n == 0)
            break;
        done += DWORD(n);
    }
    if (read)
        *read = done;
    return TRUE_;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method)
{
    if (!file || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    long long off = distanceHigh ? ((long long)*distanceHigh << 32) | (unsigned long long)(DWORD)distance : distance;
    const int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    const off_t r = ::lseek(static_cast<FileHandle*>(file)->fd, off, whence);
    if (r < 0) {
        SetLastError(errorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = LONG((unsigned long long)r >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD((unsigned long long)r & 0xFFFFFFFF);
}

BOOL CloseHandle(HANDLE handle)
{
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    auto* h = static_cast<FileHandle*>(handle);
    ::close(h->fd);
    delete h;
    return TRUE_;
}

void setOpenHook(OpenHook hook)
{
    openHook = hook;
}

void callOpenHook(const std::string& drivePath)
{
    if (const OpenHook hook = openHook.load())
        hook(drivePath);
}

UINT SetErrorMode(UINT mode)
{
    return errorMode.exchange(mode);
}

} // namespace platform

