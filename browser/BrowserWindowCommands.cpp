// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: the file and folder commands - delete, rename, properties, the wave editor, new folder,
// the parent folder and reloading the tree.
#include "about/aboutdlg.h"
#include "browser/BrowserWindow.h"
#include "browser/PlaybackSequence.h"
#include "components/FileOp.h"
#include "dirtree/DirTree.h"
#include "dirtree/FileRoutines.h"
#include "platform/shell/dialogs.h"
#include "platform/files/files.h"
#include "platform/shell/launch.h"
#include "platform/files/pathinfo.h"
#include "platform/shell/shell.h"
#include "ui_BrowserWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTreeWidgetItem>
#include <vector>

using namespace platform;

namespace {

/// A name typed into an in-place edit that can name one entry of the folder it is in: not empty,
/// not "." or "..", and free of the separators of either side and of NUL.
bool isPlainName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

} // namespace

void BrowserWindow::play()
{
    StartPlaying();
    UpdateCommands();
}

void BrowserWindow::stop()
{
    StopPlaying();
    UpdateCommands();
}

// Runs when a button is released over the list: the press has already selected the row under the
// pointer, so the release plays the row that was clicked.
void BrowserWindow::playOrStopOnRelease(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        StartPlaying();
    else if (button == Qt::RightButton)
        StopPlaying();
}

void BrowserWindow::StartPlaying()
{
    playback_->StartPlaying();
}

void BrowserWindow::StopPlaying()
{
    playback_->StopPlaying();
}

void BrowserWindow::StopSingle()
{
    playback_->StopSingle();
}

void BrowserWindow::showAboutBox()
{
    if (aboutBox_)
        aboutBox_->ShowModal();
}

void BrowserWindow::deleteSelectedWave()
{
    StopPlaying();
    const std::string file = selectedWaveFile();
    if (file.empty())
        return;
    fileOperation_->setOperation(TFileOperation::foDelete);
    fileOperation_->setFilesFrom(file);
    fileOperation_->setFlags(TFileOperation::fofAllowUndo);
    fileOperation_->setProgressTitle("Deleting " + SelectedWavePath() + "...");
    if (fileOperation_->runOnWholeNames())
        FillWaveList();
}

void BrowserWindow::renameSelected()
{
    QWidget* focus = QApplication::focusWidget();
    const bool treeEditing = focus && ui->FolderTree->viewport()->isAncestorOf(focus);
    if (treeEditing || ui->WaveList->isEditing())
        return;
    if (ui->FolderTree->hasFocus()) {
        EditSelectedFolderName();
        return;
    }
    ui->WaveList->focusList();
    ui->WaveList->editRow(ui->WaveList->selectedRow());
}

void BrowserWindow::WaveListEdited(int row, std::string& text)
{
    if (row < 0 || row >= ui->WaveList->rowCount() || !isPlainName(text))
        return; // the caption stays, and so does the file
    const std::string oldName = ui->WaveList->model()->name(row);
    const std::string oldPath = rowFile(row);
    if (oldPath.empty())
        return;
    // The file keeps its folder and takes the typed name in lower case, as JoinPath writes it; the row
    // shows that name at once, not the text as typed.
    const std::string newName = lowerAscii(text);
    const int moved = ui->WaveList->model()->setCaption(row, newName);
    const std::string newPath = ui->FolderTree->SelectedDiskPath() + newName;
    // The move never replaces a file: a name that is taken leaves both files as they were, and the
    // row goes back to the name the file still has.
    if (MoveFile(oldPath, newPath))
        ui->WaveList->model()->setFileName(moved, newName);
    else
        ui->WaveList->model()->setCaption(moved, oldName);
}

void BrowserWindow::allowFolderRename(QTreeWidgetItem* node, bool& allowEdit)
{
    // Drives are the top level and keep their names.
    allowEdit = node && node->parent();
}

