// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: the wave list - filling it from the selected folder, its selection, focus and keys.
#include "browser/BrowserWindow.h"
#include "dirtree/DirTree.h"
#include "dirtree/FileRoutines.h"
#include "library/analysiscache.h"
#include "platform/files/files.h"
#include "platform/files/pathinfo.h"
#include "platform/shell/shellinfo.h"
#include "waves/W32Waves.h"

#include <QApplication>
#include <array>
#include <map>
#include <tuple>
#include <utility>

using namespace platform;

namespace {

const char* const kWavesHint = "Play files by left mouse click on icon, right button stops playing";
const char* const kNoWavesHint = "No waves found";

/// What a row takes from its file's header: the Format, Length and Type texts and the values they show.
struct HeaderTexts {
    std::array<QString, 3> texts;
    TWaveInfo info;
};

/// The format and type texts of a header. A folder holds few formats, so each text is made once per
/// thread and shared by the rows that show it: quicker, and a row costs less memory.
std::pair<QString, QString> formatAndType(const TWaveInfo& info)
{
    using Key = std::tuple<bool, quint16, quint16, quint32, quint16>;
    thread_local std::map<Key, std::pair<QString, QString>> made;
    const Key key{info.Valid, info.FormatTag, info.Channels, info.SamplesPerSec, info.BitsPerSample};
    auto it = made.find(key);
    if (it == made.end()) {
        if (made.size() >= 256) // a folder of odd files must not grow it without end
            made.clear();
        it = made.emplace(key, std::make_pair(WaveFormatText(info), WaveTypeText(info))).first;
    }
    return it->second;
}

/// Reads one file's header; runs on the header-reading threads.
HeaderTexts readHeaderTexts(const std::string& path)
{
    TWaveInfo info;
    ReadWaveInfo(path, info);
    auto [format, type] = formatAndType(info);
    return {{std::move(format), WaveLengthText(info), std::move(type)}, info};
}

/// A row with the texts the listing gives; the header's texts come later.
WaveRow listedRow(const WIN32_FIND_DATA& entry)
{
    WaveRow row;
    row.fileName = entry.cFileName;
    row.name = lowerAscii(entry.cFileName);
    row.caption = waveCaptionText(row.name);
    row.bytes = qint64(entry.nFileSizeLow);
    row.texts[2] = FileSizeText(row.bytes);
    return row;
}

} // namespace

void BrowserWindow::FolderTreeChange()
{
    treeChangeSeen_ = true;
    StopPlaying();
    setWindowTitle("Tonfolio - " + waveCaptionText(FolderDisplayName(FolderTree->SelectedPath())));
    FillWaveList();
}

void BrowserWindow::FillWaveList()
{
    dirtree::BusyCursor hourglass;
    WaveList->model()->clear();
    // The folder of the selected node itself, not whichever folder its upper-case path finds.
    const std::string folder = FolderTree->SelectedDiskPath();
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
        WaveList->setHint(kNoWavesHint);
        WaveList->unsetListCursor();
    } else {
        WaveList->setListCursor(cursorOf(crWaveCur));
        if (!IconLoaded) {
            IconLoaded = true;
            WaveIcon = fetchWaveIcon(folder + entry.cFileName);
            WaveList->model()->setIcon(WaveIcon);
        }
        // The headers are read by many threads at once, from the first entry on, while the folder is still
        // being listed: a cold or slow disk then serves many files in the time of one. The rows are made
        // from the results in the listing's order, collected first and put in caption order once.
        platform::RequestPool<std::string, HeaderTexts> headers(readHeaderTexts, headerReaders_);
        std::vector<WaveRow> rows;
        const bool measures = MeasuresWanted();
        std::vector<std::optional<platform::FileIdentity>> identities;
        do {
            rows.push_back(listedRow(entry));
            if (measures)
                identities.push_back(found);
            // The header is read under the entry's own name: with names that differ only in letter case,
            // each row describes its own file.
            headers.add(folder + entry.cFileName);
        } while (findNext());
        // Known measures are looked up while the headers are read.
        if (measures) {
            std::vector<std::string> names;
            names.reserve(rows.size());
            for (const WaveRow& row : rows)
                names.push_back(row.fileName);
            MeasureListedFiles(folder, names, std::move(identities));
            fillMeasuring_ = measuring_;
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            HeaderTexts header = headers.take(i);
            WaveRow& row = rows[i];
            row.texts[0] = std::move(header.texts[0]);
            row.texts[1] = std::move(header.texts[1]);
            row.texts[3] = std::move(header.texts[2]);
            row.headerRead = header.info.Valid;
            row.channels = header.info.Channels;
            row.bits = header.info.BitsPerSample;
            row.rate = header.info.SamplesPerSec;
            row.seconds = double(header.info.Length);
        }
        WaveList->model()->setRows(std::move(rows));
        WaveList->setHint(kWavesHint);
    }
    UpdateCommands();
}

