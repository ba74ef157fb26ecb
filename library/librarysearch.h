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

signals:
    /// The rows of a search (result.failed when the library cannot be read) and the parts of the query
    /// that could not be read.
    void found(quint64 job, const library::SearchResult& result, const QStringList& problems);

private:
    struct Request {
        quint64 job = 0;
        QString typed;
        SearchOrder order;
        int limit = 0;
    };
    void run();

    std::function<std::unique_ptr<LibraryStore>()> openStore_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> next_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace library
