// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/libraryindexer.h"

#include "library/indexworker.h"
#include "library/sqlitelibrarystore.h"

namespace library {

LibraryIndexer::LibraryIndexer(Options options, QObject* parent) : QObject(parent)
{
    if (!options.openStore) {
        const std::string file = options.databaseFile;
        options.openStore = [file] { return std::make_unique<SqliteLibraryStore>(file); };
    }
    worker_ = new IndexWorker(std::move(options));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &IndexWorker::progress, this, &LibraryIndexer::progress);
    connect(worker_, &IndexWorker::rootFinished, this, &LibraryIndexer::rootFinished);
    connect(worker_, &IndexWorker::needsConfirmation, this, &LibraryIndexer::needsConfirmation);
    connect(worker_, &IndexWorker::passOneFinished, this, &LibraryIndexer::passOneFinished);
    connect(worker_, &IndexWorker::measuringIdle, this, &LibraryIndexer::measuringIdle);
    connect(worker_, &IndexWorker::notice, this, &LibraryIndexer::notice);
    connect(worker_, &IndexWorker::changed, this, &LibraryIndexer::changed);
    thread_.setObjectName(QStringLiteral("library index"));
    thread_.start();
}

LibraryIndexer::~LibraryIndexer()
{
    stop();
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { w->shutDown(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
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
