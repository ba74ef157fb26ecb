// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/files.h"

#include "platform/files/copyfile.h"
#include "platform/files/fileidentity.h"
#include "platform/files/nativepath.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::atomic<UINT> errorMode{0};
std::atomic<OpenHook> openHook{nullptr};

constexpr unsigned long long kEpochDiff = 116444736000000000ULL; // 1601-01-01 to 1970-01-01 in 100 ns

FILETIME toFileTime(const timespec& t)
{
    const unsigned long long v =
        kEpochDiff + (unsigned long long)t.tv_sec * 10000000ULL + (unsigned long long)t.tv_nsec / 100;
    return FILETIME{DWORD(v & 0xFFFFFFFF), DWORD(v >> 32)};
}

bool isDotName(const std::string& n)
{
    return n == "." || n == "..";
}

DWORD attributesOf(const struct stat& st, const std::string& name)
{
    DWORD a = 0;
    if (S_ISDIR(st.st_mode))
        a |= FILE_ATTRIBUTE_DIRECTORY;
    else if (S_ISREG(st.st_mode))
        a |= FILE_ATTRIBUTE_ARCHIVE;
    else
        a |= FILE_ATTRIBUTE_SYSTEM;
    if (!(st.st_mode & S_IWUSR))
        a |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == '.' && !isDotName(name))
        a |= FILE_ATTRIBUTE_HIDDEN;
    return a;
}

