// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellfixture.h"

#include "platform/files/nativepath.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace testing_support {

std::string nulList(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& n : names) {
        list += n;
        list += '\0';
    }
    list += '\0';
    if (names.empty())
        list += '\0';
    return list;
}

namespace {
bool changeImmutable(const std::string& path, bool on)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}
} // namespace

Immutable::Immutable(const std::string& native) : path_(native), ok_(changeImmutable(native, true)) {}

Immutable::~Immutable()
{
    if (ok_)
        changeImmutable(path_, false);
}

PrivateTrash::PrivateTrash()
{
    hadData_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    oldData_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
}

PrivateTrash::~PrivateTrash()
{
    if (hadData_)
        qputenv("XDG_DATA_HOME", oldData_);
    else
        qunsetenv("XDG_DATA_HOME");
}

std::string PrivateTrash::dir() const
{
    return data_.path().toStdString() + "/Trash";
}

ShellFixture::ShellFixture()
{
    // Operations in tests are quick; a test that wants the progress window sets the delay itself.
    platform::setProgressDelay(60000);
}

ShellFixture::~ShellFixture()
{
    platform::setProgressDelay(500);
}

int ShellFixture::run(platform::UINT func, const std::vector<std::string>& from, const std::vector<std::string>& to,
                      platform::WORD flags, const std::string& title)
{
    platform::invalidateListings(); // the test wrote files behind the system layer's back
    last = platform::SHFILEOPSTRUCT{};
    last.wFunc = func;
    last.pFrom = nulList(from);
    last.pTo = nulList(to);
    last.fFlags = flags;
    last.lpszProgressTitle = title;
    return platform::SHFileOperation(&last);
}

std::string ShellFixture::trashDir() const
{
    return trash.dir();
}

} // namespace testing_support
