// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/libraryindexer.h"

#include "library/indexworker.h"
#include "library/librarylocation.h"
#include "library/librarylog.h"

namespace library {

namespace {

// How long closing waits for a pass to stop. A folder on a mount that no longer answers can hold the
// thread in a system call for minutes; the window does not wait for that.
constexpr unsigned long kStopWaitMs = 3000;

} // namespace

LibraryIndexer::LibraryIndexer(Options options, QObject* parent) : QObject(parent)
{
    if (!options.openStore) {
        const std::string& file = options.databaseFile;
        options.openStore = [where = locationOf(file)] { return openLibraryStore(where); };
    }
    worker_ = new IndexWorker(std::move(options));
    thread_ = new QThread;
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    // A thread left running at closing goes when it ends (see the destructor).
    connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
    connect(worker_, &IndexWorker::progress, this, &LibraryIndexer::progress);
    connect(worker_, &IndexWorker::rootFinished, this, &LibraryIndexer::rootFinished);
    connect(worker_, &IndexWorker::needsConfirmation, this, &LibraryIndexer::needsConfirmation);
    connect(worker_, &IndexWorker::passOneFinished, this, &LibraryIndexer::passOneFinished);
    connect(worker_, &IndexWorker::measuringIdle, this, &LibraryIndexer::measuringIdle);
    connect(worker_, &IndexWorker::notice, this, &LibraryIndexer::notice);
    connect(worker_, &IndexWorker::changed, this, &LibraryIndexer::changed);
    thread_->setObjectName(QStringLiteral("library index"));
    thread_->start();
}

LibraryIndexer::~LibraryIndexer()
{
    stop();
    // The worker ends its passes, watches and connections on its own thread, then that thread ends.
    QMetaObject::invokeMethod(worker_, [w = worker_] {
        w->shutDown();
        QThread::currentThread()->quit();
    });
    if (thread_->wait(kStopWaitMs)) {
        delete thread_; // its deleteLater, if posted, goes with it
        return;
    }
    // Blocked in the file system: left to end on its own, or with the process. It touches nothing of
    // this object; its signals went with it.
    qCWarning(lcLibrary) << "the library's index is still waiting for a folder that does not answer; closing"
                            " without it";
}

void LibraryIndexer::start(const std::vector<RootId>& roots)
{
    worker_->resume();
    QMetaObject::invokeMethod(worker_, [w = worker_, roots] { w->runPasses(roots); });
}

void LibraryIndexer::fullCheck(RootId root)
{
    worker_->resume();
    QMetaObject::invokeMethod(worker_, [w = worker_, root] { w->fullCheck(root); });
}

void LibraryIndexer::confirmMissing(RootId root, bool drop)
{
    QMetaObject::invokeMethod(worker_, [w = worker_, root, drop] { w->confirmMissing(root, drop); });
}

void LibraryIndexer::drivesChanged()
{
    worker_->resume();
    QMetaObject::invokeMethod(worker_, [w = worker_] { w->recheckUnavailable(); });
}

void LibraryIndexer::stop()
{
    worker_->requestStop();
}

void LibraryIndexer::noteRenamed(const std::string& from, const std::string& to)
{
    worker_->addNote({IndexWorker::Note::Kind::Renamed, from, to});
}

void LibraryIndexer::noteMoved(const std::string& from, const std::string& toFolder)
{
    worker_->addNote({IndexWorker::Note::Kind::Moved, from, toFolder});
}

void LibraryIndexer::noteRemoved(const std::string& path)
{
    worker_->addNote({IndexWorker::Note::Kind::Removed, path, {}});
}

void LibraryIndexer::noteFolderChanged(const std::string& folder)
{
    worker_->addNote({IndexWorker::Note::Kind::FolderChanged, folder, {}});
}

} // namespace library
