// TDirTree: selecting and finding nodes by path, reloading, refreshing nodes, and folder nodes the
// owner adds or renames.
#include "dirtree/DirTree.h"

#include <utility>
#include <vector>

using namespace platform;

namespace {

char upperLetter(const std::string& path)
{
    return path.empty() ? '\0' : char(std::toupper(static_cast<unsigned char>(path[0])));
}

bool isLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

} // namespace

QTreeWidgetItem* TDirTree::childByPath(QTreeWidgetItem* parent, const std::string& path, bool) const
{
    // Both sides are upper-cased by the same rule, so equal texts are the case-ignoring match.
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* node = parent ? parent->child(i) : topLevelItem(i);
        const TDirEntry* e = entryOf(node);
        if (e && e->Path == path)
            return node;
    }
    return nullptr;
}

void TDirTree::SelectPath(const std::string& pathIn)
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
    path = dirtree::upperPath(path);
    QTreeWidgetItem* node = nullptr;
    for (int k = 1; k <= n; ++k) {
        node = childByPath(node, PathPrefix(path, k), false);
        if (!node)
            return;
        if (!IsScanned(node))
            ReadSubfolders(node);
    }
    pendingError_ = nullptr;
    setCurrentItem(node);
    scrollToItem(node);
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

QTreeWidgetItem* TDirTree::FindNode(const std::string& pathIn)
{
    std::string path = pathIn;
    AddBackslash(path);
    const int n = PathDepth(path);
    if (n == 0)
        return nullptr;
    dirtree::BusyCursor busy;
    path = dirtree::upperPath(path);
    QTreeWidgetItem* node = nullptr;
    for (int k = 1; k <= n && (k == 1 || node); ++k)
        node = childByPath(node, PathPrefix(path, k), true);
    return node;
}

void TDirTree::Reload()
{
    const std::string old = SelectedPath();
    LoadDrives();
    SelectPath(old);
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
    const char letter = upperLetter(NodePath(drive));
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
        const char letter = upperLetter(e->Path);
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
        if (!pendingError_)
            pendingError_ = std::current_exception();
    }
}

void TDirTree::AddFolder(const std::string& parentPath, const std::string& name, void* data)
{
    QTreeWidgetItem* parent = FindNode(parentPath);
    if (!parent)
        return;
    QTreeWidgetItem* node = AddFolderNode(parent, NodePath(parent) + name, data);
    ProbeSubfolders(node);
    parent->sortChildren(0, Qt::AscendingOrder);
}

void TDirTree::RenameNode(QTreeWidgetItem* node, const std::string& newPath)
{
    const TDirEntry* e = entryOf(node);
    if (!e || newPath.empty() || PathDepth(e->Path) < 2)
        return; // drives are not renamed
    const std::string oldPath = e->Path;
    std::string fresh = dirtree::upperPath(newPath);
    AddBackslash(fresh);
    if (fresh == oldPath)
        return;
    const auto follow = [&](std::string& p) {
        if (p.compare(0, oldPath.size(), oldPath) == 0)
            p = fresh + p.substr(oldPath.size());
    };
    std::vector<QTreeWidgetItem*> pending{node};
    while (!pending.empty()) {
        QTreeWidgetItem* n = pending.back();
        pending.pop_back();
        if (TDirEntry* entry = entryOf(n))
            follow(entry->Path);
        for (int i = 0; i < n->childCount(); ++i)
            pending.push_back(n->child(i));
    }
    for (std::string& last : lastDirs_)
        follow(last);
}
