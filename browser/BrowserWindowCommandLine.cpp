// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: showing a folder or a wave file named on the command line or handed over by a later start.
#include "browser/BrowserWindow.h"
#include "dirtree/DirTree.h"
#include "dirtree/DirTreePaths.h"
#include "dirtree/FileRoutines.h"
#include "platform/files/files.h"

#include <QLineEdit>
#include <QString>

using namespace platform;

namespace {

QString caseFolded(const std::string& name)
{
    return QString::fromUtf8(name.data(), qsizetype(name.size())).toCaseFolded();
}

} // namespace

int BrowserWindow::waveRowNamed(const std::string& name) const
{
    // Rows carry their names with A to Z lowered; a name typed in another case still finds its row.
    const std::string lowered = lowerAscii(name);
    const QString folded = caseFolded(name);
    int loose = -1;
    for (int row = 0; row < WaveList->rowCount(); ++row) {
        const std::string& rowName = WaveList->model()->name(row);
        if (rowName == lowered)
            return row;
        if (loose < 0 && caseFolded(rowName) == folded)
            loose = row;
    }
    return loose;
}

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
    }
    AddBackslash(folder);
    try {
        FolderTree->SelectPath(folder);
    } catch (const std::exception&) {
        return false;
    }
    // The tree shows no hidden folders and falls back to a drive root for what it cannot find.
    if (FolderTree->SelectedPath() != dirtree::upperPath(folder))
        return false;
    if (isFolder)
        return true;
    int row = waveRowNamed(name);
    if (row < 0) {
        // The folder was shown already and its list may predate the file.
        FillWaveList();
        row = waveRowNamed(name);
    }
    if (row < 0)
        return false;
    // The file asked for is shown even where the filter would hide it.
    if (WaveList->placeOfRow(row) < 0)
        FilterBox->clear();
    WaveList->selectRow(row);
    UpdateCommands();
    if (play) {
        StopPlaying();
        StartPlaying();
    }
    return true;
}
