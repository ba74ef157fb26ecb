// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/folderscanner.h"

#include "library/librarylog.h"
#include "platform/files/foldertree.h"
#include "platform/files/nativepath.h"
#include "platform/files/requestpool.h"
#include "waves/W32Waves.h"

#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <set>
#include <unordered_map>

namespace library {

namespace {

using Clock = std::chrono::steady_clock;

// Header reads in flight per reader: enough that the readers never wait for the walk.
constexpr std::size_t kRequestsPerReader = 16;

/// Runs on the header readers.
WaveHeader readHeader(const std::string& drivePath)
{
    WaveHeader h;
    TWaveInfo info;
    if (drivePath.empty() || !ReadWaveInfo(drivePath, info))
        return h;
    h.read = true;
    h.formatTag = info.FormatTag;
    h.channels = info.Channels;
    h.bits = info.BitsPerSample;
    h.rate = info.SamplesPerSec;
    h.seconds = double(info.Length);
    return h;
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

/// The state of one walk: the folders to look at, the folders whose headers are being read, and the
/// batch of listings not written yet.
struct FolderScanner::Walk {
    struct Pending {
        FolderWrite write;
        std::vector<size_t> needHeader; ///< upserts whose headers are being read
        size_t firstRequest = 0;
    };

    FolderScanner& scanner;
    const LibraryRoot& root;
    const bool forced;
    std::vector<FolderRecord> records;
    std::unordered_map<std::string, size_t> byPath;
    std::unordered_map<FolderId, std::vector<size_t>> children;
    std::set<std::string> mustList;
    std::vector<std::string> stack;
    std::set<std::pair<std::uint64_t, std::uint64_t>> visited;
    platform::RequestPool<std::string, WaveHeader> headers;
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

    Walk(FolderScanner& s, const LibraryRoot& r, bool f)
        : scanner(s), root(r), forced(f), headers(readHeader, s.options_.headerReaders),
          window(size_t(std::max(1, s.options_.headerReaders)) * kRequestsPerReader)
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
        files = store.counts(root.id).files;
    }

    const FolderRecord* record(const std::string& rel) const
    {
        const auto it = byPath.find(rel);
        return it == byPath.end() ? nullptr : &records[it->second];
    }

    /// The stored folders below one, in order, not gone.
    std::vector<std::string> storedChildren(const FolderRecord& r) const
    {
        std::vector<std::string> paths;
        if (const auto kids = children.find(r.id); kids != children.end())
            for (const size_t i : kids->second)
                if (!records[i].gone)
                    paths.push_back(records[i].path);
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    /// Pushes folders to look at so that they are taken in order.
    void push(const std::vector<std::string>& sorted) { stack.insert(stack.end(), sorted.rbegin(), sorted.rend()); }

    void flush()
    {
        if (batch.empty())
            return;
        if (!scanner.store_.writeFolders(root.id, batch))
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
        for (size_t k = 0; k < p.needHeader.size(); ++k)
            p.write.upserts[p.needHeader[k]].header = headers.take(p.firstRequest + k);
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
    }

    void visit(const std::string& rel);
    void listed(const std::string& rel, const FolderRecord* r, const platform::TreeListing& listing);
    void failedListing(const std::string& rel, int error);
};

void FolderScanner::Walk::visit(const std::string& rel)
{
    const std::string native = nativeOf(root, rel);
    const FolderRecord* r = record(rel);
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
    const platform::TreeListing listing = platform::listTreeFolder(native);
    if (listing.stamp.error != 0)
        failedListing(rel, listing.stamp.error);
    // The same folder reached twice (a bind mount inside itself) is walked once.
    else if (visited.emplace(listing.stamp.device, listing.stamp.inode).second)
        listed(rel, r, listing);
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

void FolderScanner::Walk::listed(const std::string& rel, const FolderRecord* r, const platform::TreeListing& listing)
{
    Pending p;
    FolderWrite& fw = p.write;
    fw.path = rel;
    fw.parentPath = parentOf(rel);
    fw.modified = listing.stamp.recent ? 0 : listing.stamp.modified;
    fw.checked = root.round;
    // A folder back again after it was gone has its files found anew.
    const std::vector<StoredFile> storedFiles = r ? scanner.store_.filesIn(r->id) : std::vector<StoredFile>();
    std::unordered_map<std::string, const StoredFile*> stored;
    for (const StoredFile& f : storedFiles)
        stored.emplace(f.name, &f);
    const std::string drive = platform::drivePathOf(nativeOf(root, rel));
    const std::string prefix = drive.empty() || drive.back() == '\\' ? drive : drive + "\\";
    std::vector<std::string> subfolders;
    for (const platform::TreeEntry& e : listing.entries) {
        // Links to folders are not followed: a walk never goes round in circles.
        if (e.kind == platform::TreeEntry::Kind::Folder)
            subfolders.push_back(childOf(rel, e.name));
        if (e.kind != platform::TreeEntry::Kind::File)
            continue;
        if (const auto s = stored.find(e.name); s != stored.end()) {
            const StoredFile& f = *s->second;
            stored.erase(s);
            if (f.size == e.identity.size && f.modified == e.identity.modified && f.inode == e.identity.inode) {
                if (f.missing)
                    fw.found.push_back(f.id);
                continue;
            }
        } else {
            ++files;
        }
        FileRecord rec;
        rec.name = e.name;
        rec.size = e.identity.size;
        rec.modified = e.identity.modified;
        rec.device = e.identity.device;
        rec.inode = e.identity.inode;
        p.needHeader.push_back(fw.upserts.size());
        fw.upserts.push_back(std::move(rec));
        headers.add(drive.empty() ? std::string() : prefix + e.name);
        ++requests;
    }
    for (const auto& [name, f] : stored)
        if (!f->missing)
            fw.missing.push_back(f->id);
    std::sort(subfolders.begin(), subfolders.end());
    if (r)
        for (const std::string& kid : storedChildren(*r))
            if (!std::binary_search(subfolders.begin(), subfolders.end(), kid))
                fw.goneFolders.push_back(kid);
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
    while (requests - taken > window || pending.size() > window)
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
    if (!forced)
        store_.setRootState(root.id, RootState::Indexing, QStringLiteral("Indexing"));
    Walk w(*this, root, forced);
    w.load(store_);
    // The folders asked for are listed whatever their times say.
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
        const std::string rel = std::move(w.stack.back());
        w.stack.pop_back();
        w.visit(rel);
    }
    w.drain();
    w.report();
    out.unreadable = w.unreadable;
    return finish(root, w, out);
}

ScanOutcome FolderScanner::finish(const LibraryRoot& root, const Walk& w, ScanOutcome out)
{
    const RootCounts counts = store_.counts(root.id);
    out.files = counts.files;
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
    // A watch's rescan within a full check leaves the counting to the check.
    if (w.forced && root.fullCheck)
        return out;
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
