// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/foldertree.h"

#include "platform/files/argumentpath.h"
#include "platform/files/drives.h"
#include "platform/files/files.h"
#include "platform/files/nativepath.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace platform {

namespace {

// How near to now a modification time is taken as a change that a listing may have missed.
constexpr std::int64_t kRecentNs = 2'000'000'000;

std::int64_t nanoseconds(const timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FolderStamp stampOf(const struct stat& st)
{
    FolderStamp s;
    s.modified = nanoseconds(st.st_mtim);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t age = nanoseconds(now) - std::max(s.modified, nanoseconds(st.st_ctim));
    s.recent = age < kRecentNs && age > -kRecentNs;
    return s;
}

bool endsWithIgnoringCase(const char* name, size_t length, const std::string& suffix)
{
    if (length < suffix.size())
        return false;
    return strncasecmp(name + length - suffix.size(), suffix.c_str(), suffix.size()) == 0;
}

/// The folder of the drive that holds the path most closely, and its kind.
const DriveInfo* driveHolding(const std::vector<DriveInfo>& drives, const std::string& native)
{
    const DriveInfo* best = nullptr;
    for (const DriveInfo& d : drives) {
        const std::string& dir = d.directory;
        const bool holds = dir == "/" ? (!native.empty() && native[0] == '/')
                                      : (native == dir || native.compare(0, dir.size() + 1, dir + "/") == 0);
        if (holds && (!best || dir.size() > best->directory.size()))
            best = &d;
    }
    return best;
}

} // namespace

FolderStamp folderStamp(const std::string& native)
{
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0) {
        FolderStamp s;
        s.error = errno;
        return s;
    }
    if (!S_ISDIR(st.st_mode)) {
        FolderStamp s;
        s.error = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
        return s;
    }
    return stampOf(st);
}

TreeListing listTreeFolder(const std::string& native, const std::string& suffix,
                           const std::function<bool(const std::string& name)>& identityWanted)
{
    TreeListing out;
    const int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        out.stamp.error = errno;
        return out;
    }
    struct stat st {};
    if (::fstat(dir, &st) != 0) {
        out.stamp.error = errno;
        ::close(dir);
        return out;
    }
    // The stamp is taken before the names are read: a change made meanwhile leaves a newer time behind,
    // and the folder is listed again next time.
    out.stamp = stampOf(st);
    DIR* d = ::fdopendir(dir);
    if (!d) {
        out.stamp.error = errno;
        ::close(dir);
        return out;
    }
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        const size_t length = std::strlen(e->d_name);
        if ((length == 1 && e->d_name[0] == '.') || (length == 2 && e->d_name[0] == '.' && e->d_name[1] == '.'))
            continue;
        if (std::memchr(e->d_name, '\\', length))
            continue;
        const bool wanted = endsWithIgnoringCase(e->d_name, length, suffix);
        unsigned char type = e->d_type;
        if (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN && !(type == DT_REG && wanted))
            continue;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat own {};
            if (::fstatat(dir, e->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(own.st_mode)   ? DT_DIR
                   : S_ISLNK(own.st_mode) ? DT_LNK
                   : S_ISREG(own.st_mode) ? DT_REG
                                          : DT_UNKNOWN;
        }
        struct stat target {};
        std::string name(e->d_name, length);
        if (type == DT_REG && wanted && identityWanted && !identityWanted(name)) {
            // Its kind is the listing's word: whoever opens it looks at it anyway.
            out.entries.push_back({std::move(name), TreeEntry::Kind::File, {}, false});
        } else if (type == DT_DIR) {
            out.entries.push_back({std::move(name), TreeEntry::Kind::Folder, {}});
        } else if (type == DT_LNK) {
            if (::fstatat(dir, e->d_name, &target, 0) != 0)
                continue; // a dangling link
            if (S_ISDIR(target.st_mode))
                out.entries.push_back({std::move(name), TreeEntry::Kind::LinkedFolder, {}});
            else if (S_ISREG(target.st_mode) && wanted)
                out.entries.push_back({std::move(name), TreeEntry::Kind::File, identityOf(target)});
        } else if (type == DT_REG && wanted && ::fstatat(dir, e->d_name, &target, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISREG(target.st_mode)) {
            out.entries.push_back({std::move(name), TreeEntry::Kind::File, identityOf(target)});
        }
        errno = 0;
    }
    // A folder whose reading broke off (a drive pulled out) is not taken as one that holds less.
    if (errno != 0)
        out.stamp.error = errno;
    ::closedir(d);
    return out;
}

int openListedFile(const std::string& native, std::optional<FileIdentity>& identity)
{
    identity.reset();
    callOpenHook(native);
    struct stat st {};
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        const int error = errno;
        // A file that may not be read is a file all the same.
        if (::lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            identity = identityOf(st);
        errno = error;
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    identity = identityOf(st);
    return fd;
}

std::string realFolderPath(const std::string& native, int& error)
{
    error = 0;
    char* real = ::realpath(native.c_str(), nullptr);
    if (!real) {
        error = errno;
        return {};
    }
    std::string out(real);
    std::free(real);
    struct stat st {};
    if (::stat(out.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = ENOTDIR;
        return {};
    }
    return out;
}

std::string folderOfArgument(const std::string& argument, int& error)
{
    const std::string drivePath = DrivePathOfArgument(argument);
    const std::optional<std::string> native = drivePath.empty() ? std::nullopt : nativePath(drivePath);
    if (!native) {
        error = ENODEV;
        return {};
    }
    return realFolderPath(*native, error);
}

std::string driveFolderOf(const std::string& native)
{
    const std::vector<DriveInfo> drives = driveTable();
    const DriveInfo* d = driveHolding(drives, native);
    return d ? d->directory : std::string();
}

bool isDriveFolder(const std::string& folder)
{
    for (const DriveInfo& d : driveTable())
        if (d.directory == folder)
            return true;
    return false;
}

bool isNetworkFolder(const std::string& native)
{
    const std::vector<DriveInfo> drives = driveTable();
    if (const DriveInfo* d = driveHolding(drives, native); d && d->kind == DRIVE_REMOTE)
        return true;
    struct statfs fs {};
    if (::statfs(native.c_str(), &fs) != 0)
        return false;
    // NFS, SMB, CIFS, SMB2, Coda, AFS, 9P, Ceph: their servers send no change events to a client.
    for (const unsigned long magic :
         {0x6969UL, 0x517BUL, 0xFF534D42UL, 0xFE534D42UL, 0x73757245UL, 0x5346414FUL, 0x01021997UL, 0x00C36400UL})
        if (static_cast<unsigned long>(fs.f_type) == magic)
            return true;
    return false;
}

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace platform
