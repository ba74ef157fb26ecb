// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/drives.h"

#include "platform/files/files.h"
#include "platform/files/nativepath.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <limits.h>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

namespace {

struct State {
    std::mutex mutex;
    bool replaced = false;
    bool envChecked = false;
    bool loaded = false;
    std::vector<DriveInfo> drives;
};

State& state()
{
    static State s;
    return s;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// mountinfo escapes blanks and backslashes as octal (\040).
std::string unescapeOctal(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::all_of(s.begin() + i + 1, s.begin() + i + 4, [](char c) { return c >= '0' && c <= '7'; })) {
            out.push_back(char(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8)));
            i += 3;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

// udev escapes odd characters of labels in /dev/disk/by-label as \xNN.
std::string unescapeHex(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && std::isxdigit((unsigned char)s[i + 2]) &&
            std::isxdigit((unsigned char)s[i + 3])) {
            out.push_back(char(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16)));
            i += 3;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool under(const std::string& path, const std::string& dir)
{
    return path == dir || startsWith(path, dir + "/");
}

std::string realPath(const std::string& p)
{
    char buf[PATH_MAX];
    if (::realpath(p.c_str(), buf))
        return buf;
    return {};
}

// The name in a /dev/disk/by-* folder whose link points at the device.
std::string diskLinkName(const std::string& folder, const std::string& device)
{
    const std::string target = realPath(device);
    if (target.empty())
        return {};
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (realPath(folder + "/" + name) == target) {
            found = name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool sysfsRemovable(const std::string& device)
{
    if (!startsWith(device, "/dev/"))
        return false;
    const std::string target = realPath(device);
    if (target.empty())
        return false;
    const std::string name = target.substr(target.rfind('/') + 1);
    for (const std::string& p :
         {"/sys/class/block/" + name + "/removable", "/sys/class/block/" + name + "/../removable"}) {
        const std::string v = readFile(p);
        if (!v.empty())
            return v[0] == '1';
    }
    return false;
}

const char* const kPseudoTypes[] = {
    "proc",        "sysfs",    "cgroup",     "cgroup2", "devpts",    "mqueue",          "devtmpfs",    "securityfs",
    "debugfs",     "tracefs",  "pstore",     "bpf",     "configfs",  "fusectl",         "hugetlbfs",   "autofs",
    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",    "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "squashfs",
    "overlay",     "ramfs_sys"};
const char* const kRemoteTypes[] = {"nfs",   "nfs4",       "cifs",      "smb3",        "smbfs",
                                    "sshfs", "fuse.sshfs", "davfs",     "fuse.davfs2", "9p",
                                    "afs",   "ceph",       "glusterfs", "fuse.rclone", "fuse.s3fs"};
const char* const kSystemDirs[] = {"/boot", "/run", "/dev", "/sys",  "/proc", "/snap", "/var/lib", "/tmp",
                                   "/etc",  "/usr", "/var", "/home", "/opt",  "/srv",  "/root"};

bool inList(const std::string& v, const char* const* begin, const char* const* end)
{
    return std::any_of(begin, end, [&](const char* s) { return v == s; });
}

// Kind of a mount that a user sees as a drive; DRIVE_UNKNOWN with ok false for one that gets no letter.
UINT classify(const std::string& mountPoint, const std::string& fsType, const std::string& source, bool& ok)
{
    ok = true;
    if (inList(fsType, std::begin(kRemoteTypes), std::end(kRemoteTypes)) || startsWith(fsType, "fuse.sshfs"))
        return DRIVE_REMOTE;
    if (fsType == "iso9660" || fsType == "udf")
        return DRIVE_CDROM;
    if (inList(fsType, std::begin(kPseudoTypes), std::end(kPseudoTypes))) {
        ok = false;
        return DRIVE_UNKNOWN;
    }
    const bool removablePlace = startsWith(mountPoint, "/media/") || startsWith(mountPoint, "/run/media/");
    if (removablePlace || sysfsRemovable(source)) {
        for (const char* dir : kSystemDirs)
            if (!removablePlace && under(mountPoint, dir)) {
                ok = false;
                return DRIVE_UNKNOWN;
            }
        return DRIVE_REMOVABLE;
    }
    if (startsWith(mountPoint, "/mnt/")) {
        if (fsType == "tmpfs" || fsType == "ramfs")
            return DRIVE_RAMDISK;
        return DRIVE_FIXED;
    }
    ok = false;
    return DRIVE_UNKNOWN;
}

std::optional<DWORD> serialFromUuid(const std::string& uuid)
{
    std::string hex;
    for (char c : uuid)
        if (std::isxdigit((unsigned char)c))
            hex.push_back(c);
    if (hex.size() < 8)
        return std::nullopt;
    return DWORD(std::strtoul(hex.substr(0, 8).c_str(), nullptr, 16));
}

UINT kindFromName(const std::string& k)
{
    static const std::pair<const char*, UINT> names[] = {{"unknown", DRIVE_UNKNOWN},     {"noroot", DRIVE_NO_ROOT_DIR},
                                                         {"removable", DRIVE_REMOVABLE}, {"fixed", DRIVE_FIXED},
                                                         {"remote", DRIVE_REMOTE},       {"cdrom", DRIVE_CDROM},
                                                         {"ramdisk", DRIVE_RAMDISK}};
    for (const auto& [name, kind] : names)
        if (k == name)
            return kind;
    if (!k.empty() && std::all_of(k.begin(), k.end(), ::isdigit))
        return UINT(std::strtoul(k.c_str(), nullptr, 10));
    return DRIVE_FIXED;
}

std::vector<DriveInfo> systemDrivesLocked(const std::vector<DriveInfo>& previous)
{
    return drivesFromMountInfo(readFile("/proc/self/mountinfo"), previous);
}

void ensureLoadedLocked(State& s)
{
    if (!s.envChecked) {
        s.envChecked = true;
        if (const char* env = std::getenv("TONFOLIO_DRIVES"); env && *env && !s.replaced) {
            s.drives = parseDriveTable(env);
            s.replaced = true;
            s.loaded = true;
        }
    }
    if (!s.loaded) {
        s.drives = systemDrivesLocked(s.drives);
        s.loaded = true;
    }
}

} // namespace

std::vector<DriveInfo> drivesFromMountInfo(const std::string& mountInfo, const std::vector<DriveInfo>& previous)
{
    struct Mount {
        std::string point, fsType, source;
    };
    std::vector<Mount> mounts;
    std::istringstream lines(mountInfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        std::string w;
        while (fields >> w)
            f.push_back(w);
        const auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || std::distance(dash, f.end()) < 3)
            continue;
        Mount m{unescapeOctal(f[4]), *(dash + 1), unescapeOctal(*(dash + 2))};
        // A later mount on the same point hides the earlier one.
        mounts.erase(std::remove_if(mounts.begin(), mounts.end(), [&](const Mount& o) { return o.point == m.point; }),
                     mounts.end());
        mounts.push_back(m);
    }
    std::sort(mounts.begin(), mounts.end(), [](const Mount& a, const Mount& b) { return a.point < b.point; });

    std::vector<DriveInfo> result;
    bool used[26] = {};
    DriveInfo c;
    c.letter = 'C';
    c.directory = "/";
    c.kind = DRIVE_FIXED;
    for (const Mount& m : mounts)
        if (m.point == "/") {
            c.fileSystem = m.fsType;
            c.label = unescapeHex(diskLinkName("/dev/disk/by-label", m.source));
            const std::string uuid = diskLinkName("/dev/disk/by-uuid", m.source);
            if (!uuid.empty())
                c.serial = serialFromUuid(uuid);
        }
    result.push_back(c);
    used['C' - 'A'] = true;
    used[0] = used[1] = true; // A: and B: stay for floppy drives, as users expect

    std::vector<DriveInfo> fresh;
    for (const Mount& m : mounts) {
        if (m.point == "/")
            continue;
        bool ok = false;
        const UINT kind = classify(m.point, m.fsType, m.source, ok);
        if (!ok)
            continue;
        DriveInfo d;
        d.directory = m.point;
        d.kind = kind;
        d.fileSystem = m.fsType;
        d.label = unescapeHex(diskLinkName("/dev/disk/by-label", m.source));
        const std::string uuid = diskLinkName("/dev/disk/by-uuid", m.source);
        if (!uuid.empty())
            d.serial = serialFromUuid(uuid);
        d.letter = 0;
        for (const DriveInfo& p : previous)
            if (p.directory == d.directory && p.letter >= 'D' && p.letter <= 'Z' && !used[p.letter - 'A'])
                d.letter = p.letter;
        if (d.letter)
            used[d.letter - 'A'] = true;
        fresh.push_back(d);
    }
    for (DriveInfo& d : fresh) {
        if (!d.letter) {
            for (int i = 'D' - 'A'; i < 26; ++i)
                if (!used[i]) {
                    used[i] = true;
                    d.letter = char('A' + i);
                    break;
                }
        }
        if (d.letter)
            result.push_back(d);
    }
    std::sort(result.begin(), result.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    return result;
}

std::vector<DriveInfo> parseDriveTable(const std::string& text)
{
    std::vector<DriveInfo> drives;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ';')) {
        if (item.size() < 3 || item[1] != '=' || !std::isalpha((unsigned char)item[0]))
            continue;
        DriveInfo d;
        d.letter = char(std::toupper((unsigned char)item[0]));
        std::vector<std::string> parts;
        std::istringstream f(item.substr(2));
        std::string part;
        while (std::getline(f, part, ':'))
            parts.push_back(part);
        if (parts.empty() || parts[0].empty())
            continue;
        d.directory = parts[0];
        while (d.directory.size() > 1 && d.directory.back() == '/')
            d.directory.pop_back();
        d.kind = parts.size() > 1 ? kindFromName(parts[1]) : DRIVE_FIXED;
        if (parts.size() > 2)
            d.label = parts[2];
        if (parts.size() > 3 && !parts[3].empty())
            d.serial = DWORD(std::strtoul(parts[3].c_str(), nullptr, 16));
        drives.erase(
            std::remove_if(drives.begin(), drives.end(), [&](const DriveInfo& o) { return o.letter == d.letter; }),
            drives.end());
        drives.push_back(d);
    }
    std::sort(drives.begin(), drives.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    return drives;
}

std::vector<DriveInfo> driveTable()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ensureLoadedLocked(s);
    return s.drives;
}

void setDriveTable(const std::vector<DriveInfo>& drives)
{
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.envChecked = true;
        s.replaced = true;
        s.loaded = true;
        s.drives = drives;
        std::sort(s.drives.begin(), s.drives.end(),
                  [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    }
    invalidateListings();
}

void useSystemDrives()
{
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.envChecked = true;
        s.replaced = false;
        s.loaded = false;
        s.drives.clear();
    }
    invalidateListings();
}

bool driveTableReplaced()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ensureLoadedLocked(s);
    return s.replaced;
}

/// Re-reads the mount table (when the table is the system's). Called by the mount watch.
void refreshSystemDrives()
{
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        ensureLoadedLocked(s);
        if (s.replaced)
            return;
        s.drives = systemDrivesLocked(s.drives);
    }
    invalidateListings();
}

/// Re-reads the system's mount table when the kernel says it changed since the last look.
void refreshSystemDrivesIfChanged()
{
    static int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    pollfd p{fd, POLLPRI, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR)))
        refreshSystemDrives();
}

/// The drive entry of a letter, if any.
std::optional<DriveInfo> driveOf(char letter)
{
    letter = char(std::toupper((unsigned char)letter));
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ensureLoadedLocked(s);
    for (const DriveInfo& d : s.drives)
        if (d.letter == letter)
            return d;
    return std::nullopt;
}

} // namespace platform
