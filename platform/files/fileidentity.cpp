// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/fileidentity.h"

#include "platform/files/nativepath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileIdentity identityOf(const struct stat& st)
{
    FileIdentity id;
    id.device = std::uint64_t(st.st_dev);
    id.inode = std::uint64_t(st.st_ino);
    id.size = std::int64_t(st.st_size);
    id.modified = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

std::optional<FileIdentity> fileIdentity(const std::string& drivePath)
{
    const auto native = existingNativePath(drivePath);
    struct stat st {};
    if (!native || ::stat(native->c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return identityOf(st);
}

std::optional<FileIdentity> entryIdentity(const std::string& nativePath)
{
    struct stat st {};
    if (::lstat(nativePath.c_str(), &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

std::vector<std::optional<FileIdentity>> fileIdentitiesIn(const std::string& folder,
                                                          const std::vector<std::string>& names)
{
    std::vector<std::optional<FileIdentity>> out(names.size());
    const auto native = existingNativePath(folder);
    const int dir = native ? ::open(native->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '\\')
        prefix += '\\';
    for (size_t i = 0; i < names.size(); ++i) {
        struct stat st {};
        const bool plain = names[i].find('/') == std::string::npos && names[i].find('\\') == std::string::npos;
        if (dir >= 0 && plain) {
            // Spelt otherwise, the name would find a case twin: a file missing here is missing.
            if (::fstatat(dir, names[i].c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
            out[i] = identityOf(st);
        } else {
            out[i] = fileIdentity(prefix + names[i]);
        }
    }
    if (dir >= 0)
        ::close(dir);
    return out;
}

} // namespace platform
