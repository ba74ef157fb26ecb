// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browser window. Its members are defined by concern in BrowserWindow*.cpp: start-up and
// settings, the wave list, playback, auditioning, the waveform, the filter and measures, the file
// commands and dragging, the command line.

#include "browser/AllWavesPosition.h"
#include "components/FileOp.h"
#include "components/WavePlay.h"
#include "library/analysiscache.h"
#include "library/soundanalysis.h"
#include "platform/settings/registry.h"
#include "platform/files/requestpool.h"
#include "ui_BrowserWindow.h"

#include <QIcon>
#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QDropEvent;
class QLabel;
class QLineEdit;
class QSlider;
class QSplitter;
class QToolBar;
class TAboutBox;
class WaveformStrip;
class QTreeWidgetItem;
namespace library {
class SoundAnalyser;
}

/// Numbers of the program's own cursors in the cursor table.
constexpr int crWaveCur = 1;
constexpr int crDragCopy = 2;

/// The application-wide cursor table: controls pick the program's own cursors by number.
void registerCursor(int number, const QCursor& cursor);
/// The cursor of a number; the arrow for a number never registered.
QCursor cursorOf(int number);

class BrowserWindow : public QMainWindow, public Ui::BrowserWindow {
    Q_OBJECT
public:
    explicit BrowserWindow(QWidget* parent = nullptr);
    ~BrowserWindow() override;

    QTimer* EndOfSoundTimer;
    TWavePlayer* Player;
    TFileOperation* FileOperation;
    /// The filter box, in a bar of its own beside the toolbar: the list shows the rows whose captions
    /// contain all its words and whose measures meet its conditions.
    QLineEdit* FilterBox = nullptr;
    /// Holds the filter box beside the toolbar; a narrow window folds toolbar buttons away, never this.
    QToolBar* FilterBar = nullptr;
    /// The mark in the filter box of a condition that cannot be read; its tooltip says why.
    QAction* FilterProblem = nullptr;
    /// "n of m shown" in the status bar while a filter is in force.
    QLabel* FilterCount = nullptr;
    /// Measures the listed waves in the background while a measure column or the filter needs them.
    library::SoundAnalyser* Analyser = nullptr;
    /// The program's about box, created after the window; none in a window made alone.
    TAboutBox* AboutBox = nullptr;

    // State of the window.
    /// A sound of the window is heard: a play whose time is not over, a loop, a sequence.
    bool Playing = false;
    bool IconLoaded = false;
    QIcon WaveIcon;
    bool CopyOnDrop = true;

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
    /// Shows something the user should read (the measures cache was set aside) in the status bar for a
    /// while, during which the hints do not replace it.
    void ShowNotice(const QString& text);
    /// Closes the window (settings are saved on the way out).
    void ExitClick();
    void AboutClick();
    void LargeBtnClick();
    void SmallBtnClick();
    void ListBtnClick();
    void DetailBtnClick();
    /// The tree took the focus: the list's commands no longer apply.
    void FolderTreeEnter();

    // The wave list.
    /// Another folder was chosen: stops the sound, retitles the window and lists the folder's waves.
    void FolderTreeChange();
    void FillWaveList();
    std::string SelectedWavePath() const;
    void WaveListChange();
    /// The list took the focus: selects the first shown row when none is selected.
    void WaveListEnter();
    /// Space plays or stops, F5 lists the folder again; while a row is dragged, letting go of Ctrl
    /// turns the copy into a move.
    void WaveListKeyUp(int key, Qt::KeyboardModifiers shift);
    void FilterBoxChange(const QString& text);
    /// The rows shown changed or took another order: the all-waves sequence keeps the row it plays.
    void FollowShownRows();
    void ShowFilterProblems();
    void ShowFilterCount();

    // Measures of the listed waves.
    /// Whether a shown column or the filter uses the measures.
    bool MeasuresWanted() const;
    /// Starts measuring the rows not measured yet, those on screen first; stops a job of rows gone.
    void StartMeasuring();
    void PreferRowsOnScreen();
    /// Starts measuring a folder's files (as the disk spells them) while the list is still being filled
    /// with them, so their known measures are looked up as the headers are read.
    void MeasureListedFiles(const std::string& diskFolder, const std::vector<std::string>& fileNames,
                            std::vector<std::optional<platform::FileIdentity>> identities = {});
    void WavesMeasured(quint64 job, const std::vector<std::pair<std::string, library::SoundAnalysis>>& results);

    // Playback.
    void PlayClick();
    void StopClick();
    /// A button let go over the list: the left plays the row clicked, the right stops.
    void WaveListMouseDown(Qt::MouseButton button);
    /// The sound should have ended: the all-waves sequence goes on to the next row, else playing ends.
    void EndOfSoundTimerFired();
    /// Play and Stop by the All waves button: the whole sequence, or the selected row alone.
    void StartPlaying();
    void StopPlaying();
    /// Plays the selected row, from `startSeconds` into it.
    void PlaySelected(double startSeconds = 0);
    void StopSingle();
    /// Sets EndOfSoundTimer to the selected wave's remaining length; false when its header is unreadable.
    bool StartEndTimer(double startSeconds = 0);
    void SinglePlayEnded();
    void StartAllWaves();
    void PlayAllWavesItem();
    /// The all-waves sequence: starts at the selected row, plays each shown row in turn (skipping
    /// unreadable ones) and stops after the last, or on Stop.
    void NextOfAllWaves();
    void StopAllWaves();
    /// Where the all-waves sequence is, and whether it was stopped.
    const AllWavesPosition& allWaves() const { return *allWaves_; }

