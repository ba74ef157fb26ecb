// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the shell's file operation: one run of a request, split over the shell*.cpp files by function.

#include "platform/shell/shell.h"

#include <QElapsedTimer>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace platform::shellops {

// Codes of the shell's own failures, beside the system's error codes.
constexpr DWORD DE_SAMEFILE = 0x71;
constexpr DWORD DE_DESTSUBTREE = 0x76;
constexpr DWORD DE_ROOTDIR = 0x84;
constexpr DWORD DE_NOTRASH = 0x10000;
constexpr DWORD DE_NOTREGULAR = 0x10001;
constexpr DWORD DE_VERIFY = 0x10002;
constexpr DWORD DE_REPLACEKIND = 0x10003;

inline std::string joinNative(const std::string& dir, const std::string& name)
{
    return dir == "/" ? "/" + name : dir + "/" + name;
}

inline std::string nativeName(const std::string& native)
{
    const auto slash = native.find_last_of('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

inline std::string nativeParent(const std::string& native)
{
    const auto slash = native.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

inline bool sameEntry(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// The entries of a folder but "." and "..", in byte order.
std::vector<std::string> listFolder(const std::string& native);
/// The entry of a folder that a name stands for: the exact name, else the first that equals it ignoring case.
std::optional<std::string> findFolded(const std::string& dir, const std::string& name);
/// The first collision name ("x - Copy.wav", ...) that nothing in the folder takes, ignoring case.
std::string freeCollisionName(const std::string& dir, const std::string& name);

struct Source {
    std::string drivePath;
    std::string shown; ///< the name used in messages
    std::string native;
    struct stat st {};
};

class Operation {
public:
    explicit Operation(SHFILEOPSTRUCT& op);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    int run();

private:
    enum class Outcome { Done, Skipped, Failed };

    bool has(WORD flag) const;
    DWORD fail(DWORD code, const std::string& name);
    int ask(const std::string& text, const std::string& caption, UINT type);
    void hideProgressWhileAsking();
    /// Counts progress; false once the user cancelled.
    bool tick(long long advance, const std::string& text);
    void measure(const std::string& native, bool follow);

    DWORD resolveSources(std::vector<Source>& sources);
    DWORD resolveTarget(const std::string& drivePath, std::string& dir, std::string& name);

    DWORD runDelete();
    DWORD removeTree(const std::string& native, const std::string& shown);

    DWORD runRename();

    DWORD runTransfer();
    DWORD transfer(const std::string& src, const struct stat& srcSt, const std::string& dir, std::string name,
                   const std::string& shown);
    DWORD moveInto(const std::string& src, const struct stat& srcSt, const std::string& target, bool replace,
                   const std::string& shown);
    DWORD copyInto(const std::string& src, const struct stat& srcSt, const std::string& target, bool replace,
                   bool removeSource, const std::string& shown);
    DWORD copyFolder(const std::string& src, const std::string& target, bool merge, bool removeSource,
                     const std::string& shown);
    DWORD copyFile(const std::string& src, const std::string& target, bool replace, bool verify,
                   const std::string& shown);

    SHFILEOPSTRUCT& op_;
    QElapsedTimer clock_;
    bool progressShown_ = false;
    bool cancelled_ = false;
    long long total_ = 0;
    long long done_ = 0;
    std::string topSource_; ///< the source named in the request that is being worked on
};

} // namespace platform::shellops