QIcon BrowserWindow::fetchWaveIcon(const std::string& path)
{
    ++waveIconRequests_;
    SHFILEINFO info;
    if (SHGetFileInfo(path, 0, &info, SHGFI_ICON | SHGFI_LARGEICON) && !info.hIcon.isNull())
        return info.hIcon;
    // Without an icon from the desktop, the program's speaker stands for wave files.
    return QIcon(":/browser/allwaves.xpm");
}

std::string BrowserWindow::SelectedWavePath() const
{
    const int row = WaveList->selectedRow();
    if (row < 0)
        return {};
    return JoinPath(FolderTree->SelectedPath(), WaveList->model()->name(row));
}

std::string BrowserWindow::rowFile(int row) const
{
    if (row < 0 || row >= WaveList->rowCount())
        return {};
    const std::string folder = FolderTree->SelectedDiskPath();
    if (folder == "?")
        return {};
    const std::string file = folder + WaveList->model()->fileName(row);
    return NamesExactly(file) ? file : std::string();
}

std::string BrowserWindow::selectedWaveFile() const
{
    return rowFile(WaveList->selectedRow());
}

void BrowserWindow::bindWaveList()
{
    connect(WaveList, &WaveListWidget::changed, this, &BrowserWindow::WaveListChange);
    connect(WaveList, &WaveListWidget::entered, this, &BrowserWindow::WaveListEnter);
    connect(WaveList, &WaveListWidget::keyReleased, this, &BrowserWindow::WaveListKeyUp);
    connect(WaveList, &WaveListWidget::mouseReleased, this, &BrowserWindow::WaveListMouseDown);
    connect(WaveList, &WaveListWidget::doubleClicked, this, &BrowserWindow::WaveListDblClick);
    // Enter plays the selected row, as in other lists of sounds.
    connect(WaveList, &WaveListWidget::enterPressed, this, &BrowserWindow::PlayClick);
    // A dragged row carries its file's address, so other programs can take it too.
    WaveList->rowUrl = [this](int row) {
        const std::string url = FileUrlOf(rowFile(row));
        return QUrl::fromEncoded(QByteArray(url.data(), qsizetype(url.size())));
    };
    connect(WaveList->model(), &WaveListModel::captionEdited, this, [this](int row, const std::string& text) {
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
    if (WaveList->visibleRowCount() > 0 && WaveList->selectedRow() < 0)
        WaveList->selectRow(WaveList->visibleRow(0));
    UpdateCommands();
}

void BrowserWindow::WaveListKeyUp(int key, Qt::KeyboardModifiers)
{
    // While a row is dragged, key-ups belong to the drag: letting go of Ctrl turns a copy into a move.
    if (WaveList->isDragging()) {
        if (key == Qt::Key_Control) {
            WaveList->setDragCursor(QCursor());
            CopyOnDrop = false;
        }
        return;
    }
    if (key == Qt::Key_Space) {
        if (Playing)
            StopPlaying();
        else
            StartPlaying();
    } else if (key == Qt::Key_F5) {
        FillWaveList();
    }
}