    // Auditioning: preview volume, output device, play on selection.
    QSlider* VolumeSlider = nullptr;
    QAction* PlayOnSelectBtn = nullptr;
    QMenu* OutputMenu = nullptr;
    /// The chosen output's name, kept while it is absent; empty for the server's default.
    std::string OutputChoice;
    void setupAudition();
    void LoadAuditionSettings(void* key);
    void SaveAuditionSettings(void* key);
    void FillOutputMenu();
    void ChooseOutput(const std::string& name);
    void WaveListSelectedByKey();
    void PlaySettledSelection();

    // File and folder commands.
    /// Delete, Rename and Properties act on the selected row's file as the disk spells it.
    void DeleteClick();
    void RenameClick();
    void PropertiesClick();
    /// Shows the selected wave in the desktop's file manager, or at least its folder.
    void ShowInFileManagerClick();
    /// Opens the selected wave in the desktop's wave editor (also a double click on a row).
    void EditWaveClick();
    void WaveListDblClick();
    void OpenInWaveEditor();
    void NewFolderClick();
    /// Selects the parent of the selected folder.
    void GoUpClick();
    /// F5 in the tree: reads the folders again and keeps the same folder selected.
    void ReloadTree();
    void EditSelectedFolderName();
    /// A row's caption was edited: renames its file, the caption staying as it was when that fails.
    void WaveListEdited(int row, std::string& text);
    /// Folders can be renamed in place, drives cannot; the edited name renames the folder on disk.
    void FolderTreeEditing(QTreeWidgetItem* node, bool& allowEdit);
    void FolderTreeEdited(QTreeWidgetItem* node, std::string& text);
    void FolderTreeKeyDown(int& key, Qt::KeyboardModifiers shift);

    // Dragging waves onto folders.
    /// Only rows of this list are taken, onto a folder: moved, or copied while Ctrl is held.
    void FolderTreeDragOver(QDropEvent* event, const QPoint& pos, bool& accept);
    void FolderTreeDragDrop(QDropEvent* event, const QPoint& pos);

    /// Shows a folder as if chosen in the tree, or a wave file's folder with its row selected and, with
    /// play, started as a click would. The path is looked up afresh on disk, so a folder or file made
    /// since the window read its parent is found. False, with the window as it was, when the path names
    /// nothing shown here (missing, a hidden folder, not a wave file).
    bool openPath(const std::string& drivePath, bool play);
    // The waveform overview under the list (BrowserWindowWaveform.cpp).
    WaveformStrip* Waveform = nullptr;
    /// Holds the list above the waveform.
    QSplitter* ListSplitter = nullptr;
    /// Shows and hides the waveform: the menu item and the toolbar button.
    QAction* WaveformItem = nullptr;
    QAction* WaveformBtn = nullptr;
    void WaveformBtnClick(bool shown);
    void WaveformClick(double seconds);
    /// Points the waveform at the selected row's file.
    void ShowSelectedWaveform(bool reload = false);
    /// The waveform's height in pixels, also while it is hidden.
    int waveformHeight() const;
    void setWaveformHeight(int pixels);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormClose();
    void setupComponents();
    void setupPlayback();
    void setupWaveform();
    void loadWaveformSettings(platform::HKEY key);
    void saveWaveformSettings(platform::HKEY key);
    void bindCommands();
    void bindTree();
    void bindWaveList();
    void setupFilterBox();
    void setupMeasuring();
    /// The shell's icon for wave files, asked for through the first entry found.
    QIcon fetchWaveIcon(const std::string& path);
    /// Runs FileOperation as set up; true when it succeeded and was not aborted. Names holding ";"
    /// go to the shell as they are, since the component's lists would split them.
    bool runFileOperation();
    /// The file of a row as the disk spells it, in the selected folder as the disk spells it: what the
    /// commands act on, so that a file or folder whose name differs only in case is never reached.
    /// Empty when that spelling names nothing any more (removed or renamed meanwhile), as a path
    /// found by ignoring case could then be another entry.
    std::string rowFile(int row) const;
    /// rowFile of the selected row; empty when none is selected.
    std::string selectedWaveFile() const;
    /// Sets the window's outer bounds (frame included).
    void setOuterBounds(const QRect& bounds);
    void applyOuterBounds();
    /// The row of a file name in the wave list, letter case ignored; -1 when none.
    int waveRowNamed(const std::string& name) const;

    /// Whether the sound of the window can still be heard; a sound repeating or of unknown length is
    /// followed by soundWatch_ until it ends.
    bool soundHeard() const;
    void watchedSoundCheck();

    std::unique_ptr<AllWavesPosition> allWaves_;
    /// The sound playing was started looped.
    bool soundLooped_ = false;
    QTimer* soundWatch_ = nullptr;
    /// Runs while a notice holds the status bar; the last hint asked for follows it.
    QTimer* noticeShown_ = nullptr;
    QString lastHint_;
    quint64 measureJob_ = 0;
    std::string measureFolder_;
    bool measuring_ = false;
    /// The fill started the job for the rows it is about to show.
    bool fillMeasuring_ = false;
    QTimer* preferTimer_ = nullptr;
    QObject* keySelectionWatch_ = nullptr;
    QTimer* selectionSettle_ = nullptr;
    QRect outerBounds_;
    bool boundsSettled_ = false;
    bool hintHooked_ = false;
    bool treeChangeSeen_ = false;
    int waveIconRequests_ = 0;
    int headerReaders_ = platform::kRequestsInFlight;
    int waveformHeight_ = 140;
};
