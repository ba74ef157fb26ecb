// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: showing a folder or a wave file named on the command line or handed over by a later start.
#include "browser/BrowserWindow.h"
#include "browser/WaveListFilter.h"
#include "browser/logging.h"
#include "dirtree/DirTree.h"
#include "dirtree/DirTreePaths.h"
#include "dirtree/FileRoutines.h"
#include "platform/files/files.h"
#include "ui_BrowserWindow.h"


using namespace platform;

namespace {

/// Whether the list shows a file of this name: it lists "*.wav", letter case ignored.
bool isWaveName(const std::string& name)
{
    const std::string lowered = lowerAscii(name);
    return lowered.size() >= 4 && lowered.compare(lowered.size() - 4, 4, ".wav") == 0;
}

} // namespace

bool BrowserWindow::openPath(const std::string& drivePath, bool play)
{
    std::string path = RemoveBackslash(drivePath);
    const DWORD attributes = GetFileAttributes(path.size() == 2 ? path + "\\" : path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::string folder = path;
    std::string name;
    if (!isFolder) {
        const size_t sep = path.rfind('\\');
        if (sep == std::string::npos)
            return false;
        folder = path.substr(0, sep + 1);
        name = path.substr(sep + 1);
        // A file the list would not show is refused before the window changes at all.
        if (!isWaveName(name))
            return false;
    }
    AddBackslash(folder);
    const std::string shownBefore = ui->FolderTree->SelectedDiskPath();
    try {
        // The path may name a folder made after its parent was read. The first selection on a removable
        // drive records its medium and lands on the drive's root instead; the second reaches the folder.
        for (int attempt = 0; attempt < 2; ++attempt) {
            ui->FolderTree->SelectPathAfresh(folder);
            if (ui->FolderTree->SelectedPath() == dirtree::upperPath(folder))
                break;
        }
    } catch (const std::exception& e) {
        qCDebug(browser::lcBrowser) << "the folder handed was not selected:" << e.what();
        return false;
    }
    // The tree shows no hidden folders and falls back to a drive root for what it cannot find.
    if (ui->FolderTree->SelectedPath() != dirtree::upperPath(folder))
        return false;
    if (isFolder) {
        // The folder shown already: its list may predate what was handed.
        if (ui->FolderTree->SelectedDiskPath() == shownBefore)
            FillWaveList();
        return true;
    }
    int row = ui->WaveList->model()->rowNamed(name);
    if (row < 0) {
        // The folder was shown already and its list may predate the file.
        FillWaveList();
        row = ui->WaveList->model()->rowNamed(name);
    }
    if (row < 0)
        return false;
    // The file asked for is shown even where the filter would hide it.
    if (ui->WaveList->placeOfRow(row) < 0)
        filter_->clear();
    ui->WaveList->selectRow(row);
    UpdateCommands();
    if (play) {
        StopPlaying();
        StartPlaying();
    }
    return true;
}