// Follows links (a linked folder is a folder); a dangling link reports itself.
bool statEntry(int dirFd, const std::string& name, struct stat& st)
{
    if (::fstatat(dirFd, name.c_str(), &st, 0) == 0)
        return true;
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

void fill(WIN32_FIND_DATA* data, const std::string& name, const struct stat& st)
{
    *data = WIN32_FIND_DATA{};
    data->dwFileAttributes = attributesOf(st, name);
    data->ftCreationTime = toFileTime(st.st_ctim);
    data->ftLastAccessTime = toFileTime(st.st_atim);
    data->ftLastWriteTime = toFileTime(st.st_mtim);
    const unsigned long long size = S_ISREG(st.st_mode) ? (unsigned long long)st.st_size : 0;
    data->nFileSizeHigh = DWORD(size >> 32);
    data->nFileSizeLow = DWORD(size & 0xFFFFFFFF);
    std::strncpy(data->cFileName, name.c_str(), MAX_PATH - 1);
}

// Wildcard match of folded texts: '*' any run, '?' one character (one UTF-8 sequence).
bool wildMatch(const char* p, const char* s)
{
    const char* star = nullptr;
    const char* retry = nullptr;
    auto next = [](const char* c) {
        ++c;
        while ((static_cast<unsigned char>(*c) & 0xC0) == 0x80)
            ++c;
        return c;
    };
    while (*s) {
        if (*p == '*') {
            star = ++p;
            retry = s;
        } else if (*p == '?' || *p == *s) {
            s = *p == '?' ? next(s) : s + 1;
            ++p;
        } else if (star) {
            p = star;
            s = retry = next(retry);
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}

bool matches(const std::string& foldedPattern, const std::string& name)
{
    if (foldedPattern == "*" || foldedPattern == "*.*")
        return true;
    return wildMatch(foldedPattern.c_str(), foldCase(name).c_str());
}

struct FindState {
    int dirFd = -1;
    std::vector<std::string> names;
    size_t next = 0;
    ~FindState()
    {
        if (dirFd >= 0)
            ::close(dirFd);
    }
};

struct FileHandle {
    int fd = -1;
};

thread_local std::optional<FileIdentity> lastFound;

bool step(FindState* f, WIN32_FIND_DATA* data)
{
    lastFound.reset();
    while (f->next < f->names.size()) {
        const std::string& name = f->names[f->next++];
        struct stat st {};
        if (isDotName(name)) {
            // Always folders; a probe for sub-folders should not pay a stat for them.
            st.st_mode = S_IFDIR | S_IRWXU;
            fill(data, name, st);
            return true;
        }
        if (statEntry(f->dirFd, name, st)) {
            fill(data, name, st);
            if (S_ISREG(st.st_mode)) {
                lastFound = identityOf(st);
            }
            return true;
        }
        // Gone since the listing: skip it.
    }
    SetLastError(ERROR_NO_MORE_FILES);
    return false;
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

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb{};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool fail(int err)
{
    SetLastError(errorFromErrno(err));
    return false;
}

bool removeTree(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0;
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return false;
    bool ok = true;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (isDotName(n))
            continue;
        ok = removeTree(path + "/" + n) && ok;
    }
    ::closedir(d);
    return ::rmdir(path.c_str()) == 0 && ok;
}

bool copyFailed(const CopyResult& r)
{
    switch (r.status) {
    case CopyResult::NotRegular:
        SetLastError(ERROR_ACCESS_DENIED);
        break;
    case CopyResult::Mismatch:
        SetLastError(errorFromErrno(EIO));
        break;
    default:
        SetLastError(errorFromErrno(r.error ? r.error : EIO));
        break;
    }
    return false;
}

// Makes an empty folder, or a link to linkTarget, under a temporary name of its own in dir.
bool makeTemporary(const std::string& dir, bool folder, const std::string& linkTarget, std::string& temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryNameIn(dir);
        const int made = folder ? ::mkdir(temporary.c_str(), 0700) : ::symlink(linkTarget.c_str(), temporary.c_str());
        if (made == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool copyTreeChecked(const std::string& from, const std::string& to);

bool copyEntries(const std::string& from, const std::string& into)
{
    DIR* d = ::opendir(from.c_str());
    if (!d)
        return fail(errno);
    bool ok = true;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (!isDotName(name) && !copyTreeChecked(from + "/" + name, into + "/" + name)) {
            ok = false;
            break;
        }
    }
    ::closedir(d);
    return ok;
}

// Copies a file, link or folder tree to a new name, checking every file. Each piece is made under a
// temporary name of its own and takes its name only when complete, never over anything; on failure only
// what this copy made is removed.
bool copyTreeChecked(const std::string& from, const std::string& to)
{
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0)
        return fail(errno);
    if (S_ISREG(st.st_mode)) {
        CopyRequest request;
        request.verify = true;
        const CopyResult r = copyFileVerified(from, to, request);
        return r.ok() || copyFailed(r);
    }
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder && !S_ISLNK(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string linkTarget;
    if (!folder) {
        std::vector<char> buffer(4096);
        const ssize_t n = ::readlink(from.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0)
            return fail(errno);
        linkTarget.assign(buffer.data(), size_t(n));
    }
    const size_t slash = to.find_last_of('/');
    std::string temporary;
    if (!makeTemporary(slash == 0 ? "/" : to.substr(0, slash), folder, linkTarget, temporary))
        return fail(errno);
    bool ok = !folder || copyEntries(from, temporary);
    if (ok && folder)
        ::chmod(temporary.c_str(), (st.st_mode & 07777) | S_IRWXU);
    if (ok && !placeNew(temporary, to))
        ok = fail(errno);
    if (!ok) {
        const DWORD e = GetLastError();
        removeTree(temporary);
        SetLastError(e);
    }
    return ok;
}

} // namespace

std::optional<FileIdentity> lastFoundIdentity()
{
    return lastFound;
}

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

HANDLE FindFirstFile(const std::string& pattern, WIN32_FIND_DATA* data)
{
    std::string last;
    const std::string parent = parentOf(pattern, &last);
    if (last.empty() || !data) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::optional<std::string> dir = existingNativePath(parent);
    if (!dir) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    callOpenHook(parent);
    auto f = std::make_unique<FindState>();
    f->dirFd = ::open(dir->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (f->dirFd < 0) {
        SetLastError(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (last.find_first_of("*?") == std::string::npos) {
        // No wildcard: the one entry of that name, as the file system spells it.
        const std::optional<std::string> real = existingNativePath(parent + last);
        if (!real) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        f->names.push_back(real->substr(real->rfind('/') + 1));
    } else {
        const int listFd = ::dup(f->dirFd);
        DIR* d = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (!d) {
            if (listFd >= 0)
                ::close(listFd);
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        const std::string folded = foldCase(last);
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name.find('\\') == std::string::npos && matches(folded, name))
                f->names.push_back(std::move(name));
        }
        ::closedir(d);
        std::sort(f->names.begin(), f->names.end());
    }
    if (!step(f.get(), data)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return f.release();
}

BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data)
{
    if (!find || find == INVALID_HANDLE_VALUE || !data) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    return step(static_cast<FindState*>(find), data) ? TRUE_ : FALSE_;
}

BOOL FindClose(HANDLE find)
{
    if (!find || find == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    delete static_cast<FindState*>(find);
    return TRUE_;
}

DWORD GetFileAttributes(const std::string& path)
{
    const std::optional<std::string> native = existingNativePath(path);
    if (!native)
        return INVALID_FILE_ATTRIBUTES;
    struct stat st {};
    if (::stat(native->c_str(), &st) != 0 && ::lstat(native->c_str(), &st) != 0) {
        SetLastError(errorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributesOf(st, native->substr(native->rfind('/') + 1));
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

BOOL CreateDirectory(const std::string& path)
{
    std::string last;
    const std::string parent = parentOf(path, &last);
    if (last.empty()) {
        SetLastError(ERROR_ALREADY_EXISTS); // a drive root
        return FALSE_;
    }
    const std::optional<std::string> native = nativePath(path);
    const std::optional<std::string> dir = existingNativePath(parent);
    if (!native || !dir) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE_;
    }
    invalidateListings();
    // nativePath resolved an existing entry of another spelling: that is the same name here.
    if (::mkdir(native->c_str(), 0777) != 0)
        return fail(errno);
    invalidateListings();
    return TRUE_;
}

BOOL MoveFile(const std::string& from, const std::string& to)
{
    const std::optional<std::string> src = existingNativePath(from);
    if (!src)
        return FALSE_;
    std::string newName;
    const std::string toParent = parentOf(to, &newName);
    if (newName.empty()) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE_;
    }
    const std::optional<std::string> dstDir = existingNativePath(toParent);
    const std::optional<std::string> existing = nativePath(to);
    if (!dstDir || !existing) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE_;
    }
    if (newName.find('/') != std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE_;
    }
    const std::string dst = (*dstDir == "/" ? "" : *dstDir) + "/" + newName;
    struct stat est {};
    const bool taken = ::lstat(existing->c_str(), &est) == 0;
    if (taken && !sameFile(*existing, *src)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE_;
    }
    if (dst == *src)
        return TRUE_;
    // Moving a folder into itself would detach it from the tree.
    if (dst.compare(0, src->size() + 1, *src + "/") == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    invalidateListings();
    if (placeNew(*src, dst)) {
        invalidateListings();
        return TRUE_;
    }
    if (errno != EXDEV)
        return fail(errno);
    // Another file system: copy, check, and only then remove the source. A failed copy has removed what
    // it made; what stands at the target's name was made by someone else and stays.
    if (!copyTreeChecked(*src, dst)) {
        const DWORD e = GetLastError();
        invalidateListings();
        SetLastError(e);
        return FALSE_;
    }
    const bool removed = removeTree(*src);
    invalidateListings();
    if (!removed) {
        SetLastError(ERROR_ACCESS_DENIED); // the copy is complete; the source stays where it could not be removed
        return FALSE_;
    }
    return TRUE_;
}

BOOL DeleteFile(const std::string& path)
{
    const std::optional<std::string> native = existingNativePath(path);
    if (!native)
        return FALSE_;
    struct stat st {};
    if (::lstat(native->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE_;
    }
    if (::unlink(native->c_str()) != 0)
        return fail(errno);
    invalidateListings();
    return TRUE_;
}

BOOL RemoveDirectory(const std::string& path)
{
    const std::optional<std::string> native = existingNativePath(path);
    if (!native)
        return FALSE_;
    if (::rmdir(native->c_str()) != 0)
        return fail(errno);
    invalidateListings();
    return TRUE_;
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
