// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Searches of the library as the user types, on a thread of their own: each search carries the
// caller's job number, a newer one makes the waiting older ones moot, and results come back by a
// queued signal, so the window never waits for the database.

#include "library/librarystore.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

Q_DECLARE_METATYPE(library::SearchResult)

namespace library {

/// A search for the sounds most like one sound.
struct LikenessQuery {
    /// The sound: a file (a Linux path): its stored features where the library has them, else the file
    /// measured now. Unused when `like` holds the features found before.
    std::string path;
    std::optional<SoundFeatures> like;
    SimilarityWeights weights;
    /// Among the files the typed query finds (empty: the whole library), in `folder` if set (a Linux
    /// path without a trailing '/').
    QString within;
    std::string folder;
    /// Rows wanted; 0 only finds the features.
    int limit = 200;
};

class LibrarySearch : public QObject {
    Q_OBJECT
public:
    /// openStore as LibraryIndexer's; empty for the SQLite file `databaseFile` (empty: the user's).
    explicit LibrarySearch(std::function<std::unique_ptr<LibraryStore>()> openStore = {}, std::string databaseFile = {},
                           QObject* parent = nullptr);
    ~LibrarySearch() override;

    /// Searches for what the user typed (the filter box's query language); results come with `found`.
    /// A search asked for before this one and not started yet is dropped.
    void search(quint64 job, const QString& typed, SearchOrder order = {}, int limit = 1000);
    /// Searches for the sounds most like one; results come with `foundAlike`. Replaces a waiting request too.
    void findAlike(quint64 job, LikenessQuery query);
    /// Looks at the library's change count this often while idle (0: never), so that what other
    /// programs and other machines write is seen (changedElsewhere).
    void watchChanges(int intervalMs);

signals:
    /// The rows of a search (result.failed when the library cannot be read) and the parts of the query
    /// that could not be read.
    void found(quint64 job, const library::SearchResult& result, const QStringList& problems);
    /// The features of the sound searched by (none when it cannot be read as a sound) and its nearest
    /// sounds, nearest first (result.failed when the library cannot be read).
    void foundAlike(quint64 job, const std::optional<library::SoundFeatures>& like,
                    const library::SearchResult& result);
    /// What the store has to tell the user (a shared library's server gone or back, a role that may
    /// only read).
    void notice(const QString& text);
    /// The library changed since the last search.
    void changedElsewhere();

private:
    struct Request {
        quint64 job = 0;
        QString typed;
        SearchOrder order;
        int limit = 0;
        std::optional<LikenessQuery> alike;
    };
    void run();
    void runAlike(LibraryStore* store, quint64 job, LikenessQuery query);
    /// Reports the store's notice, and a change count that moved since the last search.
    void lookAtStore(LibraryStore& store, bool searched);

    std::function<std::unique_ptr<LibraryStore>()> openStore_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> next_;
    bool stop_ = false;
    int watchMs_ = 0;
    std::int64_t seenChanges_ = -1;
    std::thread thread_;
};

} // namespace library
