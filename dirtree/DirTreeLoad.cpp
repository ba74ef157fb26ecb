// SPDX-License-Identifier: GPL-3.0-or-later
// TDirTree: listing drives, reading and probing sub-folders, the folder filters and node icons.
#include "dirtree/DirTree.h"
#include "dirtree/FileRoutines.h"
#include "platform/files/requestpool.h"
#include "platform/shell/shellinfo.h"
#include "platform/utf8.h"

#include <QCollator>
#include <algorithm>
#include <unordered_set>
#include <vector>

using namespace platform;

namespace {

// True when marker occurs in the path and something follows it: the folder itself is shown,
// everything below it is not.
bool below(const std::string& lower, const std::string& marker)
{
    const size_t p = lower.find(marker);
    return p != std::string::npos && p + marker.size() < lower.size();
}

// The desktop's trash folders count as recycle bins: ~/.local/share/Trash and .Trash-<uid> on media.
bool belowTrash(const std::string& lower)
{
    if (below(lower, "\\.local\\share\\trash\\"))
        return true;
    for (size_t p = lower.find("\\.trash-"); p != std::string::npos; p = lower.find("\\.trash-", p + 1)) {
        size_t q = p + 8;
        while (q < lower.size() && lower[q] >= '0' && lower[q] <= '9')
            ++q;
        if (q > p + 8 && q < lower.size() && lower[q] == '\\' && q + 1 < lower.size())
            return true;
    }
    return false;
}

} // namespace

void TDirTree::LoadDrives()
{
    if (!windowCreated_ || loading_)
        return;
    dirtree::BusyCursor busy;
    struct ShowSelection {
        TDirTree& tree;
        ~ShowSelection()
        {
            if (QTreeWidgetItem* node = tree.currentItem())
                tree.scrollToItem(node);
        }
    } show{*this};
    ChangeLockGuard lock(*this);
    UpdateBatch batch(*this);

    // No pending events are handled here: nothing is painted inside the batch, and a device change
    // handled in the middle of a rebuild would work on a half-built tree.
    deleteAllNodes();
    const std::uint32_t mask = EnabledDrives(driveTypes_);
    driveMask_ = mask;
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i)))
            continue;
        const std::string root = std::string(1, char('A' + i)) + ":\\";
        if (!AcceptFolder(root))
            continue;
        QTreeWidgetItem* node = AddDriveNode(root, nullptr);
        if (fastLoad_) {
            addPlaceholder(node);
            continue;
        }
        const UINT kind = GetDriveType(root);
        // Removable, optical and unknown drives are not touched: a probe could wait for a medium.
        if (kind < DRIVE_FIXED || kind == DRIVE_CDROM)
            addPlaceholder(node);
        else
            ProbeSubfolders(node);
    }
}

TDirNode* TDirTree::makeDriveNode(const std::string& rootIn, void* data, int& icon)
{
    std::string root = rootIn;
    AddBackslash(root);
    SHFILEINFO info;
    SHGetFileInfo(root, 0, &info, SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON);
    icon = info.iIcon;
    const char letter = driveLetterOf(root);
    std::string text;
    if (GetDriveType(root) == DRIVE_REMOVABLE) {
        text = info.szDisplayName;
    } else if (letter >= 'A' && letter <= 'Z') {
        text = VolumeLabelText(root[0], volumeSerials_[size_t(letter - 'A')]);
    } else {
        std::int32_t ignored = 0;
        text = VolumeLabelText(root[0], ignored);
    }
    // A drive's root has no name that could differ in case.
    std::string onDisk = root;
    onDisk[0] = letter;
    return makeNode(root, onDisk, text, data);
}

QTreeWidgetItem* TDirTree::AddDriveNode(const std::string& root, void* data)
{
    int icon = 0;
    TDirNode* node = makeDriveNode(root, data, icon);
    addTopLevelItem(node);
    SetNodeIcons(node, icon);
    return node;
}

void TDirTree::SetNodeIcons(QTreeWidgetItem* node, int icon)
{
    int selected = openFolderIcon_;
    if (icon != folderIcon_) {
        SHFILEINFO info;
        const TDirEntry* e = entryOf(node);
        SHGetFileInfo(e ? e->DiskPath : std::string(), 0, &info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
        selected = info.iIcon;
    }
    setNodeImages(node, icon, selected);
    if (OnGetIcon)
        OnGetIcon(this, node);
}

bool TDirTree::hiddenBelowRecycleBin(const std::string& path) const
{
    if (goBelowRecycleBin_)
        return false;
    const std::string lower = lowerAscii(path);
    return below(lower, "\\recycled\\") || belowTrash(lower);
}

bool TDirTree::AcceptFolder(const std::string& path)
{
    bool accept = !hiddenBelowRecycleBin(path);
    if (accept && OnAddDir)
        OnAddDir(this, path, accept);
    return accept;
}

bool TDirTree::MatchesDirTypes(std::uint32_t attributes) const
{
    const auto has = [&](TDirType t) { return (dirTypes_ & dirTypeBit(t)) != 0; };
    if (has(dtAll))
        return true;
    if ((attributes & FILE_ATTRIBUTE_HIDDEN) && !has(dtHidden))
        return false;
    if ((attributes & FILE_ATTRIBUTE_SYSTEM) && !has(dtSystem))
        return false;
    if ((attributes & FILE_ATTRIBUTE_ARCHIVE) && !has(dtArchive))
        return false;
    if (has(dtNormal))
        return true;
    return (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE)) != 0;
}

