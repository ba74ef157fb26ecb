// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/nativepath.h"

#include "platform/files/files.h"
#include "platform/utf8.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// A folder's names, kept while the folder's inode and times stay the same. A listing read while the
// folder's modification time was very recent may miss a change made within the same clock tick, so
// such a listing is used once and read again next time. It holds names only, never the folder open:
// a drive whose folder was listed must stay free to be unmounted.
struct Listing {
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{};
    timespec ctime{};
    bool racy = true;
    Clock::time_point checkedAt;                          // last time the folder's stat matched
    std::unordered_map<std::string, unsigned char> exact; // every name, with its d_type
    std::unordered_map<std::string, std::string> folded;  // folded name -> first real name in byte order
};

// The resolved Linux folder of a drive-letter folder path, as it was spelled.
struct FolderEntry {
    std::string native;
    dev_t dev = 0;
    ino_t ino = 0;
    unsigned generation = 0;
    Clock::time_point at;        // when it was resolved
    Clock::time_point checkedAt; // last time its stat matched
};

struct Cache {
    std::mutex mutex;
    unsigned generation = 1;
    std::unordered_map<std::string, Listing> listings;
    std::unordered_map<std::string, FolderEntry> folders;
};

Cache& cache()
{
    static Cache c;
    return c;
}

constexpr size_t kMaxListings = 64;
constexpr size_t kMaxFolders = 4096;
constexpr auto kFolderTrust = std::chrono::seconds(2);
// Within this time after a check, a folder and the names its listing holds as spelt are taken as they
// were without asking the file system again. Changes made through this layer invalidate at once; a change
// made by another program in that moment can only make such a name resolve as it did a moment before.
// A name found ignoring case, or not at all, always gets a look at the folder: one spelt exactly so may
// have been made since, and must win over its case twin.
constexpr auto kRecheck = std::chrono::milliseconds(500);

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool isAscii(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

bool recent(const timespec& t)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long diffMs = (now.tv_sec - t.tv_sec) * 1000LL + (now.tv_nsec - t.tv_nsec) / 1000000LL;
    return diffMs < 100 && diffMs > -100;
}

bool readListing(const std::string& dir, const struct stat& st, Listing& out)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    std::vector<std::pair<std::string, unsigned char>> names;
    while (dirent* e = ::readdir(d))
        names.emplace_back(e->d_name, e->d_type);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    out = Listing{};
    out.dev = st.st_dev;
    out.ino = st.st_ino;
    out.mtime = st.st_mtim;
    out.ctime = st.st_ctim;
    out.racy = recent(st.st_mtim) || recent(st.st_ctim);
    out.exact.reserve(names.size());
    out.folded.reserve(names.size());
    for (const auto& [n, type] : names) {
        if (n.find('\\') != std::string::npos)
            continue; // cannot be named by a drive-letter path
        out.exact.emplace(n, type);
        out.folded.emplace(foldCase(n), n); // keeps the first in byte order
    }
    return true;
}

