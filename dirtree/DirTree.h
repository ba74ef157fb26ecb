// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TDirTree: the machine's drives and their folders as a lazily read tree. Only drives are listed at
// start; a node's sub-folders are read when it is expanded or a path through it is selected, and a
// placeholder child stands in for unread sub-folders so the expand button shows.

#include "dirtree/DirTreePaths.h"

#include <QCollator>
#include <QPointer>
#include <QTreeWidget>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class QKeyEvent;
class QDropEvent;
class QDragMoveEvent;

/// Folder attribute classes that DirTypes admits, values 0 to 5.
enum TDirType { dtReadOnly, dtHidden, dtSystem, dtArchive, dtNormal, dtAll };
/// A set of TDirType: bit (1 << kind).
using TDirTypes = std::uint8_t;
constexpr TDirTypes dirTypeBit(TDirType t)
{
    return TDirTypes(1u << t);
}

/// Whether the tree's nodes start a drag by themselves.
enum TDragMode { dmManual, dmAutomatic };

/// The entry every drive and folder node carries; placeholders carry none.
struct TDirEntry {
    std::string Path; ///< upper case, with trailing separator
    /// The same folder with every name spelt as the disk holds it, with trailing separator: the path
    /// the tree and its owner act on, so a node never reaches a folder whose name differs only in case.
    std::string DiskPath;
    bool Scanned = false;
    void* Data = nullptr; ///< the caller's; never freed by the tree
};

/// Errors the tree raises itself ("Invalid Path Name"); the window shows what() in its error box.
class DirTreeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A node of the tree: its entry (none for a placeholder) and its normal and selected icon indices.
class TDirNode : public QTreeWidgetItem {
public:
    static constexpr int NodeType = QTreeWidgetItem::UserType + 17;
    TDirNode() : QTreeWidgetItem(NodeType) {}
    std::unique_ptr<TDirEntry> entry;
    int imageIndex = -1;
    int selectedIndex = -1;
    /// Children are sorted by their labels in the user's locale, ignoring case.
    bool operator<(const QTreeWidgetItem& other) const override;
};

class TDirTree;
namespace dirtree {
class ChangingSelectionModel;
}

using TAddFileEvent = std::function<void(TDirTree* Sender, const std::string& AFileName, bool& DoAdd)>;
using TFindDirEvent =
    std::function<void(TDirTree* Sender, const std::string& APath, TDirRec& ARec, int& AResult, bool AFirst)>;
using TTVExpandedEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node)>;
using TTVChangedEvent = TTVExpandedEvent;
using TTVExpandingEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node, bool& AllowExpansion)>;
using TTVCollapsingEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node, bool& AllowCollapse)>;
using TTVEditingEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node, bool& AllowEdit)>;
/// AllowChange arrives true; setting it false keeps the selection where it is.
using TTVChangingEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node, bool& AllowChange)>;
/// S arrives as the edited text (UTF-8); whatever it holds afterwards becomes the node's label.
using TTVEditedEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node, std::string& S)>;
using TNotifyEvent = std::function<void(TDirTree* Sender)>;
/// Setting Key to 0 keeps the tree from acting on the key.
using TKeyEvent = std::function<void(TDirTree* Sender, int& Key, Qt::KeyboardModifiers Shift)>;
/// Accept arrives true; leaving it true lets the drop happen.
using TDragOverEvent = std::function<void(TDirTree* Sender, QDropEvent* Event, const QPoint& Pos, bool& Accept)>;
using TDragDropEvent = std::function<void(TDirTree* Sender, QDropEvent* Event, const QPoint& Pos)>;

