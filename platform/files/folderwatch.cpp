// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/folderwatch.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fstream>
#include <sys/inotify.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                             IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
// When the system's limit cannot be read: Linux's default of old.
constexpr std::size_t kAssumedSystemLimit = 8192;

} // namespace

FolderWatch::FolderWatch(QObject* parent) : QObject(parent), limit_(systemLimit() / 2)
{
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &FolderWatch::readEvents);
    }
}

FolderWatch::~FolderWatch()
{
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t FolderWatch::systemLimit()
{
    std::ifstream in("/proc/sys/fs/inotify/max_user_watches");
    std::size_t n = 0;
    return in >> n && n > 0 ? n : kAssumedSystemLimit;
}

FolderWatch::Added FolderWatch::add(const std::string& native)
{
    if (fd_ < 0)
        return Added::Failed;
    if (watches_.count(native))
        return Added::Watched;
    if (paths_.size() >= limit_)
        return Added::LimitReached;
    const int wd = inotify_add_watch(fd_, native.c_str(), kEvents);
    if (wd < 0)
        return errno == ENOSPC ? Added::LimitReached : Added::Failed;
    // A folder reached by two paths (a bind mount) has one watch; the later path names it.
    if (auto old = paths_.find(wd); old != paths_.end())
        watches_.erase(old->second);
    paths_[wd] = native;
    watches_[native] = wd;
    return Added::Watched;
}

void FolderWatch::remove(const std::string& native)
{
    const auto it = watches_.find(native);
    if (it == watches_.end())
        return;
    inotify_rm_watch(fd_, it->second);
    paths_.erase(it->second);
    watches_.erase(it);
}

void FolderWatch::clear()
{
    for (const auto& [wd, path] : paths_)
        inotify_rm_watch(fd_, wd);
    paths_.clear();
    watches_.clear();
}

void FolderWatch::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                emit overflowed();
                continue;
            }
            const auto it = paths_.find(e->wd);
            if (it == paths_.end())
                continue;
            const std::string path = it->second;
            if (e->mask & IN_IGNORED) {
                // The folder went (or its file system): its watch is gone too.
                watches_.erase(path);
                paths_.erase(it);
            }
            emit changed(path);
        }
    }
}

} // namespace platform