// The real name of `name` inside the folder `dir` (whose stat is st, or null when the folder was checked
// a moment ago): exact match first, else ignoring case.
std::optional<std::string> lookupLocked(Cache& c, const std::string& dir, const struct stat* st,
                                        const std::string& name, const Listing** from = nullptr)
{
    if (from)
        *from = nullptr;
    const auto now = Clock::now();
    auto it = c.listings.find(dir);
    bool valid = false;
    if (it != c.listings.end() && !it->second.racy) {
        const Listing& l = it->second;
        if (st)
            valid = l.dev == st->st_dev && l.ino == st->st_ino && sameTime(l.mtime, st->st_mtim) &&
                    sameTime(l.ctime, st->st_ctim);
        else
            // Only a name it holds as spelt is taken on trust (see kRecheck).
            valid = now - l.checkedAt < kRecheck && l.exact.count(name) > 0;
    }
    struct stat own {};
    if (!valid && !st) {
        if (::stat(dir.c_str(), &own) != 0)
            return std::nullopt;
        st = &own;
        if (it != c.listings.end() && !it->second.racy)
            valid = it->second.dev == st->st_dev && it->second.ino == st->st_ino &&
                    sameTime(it->second.mtime, st->st_mtim) && sameTime(it->second.ctime, st->st_ctim);
    }
    if (!valid) {
        if (c.listings.size() >= kMaxListings)
            c.listings.clear();
        Listing fresh;
        if (!readListing(dir, *st, fresh)) {
            // Unreadable folder (no permission to list): an exact name may still be reachable.
            struct stat est {};
            const std::string p = dir == "/" ? "/" + name : dir + "/" + name;
            if (::lstat(p.c_str(), &est) == 0)
                return name;
            return std::nullopt;
        }
        it = c.listings.insert_or_assign(dir, std::move(fresh)).first;
    }
    if (st)
        it->second.checkedAt = now;
    const Listing& l = it->second;
    if (from)
        *from = &l;
    if (l.exact.count(name))
        return name;
    auto f = l.folded.find(foldCase(name));
    if (f != l.folded.end())
        return f->second;
    return std::nullopt;
}

std::string join(const std::string& dir, const std::string& name)
{
    return dir == "/" ? "/" + name : dir + "/" + name;
}

struct Parsed {
    char letter = 0;
    std::vector<std::string> parts;
};

// Splits "C:\A\.\B\..\C" into its drive and the components left after "." and "..".
std::optional<Parsed> parse(const std::string& path)
{
    if (path.size() < 2 || path[1] != ':' || !std::isalpha((unsigned char)path[0])) {
        SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : ERROR_BAD_PATHNAME);
        return std::nullopt;
    }
    if (path.size() > 2 && path[2] != '\\') {
        SetLastError(ERROR_BAD_PATHNAME); // "C:foo" is relative to a per-drive folder we do not keep
        return std::nullopt;
    }
    if (path.size() > 4096) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::nullopt;
    }
    Parsed p;
    p.letter = char(std::toupper((unsigned char)path[0]));
    size_t i = 3;
    while (i <= path.size()) {
        size_t j = path.find('\\', i);
        if (j == std::string::npos)
            j = path.size();
        std::string part = path.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!p.parts.empty())
                p.parts.pop_back();
            continue;
        }
        if (part.find('/') != std::string::npos || part.find('\0') != std::string::npos) {
            SetLastError(ERROR_INVALID_NAME);
            return std::nullopt;
        }
        if (part.size() > 255) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return std::nullopt;
        }
        p.parts.push_back(std::move(part));
    }
    return p;
}

