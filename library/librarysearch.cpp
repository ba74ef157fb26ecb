// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/librarysearch.h"

#include "library/librarylocation.h"

namespace library {

LibrarySearch::LibrarySearch(std::function<std::unique_ptr<LibraryStore>()> openStore, std::string databaseFile,
                             QObject* parent)
    : QObject(parent), openStore_(std::move(openStore))
{
    qRegisterMetaType<library::SearchResult>();
    if (!openStore_)
        openStore_ = [where = locationOf(databaseFile)] { return openLibraryStore(where); };
    thread_ = std::thread([this] { run(); });
}

LibrarySearch::~LibrarySearch()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void LibrarySearch::search(quint64 job, const QString& typed, SearchOrder order, int limit)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = Request{job, typed, order, limit};
    }
    wake_.notify_one();
}

void LibrarySearch::run()
{
    // The connection opens on this thread, so a slow look at a large file never holds up the window.
    std::unique_ptr<LibraryStore> store;
    for (;;) {
        Request r;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || next_; });
            if (stop_)
                return;
            r = std::move(*next_);
            next_.reset();
        }
        if (!store)
            store = openStore_();
        const SearchQuery query = SearchQuery::parse(r.typed);
        SearchResult result;
        if (store && store->isOpen()) {
            result = store->search(query, r.order, r.limit);
            // An empty library explains an empty result better than the words typed do.
            if (!result.failed && result.rows.empty())
                result.noFolders = store->roots().empty();
        } else {
            result.failed = true;
        }
        QMetaObject::invokeMethod(
            this,
            [this, job = r.job, result = std::move(result), problems = query.problems] {
                emit found(job, result, problems);
            },
            Qt::QueuedConnection);
    }
}

} // namespace library
