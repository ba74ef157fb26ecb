// SPDX-License-Identifier: GPL-3.0-or-later
// Change notifications: delivered at once to the listeners of this process, and kept for tests.
#include "platform/shell/shell.h"

#include <deque>
#include <map>

namespace platform {

namespace {

constexpr std::size_t kKept = 1000;

struct Notifier {
    std::map<int, ChangeListener> listeners;
    int nextId = 1;
    std::deque<ChangeNotification> recorded;
};

Notifier& notifier()
{
    static Notifier n;
    return n;
}

} // namespace

void SHChangeNotify(LONG event, UINT flags, const std::string& item1, const std::string& item2)
{
    Notifier& n = notifier();
    const ChangeNotification note{event, flags, item1, item2};
    n.recorded.push_back(note);
    if (n.recorded.size() > kKept)
        n.recorded.pop_front();
    // A listener may add or remove listeners; work on a copy.
    const auto listeners = n.listeners;
    for (const auto& entry : listeners)
        entry.second(note);
}

int addChangeListener(ChangeListener listener)
{
    Notifier& n = notifier();
    const int id = n.nextId++;
    n.listeners.emplace(id, std::move(listener));
    return id;
}

void removeChangeListener(int id)
{
    notifier().listeners.erase(id);
}

std::vector<ChangeNotification> recordedChangeNotifications()
{
    const auto& r = notifier().recorded;
    return {r.begin(), r.end()};
}

void clearRecordedChangeNotifications()
{
    notifier().recorded.clear();
}

} // namespace platform
