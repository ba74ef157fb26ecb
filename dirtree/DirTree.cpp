// SPDX-License-Identifier: GPL-3.0-or-later
// TDirTree: construction, properties, loading order, node entries, icons and node deletion.
#include "dirtree/DirTree.h"

#include "platform/shell/shellinfo.h"
#include "platform/utf8.h"

#include <QApplication>
#include <QCollator>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyledItemDelegate>

using namespace platform;

namespace dirtree {

namespace {

std::string upperComponent(const std::string& part)
{
    bool ascii = true;
    for (char c : part)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii || !isValidUtf8(part)) {
        std::string out = part;
        for (char& c : out)
            c = upperAscii(c);
        return out;
    }
    const QList<uint> points = QString::fromUtf8(part.data(), qsizetype(part.size())).toUcs4();
    QString out;
    out.reserve(points.size());
    for (uint c : points) {
        const char32_t upper = QChar::toUpper(char32_t(c));
        // Keep a letter whose capital folds to another name (dotless i, long s), or the path would
        // stop finding the folder it came from.
        const char32_t use = QChar::toCaseFolded(upper) == QChar::toCaseFolded(char32_t(c)) ? upper : char32_t(c);
        out += QString::fromUcs4(&use, 1);
    }
    const QByteArray bytes = out.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

} // namespace

std::string upperPath(const std::string& path)
{
    std::string out;
    out.reserve(path.size());
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        out += upperComponent(path.substr(start, end - start));
        if (end < path.size())
            out += '\\';
        start = end + 1;
    }
    return out;
}

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}

const QCollator& nameCollator(Qt::CaseSensitivity sensitivity)
{
    // One collator per case rule, made again only when the locale changes: sorting thousands of
    // names compares them many times over.
    static QCollator collators[2];
    static QLocale made[2] = {QLocale::c(), QLocale::c()};
    static bool ready[2] = {false, false};
    const int k = sensitivity == Qt::CaseSensitive ? 1 : 0;
    const QLocale current;
    if (!ready[k] || made[k] != current) {
        QLocale locale = current;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        QCollator c(locale);
        c.setCaseSensitivity(sensitivity);
        c.setNumericMode(false);
        collators[k] = c;
        made[k] = current;
        ready[k] = true;
    }
    return collators[k];
}

} // namespace dirtree

bool TDirNode::operator<(const QTreeWidgetItem& other) const
{
    // Names are folded first so case never decides.
    const QString a = text(0), b = other.text(0);
    const int r = dirtree::nameCollator(Qt::CaseInsensitive).compare(a.toCaseFolded(), b.toCaseFolded());
    return r != 0 ? r < 0 : a < b;
}

TDirTree::UpdateBatch::UpdateBatch(TDirTree& tree) : tree_(tree)
{
    if (tree_.updateDepth_++ == 0)
        tree_.setUpdatesEnabled(false);
}

TDirTree::UpdateBatch::~UpdateBatch()
{
    if (--tree_.updateDepth_ == 0)
        tree_.setUpdatesEnabled(true);
}

/// In-place label editing hands the edited text to OnEdited before it becomes the label.
class DirTreeEditDelegate : public QStyledItemDelegate {
public:
    explicit DirTreeEditDelegate(TDirTree* tree) : QStyledItemDelegate(tree), tree_(tree) {}
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line)
            return;
        tree_->commitEdit(tree_->itemFromIndex(index), line->text());
    }

protected:
    // Tab ends the edit as Enter does; it would otherwise carry the edit and the selection on to the
    // next folder.
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* editor = qobject_cast<QWidget*>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TDirTree* tree_;
};

namespace dirtree {

/// Asks the tree before its current node moves to another one; a refused move leaves the current node
/// and the highlighted row as they were.
class ChangingSelectionModel : public QItemSelectionModel {
public:
    ChangingSelectionModel(QAbstractItemModel* model, TDirTree* tree) : QItemSelectionModel(model, tree), tree_(tree) {}

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override
    {
        if (index.isValid() && index != currentIndex() && !tree_->allowChange(index)) {
            refused_ = index;
            return;
        }
        refused_ = QPersistentModelIndex();
        QItemSelectionModel::setCurrentIndex(index, command);
    }
    void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override
    {
        select(QItemSelection(index, index), command);
    }
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override
    {
        // The view selects the row it just tried to make current; not when that move was refused.
        if (refused_.isValid() && selection.contains(refused_))
            return;
        QItemSelectionModel::select(selection, command);
    }

private:
    TDirTree* tree_;
    QPersistentModelIndex refused_;
};

} // namespace dirtree