class TDirTree : public QTreeWidget {
    Q_OBJECT
    Q_PROPERTY(bool ReadOnStart READ ReadOnStart WRITE setReadOnStart)
    Q_PROPERTY(quint8 DirTypes READ DirTypes WRITE setDirTypes)
    Q_PROPERTY(bool GoBelowRecycleBin READ GoBelowRecycleBin WRITE setGoBelowRecycleBin)
    Q_PROPERTY(bool FastLoad READ FastLoad WRITE setFastLoad)
    Q_PROPERTY(QString InitialDirectory READ initialDirectoryText WRITE setInitialDirectoryText)
    Q_PROPERTY(quint8 DriveTypes READ DriveTypes WRITE setDriveTypes)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
    Q_PROPERTY(int DragMode READ dragModeValue WRITE setDragModeValue)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE setHideSelection)

public:
    /// The tree starts in its loading state: set the stored properties, then call Loaded().
    explicit TDirTree(QWidget* parent = nullptr);
    ~TDirTree() override;

    // Events, assigned by the owner.
    TAddFileEvent OnAddDir;
    /// Also raised while the tree is destroyed: an owner that goes first clears it.
    TTVExpandedEvent OnDeleteItem;
    TTVExpandedEvent OnGetIcon;
    TFindDirEvent OnFindDir;
    TTVChangingEvent OnChanging;
    TTVChangedEvent OnChange;
    TTVExpandingEvent OnExpanding;
    TTVExpandedEvent OnExpanded;
    TTVCollapsingEvent OnCollapsing;
    TTVExpandedEvent OnCollapsed;
    TTVEditingEvent OnEditing;
    TTVEditedEvent OnEdited;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;

    // Published properties.
    bool ReadOnStart() const { return readOnStart_; }
    void setReadOnStart(bool value) { readOnStart_ = value; }
    TDirTypes DirTypes() const { return dirTypes_; }
    void setDirTypes(TDirTypes value);
    bool GoBelowRecycleBin() const { return goBelowRecycleBin_; }
    void setGoBelowRecycleBin(bool value);
    bool FastLoad() const { return fastLoad_; }
    void setFastLoad(bool value) { fastLoad_ = value; }
    const std::string& InitialDirectory() const { return initialDirectory_; }
    void setInitialDirectory(const std::string& value) { initialDirectory_ = value; }
    TDriveTypes DriveTypes() const { return driveTypes_; }
    void setDriveTypes(TDriveTypes value);
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool value);
    TDragMode DragMode() const { return dragMode_; }
    void setDragMode(TDragMode value);
    bool HideSelection() const { return hideSelection_; }
    void setHideSelection(bool value);

    /// Ends the loading state: creates the tree's window (hook, drives) and selects InitialDirectory,
    /// or the current folder when that does not exist.
    void Loaded();
    bool loading() const { return loading_; }

    // Operations offered to the owner.
    std::string SelectedPath() const;
    std::string DropTargetPath() const;
    /// The DiskPath of the selected node; "?" when none is selected.
    std::string SelectedDiskPath() const;
    /// The DiskPath of the node under a drag; empty when there is none.
    std::string DropTargetDiskPath() const;
    /// Throws DirTreeError("Invalid Path Name") for an empty path. A node spelt exactly as the path
    /// is preferred at each level; otherwise the first that matches ignoring case.
    void SelectPath(const std::string& path);
    /// SelectPath for a path named from outside (a later start, a file manager): a folder made after its
    /// parent was read is looked for again on disk. The nodes on the way gain the sub-folders they lack
    /// and keep those they have, so the selection and what is expanded stay.
    void SelectPathAfresh(const std::string& path);
    void Reload();
    void LoadDrives();
    bool RefreshDrives();
    /// Like SelectPath's matching: a node spelt exactly as the path wins over one matching ignoring case.
    QTreeWidgetItem* FindNode(const std::string& path);
    void AddFolder(const std::string& parentPath, const std::string& name, void* data);
    void RefreshNode(QTreeWidgetItem* node);
    void GoToParent(bool collapse);
    /// After the folder of node was renamed on disk to newPath (spelt as the disk now holds it): node
    /// and its loaded descendants name the new folder (and a remembered last folder inside it follows too).
    void RenameNode(QTreeWidgetItem* node, const std::string& newPath);
    void CheckVolumeChange();

    /// The entry of a node; nullptr for nil and placeholders.
    static TDirEntry* entryOf(const QTreeWidgetItem* node);
    /// Sets a node's normal and selected icon indices (into the system small-icon list).
    void setNodeImages(QTreeWidgetItem* node, int image, int selectedImage);

    // State.
    const std::array<std::string, 26>& LastDirs() const { return lastDirs_; }
    const std::array<std::int32_t, 26>& VolumeSerials() const { return volumeSerials_; }
    std::uint32_t DriveMask() const { return driveMask_; }
    int ChangeLock() const { return changeLock_; }
    int FolderIcon() const { return folderIcon_; }
    int OpenFolderIcon() const { return openFolderIcon_; }
    const std::string& WindowsDir() const { return windowsDir_; }

