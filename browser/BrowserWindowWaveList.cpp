// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: the wave list - filling it from the selected folder, its selection, focus and keys.
#include "browser/BrowserWindow.h"
#include "browser/CursorTable.h"
#include "browser/LibraryScope.h"
#include "browser/PlaybackSequence.h"
#include "browser/WaveListFilter.h"
#include "browser/WaveMeasuring.h"
#include "browser/WaveRowReading.h"
#include "browser/WaveformPanel.h"
#include "dirtree/DirTree.h"
#include "dirtree/FileRoutines.h"
#include "platform/files/files.h"
#include "platform/files/pathinfo.h"
#include "ui_BrowserWindow.h"

#include <QApplication>
#include <utility>

using namespace platform;

namespace {

const char* const kWavesHint = "Play files by left mouse click on icon, right button stops playing";
const char* const kNoWavesHint = "No waves found";

} // namespace

void BrowserWindow::showChosenFolder()
{
    treeChangeSeen_ = true;
    StopPlaying();
    setWindowTitle("Tonfolio - " + waveCaptionText(FolderDisplayName(ui->FolderTree->SelectedPath())));
    FillWaveList();
}

void BrowserWindow::FillWaveList()
{
    dirtree::BusyCursor hourglass;
    ui->WaveList->model()->clear();
    if (library_->active()) {
        library_->refresh(); // the results come back searched afresh
        return;
    }
    // The folder of the selected node itself, not whichever folder its upper-case path finds.
    const std::string folder = ui->FolderTree->SelectedDiskPath();
    const std::string mask = folder + "*.wav";
    // Every kind of entry counts, folders named like waves too.
    WIN32_FIND_DATA entry;
    const HANDLE find = FindFirstFile(mask, &entry);
    // The listing's look at each file identifies it for the measures; taken before anything else lists.
    std::optional<platform::FileIdentity> found = platform::lastFoundIdentity();
    auto findNext = [&] {
        const bool more = FindNextFile(find, &entry);
        found = platform::lastFoundIdentity();
        return more;
    };
    const FindHandle searching(find);
    if (find == INVALID_HANDLE_VALUE) {
        ui->WaveList->setHint(kNoWavesHint);
        ui->WaveList->unsetListCursor();
    } else {
        ui->WaveList->setListCursor(cursorOf(crWaveCur));
        if (!IconLoaded) {
            IconLoaded = true;
            ++waveIconRequests_;
            WaveIcon = waveFileIcon(folder + entry.cFileName);
            ui->WaveList->model()->setIcon(WaveIcon);
        }
        // The headers are read by many threads at once, from the first entry on, while the folder is still
        // being listed: a cold or slow disk then serves many files in the time of one. The rows are made
        // from the results in the listing's order, collected first and put in caption order once.
        platform::RequestPool<std::string, HeaderTexts> headers(readHeaderTexts, headerReaders_);
        std::vector<WaveRow> rows;
        const bool measures = measuring_->wanted();
        std::vector<std::optional<platform::FileIdentity>> identities;
        do {
            rows.push_back(listedRow(entry.cFileName, qint64(entry.nFileSizeLow)));
            if (measures)
                identities.push_back(found);
            // The header is read under the entry's own name: with names that differ only in letter case,
            // each row describes its own file.
            headers.add(folder + entry.cFileName);
        } while (findNext());
        // Known measures are looked up while the headers are read.
        if (measures)
            measuring_->startForFill(folder, rows, std::move(identities));
        for (size_t i = 0; i < rows.size(); ++i)
            takeHeader(rows[i], headers.take(i));
        ui->WaveList->model()->setRows(std::move(rows));
        ui->WaveList->setHint(kWavesHint);
    }
    UpdateCommands();
}

std::string BrowserWindow::SelectedWavePath() const
{
    const int row = ui->WaveList->selectedRow();
    if (row < 0)
        return {};
    const std::string& folder = ui->WaveList->model()->row(row).folder;
    return JoinPath(folder.empty() ? ui->FolderTree->SelectedPath() : folder, ui->WaveList->model()->name(row));
}

