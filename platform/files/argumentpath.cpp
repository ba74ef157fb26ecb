// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/argumentpath.h"

#include "platform/files/nativepath.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool isDrivePath(const std::string& s)
{
    const bool letter = !s.empty() && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
    return letter && s.size() >= 2 && s[1] == ':' && (s.size() == 2 || s[2] == '\\' || s[2] == '/');
}

std::string currentFolder()
{
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE || buf.size() > (1u << 20))
            return {};
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

/// Removes "." and empty components and resolves ".." by text, as a shell's cd does; never above "/".
std::string cleanAbsolute(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string clean;
    for (const std::string& part : parts)
        clean += "/" + part;
    return clean.empty() ? "/" : clean;
}

} // namespace

std::string DrivePathOfArgument(const std::string& argument)
{
    if (argument.empty())
        return {};
    invalidateListings();
    if (isDrivePath(argument)) {
        std::string path = argument;
        std::replace(path.begin(), path.end(), '/', '\\');
        if (path.size() == 2)
            path += '\\';
        path[0] = char(std::toupper(static_cast<unsigned char>(path[0])));
        return path;
    }
    std::string native = argument;
    // Desktops may hand a file over as a URL; only one of this machine names a path here.
    for (const char* prefix : {"file://localhost/", "file:///"}) {
        const std::string p(prefix);
        if (native.compare(0, p.size(), p) == 0) {
            const QByteArray encoded = QByteArray::fromStdString(native.substr(p.size() - 1));
            native = QByteArray::fromPercentEncoding(encoded).toStdString();
            break;
        }
    }
    if (native.compare(0, 7, "file://") == 0)
        return {};
    if (native[0] != '/') {
        const std::string here = currentFolder();
        if (here.empty())
            return {};
        native = here + "/" + native;
    }
    return drivePathOf(cleanAbsolute(native));
}

} // namespace platform