protected:
    // Notification hooks.
    virtual void SelectionChanged(QTreeWidgetItem* node);
    virtual bool QueryExpand(QTreeWidgetItem* node);
    virtual void Clicked();
    virtual void WindowCreated();
    virtual void AfterLoad();

    // Building blocks.
    std::string NodePath(const QTreeWidgetItem* node) const;
    bool IsScanned(const QTreeWidgetItem* node) const;
    void ReadSubfolders(QTreeWidgetItem* node);
    void ProbeSubfolders(QTreeWidgetItem* node);
    void ProbeChildren(QTreeWidgetItem* node);
    /// Adds nodes for the sub-folders of a read node that it does not have yet.
    void addNewSubfolders(QTreeWidgetItem* node);
    QTreeWidgetItem* AddFolderNode(QTreeWidgetItem* parent, const std::string& path, void* data);
    QTreeWidgetItem* AddDriveNode(const std::string& root, void* data);
    void InsertDriveNode(const std::string& root, void* data);
    void SetNodeIcons(QTreeWidgetItem* node, int icon);
    bool AcceptFolder(const std::string& path);
    /// The recycle-bin rule of AcceptFolder alone; safe on any thread.
    bool hiddenBelowRecycleBin(const std::string& path) const;
    /// A probe's search without the owner's handlers: whether the folder holds a sub-folder that the
    /// filters admit; onDisk is the folder as the disk spells it. Safe on any thread while the filters do
    /// not change.
    bool holdsQualifyingSubfolder(const std::string& path, const std::string& onDisk) const;
    bool MatchesDirTypes(std::uint32_t attributes) const;
    QTreeWidgetItem* VolumeCheck(QTreeWidgetItem* node);

    // Qt's side.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    friend class DirTreeEditDelegate;
    class ChangeLockGuard;
    class UpdateBatch;

    void handleNeeded();
    void installOwnerHook();
    void removeOwnerHook();
    void deviceChanged();
    void onCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    friend class dirtree::ChangingSelectionModel;
    /// Asks OnChanging whether the selection may move to the node of index.
    bool allowChange(const QModelIndex& index);
    void onItemExpanded(QTreeWidgetItem* item);
    void onItemCollapsed(QTreeWidgetItem* item);
    /// Keeps the error being caught for SelectPath to hand on, and logs it: as a warning when no
    /// SelectPath is under way to do so. `during` says what failed.
    void keepPendingError(const char* during);
    void applyIcon(QTreeWidgetItem* node);
    void commitEdit(QTreeWidgetItem* node, const QString& text);

    TDirNode* makeNode(const std::string& path, const std::string& diskPath, const std::string& label, void* data);
    /// A node for a sub-folder the search found, with its icons.
    TDirNode* makeFolderNode(const TDirEntry& parent, const std::string& name, void* data, std::uint32_t attr);
    TDirNode* makeDriveNode(const std::string& root, void* data, int& icon);
    void addPlaceholder(QTreeWidgetItem* node);
    /// Deletes a node with its sub-tree, raising OnDeleteItem for every node.
    void deleteNode(QTreeWidgetItem* node);
    void deleteChildren(QTreeWidgetItem* node);
    void deleteAllNodes();
    void releaseSubtree(QTreeWidgetItem* node);
    /// Runs the directory search of a folder, calling visit for each accepted sub-folder until it returns false.
    void searchSubfolders(QTreeWidgetItem* node, const std::function<bool(const TDirRec&)>& visit);
    /// The child of parent (a top-level node for nil) whose DiskPath is spelt, else whose Path is upper.
    QTreeWidgetItem* childByPath(QTreeWidgetItem* parent, const std::string& upper, const std::string& spelt) const;
    /// How walkPath treats the nodes on the way.
    enum class Walk { AsRead, ReadOnTheWay, Afresh };
    /// The node of a path, walking from the drives; reads each node on the way unless AsRead, and Afresh
    /// looks for a folder missing from a node on disk again.
    QTreeWidgetItem* walkPath(const std::string& path, Walk walk);
    void selectPath(const std::string& path, Walk walk);
    void selectSilently(QTreeWidgetItem* node);

    bool readOnStart_ = true;
    TDirTypes dirTypes_ = dirTypeBit(dtNormal) | dirTypeBit(dtAll);
    bool goBelowRecycleBin_ = true;
    bool fastLoad_ = false;
    std::string initialDirectory_;
    TDriveTypes driveTypes_ = AllDriveTypes;
    bool readOnly_ = false;
    TDragMode dragMode_ = dmManual;
    bool hideSelection_ = false;

    std::string windowsDir_;
    int folderIcon_ = -1;
    int openFolderIcon_ = -1;
    std::array<std::string, 26> lastDirs_;
    std::array<std::int32_t, 26> volumeSerials_{};
    std::uint32_t driveMask_ = 0;
    int changeLock_ = 0;

    bool loading_ = true;
    bool windowCreated_ = false;
    bool destroying_ = false;
    bool quiet_ = false; // set while the tree opens or closes a node itself
    int updateDepth_ = 0;
    QPointer<QWidget> owner_;
    QTreeWidgetItem* dropTarget_ = nullptr;
    /// An error of a handler raised inside Qt's signal delivery, handed on by SelectPath.
    std::exception_ptr pendingError_;
    /// Set while SelectPath selects the node it found: its caller hears of pendingError_.
    bool handingOnErrors_ = false;

    // Q_PROPERTY adapters.
    QString initialDirectoryText() const;
    void setInitialDirectoryText(const QString& value);
    int dragModeValue() const { return dragMode_; }
    void setDragModeValue(int value) { setDragMode(TDragMode(value)); }
};

