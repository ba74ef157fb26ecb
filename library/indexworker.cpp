// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/indexworker.h"

#include "library/libraryfolders.h"
#include "library/librarylog.h"
#include "platform/files/foldertree.h"
#include "platform/files/folderwatch.h"

#include <cerrno>

namespace library {

namespace {

// Progress is told at most this often.
constexpr qint64 kProgressMs = 200;
// Files whose words are indexed in one transaction: a fraction of a second's work.
constexpr int kWordsBatch = 4000;

std::string parentOf(const std::string& native)
{
    const size_t slash = native.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : native.substr(0, slash);
}

std::string relativeOf(const LibraryPlace& p)
{
    return p.folder.empty() ? p.name : p.name.empty() ? p.folder : p.folder + "/" + p.name;
}

bool isUnavailable(const LibraryRoot& r)
{
    return r.state == RootState::Offline || r.state == RootState::Unreachable;
}

} // namespace

// The timers are children so that they move to the worker's thread with it.
IndexWorker::IndexWorker(LibraryIndexer::Options options)
    : options_(std::move(options)), settle_(this), rescan_(this)
{
    settle_.setSingleShot(true);
    settle_.setInterval(options_.settleMs);
    connect(&settle_, &QTimer::timeout, this, &IndexWorker::scanChangedFolders);
    rescan_.setInterval(options_.rescanSeconds * 1000);
    connect(&rescan_, &QTimer::timeout, this, &IndexWorker::rescanTimed);
}

IndexWorker::~IndexWorker()
{
    shutDown();
}

void IndexWorker::shutDown()
{
    stop_ = true;
    measure_.reset();
    delete watch_;
    watch_ = nullptr;
    settle_.stop();
    rescan_.stop();
    store_.reset();
}

bool IndexWorker::ensureStore()
{
    if (!store_) {
        store_ = options_.openStore();
        if (store_)
            if (const QString text = store_->takeNotice(); !text.isEmpty())
                emit notice(text);
    }
    return store_ && store_->isOpen();
}

void IndexWorker::addNote(Note note)
{
    {
        std::lock_guard<std::mutex> lock(notesMutex_);
        notes_.push_back(std::move(note));
    }
    QMetaObject::invokeMethod(
        this, [this] { applyNotes(); }, Qt::QueuedConnection);
}

bool IndexWorker::notesPending()
{
    std::lock_guard<std::mutex> lock(notesMutex_);
    return !notes_.empty();
}

void IndexWorker::runPasses(std::vector<RootId> ids)
{
    if (!ensureStore()) {
        emit passOneFinished();
        return;
    }
    roots_ = store_->roots();
    for (const LibraryRoot& root : roots_) {
        if (stop_)
            break;
        if (ids.empty() || std::find(ids.begin(), ids.end(), root.id) != ids.end())
            scanRoot(root, nullptr);
    }
    roots_ = store_->roots();
    emitProgress(true);
    emit passOneFinished();
    if (stop_)
        return;
    startMeasuring();
    if (options_.watch) {
        for (const LibraryRoot& root : roots_)
            watchRoot(root);
        // What changed between a folder's listing and its watch: one more pass lists only the folders
        // whose time moved, so it costs little.
        for (const LibraryRoot& root : roots_)
            if (!stop_ && !isUnavailable(root) && root.state == RootState::Ready)
                scanRoot(root, nullptr);
        rescan_.start();
    }
}

void IndexWorker::scanRoot(const LibraryRoot& root, const std::vector<std::string>* folders)
{
    FolderScanner::Options o;
    o.headerReaders = options_.headerReaders;
    o.openWriter = options_.openStore;
    FolderScanner scanner(*store_, o);
    scanner.setStopFlag(&stop_);
    scanner.setPauseHook([this] { return notesPending(); }, [this] { applyNotes(); });
    scanner.setProgress([this](const ScanProgress& p) {
        files_ = p.files;
        foldersLeft_ = p.foldersLeft;
        emitProgress(false);
        if (measure_)
            measure_->wake();
        emit changed();
    });
    const ScanOutcome outcome = folders ? scanner.scanFolders(root, *folders) : scanner.scan(root);
    foldersLeft_ = 0;
    indexWords();
    if (!folders || outcome.state != RootState::Ready)
        reportOutcome(root, outcome);
    if (measure_)
        measure_->wake();
    emit changed();
}

void IndexWorker::indexWords()
{
    // Searches find every file meanwhile, looking at each one's words: the index makes them fast.
    // The program's own changes go in between batches.
    std::int64_t taken = 0;
    while (!stop_ && (taken = store_->indexWords(kWordsBatch)) > 0)
        if (notesPending())
            applyNotes();
    if (taken < 0)
        qCWarning(lcLibrary) << "the words of the files written could not be indexed; searches look at each file";
}

void IndexWorker::reportOutcome(const LibraryRoot& root, const ScanOutcome& outcome)
{
    emit rootFinished(root.id, int(outcome.state), outcome.status);
    if (outcome.state == RootState::NeedsConfirmation)
        emit needsConfirmation(root.id, outcome.missing, outcome.files);
}

void IndexWorker::emitProgress(bool now)
{
    if (!now && sinceProgress_.isValid() && sinceProgress_.elapsed() < kProgressMs)
        return;
    sinceProgress_.start();
    emit progress(files_, foldersLeft_, toMeasure_);
}

void IndexWorker::startMeasuring()
{
    if (!options_.measure)
        return;
    if (measure_) {
        measure_->wake();
        return;
    }
    MeasurePass::Options o;
    o.openStore = options_.openStore;
    o.cacheFile = options_.cacheFile;
    measure_ = std::make_unique<MeasurePass>(o);
    // Called on the measuring thread: handed over to this one.
    measure_->setProgress([this](std::int64_t, std::int64_t left) {
        QMetaObject::invokeMethod(this, [this, left] {
            toMeasure_ = left;
            emitProgress(false);
            emit changed();
        });
    });
    measure_->setIdle([this] {
        QMetaObject::invokeMethod(this, [this] {
            toMeasure_ = 0;
            emitProgress(true);
            emit measuringIdle();
        });
    });
    measure_->start();
}

void IndexWorker::fullCheck(RootId root)
{
    if (stop_ || !ensureStore() || !store_->beginFullCheck(root))
        return;
    roots_ = store_->roots();
    for (const LibraryRoot& r : roots_)
        if (r.id == root)
            scanRoot(r, nullptr);
    emitProgress(true);
}

void IndexWorker::confirmMissing(RootId root, bool drop)
{
    if (!ensureStore())
        return;
    const RootCounts counts = store_->counts(root);
    const QString status = drop ? QStringLiteral("%1 files").arg(countText(counts.files - counts.missing))
                                : QStringLiteral("%1 missing files kept").arg(countText(counts.missing));
    if (drop)
        store_->finishPass(root, false, RootState::Ready, status);
    else
        store_->setRootState(root, RootState::Ready, status);
    emit rootFinished(root, int(RootState::Ready), status);
    emit changed();
}

void IndexWorker::recheckUnavailable()
{
    if (stop_ || !ensureStore())
        return;
    roots_ = store_->roots();
    for (const LibraryRoot& r : roots_) {
        if (!isUnavailable(r) || FolderScanner::unavailable(r))
            continue;
        scanRoot(r, nullptr);
        if (options_.watch)
            watchRoot(r);
    }
    roots_ = store_->roots();
}

void IndexWorker::applyNotes()
{
    std::deque<Note> notes;
    {
        std::lock_guard<std::mutex> lock(notesMutex_);
        notes.swap(notes_);
    }
    if (notes.empty() || !ensureStore())
        return;
    if (roots_.empty())
        roots_ = store_->roots();
    for (const Note& n : notes)
        applyNote(n);
    emit changed();
}

void IndexWorker::applyNote(const Note& note)
{
    const std::optional<LibraryPlace> from = placeOf(roots_, note.path);
    if (note.kind == Note::Kind::FolderChanged) {
        // A folder gone is dropped at once; whatever took its place is listed with its parent.
        if (from && !from->name.empty() && platform::folderStamp(note.path).error == ENOENT)
            store_->removeFolder(from->root, relativeOf(*from));
        else
            folderChanged(note.path);
        folderChanged(parentOf(note.path));
        return;
    }
    if (note.kind == Note::Kind::Removed) {
        if (from)
            store_->removeFile(from->root, from->folder, from->name);
        store_->forgetMarks(note.path);
        return;
    }
    const std::string target =
        note.kind == Note::Kind::Moved ? note.to + "/" + note.path.substr(note.path.rfind('/') + 1) : note.to;
    // Favourites and tags go along, in a library folder or not.
    store_->followMarks(note.path, target);
    const std::optional<LibraryPlace> to = placeOf(roots_, target);
    if (from && to) {
        if (from->root != to->root || from->folder != to->folder)
            store_->moveFile(from->root, from->folder, from->name, to->root, to->folder);
        if (from->name != to->name)
            store_->renameFile(to->root, to->folder, from->name, to->name);
    } else if (from) {
        store_->removeFile(from->root, from->folder, from->name);
    } else if (to) {
        folderChanged(parentOf(target));
    }
}

void IndexWorker::folderChanged(const std::string& native)
{
    const std::optional<LibraryPlace> place = placeOf(roots_, native);
    if (!place)
        return;
    changedFolders_[place->root].insert(relativeOf(*place));
    settle_.start();
}

void IndexWorker::scanChangedFolders()
{
    std::map<RootId, std::set<std::string>> changed;
    changed.swap(changedFolders_);
    if (stop_ || !ensureStore())
        return;
    for (const LibraryRoot& root : roots_) {
        const auto it = changed.find(root.id);
        if (it == changed.end())
            continue;
        const std::vector<std::string> folders(it->second.begin(), it->second.end());
        scanRoot(root, &folders);
        if (options_.watch)
            watchRoot(root);
    }
    roots_ = store_->roots();
}

void IndexWorker::rescanTimed()
{
    if (stop_ || !ensureStore())
        return;
    for (const LibraryRoot& root : roots_)
        if (timedRoots_.count(root.id) && !isUnavailable(root))
            scanRoot(root, nullptr);
    recheckUnavailable();
}

void IndexWorker::watchRoot(const LibraryRoot& root)
{
    if (isUnavailable(root) || timedRoots_.count(root.id))
        return;
    // No change events come from a network file system's server.
    if (platform::isNetworkFolder(root.path)) {
        timedRoots_.insert(root.id);
        return;
    }
    if (!watch_) {
        watch_ = new platform::FolderWatch(this);
        if (options_.watchLimit)
            watch_->setLimit(options_.watchLimit);
        connect(watch_, &platform::FolderWatch::changed, this, &IndexWorker::folderChanged);
        connect(watch_, &platform::FolderWatch::overflowed, this, [this] {
            for (const LibraryRoot& r : roots_)
                changedFolders_[r.id].insert(std::string());
            settle_.start();
        });
    }
    for (const FolderRecord& f : store_->folders(root.id)) {
        if (f.gone)
            continue;
        const std::string native = f.path.empty() ? root.path : root.path + "/" + f.path;
        if (watch_->add(native) == platform::FolderWatch::Added::LimitReached) {
            if (!toldWatchLimit_)
                qCWarning(lcLibrary).noquote()
                    << "Out of folder watches (" << watch_->count() << "in use); library folders beyond them"
                    << "are rescanned every" << options_.rescanSeconds << "seconds instead";
            toldWatchLimit_ = true;
            timedRoots_.insert(root.id);
            return;
        }
    }
}

} // namespace library
