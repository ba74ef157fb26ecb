// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: dragging a wave onto a folder of the tree moves it there, or copies it with Ctrl held.
#include "browser/BrowserWindow.h"
#include "browser/CursorTable.h"
#include "components/FileOp.h"
#include "platform/shell/dialogs.h"
#include "platform/files/pathinfo.h"
#include "ui_BrowserWindow.h"

#include <QDropEvent>
#include <QGuiApplication>

using namespace platform;

namespace {

/// Ctrl as the drag reports it, or as the keyboard holds it now.
bool ctrlHeld(const QDropEvent* event)
{
    return (event && event->modifiers().testFlag(Qt::ControlModifier)) ||
           QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

} // namespace

void BrowserWindow::takeWaveDrag(QDropEvent* event, const QPoint&, bool& accept)
{
    accept = false;
    if (ctrlHeld(event)) {
        ui->WaveList->setDragCursor(cursorOf(crDragCopy));
        CopyOnDrop = true;
    } else {
        ui->WaveList->setDragCursor(QCursor());
        CopyOnDrop = false;
    }
    // Folders dragged inside the tree, and anything from other programs, are not taken.
    accept = ui->WaveList->isOwnDrag(event);
}

void BrowserWindow::dropWave(QDropEvent* event, const QPoint&)
{
    ui->WaveList->setDragCursor(QCursor());
    // Folders are compared and reached by their names as the disk spells them: two folders that
    // differ only in case are two folders.
    const std::string target = ui->FolderTree->DropTargetDiskPath();
    // Without a folder under the pointer there is nowhere to put the file.
    if (!ui->WaveList->isOwnDrag(event) || target.empty())
        return;
    const std::string source = ui->FolderTree->SelectedDiskPath();
    const std::string file = selectedWaveFile();
    if (file.empty() || !NamesExactly(target))
        return;

    if (CopyOnDrop) {
        fileOperation_->setOperation(TFileOperation::foCopy);
        // A copy beside the original takes a new name; elsewhere the shell asks before replacing.
        fileOperation_->setFlags(source == target ? TFileOperation::TFileOpFlags(TFileOperation::fofRenameOnCollision)
                                                  : TFileOperation::TFileOpFlags());
    } else {
        if (source == target) {
            const std::string shown = SelectedWavePath();
            const std::string name = shown.substr(shown.rfind('\\') + 1);
            MessageBox(handleOf(this), "Cannot move " + name + "\rDestination and source identical.", "Information",
                       MB_OK | MB_ICONINFORMATION);
            return;
        }
        fileOperation_->setOperation(TFileOperation::foMove);
        fileOperation_->setFlags(TFileOperation::fofAllowUndo);
    }
    fileOperation_->setFilesFrom(file);
    fileOperation_->setFilesTo(target);
    if (fileOperation_->runOnWholeNames() && !CopyOnDrop)
        FillWaveList();
}
