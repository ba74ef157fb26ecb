// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/folderscanner.h"

#include "library/librarylog.h"
#include "platform/files/foldertree.h"
#include "platform/files/nativepath.h"
#include "platform/files/requestpool.h"
#include "waves/W32Waves.h"
#include "waves/WaveMetadata.h"

#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace library {

namespace {

using Clock = std::chrono::steady_clock;

/// A file whose header is wanted, by its Linux path; `identify` for one listed without a look at it.
struct HeaderRequest {
    std::string path;
    bool identify = false;
};

/// What the header readers give: the header, the texts of the file's own chunks for its words, and
/// what the open found of a file asked to be identified (empty when it is gone or no regular file).
struct HeaderRead {
    WaveHeader header;
    QString texts;
    std::optional<platform::FileIdentity> identity;
};

/// What a look at the file tells of it: its size, time and where it lies.
void takeIdentity(FileRecord& f, const platform::FileIdentity& identity)
{
    f.size = identity.size;
    f.modified = identity.modified;
    f.device = identity.device;
    f.inode = identity.inode;
}

/// Runs on the header readers. The chunks are read with the header, from the same first bytes; the
/// end of a file is read only when chunks follow its sound.
HeaderRead readHeader(const HeaderRequest& request)
{
    HeaderRead r;
    WaveHeader& h = r.header;
    TWaveInfo info;
    WaveMetadata metadata;
    bool read = false;
    if (request.identify) {
        // The open's own look at the file is its identity: no look before it, none in the listing.
        const int fd = platform::openListedFile(request.path, r.identity);
        read = fd >= 0 && readWaveInfoAndMetadata(fd, info, metadata);
    } else {
        read = readWaveInfoAndMetadata(request.path, info, metadata);
    }
    h.loops = std::uint32_t(metadata.loops.size());
    h.description = metadata.descriptionText();
    r.texts = metadata.searchText();
    if (!read)
        return r;
    h.read = true;
    h.formatTag = info.FormatTag;
    h.channels = info.Channels;
    h.bits = info.BitsPerSample;
    h.rate = info.SamplesPerSec;
    h.seconds = double(info.Length);
    return r;
}

std::string nativeOf(const LibraryRoot& root, const std::string& relative)
{
    return relative.empty() ? root.path : root.path + "/" + relative;
}

std::string childOf(const std::string& relative, const std::string& name)
{
    return relative.empty() ? name : relative + "/" + name;
}

std::string parentOf(const std::string& relative)
{
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

QString nativeText(const std::string& path)
{
    return QString::fromUtf8(path.data(), qsizetype(path.size()));
}

} // namespace

QString countText(std::int64_t n)
{
    return QLocale(QLocale::English).toString(qlonglong(n));
}

/// Writes batches on a thread of its own, with a connection of its own, so that the walk goes on
/// listing while the database writes.
class BatchWriter {
public:
    BatchWriter(std::unique_ptr<LibraryStore> store, RootId root) : store_(std::move(store)), root_(root)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~BatchWriter()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void write(std::vector<FolderWrite> batch)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // Two batches wait at most: the walk never runs far ahead of the disk.
        changed_.wait(lock, [&] { return queue_.size() < 2; });
        queue_.push_back(std::move(batch));
        ++pending_;
        changed_.notify_all();
    }
    /// Waits until every batch is written; whether all were.
    bool finish()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return pending_ == 0; });
        return !failed_;
    }
    bool failed() const { return failed_; }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            std::vector<FolderWrite> batch = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all();
            lock.unlock();
            const bool ok = store_->isOpen() && store_->writeFolders(root_, batch);
            lock.lock();
            if (!ok)
                failed_ = true;
            --pending_;
            changed_.notify_all();
        }
    }

    std::unique_ptr<LibraryStore> store_;
    const RootId root_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<FolderWrite>> queue_;
    int pending_ = 0;
    std::atomic<bool> failed_{false};
    bool stop_ = false;
    std::thread thread_;
};

/// The state of one walk: the folders to look at, the folders whose headers are being read, and the
/// batch of listings not written yet.
struct FolderScanner::Walk {
    struct Pending {
        FolderWrite write;
        /// The upserts whose headers are being read, and of each whether the read identifies it.
        struct HeaderWanted {
            size_t upsert;
            bool identify;
        };
        std::vector<HeaderWanted> needHeader;
        size_t firstRequest = 0;
    };

