// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browser window: the tree of folders, the list of their waves, the menu, the toolbar and the status
// bar, wired to the feature objects that hold the state and rules of playback, measuring, auditioning,
// the filter and the waveform. Its members are defined by concern in BrowserWindow*.cpp: start-up and
// settings, the wave list, the commands, dragging, the command line.

#include "platform/files/requestpool.h"

#include <QIcon>
#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class BrowserWindow;
}
class AuditionSettings;
class FavouritesAndTags;
class LibraryScope;
class PlaybackSequence;
class QDropEvent;
class QTreeWidgetItem;
class SimilarSounds;
class StatusLine;
class TAboutBox;
class TFileOperation;
class WaveListFilter;
class WaveMeasuring;
class WaveformPanel;
class WindowPlacement;
struct WaveRow;

class BrowserWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit BrowserWindow(QWidget* parent = nullptr);
    ~BrowserWindow() override;

    /// The program's about box, created after the window; none in a window made alone.
    void setAboutBox(TAboutBox* box) { aboutBox_ = box; }
    /// Whether a row of the list is being dragged.
    bool isDraggingWave() const;
    /// Shows a folder as if chosen in the tree, or a wave file's folder with its row selected and, with
    /// play, started as a click would. The path is looked up afresh on disk, so a folder or file made
    /// since the window read its parent is found. False, with the window as it was, when the path names
    /// nothing shown here (missing, a hidden folder, not a wave file).
    bool openPath(const std::string& drivePath, bool play);
    /// How often the shell was asked for the wave icon in this window's life.
    int waveIconRequests() const { return waveIconRequests_; }
    /// How many headers FillWaveList reads at once (at least 1); tests and benchmarks compare settings.
    void setHeaderReaders(int count) { headerReaders_ = count < 1 ? 1 : count; }

    // Start-up, settings and command states.
    void InitForm();
    void LoadSettings();
    void SaveSettings();
    /// Enables the commands, menu items and buttons alike, by the selection, the focus and playing.
    void UpdateCommands();
    /// Shows a control's hint in the status bar.
    void ShowHint(const QString& hint);
    void showAboutBox();
    void LargeBtnClick();
    void SmallBtnClick();
    void ListBtnClick();
    void DetailBtnClick();

    // The wave list.
    /// Another folder was chosen: stops the sound, retitles the window and lists the folder's waves.
    void showChosenFolder();
    void FillWaveList();
    std::string SelectedWavePath() const;
    void WaveListChange();
    /// The list took the focus: selects the first shown row when none is selected.
    void WaveListEnter();
    /// Space plays or stops, F5 lists the folder again; while a row is dragged, letting go of Ctrl
    /// turns the copy into a move.
    void WaveListKeyUp(int key, Qt::KeyboardModifiers shift);

    // Playback, by the All waves button: the whole sequence or the selected row alone.
    void play();
    void stop();
    /// A button let go over the list: the left plays the row clicked, the right stops.
    void playOrStopOnRelease(Qt::MouseButton button);
    void StartPlaying();
    void StopPlaying();
    void StopSingle();

    // File and folder commands.
    /// Delete, Rename and Properties act on the selected row's file as the disk spells it.
    void deleteSelectedWave();
    void renameSelected();
    void showSelectedProperties();
    /// Opens the selected wave in the desktop's wave editor (also a double click on a row).
    void EditWaveClick();
    void WaveListDblClick();
    void OpenInWaveEditor();
    void NewFolderClick();
    /// Selects the parent of the selected folder.
    void selectParentFolder();
    /// F5 in the tree: reads the folders again and keeps the same folder selected.
    void ReloadTree();
    void EditSelectedFolderName();
    /// A row's caption was edited: renames its file, the caption staying as it was when that fails.
    void WaveListEdited(int row, std::string& text);
    /// Folders can be renamed in place, drives cannot; the edited name renames the folder on disk.
    void allowFolderRename(QTreeWidgetItem* node, bool& allowEdit);
    void renameEditedFolder(QTreeWidgetItem* node, std::string& text);

    // Dragging waves onto folders.
    /// Only rows of this list are taken, onto a folder: moved, or copied while Ctrl is held.
    void takeWaveDrag(QDropEvent* event, const QPoint& pos, bool& accept);
    void dropWave(QDropEvent* event, const QPoint& pos);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class BrowserWindowTestAccess;

    void FormClose();
    void setupFeatures();
    void placeFeatureControls();
    void bindCommands();
    void bindTree();
    void bindWaveList();
    /// Shows the selected wave in the desktop's file manager, or at least its folder.
    void showSelectedInFileManager();
    /// Leaves library scope for the selected result's folder, the row selected.
    void showSelectedInFolder();
    /// Points the waveform at the selected row's file.
    void showSelectedWaveform(bool reload = false);
    /// The filter shows other rows: the sequence, the measuring and the commands follow.
    void filterChanged();
    /// The filter box's scope was switched: the list shows the folder, or library results with their folder.
    void showScope(bool library);
    void showLibraryResults(const std::vector<WaveRow>& rows);
    /// The file of a row as the disk spells it, in the selected folder as the disk spells it: what the
    /// commands act on, so that a file or folder whose name differs only in case is never reached.
    /// Empty when that spelling names nothing any more (removed or renamed meanwhile), as a path
    /// found by ignoring case could then be another entry.
    std::string rowFile(int row) const;
    /// The folder of a row as the disk spells it: the selected folder's, or a library result's own.
    std::string rowFolder(int row) const;
    /// rowFile of the selected row; empty when none is selected.
    std::string selectedWaveFile() const;

    std::unique_ptr<Ui::BrowserWindow> ui;
    TFileOperation* fileOperation_;
    PlaybackSequence* playback_ = nullptr;
    WaveMeasuring* measuring_ = nullptr;
    AuditionSettings* audition_ = nullptr;
    WaveListFilter* filter_ = nullptr;
    WaveformPanel* waveform_ = nullptr;
    LibraryScope* library_ = nullptr;
    FavouritesAndTags* marks_ = nullptr;
    SimilarSounds* similar_ = nullptr;
    TAboutBox* aboutBox_ = nullptr;
    WindowPlacement* placement_;
    StatusLine* status_ = nullptr;

    bool IconLoaded = false;
    QIcon WaveIcon;
    /// Whether a drop copies (Ctrl held at the last drag-over) or moves.
    bool CopyOnDrop = true;
    bool hintHooked_ = false;
    bool treeChangeSeen_ = false;
    int waveIconRequests_ = 0;
    int headerReaders_ = platform::kRequestsInFlight;
};
