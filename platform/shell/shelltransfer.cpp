// SPDX-License-Identifier: GPL-3.0-or-later
// Copying and moving files and folders: collisions, replacing only after a Yes, moves across file systems.
#include "platform/files/copyfile.h"
#include "platform/shell/dialogs.h"
#include "platform/files/nativepath.h"
#include "platform/shell/shellops.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::shellops {

namespace {

DWORD writeError(int err)
{
    // A file size limit reads as a full disk: the copy did not fit.
    return err == ENOSPC || err == EDQUOT || err == EFBIG ? ERROR_DISK_FULL : errorFromErrno(err);
}

std::string realPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

bool isInside(const std::string& dir, const std::string& folder)
{
    const std::string d = realPath(dir);
    const std::string f = realPath(folder);
    return d == f || d.compare(0, f.size() + 1, f + "/") == 0 || f == "/";
}

} // namespace

DWORD Operation::runTransfer()
{
    std::vector<Source> sources;
    if (const DWORD err = resolveSources(sources))
        return err;
    if (sources.empty())
        return ERROR_SUCCESS;
    const std::vector<std::string> targets = splitNulList(op_.pTo);
    std::vector<std::pair<std::string, std::string>> places; // folder and name of each source's target
    if (has(FOF_MULTIDESTFILES) && targets.size() > 1) {
        if (targets.size() != sources.size())
            return fail(ERROR_INVALID_PARAMETER, sources.front().shown);
        for (std::size_t i = 0; i < sources.size(); ++i) {
            std::string dir, name;
            if (const DWORD err = resolveTarget(targets[i], dir, name))
                return fail(err, sources[i].shown);
            places.emplace_back(dir, name);
        }
    } else {
        if (targets.empty())
            return fail(ERROR_PATH_NOT_FOUND, sources.front().shown);
        const std::optional<std::string> folder = existingNativePath(targets.front());
        struct stat st {};
        if (folder && ::stat(folder->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            for (const Source& s : sources)
                places.emplace_back(*folder, nativeName(s.native));
        } else {
            std::string dir, name;
            if (const DWORD err = resolveTarget(targets.front(), dir, name))
                return fail(err, sources.front().shown);
            if (sources.size() == 1) {
                places.emplace_back(dir, name); // copy or move under a new name
            } else {
                if (!has(FOF_NOCONFIRMMKDIR) && !has(FOF_NOCONFIRMATION) &&
                    ask("The folder '" + name + "' does not exist.\n\nDo you want to create it?",
                        "Confirm Folder Create", MB_YESNO | MB_ICONQUESTION) != IDYES)
                    return fail(ERROR_CANCELLED, {});
                const std::string made = joinNative(dir, name);
                if (::mkdir(made.c_str(), 0777) != 0)
                    return fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(errno), name);
                for (const Source& s : sources)
                    places.emplace_back(made, nativeName(s.native));
            }
        }
    }
    for (const Source& s : sources)
        measure(s.native, op_.wFunc == FO_COPY);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& s = sources[i];
        if (!tick(0, s.shown))
            return fail(ERROR_CANCELLED, {});
        struct stat st = s.st;
        // A link named directly is copied as what it points to; a move takes the link itself.
        if (op_.wFunc == FO_COPY && S_ISLNK(st.st_mode)) {
            struct stat followed {};
            if (::stat(s.native.c_str(), &followed) == 0)
                st = followed;
        }
        topSource_ = s.native;
        if (const DWORD err = transfer(s.native, st, places[i].first, places[i].second, s.shown))
            return err;
    }
    return ERROR_SUCCESS;
}

DWORD Operation::transfer(const std::string& src, const struct stat& srcSt, const std::string& dir, std::string name,
                          const std::string& shown)
{
    const bool isDir = S_ISDIR(srcSt.st_mode);
    if (isDir && isInside(dir, src))
        return fail(DE_DESTSUBTREE, shown);
    bool replace = false;
    if (const std::optional<std::string> existing = findFolded(dir, name)) {
        struct stat est {};
        const std::string existingPath = joinNative(dir, *existing);
        if (::lstat(existingPath.c_str(), &est) != 0)
            return fail(errorFromErrno(errno), shown);
        struct stat srcEntry {};
        const bool same = sameEntry(est, srcSt) || (::lstat(src.c_str(), &srcEntry) == 0 && sameEntry(est, srcEntry));
        if (same && op_.wFunc == FO_MOVE && *existing != name) {
            // A move onto its own name in another letter case changes the spelling on disk.
        } else if (has(FOF_RENAMEONCOLLISION) && (!same || op_.wFunc == FO_COPY)) {
            name = freeCollisionName(dir, name);
        } else if (same) {
            return fail(DE_SAMEFILE, shown);
        } else if (has(FOF_NOCONFIRMATION)) {
            // Nothing is replaced without a Yes from the user, whatever the caller's flags.
            return fail(ERROR_ALREADY_EXISTS, shown);
        } else {
            const bool existingDir = S_ISDIR(est.st_mode);
            const std::string text =
                existingDir ? "This folder already contains a folder named '" + *existing +
                                  "'.\n\nIf files in the existing folder have the same names as files in the folder "
                                  "you are moving or copying, you will be asked before each is replaced. Do you "
                                  "still want to move or copy the folder?"
                            : "This folder already contains a file named '" + *existing +
                                  "'.\n\nWould you like to replace the existing file with this one?";
            const int answer = ask(text, existingDir ? "Confirm Folder Replace" : "Confirm File Replace",
                                   MB_YESNOCANCEL | MB_ICONWARNING);
            if (answer == IDCANCEL)
                return fail(ERROR_CANCELLED, {});
            if (answer != IDYES)
                return tick(1, shown) ? ERROR_SUCCESS : fail(ERROR_CANCELLED, {});
            if (existingDir != isDir)
                return fail(DE_REPLACEKIND, shown);
            name = *existing;
            replace = true;
        }
    }
    const std::string target = joinNative(dir, name);
    if (op_.wFunc == FO_MOVE)
        return moveInto(src, srcSt, target, replace, shown);
    return copyInto(src, srcSt, target, replace, false, shown);
}