std::string BrowserWindow::rowFolder(int row) const
{
    if (row < 0 || row >= ui->WaveList->rowCount() || ui->WaveList->model()->row(row).folder.empty())
        return ui->FolderTree->SelectedDiskPath();
    return ui->WaveList->model()->row(row).folder;
}

std::string BrowserWindow::rowFile(int row) const
{
    if (row < 0 || row >= ui->WaveList->rowCount())
        return {};
    const std::string folder = rowFolder(row);
    if (folder == "?")
        return {};
    const std::string file = folder + ui->WaveList->model()->fileName(row);
    return NamesExactly(file) ? file : std::string();
}

std::string BrowserWindow::selectedWaveFile() const
{
    return rowFile(ui->WaveList->selectedRow());
}

void BrowserWindow::bindWaveList()
{
    connect(ui->WaveList, &WaveListWidget::changed, this, &BrowserWindow::WaveListChange);
    connect(ui->WaveList, &WaveListWidget::entered, this, &BrowserWindow::WaveListEnter);
    connect(ui->WaveList, &WaveListWidget::keyReleased, this, &BrowserWindow::WaveListKeyUp);
    connect(ui->WaveList, &WaveListWidget::mouseReleased, this, &BrowserWindow::playOrStopOnRelease);
    connect(ui->WaveList, &WaveListWidget::doubleClicked, this, &BrowserWindow::WaveListDblClick);
    // Enter plays the selected row, as in other lists of sounds.
    connect(ui->WaveList, &WaveListWidget::enterPressed, this, &BrowserWindow::play);
    // A dragged row carries its file's address, so other programs can take it too.
    ui->WaveList->rowUrl = [this](int row) {
        const std::string url = FileUrlOf(rowFile(row));
        return QUrl::fromEncoded(QByteArray(url.data(), qsizetype(url.size())));
    };
    connect(ui->WaveList->model(), &WaveListModel::captionEdited, this, [this](int row, const std::string& text) {
        std::string s = text;
        WaveListEdited(row, s);
    });
}

void BrowserWindow::WaveListChange()
{
    UpdateCommands();
}

void BrowserWindow::WaveListEnter()
{
    if (ui->WaveList->visibleRowCount() > 0 && ui->WaveList->selectedRow() < 0)
        ui->WaveList->selectRow(ui->WaveList->visibleRow(0));
    UpdateCommands();
}

void BrowserWindow::WaveListKeyUp(int key, Qt::KeyboardModifiers)
{
    // While a row is dragged, key-ups belong to the drag: letting go of Ctrl turns a copy into a move.
    if (ui->WaveList->isDragging()) {
        if (key == Qt::Key_Control) {
            ui->WaveList->setDragCursor(QCursor());
            CopyOnDrop = false;
        }
        return;
    }
    if (key == Qt::Key_Space) {
        if (playback_->playing())
            StopPlaying();
        else
            StartPlaying();
    } else if (key == Qt::Key_F5) {
        FillWaveList();
    }
}

void BrowserWindow::filterChanged()
{
    playback_->followShownRows();
    // A condition on the measures needs them.
    measuring_->start();
    UpdateCommands();
}

void BrowserWindow::showScope(bool library)
{
    StopPlaying();
    measuring_->cancel();
    filter_->setFiltersList(!library);
    ui->WaveList->detailView()->setColumnHidden(WaveListModel::ColFolder, !library);
    FillWaveList();
}

void BrowserWindow::showLibraryResults(const std::vector<WaveRow>& rows)
{
    // A sound playing goes on: the rows that follow a keystroke or a grown index may still hold it.
    measuring_->cancel();
    ui->WaveList->model()->setRows(rows);
    ui->WaveList->setHint(rows.empty() ? library_->emptyHint() : kWavesHint);
    ui->WaveList->setListCursor(cursorOf(crWaveCur));
    filterChanged();
}

void BrowserWindow::showSelectedWaveform(bool reload)
{
    // The file of the row as the disk spells it: of two names differing only in case, the one shown.
    waveform_->showFile(selectedWaveFile(), reload, playback_->playing());
}

bool BrowserWindow::isDraggingWave() const
{
    return ui->WaveList->isDragging();
}