/// Keeps SelectionChanged quiet for its lifetime (ChangeLock is decremented and incremented in pairs).
class TDirTree::ChangeLockGuard {
public:
    explicit ChangeLockGuard(TDirTree& tree) : tree_(tree) { --tree_.changeLock_; }
    ~ChangeLockGuard() { ++tree_.changeLock_; }
    ChangeLockGuard(const ChangeLockGuard&) = delete;
    ChangeLockGuard& operator=(const ChangeLockGuard&) = delete;

private:
    TDirTree& tree_;
};

/// A batch of updates: the tree repaints once when the outermost batch ends, also when an error passes.
class TDirTree::UpdateBatch {
public:
    explicit UpdateBatch(TDirTree& tree);
    ~UpdateBatch();
    UpdateBatch(const UpdateBatch&) = delete;
    UpdateBatch& operator=(const UpdateBatch&) = delete;

private:
    TDirTree& tree_;
};

namespace dirtree {
/// Shows the busy cursor for its lifetime.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

/// Upper-cases a path: per character where the case-ignoring file system still finds the same name;
/// bytes that are not valid UTF-8 stay as they are (A to Z upper-cased).
std::string upperPath(const std::string& path);
/// The order of names in the tree and the wave list: the user's locale, or where that has no collation
/// (the C and POSIX locales compare code points) the common one, so "alarm" still comes before "Chime"
/// and "Ärger" stands beside "Arger".
const QCollator& nameCollator(Qt::CaseSensitivity sensitivity);
} // namespace dirtree
