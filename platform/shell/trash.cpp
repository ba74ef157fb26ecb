// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/trash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The device of a path, or of its nearest existing ancestor.
dev_t deviceOfNearest(std::string path)
{
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        if (path == "/" || path.empty())
            return 0;
        path = parentOf(path);
    }
    return st.st_dev;
}

bool makeDirs(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (path == "/" || path.empty())
        return false;
    if (!makeDirs(parentOf(path)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// A folder of the trash that belongs to us: a real folder (no link), ours, and on the item's device.
bool ownTrashFolder(const std::string& path, dev_t device, bool create)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (!create || ::mkdir(path.c_str(), 0700) != 0 || ::lstat(path.c_str(), &st) != 0)
            return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && st.st_dev == device;
}

bool prepareTrash(const std::string& trash, dev_t device, bool create)
{
    return ownTrashFolder(trash, device, create) && ownTrashFolder(trash + "/files", device, true) &&
           ownTrashFolder(trash + "/info", device, true);
}

// Where an item really lies: its folder with every link resolved, and its own name (a link itself is
// trashed, never what it points to). The trash and the Path key follow from there, not from the way the
// user reached the item.
std::string realLocation(const std::string& native)
{
    char buffer[PATH_MAX];
    if (!::realpath(parentOf(native).c_str(), buffer))
        return native;
    const std::string dir = buffer;
    return (dir == "/" ? "" : dir) + "/" + baseName(native);
}

// True for the root folder of a mount (also a bind mount of a folder of the same file system).
bool isMountRoot(const std::string& dir)
{
    struct statx stx {};
    return ::statx(AT_FDCWD, dir.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &stx) == 0 &&
           (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

// The top of the mount that holds an item given by its real location.
std::string topDirOf(const std::string& real, dev_t device)
{
    std::string top = parentOf(real);
    while (top != "/" && !isMountRoot(top)) {
        const std::string up = parentOf(top);
        struct stat st {};
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

struct TrashPlace {
    std::string dir;
    std::string topDir; ///< empty for the home trash (absolute Path key)
};

bool findTrash(const std::string& native, dev_t device, TrashPlace& place)
{
    const std::string home = homeTrashDir();
    if (deviceOfNearest(home) == device) {
        // The home trash is the only trash of the home file system; no fallback to a volume trash.
        place.dir = home;
        return makeDirs(parentOf(home)) && prepareTrash(home, device, true);
    }
    const std::string top = topDirOf(native, device);
    const std::string uid = std::to_string(::getuid());
    const std::string admin = (top == "/" ? "" : top) + "/.Trash";
    struct stat st {};
    if (::lstat(admin.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) && st.st_dev == device &&
        prepareTrash(admin + "/" + uid, device, true)) {
        place = {admin + "/" + uid, top};
        return true;
    }
    const std::string own = (top == "/" ? "" : top) + "/.Trash-" + uid;
    if (prepareTrash(own, device, true)) {
        place = {own, top};
        return true;
    }
    return false;
}

std::string candidateName(const std::string& name, int n)
{
    // Leave room for ".trashinfo" and a counter within the 255 bytes of a name.
    std::string base = name.size() > 200 ? name.substr(0, 200) : name;
    if (n == 1)
        return base;
    const auto dot = base.find_last_of('.');
    const std::string stem = (dot == std::string::npos || dot == 0) ? base : base.substr(0, dot);
    const std::string ext = (dot == std::string::npos || dot == 0) ? "" : base.substr(dot);
    return stem + "." + std::to_string(n) + ext;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string deletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace

std::string homeTrashDir()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/Trash";
    const char* home = std::getenv("HOME");
    std::string homeDir = home && home[0] == '/' ? home : "";
    if (homeDir.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()))
            homeDir = pw->pw_dir;
    }
    return homeDir + "/.local/share/Trash";
}

std::string trashInfoEscape(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                           c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

TrashResult moveToTrash(const std::string& given)
{
    TrashResult result;
    struct stat st {};
    errno = 0;
    if (given.empty() || given[0] != '/' || ::lstat(given.c_str(), &st) != 0) {
        result.status = TrashResult::Missing;
        result.error = errno ? errno : ENOENT;
        return result;
    }
    const std::string native = realLocation(given);
    TrashPlace place;
    if (!findTrash(native, st.st_dev, place)) {
        result.status = TrashResult::NoTrash;
        result.error = EXDEV;
        return result;
    }
    const std::string name = baseName(native);
    const std::string pathKey = place.topDir.empty()  ? native
                                : place.topDir == "/" ? native.substr(1)
                                                      : native.substr(place.topDir.size() + 1);
    const std::string info =
        "[Trash Info]\nPath=" + trashInfoEscape(pathKey) + "\nDeletionDate=" + deletionDate() + "\n";

    for (int n = 1; n < 100000; ++n) {
        const std::string candidate = candidateName(name, n);
        const std::string infoPath = place.dir + "/info/" + candidate + ".trashinfo";
        const std::string filesPath = place.dir + "/files/" + candidate;
        // The info file is made first and exclusively: it reserves the name (as the specification of the
        // trash asks), so two programs trashing the same name never meet.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            result.status = TrashResult::Failed;
            result.error = errno;
            return result;
        }
        struct stat existing {};
        if (::lstat(filesPath.c_str(), &existing) == 0) {
            // A leftover without its info file; keep it and take the next name.
            ::close(fd);
            ::unlink(infoPath.c_str());
            continue;
        }
        const bool written = writeAll(fd, info);
        const int closeResult = ::close(fd);
        if (!written || closeResult != 0) {
            result.status = TrashResult::Failed;
            result.error = errno ? errno : EIO;
            ::unlink(infoPath.c_str());
            return result;
        }
        int moved = ::renameat2(AT_FDCWD, native.c_str(), AT_FDCWD, filesPath.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && errno == EINVAL)
            moved = ::rename(native.c_str(), filesPath.c_str()); // no RENAME_NOREPLACE here; the name was free
        if (moved != 0) {
            const int err = errno;
            ::unlink(infoPath.c_str());
            if (err == EEXIST)
                continue;
            result.status = err == EXDEV    ? TrashResult::NoTrash
                            : err == ENOENT ? TrashResult::Missing
                                            : TrashResult::Failed;
            result.error = err;
            return result;
        }
        result.status = TrashResult::Trashed;
        result.error = 0;
        result.trashedPath = filesPath;
        result.infoPath = infoPath;
        return result;
    }
    result.status = TrashResult::Failed;
    result.error = EEXIST;
    return result;
}

} // namespace platform