void TDirTree::searchSubfolders(QTreeWidgetItem* node, const std::function<bool(const TDirRec&)>& visit)
{
    const std::string path = NodePath(node);
    const std::string onDisk = entryOf(node)->DiskPath;
    void* const nodeData = entryOf(node)->Data;
    TDirRec rec;
    rec.Data = nodeData;
    ErrorModeGuard quiet;

    int result = 0;
    if (OnFindDir)
        OnFindDir(this, path, rec, result, true);
    else
        result = int(FindFirstEntry(onDisk + "*.*", rec));
    // The search the first step started (an owner's handler may start its own) ends with this walk.
    const FindHandle search(rec.FindHandle);
    while (result == 0) {
        if ((rec.Attr & FILE_ATTRIBUTE_DIRECTORY) && rec.Name != "." && rec.Name != "..") {
            if (AcceptFolder(path + rec.Name + "\\") && MatchesDirTypes(rec.Attr) && !visit(rec))
                break;
        }
        if (OnFindDir) {
            rec.Data = nodeData;
            OnFindDir(this, path, rec, result, false);
        } else {
            result = int(FindNextEntry(rec));
        }
    }
}

void TDirTree::ReadSubfolders(QTreeWidgetItem* node)
{
    TDirEntry* entry = entryOf(node);
    if (!entry || entry->Scanned)
        return;
    deleteChildren(node);
    entry->Scanned = true;

    struct Found {
        std::string name;
        void* data;
        std::uint32_t attr;
        QString label;
    };
    std::vector<Found> found;
    // Folders whose names differ only in letter case are folders of their own, each with its node.
    searchSubfolders(node, [&](const TDirRec& rec) {
        found.push_back({rec.Name, rec.Data, rec.Attr, {}});
        return true;
    });

    for (Found& f : found)
        f.label = platform::displayText(f.name);
    const QCollator& collator = dirtree::nameCollator(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(found.size());
    for (const Found& f : found)
        keys.push_back(collator.sortKey(f.label.toCaseFolded())); // not every locale's collation ignores case
    std::vector<size_t> order(found.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int r = keys[a].compare(keys[b]);
        return r != 0 ? r < 0 : found[a].name < found[b].name;
    });

    // The children are made detached and added in one step: thousands of single insertions would
    // each notify the view.
    QList<QTreeWidgetItem*> children;
    children.reserve(qsizetype(found.size()));
    for (size_t i : order)
        children.push_back(makeFolderNode(*entry, found[i].name, found[i].data, found[i].attr));
    node->addChildren(children);
    if (OnGetIcon)
        for (QTreeWidgetItem* child : children)
            OnGetIcon(this, child);
}

TDirNode* TDirTree::makeFolderNode(const TDirEntry& parent, const std::string& name, void* data, std::uint32_t attr)
{
    const std::string childPath = parent.Path + name + "\\";
    const std::string childOnDisk = parent.DiskPath + name + "\\";
    // The search already gave the attributes; asking the shell by them spares two path lookups
    // per folder, which matter in folders of thousands.
    SHFILEINFO info;
    const UINT byAttributes = SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES;
    const bool ok = SHGetFileInfo(childOnDisk, attr, &info, byAttributes);
    TDirNode* child = makeNode(childPath, childOnDisk, name, data);
    const int icon = ok ? info.iIcon : folderIcon_;
    int selected = openFolderIcon_;
    if (icon != folderIcon_) {
        SHFILEINFO open;
        SHGetFileInfo(childOnDisk, attr, &open, byAttributes | SHGFI_OPENICON);
        selected = open.iIcon;
    }
    child->imageIndex = icon;
    child->selectedIndex = selected;
    applyIcon(child);
    return child;
}

void TDirTree::addNewSubfolders(QTreeWidgetItem* node)
{
    const TDirEntry* entry = entryOf(node);
    if (!entry || !entry->Scanned)
        return;
    std::unordered_set<std::string> known;
    for (int i = 0; i < node->childCount(); ++i)
        if (const TDirEntry* e = entryOf(node->child(i)))
            known.insert(e->DiskPath);
    QList<QTreeWidgetItem*> added;
    searchSubfolders(node, [&](const TDirRec& rec) {
        if (!known.count(entry->DiskPath + rec.Name + "\\"))
            added.push_back(makeFolderNode(*entry, rec.Name, rec.Data, rec.Attr));
        return true;
    });
    if (added.isEmpty())
        return;
    node->addChildren(added);
    for (QTreeWidgetItem* child : added) {
        ProbeSubfolders(child);
        if (OnGetIcon)
            OnGetIcon(this, child);
    }
    node->sortChildren(0, Qt::AscendingOrder);
}

