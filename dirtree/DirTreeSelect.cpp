// SPDX-License-Identifier: GPL-3.0-or-later
// TDirTree: selecting and finding nodes by path, reloading, refreshing nodes, and folder nodes the
// owner adds or renames.
#include "dirtree/DirTree.h"
#include "dirtree/logging.h"
#include "platform/logging.h"

#include <QScopedValueRollback>
#include <utility>
#include <vector>

using namespace platform;

namespace {

bool isLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

} // namespace

QTreeWidgetItem* TDirTree::childByPath(QTreeWidgetItem* parent, const std::string& upper,
                                       const std::string& spelt) const
{
    // Folders whose names differ only in case are nodes of their own: the one spelt as asked is that
    // folder; otherwise the first of them, which is the first in byte order, as paths resolve.
    QTreeWidgetItem* firstIgnoringCase = nullptr;
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* node = parent ? parent->child(i) : topLevelItem(i);
        const TDirEntry* e = entryOf(node);
        if (!e)
            continue;
        if (e->DiskPath == spelt)
            return node;
        if (!firstIgnoringCase && e->Path == upper)
            firstIgnoringCase = node;
    }
    return firstIgnoringCase;
}

QTreeWidgetItem* TDirTree::walkPath(const std::string& path, Walk walk)
{
    if (path.empty())
        return nullptr;
    // Both texts have their separators at the same components; upper-casing may change byte counts.
    const std::string upper = dirtree::upperPath(path);
    std::string spelt = path;
    spelt[0] = upperAscii(spelt[0]);
    // Each level compares against the growing prefix, so a deep path costs the same per level.
    std::string upperPrefix, speltPrefix;
    size_t u = 0, s = 0;
    QTreeWidgetItem* node = nullptr;
    for (;;) {
        const size_t uEnd = upper.find('\\', u), sEnd = spelt.find('\\', s);
        if (uEnd == std::string::npos || sEnd == std::string::npos)
            return node;
        upperPrefix.append(upper, u, uEnd + 1 - u);
        speltPrefix.append(spelt, s, sEnd + 1 - s);
        u = uEnd + 1;
        s = sEnd + 1;
        QTreeWidgetItem* child = childByPath(node, upperPrefix, speltPrefix);
        if (!child && walk == Walk::Afresh && node) {
            addNewSubfolders(node);
            child = childByPath(node, upperPrefix, speltPrefix);
        }
        node = child;
        if (!node)
            return nullptr;
        if (walk != Walk::AsRead && !IsScanned(node))
            ReadSubfolders(node);
    }
}

void TDirTree::SelectPath(const std::string& path)
{
    selectPath(path, Walk::ReadOnTheWay);
}

void TDirTree::SelectPathAfresh(const std::string& path)
{
    selectPath(path, Walk::Afresh);
}

void TDirTree::selectPath(const std::string& pathIn, Walk walk)
{
    if (pathIn.empty())
        throw DirTreeError("Invalid Path Name");
    if (pathIn == "?")
        return;
    std::string path = pathIn;
    AddBackslash(path);
    std::string probe = RemoveBackslash(path);
    if (probe.size() == 2)
        probe = path; // a bare "C:" means the root here, not a folder of that name
    if (!PathExists(probe))
        path = GetCurrentDirectory().substr(0, 1) + ":\\";
    const int n = PathDepth(path);
    if (n == 0)
        return;

    dirtree::BusyCursor busy;
    UpdateBatch batch(*this);
    QTreeWidgetItem* node = walkPath(path, walk);
    if (!node)
        return;
    pendingError_ = nullptr;
    {
        const QScopedValueRollback<bool> handingOn(handingOnErrors_, true);
        setCurrentItem(node);
        scrollToItem(node);
    }
    // OnChange and OnExpanding ran inside Qt's signals; their errors end this command like any other.
    if (std::exception_ptr error = std::exchange(pendingError_, nullptr))
        std::rethrow_exception(error);
}

std::string TDirTree::SelectedPath() const
{
    const TDirEntry* e = entryOf(currentItem());
    return e ? e->Path : std::string("?");
}

std::string TDirTree::DropTargetPath() const
{
    return NodePath(dropTarget_);
}

std::string TDirTree::SelectedDiskPath() const
{
    const TDirEntry* e = entryOf(currentItem());
    return e ? e->DiskPath : std::string("?");
}

std::string TDirTree::DropTargetDiskPath() const
{
    const TDirEntry* e = entryOf(dropTarget_);
    return e ? e->DiskPath : std::string();
}

QTreeWidgetItem* TDirTree::FindNode(const std::string& pathIn)
{
    std::string path = pathIn;
    AddBackslash(path);
    const int n = PathDepth(path);
    if (n == 0)
        return nullptr;
    dirtree::BusyCursor busy;
    return walkPath(path, Walk::AsRead);
}

