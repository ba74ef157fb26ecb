// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/copyfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kChunk = 1 << 20;

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

ssize_t readSome(int fd, char* data, std::size_t size, off_t offset)
{
    for (;;) {
        const ssize_t n = offset < 0 ? ::read(fd, data, size) : ::pread(fd, data, size, offset);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

// Reads both files again and compares them byte by byte.
bool sameContent(int a, int b)
{
    std::vector<char> x(kChunk), y(kChunk);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = readSome(a, x.data(), x.size(), offset);
        if (n < 0)
            return false;
        ssize_t m = 0;
        while (m < n) {
            const ssize_t k = readSome(b, y.data() + m, static_cast<std::size_t>(n - m), offset + m);
            if (k <= 0)
                return false;
            m += k;
        }
        if (n == 0)
            return readSome(b, y.data(), 1, offset) == 0;
        if (std::memcmp(x.data(), y.data(), static_cast<std::size_t>(n)) != 0)
            return false;
        offset += n;
    }
}

int openTemporaryIn(const std::string& dir, std::string& path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = temporaryNameIn(dir);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

CopyResult failed(CopyResult::Status status, int error = 0)
{
    CopyResult r;
    r.status = status;
    r.error = error;
    return r;
}

// Writes the source's bytes into the open temporary file and, when asked, checks them on the disk.
CopyResult fillTemporary(int in, int out, const struct stat& st, const CopyRequest& request)
{
    std::vector<char> buffer(kChunk);
    for (;;) {
        const ssize_t n = readSome(in, buffer.data(), buffer.size(), -1);
        if (n < 0)
            return failed(CopyResult::SourceFailed, errno);
        if (n == 0)
            break;
        if (!writeAll(out, buffer.data(), static_cast<std::size_t>(n)))
            return failed(CopyResult::WriteFailed, errno);
        if (request.progress && !request.progress(n))
            return failed(CopyResult::Cancelled);
    }
    ::fchmod(out, st.st_mode & 0777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    if (request.verify) {
        // The source may go only after the copy is on the disk and reads back the same.
        if (::fsync(out) != 0)
            return failed(CopyResult::WriteFailed, errno);
        if (!sameContent(in, out))
            return failed(CopyResult::Mismatch);
    }
    return {};
}

// Copies `length` bytes of `in` from `offset` to the end of `out`.
bool copyRange(int in, int out, std::int64_t offset, std::int64_t length, std::vector<char>& buffer, int& error)
{
    while (length > 0) {
        const ssize_t n = readSome(in, buffer.data(), std::size_t(std::min<std::int64_t>(length, std::int64_t(buffer.size()))),
                                   off_t(offset));
        if (n <= 0) {
            error = n < 0 ? errno : EIO; // the original ended before the pieces said
            return false;
        }
        if (!writeAll(out, buffer.data(), std::size_t(n))) {
            error = errno;
            return false;
        }
        offset += n;
        length -= n;
    }
    return true;
}

} // namespace

CopyResult rewriteFileVerified(const std::string& path, const std::vector<FilePiece>& pieces,
                               const std::function<bool(const std::string& temporary)>& check)
{
    const int in = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (in < 0)
        return failed(CopyResult::SourceFailed, errno);
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return failed(CopyResult::NotRegular);
    }
    // Renaming over a file needs no right to write it; a file made read-only (for everyone, or for us)
    // is kept so, also where the administrator could write it.
    if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
        const int err = errno;
        ::close(in);
        return failed(CopyResult::WriteFailed, err == EROFS ? EROFS : EACCES);
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
    std::string temporary;
    const int out = openTemporaryIn(parentOf(path), temporary);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return failed(CopyResult::WriteFailed, err);
    }
    CopyResult result;
    std::vector<char> buffer(kChunk);
    for (const FilePiece& piece : pieces) {
        int error = 0;
        const bool written = piece.offset >= 0 ? copyRange(in, out, piece.offset, piece.length, buffer, error)
                                               : writeAll(out, piece.bytes.data(), piece.bytes.size());
        if (!written) {
            result = failed(piece.offset >= 0 && error != ENOSPC && error != EDQUOT ? CopyResult::SourceFailed
                                                                                     : CopyResult::WriteFailed,
                            piece.offset >= 0 ? error : errno);
            break;
        }
    }
    if (result.ok()) {
        ::fchmod(out, st.st_mode & 07777);
        if (::fsync(out) != 0)
            result = failed(CopyResult::WriteFailed, errno);
    }
    if (::close(out) != 0 && result.ok())
        result = failed(CopyResult::WriteFailed, errno);
    if (result.ok() && check && !check(temporary))
        result = failed(CopyResult::Mismatch);
    // Another program's change meanwhile would be lost: the original must still be the file read.
    struct stat now {};
    if (result.ok() && (::stat(path.c_str(), &now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev ||
                        now.st_size != st.st_size || now.st_mtim.tv_sec != st.st_mtim.tv_sec ||
                        now.st_mtim.tv_nsec != st.st_mtim.tv_nsec))
        result = failed(CopyResult::Mismatch);
    ::close(in);
    if (result.ok() && !placeNew(temporary, path, true))
        result = failed(CopyResult::PlaceFailed, errno);
    if (!result.ok())
        ::unlink(temporary.c_str());
    return result;
}

std::string temporaryNameIn(const std::string& dir)
{
    static std::mt19937_64 random{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    return (dir == "/" ? "" : dir) + "/.tonfolio-" + suffix + ".part";
}

bool placeNew(const std::string& temporary, const std::string& target, bool replace)
{
    if (replace)
        return ::rename(temporary.c_str(), target.c_str()) == 0;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: a hard link cannot replace anything.
    struct stat st {};
    if (::lstat(temporary.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        if (::link(temporary.c_str(), target.c_str()) != 0)
            return false;
        if (::unlink(temporary.c_str()) != 0) {
            const int err = errno;
            ::unlink(target.c_str()); // the link just made, nothing else
            errno = err;
            return false;
        }
        return true;
    }
    // A folder cannot be linked; renaming it onto an empty folder would replace that one.
    if (::lstat(target.c_str(), &st) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return ::rename(temporary.c_str(), target.c_str()) == 0;
}

CopyResult copyFileVerified(const std::string& from, const std::string& to, const CopyRequest& request)
{
    // Non-blocking: a FIFO put in the source's place never stalls the open.
    const int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (in < 0)
        return failed(CopyResult::SourceFailed, errno);
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return failed(CopyResult::NotRegular);
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
    std::string temporary;
    const int out = openTemporaryIn(parentOf(to), temporary);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return failed(CopyResult::WriteFailed, err);
    }
    CopyResult result = fillTemporary(in, out, st, request);
    if (::close(out) != 0 && result.ok())
        result = failed(CopyResult::WriteFailed, errno);
    ::close(in);
    if (result.ok() && !placeNew(temporary, to, request.replace))
        result = failed(CopyResult::PlaceFailed, errno);
    if (!result.ok())
        ::unlink(temporary.c_str());
    return result;
}

} // namespace platform
