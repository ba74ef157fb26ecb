// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/mountwatch.h"

#include "platform/files/nativepath.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

DeviceChangeEvent::DeviceChangeEvent(unsigned wParam) : QEvent(eventType()), wParam_(wParam) {}

QEvent::Type DeviceChangeEvent::eventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

MountWatcher::MountWatcher(QObject* parent) : QObject(parent)
{
    fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    ownsFd_ = true;
    priority_ = true;
    if (fd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Exception);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { onActivated(); });
    }
}

MountWatcher::MountWatcher(int fd, bool priority, QObject* parent) : QObject(parent), fd_(fd), priority_(priority)
{
    notifier_ = std::make_unique<QSocketNotifier>(fd_, priority ? QSocketNotifier::Exception : QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { onActivated(); });
}

MountWatcher::~MountWatcher()
{
    notifier_.reset();
    if (ownsFd_ && fd_ >= 0)
        ::close(fd_);
}

MountWatcher* MountWatcher::instance()
{
    static MountWatcher* watcher = new MountWatcher(qApp);
    return watcher;
}

void MountWatcher::onActivated()
{
    if (priority_) {
        // Reading the table from its start re-arms the kernel's change signal.
        char buf[4096];
        ::lseek(fd_, 0, SEEK_SET);
        while (::read(fd_, buf, sizeof buf) > 0) {
        }
    } else {
        char buf[256];
        [[maybe_unused]] const ssize_t n = ::read(fd_, buf, sizeof buf);
    }
    refreshSystemDrives();
    for (QWidget* w : QApplication::topLevelWidgets())
        QCoreApplication::postEvent(w, new DeviceChangeEvent());
    emit changed();
}

} // namespace platform