    FolderScanner& scanner;
    const LibraryRoot& root;
    const bool forced;
    std::vector<FolderRecord> records;
    std::unordered_map<std::string, size_t> byPath;
    std::unordered_map<FolderId, std::vector<size_t>> children;
    std::set<std::string> mustList;
    /// Folders to look at, the next last: the path, and the index of its record when known (else -1).
    std::vector<std::pair<std::string, std::ptrdiff_t>> stack;
    /// The folders walked, by device and inode.
    struct DeviceInode {
        size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& f) const
        {
            return std::hash<std::uint64_t>()(f.second * 0x9E3779B97F4A7C15ull ^ f.first);
        }
    };
    std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, DeviceInode> visited;
    platform::RequestPool<HeaderRequest, HeaderRead> headers;
    const size_t window;
    std::deque<Pending> pending;
    size_t requests = 0, taken = 0;
    std::vector<FolderWrite> batch;
    size_t batchFiles = 0;
    Clock::time_point lastWrite = Clock::now();
    std::int64_t files = 0;
    std::int64_t unreadable = 0;
    int rootError = 0;
    bool writeFailed = false;
    bool wrote = false; ///< anything changed: the pass ends by counting and dropping
    std::unique_ptr<BatchWriter> writer;

    Walk(FolderScanner& s, const LibraryRoot& r, bool f)
        : scanner(s), root(r), forced(f), headers(readHeader, s.options_.headerReaders),
          window(size_t(std::max(1, s.options_.headerReaders)) * size_t(std::max(1, s.options_.readsAheadPerReader)))
    {
    }

    void load(LibraryStore& store)
    {
        records = store.folders(root.id);
        for (size_t i = 0; i < records.size(); ++i) {
            byPath.emplace(records[i].path, i);
            if (!records[i].path.empty())
                children[records[i].parent].push_back(i);
        }
        files = root.files;
    }

    const FolderRecord* record(const std::string& rel) const
    {
        const auto it = byPath.find(rel);
        return it == byPath.end() ? nullptr : &records[it->second];
    }

    /// The stored folders below one, not gone, in order (the records are in the order of their paths).
    std::vector<size_t> storedChildren(const FolderRecord& r) const
    {
        std::vector<size_t> kids;
        if (const auto it = children.find(r.id); it != children.end())
            for (const size_t i : it->second)
                if (!records[i].gone)
                    kids.push_back(i);
        return kids;
    }

    /// Pushes folders to look at so that they are taken in order.
    void push(const std::vector<std::string>& sorted)
    {
        for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
            stack.emplace_back(*it, -1);
    }
    void push(const std::vector<size_t>& sorted)
    {
        for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
            stack.emplace_back(records[*it].path, std::ptrdiff_t(*it));
    }

    void flush()
    {
        if (batch.empty())
            return;
        // The library folder is marked as being indexed once something of it changes.
        if (!wrote && !forced && root.state != RootState::Indexing)
            scanner.store_.setRootState(root.id, RootState::Indexing, QStringLiteral("Indexing"));
        wrote = true;
        if (!writer && scanner.options_.openWriter)
            writer = std::make_unique<BatchWriter>(scanner.options_.openWriter(), root.id);
        if (writer)
            writer->write(std::move(batch));
        else if (!scanner.store_.writeFolders(root.id, batch))
            writeFailed = true;
        if (writer && writer->failed())
            writeFailed = true;
        batch.clear();
        batchFiles = 0;
        lastWrite = Clock::now();
    }

    void report() const
    {
        if (scanner.progress_)
            scanner.progress_({files, std::int64_t(stack.size() + pending.size())});
    }

    /// The oldest folder whose headers are read goes to the batch.
    void complete()
    {
        Pending p = std::move(pending.front());
        pending.pop_front();
        std::vector<size_t> vanished;
        for (size_t k = 0; k < p.needHeader.size(); ++k) {
            HeaderRead read = headers.take(p.firstRequest + k);
            const auto [upsert, identify] = p.needHeader[k];
            FileRecord& f = p.write.upserts[upsert];
            if (identify) {
                if (!read.identity) {
                    vanished.push_back(upsert);
                    continue;
                }
                takeIdentity(f, *read.identity);
            }
            f.header = std::move(read.header);
            f.texts = std::move(read.texts);
        }
        // Gone since the listing, or no regular file any more: the folder's newer time has it listed
        // again next time.
        for (auto it = vanished.rbegin(); it != vanished.rend(); ++it)
            p.write.upserts.erase(p.write.upserts.begin() + std::ptrdiff_t(*it));
        files -= std::int64_t(vanished.size());
        taken += p.needHeader.size();
        batchFiles += p.write.upserts.size() + p.write.missing.size() + 1;
        batch.push_back(std::move(p.write));
        if (batchFiles >= size_t(scanner.options_.batchFiles) ||
            Clock::now() - lastWrite >= std::chrono::milliseconds(scanner.options_.batchMs)) {
            flush();
            report();
        }
    }

    void drain()
    {
        while (!pending.empty())
            complete();
        flush();
        if (writer && !writer->finish())
            writeFailed = true;
    }

    void visit(const std::string& rel, std::ptrdiff_t known);
    using StoredByName = std::unordered_map<std::string, const StoredFile*>;
    void listed(const std::string& rel, const FolderRecord* r, const platform::TreeListing& listing,
                StoredByName& stored);
    void failedListing(const std::string& rel, int error);
};

