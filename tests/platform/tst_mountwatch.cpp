// SPDX-License-Identifier: GPL-3.0-or-later
// The mount-table watch tells every top-level window about a change.
#include "platform/shell/mountwatch.h"

#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Counter : public QWidget {
public:
    int seen = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == platform::DeviceChangeEvent::eventType()) {
            ++seen;
            EXPECT_EQ(static_cast<platform::DeviceChangeEvent*>(e)->message(), platform::WM_DEVICECHANGE);
            return true;
        }
        return QWidget::event(e);
    }
};

} // namespace

TEST(MountWatch, EachSignalReachesEveryTopLevelWindowOnce)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    Counter a, b;
    platform::MountWatcher watcher(fds[0], false);
    QSignalSpy spy(&watcher, &platform::MountWatcher::changed);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    ASSERT_TRUE(spy.wait(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(a.seen, 1);
    EXPECT_EQ(b.seen, 1);
    ASSERT_EQ(::write(fds[1], "y", 1), 1);
    ASSERT_TRUE(spy.wait(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(a.seen, 2);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(MountWatch, WatchesTheRealMountTableWithoutFiring)
{
    platform::MountWatcher watcher;
    QSignalSpy spy(&watcher, &platform::MountWatcher::changed);
    EXPECT_FALSE(spy.wait(200));
}