DWORD Operation::moveInto(const std::string& src, const struct stat& srcSt, const std::string& target, bool replace,
                          const std::string& shown)
{
    if (replace && S_ISDIR(srcSt.st_mode))
        return copyFolder(src, target, true, true, shown); // merge, entry by entry
    if (placeNew(src, target, replace)) {
        return tick(1 + (S_ISREG(srcSt.st_mode) ? srcSt.st_size : 0), nativeName(src)) ? ERROR_SUCCESS
                                                                                       : fail(ERROR_CANCELLED, {});
    }
    const int err = errno;
    if (err == EXDEV)
        return copyInto(src, srcSt, target, replace, true, shown);
    return fail(err == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(err), shown);
}

DWORD Operation::copyInto(const std::string& src, const struct stat& srcSt, const std::string& target, bool replace,
                          bool removeSource, const std::string& shown)
{
    if (S_ISDIR(srcSt.st_mode))
        return copyFolder(src, target, replace, removeSource, shown);
    if (S_ISLNK(srcSt.st_mode)) {
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlink(src.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0)
            return fail(errorFromErrno(errno), shown);
        const std::string content(buffer.data(), static_cast<std::size_t>(n));
        std::string part;
        int made = -1;
        for (int attempt = 0; attempt < 100 && made != 0; ++attempt) {
            part = temporaryNameIn(nativeParent(target));
            made = ::symlink(content.c_str(), part.c_str());
            if (made != 0 && errno != EEXIST)
                break;
        }
        if (made != 0)
            return fail(writeError(errno), shown);
        if (!placeNew(part, target, replace)) {
            const int err = errno;
            ::unlink(part.c_str());
            return fail(err == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(err), shown);
        }
    } else if (S_ISREG(srcSt.st_mode)) {
        if (const DWORD err = copyFile(src, target, replace, removeSource, shown))
            return err;
    } else {
        // Devices, FIFOs and sockets inside a folder stay where they are; named directly they are refused.
        if (src == topSource_)
            return fail(DE_NOTREGULAR, shown);
        return tick(1, nativeName(src)) ? ERROR_SUCCESS : fail(ERROR_CANCELLED, {});
    }
    if (removeSource && ::unlink(src.c_str()) != 0)
        return fail(errorFromErrno(errno), shown);
    return tick(1, nativeName(src)) ? ERROR_SUCCESS : fail(ERROR_CANCELLED, {});
}

DWORD Operation::copyFolder(const std::string& src, const std::string& target, bool merge, bool removeSource,
                            const std::string& shown)
{
    struct stat st {};
    if (::lstat(src.c_str(), &st) != 0 && ::stat(src.c_str(), &st) != 0)
        return fail(errorFromErrno(errno), shown);
    if (!merge && ::mkdir(target.c_str(), 0700) != 0)
        return fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : writeError(errno), shown);
    for (const std::string& child : listFolder(src)) {
        const std::string childPath = joinNative(src, child);
        struct stat cst {};
        if (::lstat(childPath.c_str(), &cst) != 0)
            continue; // gone meanwhile
        const DWORD err = merge ? transfer(childPath, cst, target, child, shown)
                                : copyInto(childPath, cst, joinNative(target, child), false, removeSource, shown);
        if (err)
            return err;
    }
    if (!merge)
        ::chmod(target.c_str(), st.st_mode & 07777);
    // What stayed behind (answered No, a FIFO) keeps the source folder alive; nothing is lost.
    if (removeSource && ::rmdir(src.c_str()) != 0 && errno != ENOTEMPTY && errno != EEXIST)
        return fail(errorFromErrno(errno), shown);
    return tick(1, nativeName(src)) ? ERROR_SUCCESS : fail(ERROR_CANCELLED, {});
}

DWORD Operation::copyFile(const std::string& src, const std::string& target, bool replace, bool verify,
                          const std::string& shown)
{
    const std::string name = nativeName(src);
    CopyRequest request;
    request.replace = replace;
    request.verify = verify;
    request.progress = [&](long long bytes) { return tick(bytes, name); };
    const CopyResult r = copyFileVerified(src, target, request);
    switch (r.status) {
    case CopyResult::Copied:
        return ERROR_SUCCESS;
    case CopyResult::SourceFailed:
        return fail(errorFromErrno(r.error), shown);
    case CopyResult::NotRegular:
        return fail(DE_NOTREGULAR, shown);
    case CopyResult::WriteFailed:
        return fail(writeError(r.error), shown);
    case CopyResult::Mismatch:
        return fail(DE_VERIFY, shown);
    case CopyResult::Cancelled:
        return fail(ERROR_CANCELLED, shown);
    case CopyResult::PlaceFailed:
        break;
    }
    return fail(r.error == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(r.error), shown);
}

} // namespace platform::shellops
