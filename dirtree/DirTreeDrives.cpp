// SPDX-License-Identifier: GPL-3.0-or-later
// TDirTree: drives that come and go, changed media, and the hook on the owner window that hears of both.
#include "dirtree/DirTree.h"
#include "dirtree/logging.h"
#include "platform/logging.h"
#include "platform/shell/mountwatch.h"
#include "platform/utf8.h"

using namespace platform;

namespace {

std::string rootOf(char letter)
{
    return std::string(1, letter) + ":\\";
}

size_t indexOf(char letter)
{
    return size_t(letter - 'A');
}

} // namespace

bool TDirTree::RefreshDrives()
{
    handleNeeded();
    bool changed = false;
    {
        ChangeLockGuard lock(*this);
        UpdateBatch batch(*this);
        const std::uint32_t mask = EnabledDrives(driveTypes_);
        for (int i = 0; i < 26; ++i) {
            const std::uint32_t bit = 1u << i;
            if ((driveMask_ & bit) && !(mask & bit)) {
                if (QTreeWidgetItem* node = FindNode(rootOf(char('A' + i)))) {
                    RefreshNode(node);
                    deleteNode(node);
                }
                changed = true;
            }
        }
        for (int i = 0; i < 26; ++i) {
            const std::uint32_t bit = 1u << i;
            if ((mask & bit) && !(driveMask_ & bit)) {
                const std::string root = rootOf(char('A' + i));
                InsertDriveNode(root, nullptr);
                if (QTreeWidgetItem* node = FindNode(root)) {
                    const UINT kind = GetDriveType(root);
                    if (fastLoad_ || kind < DRIVE_FIXED || kind == DRIVE_CDROM)
                        addPlaceholder(node);
                    else
                        ProbeSubfolders(node);
                }
                changed = true;
            }
        }
        driveMask_ = mask;
    }
    viewport()->repaint();
    if (changed)
        SelectionChanged(currentItem());
    return changed;
}

void TDirTree::InsertDriveNode(const std::string& root, void* data)
{
    int icon = 0;
    TDirNode* node = makeDriveNode(root, data, icon);
    // Keep the drives in letter order.
    int at = topLevelItemCount();
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (NodePath(topLevelItem(i)) > node->entry->Path) {
            at = i;
            break;
        }
    }
    insertTopLevelItem(at, node);
    SetNodeIcons(node, icon);
}

QTreeWidgetItem* TDirTree::VolumeCheck(QTreeWidgetItem* node)
{
    const std::string path = NodePath(node);
    const char letter = driveLetterOf(path);
    if (letter < 'A' || letter > 'Z')
        return node;
    const std::int32_t current = VolumeSerial(letter);
    if (current == volumeSerials_[indexOf(letter)])
        return node;
    QTreeWidgetItem* drive = FindNode(rootOf(letter));
    if (!drive)
        return nullptr;
    // The refresh below removes the selected node when it lies on this drive; that selection change
    // is part of this one and is not reported on its own.
    ChangeLockGuard lock(*this);
    RefreshNode(drive);
    drive->setText(0, platform::displayText(VolumeLabelText(letter, volumeSerials_[indexOf(letter)])));
    if (current != -1 && drive->childCount() == 0)
        addPlaceholder(drive);
    if (currentItem() != drive)
        setCurrentItem(drive);
    return drive;
}

void TDirTree::Clicked()
{
    QTreeWidgetItem* node = currentItem();
    const std::string path = NodePath(node);
    if (path.empty())
        return;
    const char letter = driveLetterOf(path);
    if (letter < 'A' || letter > 'Z')
        return;
    if (VolumeSerial(letter) == volumeSerials_[indexOf(letter)]) {
        if (OnClick)
            OnClick(this);
    } else {
        SelectionChanged(node);
    }
}

void TDirTree::CheckVolumeChange()
{
    // Only drives shown in the tree take part: an empty letter above a changed drive must not hide it.
    for (char letter = 'Z'; letter >= 'A'; --letter) {
        QTreeWidgetItem* drive = FindNode(rootOf(letter));
        if (!drive)
            continue;
        const std::int32_t current = VolumeSerial(letter);
        if (current == volumeSerials_[indexOf(letter)])
            continue;
        RefreshNode(drive);
        drive->setText(0, platform::displayText(VolumeLabelText(letter, volumeSerials_[indexOf(letter)])));
        if (volumeSerials_[indexOf(letter)] != -1 && drive->childCount() == 0)
            addPlaceholder(drive);
        return;
    }
}

void TDirTree::installOwnerHook()
{
    if (owner_ || !parentWidget())
        return;
    QWidget* owner = window();
    if (!owner || owner == this)
        return;
    owner_ = owner;
    owner->installEventFilter(this);
    // The watch on the mount table is what sends the owner its device-change events.
    MountWatcher::instance();
}

void TDirTree::removeOwnerHook()
{
    if (owner_)
        owner_->removeEventFilter(this);
    owner_ = nullptr;
}

bool TDirTree::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == owner_ && event->type() == DeviceChangeEvent::eventType()) {
        deviceChanged();
        return true; // the owner never sees the message
    }
    return QTreeWidget::eventFilter(watched, event);
}

void TDirTree::deviceChanged()
{
    // Errors cannot travel through Qt's event delivery; the tree stays as far as it got.
    try {
        ChangeLockGuard lock(*this);
        if (!RefreshDrives())
            CheckVolumeChange();
    } catch (...) {
        qCWarning(dirtree::lcDirTree) << "the drives were not read again after a device change:"
                                      << exceptionText(std::current_exception()).c_str();
    }
    try {
        SelectionChanged(currentItem());
    } catch (...) {
        qCWarning(dirtree::lcDirTree) << "the selection after a device change was not reported:"
                                      << exceptionText(std::current_exception()).c_str();
    }
}