TDirTree::TDirTree(QWidget* parent) : QTreeWidget(parent)
{
    windowsDir_ = GetWindowsDirectory();
    AddBackslash(windowsDir_);
    SHFILEINFO info;
    SHGetFileInfo(windowsDir_, 0, &info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    folderIcon_ = info.iIcon;
    SHGetFileInfo(windowsDir_, 0, &info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
    openFolderIcon_ = info.iIcon;

    initialDirectory_ = GetCurrentDirectory();
    for (int i = 0; i < 26; ++i)
        lastDirs_[size_t(i)] = std::string(1, char('A' + i)) + ":\\";
    const std::string current = GetCurrentDirectory();
    if (!current.empty()) {
        const char letter = driveLetterOf(current);
        // Stored with its separator, like every path the tree records, so that Reload can compare it.
        std::string last = dirtree::upperPath(current);
        AddBackslash(last);
        if (letter >= 'A' && letter <= 'Z')
            lastDirs_[size_t(letter - 'A')] = last;
    }

    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setAnimated(false);
    setSortingEnabled(false);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragEnabled(false);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setItemDelegate(new DirTreeEditDelegate(this));
    // A selection model that asks OnChanging first. QTreeWidget wires its item signals to the model it made
    // itself, so they are wired to this one the same way.
    QItemSelectionModel* standard = selectionModel();
    auto* asking = new dirtree::ChangingSelectionModel(model(), this);
    setSelectionModel(asking);
    delete standard;
    connect(asking, SIGNAL(currentChanged(QModelIndex, QModelIndex)), this,
            SLOT(_q_emitCurrentItemChanged(QModelIndex, QModelIndex)));
    connect(asking, SIGNAL(selectionChanged(QItemSelection, QItemSelection)), this,
            SLOT(_q_selectionChanged(QItemSelection, QItemSelection)));
    connect(this, &QTreeWidget::currentItemChanged, this, &TDirTree::onCurrentItemChanged);
    connect(this, &QTreeWidget::itemExpanded, this, &TDirTree::onItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &TDirTree::onItemCollapsed);
}

TDirTree::~TDirTree()
{
    removeOwnerHook();
    changeLock_ = 0;
    destroying_ = true;
    deleteAllNodes();
}

void TDirTree::setDirTypes(TDirTypes value)
{
    if (value == dirTypes_)
        return;
    dirTypes_ = value;
    Reload();
}

void TDirTree::setGoBelowRecycleBin(bool value)
{
    if (value == goBelowRecycleBin_)
        return;
    goBelowRecycleBin_ = value;
    Reload();
}

void TDirTree::setDriveTypes(TDriveTypes value)
{
    if (value == driveTypes_)
        return;
    driveTypes_ = value;
    RefreshDrives();
}

void TDirTree::setReadOnly(bool value)
{
    if (value == readOnly_)
        return;
    readOnly_ = value;
    setEditTriggers(value ? QAbstractItemView::NoEditTriggers
                          : QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
}

void TDirTree::setDragMode(TDragMode value)
{
    if (value == dragMode_)
        return;
    dragMode_ = value;
    setDragEnabled(value == dmAutomatic);
}

void TDirTree::setHideSelection(bool value)
{
    if (value == hideSelection_)
        return;
    hideSelection_ = value;
    QPalette p = palette();
    const QPalette base = QApplication::palette(this);
    if (value) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Inactive, QPalette::Text));
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight, base.color(QPalette::Inactive, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   base.color(QPalette::Inactive, QPalette::HighlightedText));
    }
    setPalette(p);
}

QString TDirTree::initialDirectoryText() const
{
    return QString::fromStdString(initialDirectory_);
}

void TDirTree::setInitialDirectoryText(const QString& value)
{
    initialDirectory_ = value.toStdString();
}

void TDirTree::Loaded()
{
    if (!loading_)
        return;
    loading_ = false;
    handleNeeded();
    AfterLoad();
}

