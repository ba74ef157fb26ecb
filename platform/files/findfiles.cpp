// SPDX-License-Identifier: GPL-3.0-or-later
// The directory searches and attributes of files.h.
#include "platform/files/files.h"

#include "platform/files/filecalls.h"
#include "platform/files/fileidentity.h"
#include "platform/files/nativepath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

using namespace files_detail;

namespace {

constexpr unsigned long long kEpochDiff = 116444736000000000ULL; // 1601-01-01 to 1970-01-01 in 100 ns

FILETIME toFileTime(const timespec& t)
{
    const unsigned long long v =
        kEpochDiff + (unsigned long long)t.tv_sec * 10000000ULL + (unsigned long long)t.tv_nsec / 100;
    return FILETIME{DWORD(v & 0xFFFFFFFF), DWORD(v >> 32)};
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

} // namespace

std::optional<FileIdentity> lastFoundIdentity()
{
    return lastFound;
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

} // namespace platform