// Resolves the folder holding the last component (all components but the last must exist as folders).
// Sets *checked to null when the folder was checked a moment ago, else to dirStat, filled with its stat.
std::optional<std::string> resolveFolderLocked(Cache& c, const Parsed& p, size_t count, struct stat& dirStat,
                                               const struct stat** checked)
{
    std::string key(1, p.letter);
    key += ':';
    for (size_t k = 0; k < count; ++k) {
        key += '\\';
        key += p.parts[k];
    }
    const auto now = Clock::now();
    auto it = c.folders.find(key);
    *checked = &dirStat;
    if (it != c.folders.end() && it->second.generation == c.generation && now - it->second.at < kFolderTrust) {
        FolderEntry& e = it->second;
        if (now - e.checkedAt < kRecheck) {
            *checked = nullptr;
            return e.native;
        }
        if (::stat(e.native.c_str(), &dirStat) == 0 && S_ISDIR(dirStat.st_mode) && dirStat.st_dev == e.dev &&
            dirStat.st_ino == e.ino) {
            e.checkedAt = now;
            return e.native;
        }
    }
    // A folder not known yet is found from its parent when that is known, as folders are read level by
    // level: walking from the drive's root each time made a deep folder cost the cube of its depth.
    std::string cur;
    size_t from = 0;
    bool fromParent = false;
    const struct stat* curStat = &dirStat;
    if (count > 1) {
        const auto parent = c.folders.find(key.substr(0, key.size() - p.parts[count - 1].size() - 1));
        if (parent != c.folders.end() && parent->second.generation == c.generation &&
            now - parent->second.at < kFolderTrust) {
            FolderEntry& e = parent->second;
            if (now - e.checkedAt < kRecheck) {
                cur = e.native;
                curStat = nullptr; // checked a moment ago; the lookup checks its listing itself
                from = count - 1;
                fromParent = true;
            } else if (::stat(e.native.c_str(), &dirStat) == 0 && S_ISDIR(dirStat.st_mode) && dirStat.st_dev == e.dev &&
                       dirStat.st_ino == e.ino) {
                e.checkedAt = now;
                cur = e.native;
                from = count - 1;
                fromParent = true;
            }
        }
    }
    if (!fromParent) {
        const std::optional<DriveInfo> drive = driveOf(p.letter);
        if (!drive) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return std::nullopt;
        }
        cur = drive->directory;
        if (::stat(cur.c_str(), &dirStat) != 0 || !S_ISDIR(dirStat.st_mode)) {
            SetLastError(ERROR_NOT_READY);
            return std::nullopt;
        }
    }
    size_t prefixLength = 2; // "C:"
    for (size_t k = 0; k < from; ++k)
        prefixLength += 1 + p.parts[k].size();
    for (size_t k = from; k < count; ++k) {
        // A folder of exactly that name wins over every other spelling, so finding it needs no listing.
        std::string exact = join(cur, p.parts[k]);
        struct stat exactStat {};
        if (::stat(exact.c_str(), &exactStat) == 0 && S_ISDIR(exactStat.st_mode)) {
            cur = std::move(exact);
            dirStat = exactStat;
            curStat = &dirStat;
        } else {
            const std::optional<std::string> real = lookupLocked(c, cur, curStat, p.parts[k]);
            curStat = &dirStat;
            if (!real) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return std::nullopt;
            }
            cur = join(cur, *real);
            if (::stat(cur.c_str(), &dirStat) != 0 || !S_ISDIR(dirStat.st_mode)) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return std::nullopt;
            }
        }
        // The folders on the way are known now too: the tree reads them next, one after another.
        prefixLength += 1 + p.parts[k].size();
        if (k + 1 < count) {
            if (c.folders.size() >= kMaxFolders)
                c.folders.clear();
            c.folders[key.substr(0, prefixLength)] =
                FolderEntry{cur, dirStat.st_dev, dirStat.st_ino, c.generation, now, now};
        }
    }
    if (c.folders.size() >= kMaxFolders)
        c.folders.clear();
    c.folders[key] = FolderEntry{cur, dirStat.st_dev, dirStat.st_ino, c.generation, now, now};
    return cur;
}

// The folder of a path's last component and that component's real name there (none when missing),
// with the listing it was found in. False (last error set) when the folder cannot be reached.
struct Located {
    std::string dir;
    std::optional<std::string> real;
    const Listing* listing = nullptr;
};

bool locateLastLocked(Cache& c, const Parsed& p, Located& out)
{
    struct stat dirStat {};
    const struct stat* checked = nullptr;
    std::optional<std::string> dir = resolveFolderLocked(c, p, p.parts.size() - 1, dirStat, &checked);
    if (!dir)
        return false;
    out.dir = std::move(*dir);
    out.real = lookupLocked(c, out.dir, checked, p.parts.back(), &out.listing);
    return true;
}