void TDirTree::handleNeeded()
{
    if (windowCreated_)
        return;
    windowCreated_ = true;
    WindowCreated();
}

void TDirTree::WindowCreated()
{
    installOwnerHook();
    if (readOnStart_)
        LoadDrives();
}

void TDirTree::AfterLoad()
{
    std::string probe = initialDirectory_;
    if (probe.size() == 2 && probe[1] == ':')
        probe += '\\'; // a bare drive names its root here
    if (!initialDirectory_.empty() && FolderExists(probe)) {
        SelectPath(initialDirectory_);
        return;
    }
    const std::string current = GetCurrentDirectory();
    if (!current.empty())
        SelectPath(current);
}

TDirEntry* TDirTree::entryOf(const QTreeWidgetItem* node)
{
    if (!node || node->type() != TDirNode::NodeType)
        return nullptr;
    return static_cast<const TDirNode*>(node)->entry.get();
}

std::string TDirTree::NodePath(const QTreeWidgetItem* node) const
{
    const TDirEntry* e = entryOf(node);
    return e ? e->Path : std::string();
}

bool TDirTree::IsScanned(const QTreeWidgetItem* node) const
{
    const TDirEntry* e = entryOf(node);
    return e && e->Scanned;
}

void TDirTree::setNodeImages(QTreeWidgetItem* node, int image, int selectedImage)
{
    if (!node || node->type() != TDirNode::NodeType)
        return;
    auto* n = static_cast<TDirNode*>(node);
    n->imageIndex = image;
    n->selectedIndex = selectedImage;
    applyIcon(node);
}

void TDirTree::applyIcon(QTreeWidgetItem* node)
{
    if (!node || node->type() != TDirNode::NodeType)
        return;
    auto* n = static_cast<TDirNode*>(node);
    const int index = node == currentItem() ? n->selectedIndex : n->imageIndex;
    QIcon icon = SystemImageList::instance().icon(index);
    if (icon.isNull() && index >= 0)
        icon = style()->standardIcon(index == openFolderIcon_ ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon);
    node->setIcon(0, icon);
}

TDirNode* TDirTree::makeNode(const std::string& path, const std::string& diskPath, const std::string& label, void* data)
{
    auto* node = new TDirNode;
    node->setText(0, platform::displayText(label));
    node->entry = std::make_unique<TDirEntry>();
    node->entry->Path = dirtree::upperPath(path);
    node->entry->DiskPath = diskPath;
    node->entry->Data = data;
    node->setFlags(node->flags() | Qt::ItemIsEditable); // ReadOnly and OnEditing decide in edit()
    return node;
}

void TDirTree::addPlaceholder(QTreeWidgetItem* node)
{
    auto* placeholder = new TDirNode;
    placeholder->setFlags(placeholder->flags() & ~Qt::ItemIsEditable);
    node->addChild(placeholder);
}

void TDirTree::releaseSubtree(QTreeWidgetItem* node)
{
    for (int i = node->childCount() - 1; i >= 0; --i)
        releaseSubtree(node->child(i));
    if (node->type() == TDirNode::NodeType)
        static_cast<TDirNode*>(node)->entry.reset();
    if (node == dropTarget_)
        dropTarget_ = nullptr;
    if (OnDeleteItem)
        OnDeleteItem(this, node);
}

void TDirTree::deleteNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    releaseSubtree(node);
    // Taken out of the tree first: the view reports the selection moving away while the node is whole.
    if (QTreeWidgetItem* parent = node->parent())
        parent->takeChild(parent->indexOfChild(node));
    else
        takeTopLevelItem(indexOfTopLevelItem(node));
    delete node;
}

void TDirTree::deleteChildren(QTreeWidgetItem* node)
{
    if (!node || node->childCount() == 0)
        return;
    for (int i = node->childCount() - 1; i >= 0; --i)
        releaseSubtree(node->child(i));
    const QList<QTreeWidgetItem*> children = node->takeChildren();
    qDeleteAll(children);
}

void TDirTree::deleteAllNodes()
{
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        releaseSubtree(topLevelItem(i));
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        delete takeTopLevelItem(i);
    dropTarget_ = nullptr;
}
