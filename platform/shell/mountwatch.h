// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Watches the mount table and tells the program's top-level windows that drives or media changed.

#include <QEvent>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace platform {

constexpr unsigned WM_DEVICECHANGE = 0x0219;
constexpr unsigned DBT_DEVNODES_CHANGED = 0x0007;

/// The device-change message, delivered as an event to every top-level window.
class DeviceChangeEvent : public QEvent {
public:
    explicit DeviceChangeEvent(unsigned wParam = DBT_DEVNODES_CHANGED);
    static QEvent::Type eventType();
    unsigned message() const { return WM_DEVICECHANGE; }
    unsigned wParam() const { return wParam_; }

private:
    unsigned wParam_;
};

/// Watches a file descriptor that signals a change of the mount table: /proc/self/mountinfo with POLLPRI
/// by default; tests hand in a pipe (readable) instead. On each signal it re-reads the drive table and posts
/// a DeviceChangeEvent to every top-level widget.
class MountWatcher : public QObject {
    Q_OBJECT
public:
    /// Watches /proc/self/mountinfo.
    explicit MountWatcher(QObject* parent = nullptr);
    /// Watches fd: readable when priority is false (its bytes are drained), POLLPRI when true.
    MountWatcher(int fd, bool priority, QObject* parent = nullptr);
    ~MountWatcher() override;

    /// The process-wide watcher, started on first use.
    static MountWatcher* instance();

signals:
    /// Emitted after the events were posted.
    void changed();

private:
    void onActivated();
    int fd_ = -1;
    bool ownsFd_ = false;
    bool priority_ = true;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace platform