void BrowserWindow::renameEditedFolder(QTreeWidgetItem* node, std::string& text)
{
    const TDirEntry* entry = TDirTree::entryOf(node);
    const std::string oldLabel = node ? node->text(0).toStdString() : std::string();
    if (text == oldLabel)
        return; // accepted unchanged
    if (!entry || !isPlainName(text)) {
        text = oldLabel;
        return;
    }
    // The folder of this node is renamed, reached by its names as the disk spells them.
    const std::string newOnDisk = ReplaceLastName(entry->DiskPath, text);
    if (!NamesExactly(entry->DiskPath) || !RenameFolder(entry->DiskPath, newOnDisk)) {
        // Nothing moved on disk, so the node keeps the name the folder still has.
        text = oldLabel;
        return;
    }
    SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATH, entry->Path, ReplaceLastName(entry->Path, text));
    // The node and what is loaded below it name the folder where it is now.
    ui->FolderTree->RenameNode(node, newOnDisk);
}

void BrowserWindow::showSelectedProperties()
{
    const std::string path = selectedWaveFile();
    if (path.empty())
        return;
    SHELLEXECUTEINFO info;
    info.cbSize = 60;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = nullptr;
    info.lpVerb = "properties";
    info.lpFile = path;
    info.nShow = 0;
    ShellExecuteEx(&info);
}

void BrowserWindow::showSelectedInFileManager()
{
    const std::string path = selectedWaveFile();
    if (!path.empty())
        ShowInFileManager(path);
}

void BrowserWindow::OpenInWaveEditor()
{
    if (playback_->playing())
        StopSingle();
    const std::string path = selectedWaveFile();
    if (path.empty())
        return;
    ShellExecute(nullptr, "open", path, std::string(), std::string(), SW_SHOW);
}

void BrowserWindow::EditWaveClick()
{
    StopPlaying();
    OpenInWaveEditor();
}

void BrowserWindow::WaveListDblClick()
{
    if (ui->WaveList->selectedRow() >= 0)
        OpenInWaveEditor();
}

void BrowserWindow::NewFolderClick()
{
    const std::string parent = ui->FolderTree->SelectedPath();
    // The folder is made in the selected node's own folder, reached by its names as the disk spells them.
    const std::string parentOnDisk = ui->FolderTree->SelectedDiskPath();
    if (parent == "?")
        return;
    const std::string name = NewFolderName(parentOnDisk);
    const std::string madeName = lowerAscii(name); // as JoinPath writes it
    // A folder removed or renamed meanwhile is not looked for ignoring case: that could be another one.
    const bool parentThere = NamesExactly(parentOnDisk);
    if (!parentThere)
        SetLastError(ERROR_PATH_NOT_FOUND);
    if (!parentThere || !CreateDirectory(parentOnDisk + madeName)) {
        ShowErrorBox(handleOf(this), errorText(GetLastError()));
        return;
    }
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATH, JoinPath(parent, name), nullptr);
    ui->FolderTree->AddFolder(parentOnDisk, name, nullptr);

    // Open the whole branch below the parent; folders that are links are not entered, so a link to
    // an ancestor cannot make the walk endless.
    if (QTreeWidgetItem* top = ui->FolderTree->currentItem()) {
        dirtree::BusyCursor hourglass;
        std::vector<QTreeWidgetItem*> pending{top};
        while (!pending.empty()) {
            QTreeWidgetItem* node = pending.back();
            pending.pop_back();
            const TDirEntry* entry = TDirTree::entryOf(node);
            if (!entry || (node != top && IsLinkedFolder(entry->DiskPath)))
                continue;
            node->setExpanded(true);
            for (int i = 0; i < node->childCount(); ++i)
                pending.push_back(node->child(i));
        }
    }

    if (QTreeWidgetItem* node = ui->FolderTree->FindNode(parentOnDisk + madeName))
        ui->FolderTree->setCurrentItem(node);
    EditSelectedFolderName();
}

void BrowserWindow::EditSelectedFolderName()
{
    if (QTreeWidgetItem* node = ui->FolderTree->currentItem())
        ui->FolderTree->editItem(node, 0);
}

void BrowserWindow::selectParentFolder()
{
    ui->FolderTree->GoToParent(false);
}

void BrowserWindow::ReloadTree()
{
    dirtree::BusyCursor hourglass;
    // By its names on disk: of two folders that differ only in case, the same one is selected again.
    const std::string path = ui->FolderTree->SelectedDiskPath();
    ui->FolderTree->Reload();
    ui->FolderTree->SelectPath(path);
}