std::optional<std::string> resolve(const std::string& drivePath, bool lastMustExist)
{
    const std::optional<Parsed> p = parse(drivePath);
    if (!p)
        return std::nullopt;
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (p->parts.empty()) {
        struct stat dirStat {};
        const struct stat* checked = nullptr;
        return resolveFolderLocked(c, *p, 0, dirStat, &checked);
    }
    Located at;
    if (!locateLastLocked(c, *p, at))
        return std::nullopt;
    if (!at.real) {
        if (lastMustExist) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return std::nullopt;
        }
        at.real = p->parts.back();
    }
    return join(at.dir, *at.real);
}

} // namespace

std::string foldCase(const std::string& name)
{
    // A name that is not UTF-8 is no text to fold: it is told apart by its bytes, A to Z aside.
    if (isAscii(name) || !isValidUtf8(name)) {
        std::string s = name;
        for (char& ch : s)
            if (ch >= 'A' && ch <= 'Z')
                ch = char(ch - 'A' + 'a');
        return s;
    }
    return QString::fromUtf8(name.data(), qsizetype(name.size())).toCaseFolded().toStdString();
}

std::optional<std::string> nativePath(const std::string& drivePath)
{
    return resolve(drivePath, false);
}

std::optional<std::string> existingNativePath(const std::string& drivePath)
{
    return resolve(drivePath, true);
}

std::string drivePathOf(const std::string& native)
{
    std::string best;
    char letter = 0;
    for (const DriveInfo& d : driveTable()) {
        const std::string& dir = d.directory;
        const bool holds = dir == "/" ? (!native.empty() && native[0] == '/')
                                      : (native == dir || native.compare(0, dir.size() + 1, dir + "/") == 0);
        if (holds && (letter == 0 || dir.size() > best.size())) {
            best = dir;
            letter = d.letter;
        }
    }
    if (!letter)
        return {};
    std::string rest = native.substr(best == "/" ? 1 : best.size());
    if (!rest.empty() && rest[0] == '/')
        rest.erase(0, 1);
    if (rest.find('\\') != std::string::npos)
        return {};
    while (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::replace(rest.begin(), rest.end(), '/', '\\');
    return std::string(1, letter) + ":\\" + rest;
}

int openRegularFile(const std::string& drivePath)
{
    const std::optional<Parsed> p = parse(drivePath);
    if (!p)
        return -1;
    if (p->parts.empty()) {
        SetLastError(ERROR_ACCESS_DENIED); // a drive root is a folder
        return -1;
    }
    std::string native;
    bool listedRegular = false;
    {
        Cache& c = cache();
        std::lock_guard<std::mutex> lock(c.mutex);
        Located at;
        if (!locateLastLocked(c, *p, at))
            return -1;
        if (!at.real) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return -1;
        }
        native = join(at.dir, *at.real);
        if (at.listing) {
            const auto entry = at.listing->exact.find(*at.real);
            listedRegular = entry != at.listing->exact.end() && entry->second == DT_REG;
        }
    }
    // The lock guards the cache only: on a slow disk many threads wait for their opens at once. The file
    // is opened by its whole path, so nothing of the cache is used outside the lock.
    callOpenHook(drivePath);
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY; // non-blocking: a FIFO never stalls the open
    if (!listedRegular) {
        // Look before opening: opening a device can block or have side effects.
        struct stat st {};
        if (::stat(native.c_str(), &st) != 0) {
            SetLastError(errorFromErrno(errno));
            return -1;
        }
        if (!S_ISREG(st.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return -1;
        }
    }
    const int fd = ::open(native.c_str(), flags);
    if (fd < 0) {
        SetLastError(errorFromErrno(errno));
        return -1;
    }
    struct stat fst {};
    if (::fstat(fd, &fst) != 0 || !S_ISREG(fst.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    // O_NONBLOCK stays set: it changes nothing for a regular file.
    SetLastError(ERROR_SUCCESS);
    return fd;
}

void invalidateListings()
{
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    ++c.generation;
    c.listings.clear();
    c.folders.clear();
}

} // namespace platform
