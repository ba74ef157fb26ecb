// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/wholefile.h"

#include "platform/files/copyfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<std::string> readWholeFile(const std::string& nativePath, std::size_t limit, int& error)
{
    // Opened without waiting: a pipe with no writer must not hold the program up.
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    struct stat st {};
    std::optional<std::string> out;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
    } else if (std::size_t(st.st_size) > limit) {
        error = EFBIG;
    } else {
        std::string bytes;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && bytes.size() <= limit)
            bytes.append(buffer, std::size_t(n));
        if (n < 0)
            error = errno;
        else if (bytes.size() > limit)
            error = EFBIG;
        else
            out = std::move(bytes);
    }
    ::close(fd);
    return out;
}

bool writeNewFile(const std::string& nativePath, const std::string& bytes, int& error)
{
    const std::size_t slash = nativePath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : nativePath.substr(0, slash);
    const std::string temporary = temporaryNameIn(dir);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += std::size_t(n);
    }
    error = written == bytes.size() ? 0 : errno ? errno : EIO;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && !placeNew(temporary, nativePath))
        error = errno;
    if (error)
        ::unlink(temporary.c_str());
    return error == 0;
}

} // namespace platform
