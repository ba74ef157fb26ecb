// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Change events of folders, by their Linux paths, through inotify: an entry made, removed, renamed or
// written in place. The system allows each user a limited number of watches, shared by every program;
// a watch refused for that reason is told apart, so the caller can look at such folders by itself.

#include <QObject>
#include <cstddef>
#include <string>
#include <unordered_map>

class QSocketNotifier;

namespace platform {

class FolderWatch : public QObject {
    Q_OBJECT
public:
    enum class Added { Watched, LimitReached, Failed };

    /// Events are read on the thread the watch belongs to.
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    /// Watches one folder (a link in its place is not followed). LimitReached when the system's limit,
    /// or the share of it this program takes (half, so other programs keep theirs), is used up.
    Added add(const std::string& native);
    void remove(const std::string& native);
    void clear();
    std::size_t count() const { return paths_.size(); }
    bool isWatching(const std::string& native) const { return watches_.count(native) > 0; }

    /// The watches the system allows a user (fs.inotify.max_user_watches).
    static std::size_t systemLimit();
    /// The most this program takes: half the system's limit.
    std::size_t limit() const { return limit_; }
    /// For tests: a lower limit.
    void setLimit(std::size_t limit) { limit_ = limit; }

signals:
    /// The entries of a watched folder changed, or the folder itself was removed or moved.
    void changed(const std::string& native);
    /// The system dropped events: every watched folder may have changed.
    void overflowed();

private:
    void readEvents();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::size_t limit_;
    std::unordered_map<int, std::string> paths_;
    std::unordered_map<std::string, int> watches_;
};

} // namespace platform