void FolderScanner::Walk::visit(const std::string& rel, std::ptrdiff_t known)
{
    const std::string native = nativeOf(root, rel);
    const FolderRecord* r = known >= 0 ? &records[size_t(known)] : record(rel);
    const bool listAnyway =
        mustList.count(rel) || !r || r->gone || r->modified == 0 || (root.fullCheck && r->checked < root.round);
    if (!listAnyway) {
        const platform::FolderStamp stamp = platform::folderStamp(native);
        if (stamp.error == 0 && stamp.modified == r->modified) {
            // Unchanged: the folders below are those stored, and each is looked at in turn.
            visited.emplace(stamp.device, stamp.inode);
            if (!forced)
                push(storedChildren(*r));
            return;
        }
    }
    // A folder back again after it was gone has its files found anew.
    const std::vector<StoredFile> storedFiles = r ? scanner.store_.filesIn(r->id) : std::vector<StoredFile>();
    StoredByName stored;
    for (const StoredFile& f : storedFiles)
        stored.emplace(f.name, &f);
    // Only the files known before are looked at to see whether they changed; the new ones are looked
    // at by the open that reads their headers.
    const platform::TreeListing listing =
        platform::listTreeFolder(native, ".wav", [&stored](const std::string& name) { return stored.count(name) > 0; });
    if (listing.stamp.error != 0)
        failedListing(rel, listing.stamp.error);
    // The same folder reached twice (a bind mount inside itself) is walked once.
    else if (visited.emplace(listing.stamp.device, listing.stamp.inode).second)
        listed(rel, r, listing, stored);
}

void FolderScanner::Walk::failedListing(const std::string& rel, int error)
{
    if (rel.empty()) {
        rootError = error;
        stack.clear();
    } else if (error == ENOENT || error == ENOTDIR) {
        // Gone since its parent was listed: its files are missing like those of a folder removed.
        FolderWrite gone;
        gone.path = rel;
        gone.parentPath = parentOf(rel);
        gone.goneFolders.push_back(rel);
        batch.push_back(std::move(gone));
    } else {
        ++unreadable;
        qCInfo(lcLibrary).noquote() << "cannot list" << nativeText(nativeOf(root, rel)) << ":"
                                    << platform::errorText(error).c_str();
    }
}

void FolderScanner::Walk::listed(const std::string& rel, const FolderRecord* r, const platform::TreeListing& listing,
                                 StoredByName& stored)
{
    Pending p;
    FolderWrite& fw = p.write;
    fw.path = rel;
    fw.parentPath = parentOf(rel);
    fw.modified = listing.stamp.recent ? 0 : listing.stamp.modified;
    fw.checked = root.round;
    // Headers are read by the files' Linux paths: the walk found them, nothing needs resolving.
    const std::string prefix = nativeOf(root, rel) + "/";
    std::vector<std::string> subfolders;
    for (const platform::TreeEntry& e : listing.entries) {
        // Links to folders are not followed: a walk never goes round in circles.
        if (e.kind == platform::TreeEntry::Kind::Folder)
            subfolders.push_back(childOf(rel, e.name));
        if (e.kind != platform::TreeEntry::Kind::File)
            continue;
        FileRecord rec;
        if (const auto s = stored.find(e.name); s != stored.end()) {
            const StoredFile& f = *s->second;
            stored.erase(s);
            if (f.size == e.identity.size && f.modified == e.identity.modified && f.inode == e.identity.inode) {
                if (f.missing)
                    fw.found.push_back(f.id);
                continue;
            }
            rec.id = f.id;
        } else {
            ++files;
        }
        rec.name = e.name;
        takeIdentity(rec, e.identity);
        p.needHeader.push_back({fw.upserts.size(), !e.identified});
        fw.upserts.push_back(std::move(rec));
        headers.add({prefix + e.name, !e.identified});
        ++requests;
    }
    for (const auto& [name, f] : stored)
        if (!f->missing)
            fw.missing.push_back(f->id);
    std::sort(subfolders.begin(), subfolders.end());
    if (r)
        for (const size_t kid : storedChildren(*r))
            if (!std::binary_search(subfolders.begin(), subfolders.end(), records[kid].path))
                fw.goneFolders.push_back(records[kid].path);
    // A watch's rescan leaves the folders below it to their own watches, but walks those new to it.
    std::vector<std::string> next;
    for (const std::string& sub : subfolders) {
        const FolderRecord* known = record(sub);
        if (!forced || !known || known->gone)
            next.push_back(sub);
    }
    push(next);
    p.firstRequest = requests - p.needHeader.size();
    pending.push_back(std::move(p));
    // Past the window, the oldest folders are taken until half of it is left: the readers are then
    // handed the requests added meanwhile in one go, not woken for every folder.
    if (requests - taken > window || pending.size() > window)
        while (!pending.empty() && (requests - taken > window / 2 || pending.size() > window / 2))
            complete();
}

