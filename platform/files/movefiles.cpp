// SPDX-License-Identifier: GPL-3.0-or-later
// Making, moving and removing files and folders (files.h); across file systems a move copies, checks
// and only then removes.
#include "platform/files/files.h"

#include "platform/files/copyfile.h"
#include "platform/files/filecalls.h"
#include "platform/files/nativepath.h"

#include <cerrno>
#include <dirent.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

using namespace files_detail;

namespace {

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb{};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
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

} // namespace platform