void TDirTree::ProbeSubfolders(QTreeWidgetItem* node)
{
    // A node already read, or one that shows children, needs no placeholder: a second one would
    // show as an empty row.
    if (!entryOf(node) || IsScanned(node) || node->childCount() > 0)
        return;
    bool any = false;
    searchSubfolders(node, [&](const TDirRec&) {
        any = true;
        return false;
    });
    if (any)
        addPlaceholder(node);
}

bool TDirTree::holdsQualifyingSubfolder(const std::string& path, const std::string& onDisk) const
{
    TDirRec rec;
    std::uint32_t result = FindFirstEntry(onDisk + "*.*", rec);
    const FindHandle search(rec.FindHandle);
    bool found = false;
    for (; result == 0 && !found; result = FindNextEntry(rec))
        found = (rec.Attr & FILE_ATTRIBUTE_DIRECTORY) && rec.Name != "." && rec.Name != ".." &&
                !hiddenBelowRecycleBin(path + rec.Name + "\\") && MatchesDirTypes(rec.Attr);
    return found;
}

void TDirTree::ProbeChildren(QTreeWidgetItem* node)
{
    if (!node)
        return;
    // The owner's handlers are called on this thread, folder after folder, as they always were.
    if (OnFindDir || OnAddDir || node->childCount() < 2) {
        for (int i = 0; i < node->childCount(); ++i)
            ProbeSubfolders(node->child(i));
        return;
    }
    // Otherwise the probes are plain searches: many run at once, so that a cold or slow disk serves many
    // folders in the time of one, and the placeholders are added here in the children's order.
    ErrorModeGuard quiet; // process-wide: set once here, for all searches, and kept until the last ends
    std::vector<QTreeWidgetItem*> probed;
    // Each probe searches the child's own folder on disk, so of two folders whose names differ only in
    // case each is probed, not one of them twice.
    using Folder = std::pair<std::string, std::string>; // tree path, disk path
    platform::RequestPool<Folder, bool> searches(
        [this](const Folder& f) { return holdsQualifyingSubfolder(f.first, f.second); });
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (!entryOf(child) || IsScanned(child) || child->childCount() > 0)
            continue;
        probed.push_back(child);
        searches.add({NodePath(child), entryOf(child)->DiskPath});
    }
    for (size_t i = 0; i < probed.size(); ++i)
        if (searches.take(i))
            addPlaceholder(probed[i]);
}

QTreeWidgetItem* TDirTree::AddFolderNode(QTreeWidgetItem* parent, const std::string& pathIn, void* data)
{
    const TDirEntry* parentEntry = entryOf(parent);
    if (!parentEntry)
        return nullptr;
    std::string path = pathIn;
    AddBackslash(path);
    // The folder is looked for in the parent's own folder on disk; its name as the disk spells it
    // (found ignoring case, as a typed name is) completes the node's disk path.
    const std::string typed = RemoveBackslash(path).substr(RemoveBackslash(path).rfind('\\') + 1);
    const std::string spelled = RemoveBackslash(FileSystemName(parentEntry->DiskPath + typed));
    const std::string onDisk = parentEntry->DiskPath + spelled + "\\";
    SHFILEINFO info;
    const bool ok = SHGetFileInfo(onDisk, 0, &info, SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON);
    TDirNode* node = makeNode(path, onDisk, spelled, data);
    parent->addChild(node);
    SetNodeIcons(node, ok ? info.iIcon : folderIcon_);
    return node;
}

bool TDirTree::QueryExpand(QTreeWidgetItem* node)
{
    {
        dirtree::BusyCursor busy;
        ReadSubfolders(node);
        ProbeChildren(node);
    }
    bool allow = true;
    if (OnExpanding)
        OnExpanding(this, node, allow);
    return allow;
}

void TDirTree::onItemExpanded(QTreeWidgetItem* item)
{
    if (quiet_)
        return;
    bool allow = false;
    try {
        allow = QueryExpand(item);
    } catch (...) {
        // Qt's signal delivery cannot carry the error on; the node stays closed, and SelectPath
        // hands the error to its caller.
        keepPendingError("expanding a folder");
    }
    quiet_ = true;
    // Reading replaced the children of an item that was already open; keep it open unless forbidden.
    item->setExpanded(allow && item->childCount() > 0);
    quiet_ = false;
    if (allow && OnExpanded)
        OnExpanded(this, item);
}

void TDirTree::onItemCollapsed(QTreeWidgetItem* item)
{
    if (quiet_)
        return;
    bool allow = true;
    if (OnCollapsing)
        OnCollapsing(this, item, allow);
    if (!allow) {
        quiet_ = true;
        item->setExpanded(true);
        quiet_ = false;
        return;
    }
    if (OnCollapsed)
        OnCollapsed(this, item);
}