void TDirTree::Reload()
{
    const std::string old = SelectedPath();
    // Selected again by its spelling on disk: of two folders that differ only in case, the same one.
    const std::string oldOnDisk = SelectedDiskPath();
    LoadDrives();
    SelectPath(oldOnDisk);
    if (topLevelItemCount() > 0 && !currentItem())
        SelectPath(old.substr(0, 3));
    if (currentItem() || topLevelItemCount() == 0)
        return;

    // Prefer a drive that was already read (or has nothing to read) over one never touched.
    QTreeWidgetItem* drive = nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        drive = topLevelItem(i);
        if (drive->childCount() == 0 || IsScanned(drive->child(0)))
            break;
    }
    const char letter = driveLetterOf(NodePath(drive));
    if (!isLetter(letter))
        return;
    try {
        const std::string last = lastDirs_[size_t(letter - 'A')];
        SelectPath(last);
        if (SelectedPath() != last) {
            selectSilently(drive);
            SelectionChanged(drive);
        }
    } catch (...) {
        // The last folder of a drive is a convenience; failing to restore it is not an error.
        qCDebug(dirtree::lcDirTree) << "the last folder of drive" << letter << "was not restored:"
                                    << exceptionText(std::current_exception()).c_str();
    }
}

void TDirTree::RefreshNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    deleteChildren(node);
    if (TDirEntry* e = entryOf(node))
        e->Scanned = false;
    quiet_ = true;
    node->setExpanded(false);
    quiet_ = false;
    ProbeSubfolders(node);
}

void TDirTree::GoToParent(bool collapse)
{
    QTreeWidgetItem* node = currentItem();
    if (node && node->parent())
        setCurrentItem(node->parent());
    if (!collapse || !currentItem())
        return;
    std::vector<QTreeWidgetItem*> pending{currentItem()};
    std::vector<QTreeWidgetItem*> order;
    while (!pending.empty()) {
        QTreeWidgetItem* n = pending.back();
        pending.pop_back();
        order.push_back(n);
        for (int i = 0; i < n->childCount(); ++i)
            if (n->child(i)->isExpanded())
                pending.push_back(n->child(i));
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        (*it)->setExpanded(false);
}

void TDirTree::selectSilently(QTreeWidgetItem* node)
{
    ChangeLockGuard lock(*this);
    setCurrentItem(node);
}

void TDirTree::SelectionChanged(QTreeWidgetItem* node)
{
    // While loading, only the selection of the initial folder (after loading) is reported.
    if (destroying_ || changeLock_ != 0 || loading_)
        return;
    if (node && entryOf(node))
        node = VolumeCheck(node);
    if (const TDirEntry* e = entryOf(node)) {
        const char letter = driveLetterOf(e->Path);
        if (isLetter(letter))
            lastDirs_[size_t(letter - 'A')] = dirtree::upperPath(e->Path);
    }
    if (OnChange)
        OnChange(this, node);
}

bool TDirTree::allowChange(const QModelIndex& index)
{
    bool allow = true;
    if (OnChanging && !destroying_)
        OnChanging(this, itemFromIndex(index), allow);
    return allow;
}

void TDirTree::onCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    applyIcon(previous);
    applyIcon(current);
    try {
        SelectionChanged(current);
    } catch (...) {
        // Qt's signal delivery cannot carry an error on; SelectPath hands it to its caller.
        keepPendingError("the selection change");
    }
}

void TDirTree::keepPendingError(const char* during)
{
    const std::exception_ptr caught = std::current_exception();
    const std::string text = exceptionText(caught);
    if (!handingOnErrors_)
        qCWarning(dirtree::lcDirTree) << during << "failed:" << text.c_str();
    else if (pendingError_)
        qCDebug(dirtree::lcDirTree) << during << "failed after an earlier error, which is handed on:" << text.c_str();
    else
        qCDebug(dirtree::lcDirTree) << during << "failed; the error is handed on:" << text.c_str();
    if (!pendingError_)
        pendingError_ = caught;
}

void TDirTree::AddFolder(const std::string& parentPath, const std::string& name, void* data)
{
    QTreeWidgetItem* parent = FindNode(parentPath);
    if (!parent)
        return;
    QTreeWidgetItem* node = AddFolderNode(parent, NodePath(parent) + name, data);
    if (!node)
        return;
    ProbeSubfolders(node);
    parent->sortChildren(0, Qt::AscendingOrder);
}

void TDirTree::RenameNode(QTreeWidgetItem* node, const std::string& newPath)
{
    const TDirEntry* e = entryOf(node);
    if (!e || newPath.empty() || PathDepth(e->Path) < 2)
        return; // drives are not renamed
    const std::string oldPath = e->Path, oldDiskPath = e->DiskPath;
    // A rename changes the last name only: the folders above keep their own spelling.
    const std::string trimmed = RemoveBackslash(newPath);
    const std::string oldTrimmed = RemoveBackslash(oldDiskPath);
    const std::string parentOnDisk = oldTrimmed.substr(0, oldTrimmed.rfind('\\') + 1);
    const std::string freshDisk = parentOnDisk + trimmed.substr(trimmed.rfind('\\') + 1) + "\\";
    const std::string fresh = dirtree::upperPath(freshDisk);
    if (freshDisk == oldDiskPath)
        return;
    const auto follow = [](std::string& p, const std::string& from, const std::string& to) {
        if (p.compare(0, from.size(), from) == 0)
            p = to + p.substr(from.size());
    };
    std::vector<QTreeWidgetItem*> pending{node};
    while (!pending.empty()) {
        QTreeWidgetItem* n = pending.back();
        pending.pop_back();
        if (TDirEntry* entry = entryOf(n)) {
            follow(entry->Path, oldPath, fresh);
            follow(entry->DiskPath, oldDiskPath, freshDisk);
        }
        for (int i = 0; i < n->childCount(); ++i)
            pending.push_back(n->child(i));
    }
    for (std::string& last : lastDirs_)
        follow(last, oldPath, fresh);
}
