// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/librarysearch.h"

#include "library/librarylocation.h"

#include <chrono>

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
        next_ = Request{job, typed, order, limit, std::nullopt};
    }
    wake_.notify_one();
}

void LibrarySearch::findAlike(quint64 job, LikenessQuery query)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = Request{job, {}, {}, 0, std::move(query)};
    }
    wake_.notify_one();
}

void LibrarySearch::watchChanges(int intervalMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        watchMs_ = intervalMs;
    }
    wake_.notify_one();
}

void LibrarySearch::runAlike(LibraryStore* store, quint64 job, LikenessQuery query)
{
    std::optional<SoundFeatures> like = query.like;
    if (!like && store) {
        if (const std::optional<FileId> file = store->fileAt(query.path))
            like = store->featuresOf(*file);
    }
    // A file outside the library, or not measured yet, is measured now.
    if (!like && !query.path.empty())
        like = featuresOfFile(query.path);
    SearchResult result;
    if (like && query.limit > 0) {
        if (store) {
            SearchQuery within = SearchQuery::parse(query.within);
            within.folder = query.folder;
            result = store->similar(*like, query.weights, within, query.limit);
        } else {
            result.failed = true;
        }
    }
    QMetaObject::invokeMethod(
        this, [this, job, like, result = std::move(result)] { emit foundAlike(job, like, result); },
        Qt::QueuedConnection);
}

void LibrarySearch::lookAtStore(LibraryStore& store, bool searched)
{
    const std::int64_t count = store.changeCount();
    const bool moved = !searched && count >= 0 && seenChanges_ >= 0 && count != seenChanges_;
    if (count >= 0 && (searched || moved))
        seenChanges_ = count;
    const QString told = store.takeNotice();
    QMetaObject::invokeMethod(
        this,
        [this, told, moved] {
            if (!told.isEmpty())
                emit notice(told);
            if (moved)
                emit changedElsewhere();
        },
        Qt::QueuedConnection);
}

void LibrarySearch::run()
{
    // The connection opens on this thread, so a slow look at a large file never holds up the window.
    std::unique_ptr<LibraryStore> store;
    for (;;) {
        Request r;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            const auto ready = [&] { return stop_ || next_; };
            if (watchMs_ > 0 && store)
                wake_.wait_for(lock, std::chrono::milliseconds(watchMs_), ready);
            else
                wake_.wait(lock, ready);
            if (stop_)
                return;
            if (!next_) {
                lock.unlock();
                lookAtStore(*store, false);
                continue;
            }
            r = std::move(*next_);
            next_.reset();
        }
        if (!store)
            store = openStore_();
        if (r.alike) {
            runAlike(store && store->isOpen() ? store.get() : nullptr, r.job, std::move(*r.alike));
            if (store)
                lookAtStore(*store, true);
            continue;
        }
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
        if (store)
            lookAtStore(*store, true);
        QMetaObject::invokeMethod(
            this,
            [this, job = r.job, result = std::move(result), problems = query.problems] {
                emit found(job, result, problems);
            },
            Qt::QueuedConnection);
    }
}

} // namespace library