FolderScanner::FolderScanner(LibraryStore& store, Options options) : store_(store), options_(options) {}

std::optional<std::pair<RootState, QString>> FolderScanner::unavailable(const LibraryRoot& root)
{
    const QString name = nativeText(root.path);
    if (root.mount != "/" && !platform::isDriveFolder(root.mount))
        return std::make_pair(RootState::Offline,
                              QStringLiteral("Offline: the drive of %1 is not there; its files are kept").arg(name));
    const platform::FolderStamp stamp = platform::folderStamp(root.path);
    if (stamp.error == 0)
        return std::nullopt;
    const QString why = stamp.error == ELOOP    ? QStringLiteral("it is a link now, not a folder")
                        : stamp.error == ENOENT ? QStringLiteral("there is no such folder")
                                                : QString::fromStdString(platform::errorText(stamp.error)).toLower();
    return std::make_pair(RootState::Unreachable,
                          QStringLiteral("Cannot be read: %1 (%2); its files are kept").arg(name, why));
}

ScanOutcome FolderScanner::scan(const LibraryRoot& root)
{
    return walk(root, {std::string()}, false);
}

ScanOutcome FolderScanner::scanFolders(const LibraryRoot& root, const std::vector<std::string>& folders)
{
    return walk(root, folders, true);
}

ScanOutcome FolderScanner::walk(const LibraryRoot& root, const std::vector<std::string>& start, bool forced)
{
    ScanOutcome out;
    if (const auto why = unavailable(root)) {
        store_.setRootState(root.id, why->first, why->second);
        out.state = why->first;
        out.status = why->second;
        return out;
    }
    Walk w(*this, root, forced);
    w.load(store_);
    // The folders a watch named are listed whatever their times say.
    if (forced)
        w.mustList.insert(start.begin(), start.end());
    w.push(start);
    while (!w.stack.empty() && !w.writeFailed) {
        if (stop_ && stop_->load()) {
            out.stopped = true;
            break;
        }
        if (pausePending_ && pausePending_()) {
            w.drain();
            pauseApply_();
        }
        const auto [rel, known] = std::move(w.stack.back());
        w.stack.pop_back();
        w.visit(rel, known);
    }
    w.drain();
    w.report();
    out.unreadable = w.unreadable;
    return finish(root, w, out);
}

ScanOutcome FolderScanner::finish(const LibraryRoot& root, const Walk& w, ScanOutcome out)
{
    if (w.writeFailed || out.stopped) {
        out.state = RootState::Indexing;
        out.status = w.writeFailed ? QStringLiteral("The library could not be written; indexing goes on next time")
                                   : QStringLiteral("Stopped; indexing goes on where it stopped next time");
        out.stopped = true;
        return out;
    }
    // The drive went while it was walked, or the folder cannot be listed: nothing it held is taken for
    // removed.
    auto why = unavailable(root);
    if (!why && w.rootError != 0)
        why = std::make_pair(
            RootState::Unreachable,
            QStringLiteral("Cannot be read: %1 (%2); its files are kept")
                .arg(nativeText(root.path), QString::fromStdString(platform::errorText(w.rootError)).toLower()));
    if (why) {
        store_.setRootState(root.id, why->first, why->second);
        out.state = why->first;
        out.status = why->second;
        return out;
    }
    // A watch's rescan within a full check leaves the counting to the check; a pass that found nothing
    // changed leaves the library folder as it was, without counting its files.
    if ((w.forced && root.fullCheck) || (!w.wrote && root.state == RootState::Ready)) {
        out.files = root.files;
        out.status = root.status;
        return out;
    }
    const RootCounts counts = store_.counts(root.id);
    out.files = counts.files;
    const bool ask = counts.missing > 0 && counts.missing * 2 > counts.files;
    if (ask) {
        out.state = RootState::NeedsConfirmation;
        out.missing = counts.missing;
        out.status = QStringLiteral("%1 of %2 files are missing; they are kept until you confirm that they are gone")
                         .arg(countText(counts.missing), countText(counts.files));
    } else {
        out.files = counts.files - counts.missing;
        out.status = QStringLiteral("%1 files").arg(countText(out.files));
        if (out.unreadable > 0)
            out.status += QStringLiteral("; %1 folders could not be read").arg(countText(out.unreadable));
    }
    store_.finishPass(root.id, ask, out.state, out.status);
    return out;
}

} // namespace library
