// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1: the file and folder commands - delete, rename, properties, the wave editor, new folder,
// the parent folder and reloading the tree.
#include "about/aboutdlg.h"
#include "browser/main.h"
#include "dirtree/DirTree.h"
#include "dirtree/FileRoutines.h"
#include "platform/shell/dialogs.h"
#include "platform/files/files.h"
#include "platform/shell/launch.h"
#include "platform/files/pathinfo.h"
#include "platform/shell/shell.h"

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

/// A name in lower case as the window writes new names to disk (letters A to Z only).
std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

/// The system's text for an error code, as the standard error box shows it.
std::string errorText(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND:
        return "The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_WRITE_PROTECT:
        return "The media is write protected.";
    case ERROR_NOT_READY:
        return "The device is not ready.";
    case ERROR_DISK_FULL:
        return "There is not enough space on the disk.";
    case ERROR_INVALID_NAME:
        return "The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return "Cannot create a file when that file already exists.";
    case ERROR_FILENAME_EXCED_RANGE:
        return "The filename or extension is too long.";
    default:
        return "I/O error " + std::to_string(code) + ".";
    }
}

} // namespace

bool TForm1::runFileOperation()
{
    const bool splits = FileOperation1->FilesFrom().find(';') != std::string::npos ||
                        FileOperation1->FilesTo().find(';') != std::string::npos;
    if (!splits)
        return FileOperation1->Execute() && !FileOperation1->OperationAborted();
    // The window always hands over one name per list, so a ";" is part of the name.
    SHFILEOPSTRUCT request = FileOperation1->BuildRequest();
    request.pFrom = FileOperation1->FilesFrom() + std::string(2, '\0');
    request.pTo = FileOperation1->FilesTo().empty() ? std::string() : FileOperation1->FilesTo() + std::string(2, '\0');
    return SHFileOperation(&request) == 0 && !request.fAnyOperationsAborted;
}

void TForm1::About1Click()
{
    if (AboutBox)
        AboutBox->ShowModal();
}

void TForm1::Delete1Click()
{
    StopPlaying();
    const std::string file = selectedWaveFile();
    if (file.empty())
        return;
    FileOperation1->setOperation(TFileOperation::foDelete);
    FileOperation1->setFilesFrom(file);
    FileOperation1->setFlags(TFileOperation::fofAllowUndo);
    FileOperation1->setProgressTitle("Deleting " + SelectedWavePath() + "...");
    if (runFileOperation())
        FillWaveList();
}

void TForm1::Rename1Click()
{
    QWidget* focus = QApplication::focusWidget();
    const bool treeEditing = focus && DirTree1->viewport()->isAncestorOf(focus);
    if (treeEditing || WaveList->isEditing())
        return;
    if (DirTree1->hasFocus()) {
        EditSelectedFolderName();
        return;
    }
    WaveList->focusList();
    WaveList->editRow(WaveList->selectedRow());
}

void TForm1::WaveListEdited(int row, std::string& text)
{
    if (row < 0 || row >= WaveList->rowCount() || !isPlainName(text))
        return; // the caption stays, and so does the file
    const std::string oldName = WaveList->model()->name(row);
    const std::string oldPath = rowFile(row);
    if (oldPath.empty())
        return;
    const int moved = WaveList->model()->setCaption(row, text);
    // The file keeps its folder and takes the typed name in lower case, as JoinPath writes it.
    const std::string newName = lowerAscii(text);
    const std::string newPath = DirTree1->SelectedDiskPath() + newName;
    // The move never replaces a file: a name that is taken leaves both files as they were, and the
    // row goes back to the name the file still has.
    if (MoveFile(oldPath, newPath))
        WaveList->model()->setFileName(moved, newName);
    else
        WaveList->model()->setCaption(moved, oldName);
}

void TForm1::DirTree1Editing(QTreeWidgetItem* node, bool& allowEdit)
{
    // Drives are the top level and keep their names.
    allowEdit = node && node->parent();
}

void TForm1::DirTree1Edited(QTreeWidgetItem* node, std::string& text)
{
    const TDirEntry* entry = TDirTree::entryOf(node);
    const std::string oldLabel = node ? utf8(node->text(0)) : std::string();
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
    DirTree1->RenameNode(node, newOnDisk);
}

void TForm1::Properties1Click()
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

void TForm1::OpenInWaveEditor()
{
    if (Playing)
        StopSingle();
    const std::string path = selectedWaveFile();
    if (path.empty())
        return;
    ShellExecute(nullptr, "open", path, std::string(), std::string(), SW_SHOW);
}

void TForm1::EditWaveClick()
{
    StopPlaying();
    OpenInWaveEditor();
}

void TForm1::WaveListDblClick()
{
    if (WaveList->selectedRow() >= 0)
        OpenInWaveEditor();
}

void TForm1::NewFolderClick()
{
    const std::string parent = DirTree1->SelectedPath();
    // The folder is made in the selected node's own folder, reached by its names as the disk spells them.
    const std::string parentOnDisk = DirTree1->SelectedDiskPath();
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
    DirTree1->AddFolder(parentOnDisk, name, nullptr);

    // Open the whole branch below the parent; folders that are links are not entered, so a link to
    // an ancestor cannot make the walk endless.
    if (QTreeWidgetItem* top = DirTree1->currentItem()) {
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

    if (QTreeWidgetItem* node = DirTree1->FindNode(parentOnDisk + madeName))
        DirTree1->setCurrentItem(node);
    EditSelectedFolderName();
}

void TForm1::EditSelectedFolderName()
{
    if (QTreeWidgetItem* node = DirTree1->currentItem())
        DirTree1->editItem(node, 0);
}

void TForm1::ToolButton3Click()
{
    DirTree1->GoToParent(false);
}

void TForm1::DirTree1KeyDown(int& key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_F5)
        ReloadTree();
}

void TForm1::ReloadTree()
{
    dirtree::BusyCursor hourglass;
    // By its names on disk: of two folders that differ only in case, the same one is selected again.
    const std::string path = DirTree1->SelectedDiskPath();
    DirTree1->Reload();
    DirTree1->SelectPath(path);
}
