// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: creation and wiring, settings, hints, view buttons and the enabled states of the commands.
#include "browser/AuditionSettings.h"
#include "browser/BrowserWindow.h"
#include "browser/CursorTable.h"
#include "browser/FavouritesAndTags.h"
#include "browser/FavouritesNode.h"
#include "browser/LibraryScope.h"
#include "browser/PlaybackSequence.h"
#include "browser/SettingsRecord.h"
#include "browser/SimilarSounds.h"
#include "browser/StatusLine.h"
#include "browser/ToolbarCommands.h"
#include "browser/WaveListFilter.h"
#include "browser/WaveMeasuring.h"
#include "browser/WaveformPanel.h"
#include "browser/WaveformStrip.h"
#include "browser/WindowPlacement.h"
#include "browser/logging.h"
#include "components/FileOp.h"
#include "components/WavePlay.h"
#include "platform/files/files.h"
#include "ui_BrowserWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSplitterHandle>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

using namespace platform;

BrowserWindow::BrowserWindow(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::BrowserWindow>()), fileOperation_(new TFileOperation(this)),
      placement_(new WindowPlacement(*this))
{
    ui->setupUi(this);
    status_ = new StatusLine(ui->StatusBar);
    // The operation's stored values never reach the shell: each command sets its own before it runs.
    fileOperation_->setObjectName("FileOperation");
    fileOperation_->setFlags(TFileOperation::fofAllowUndo | TFileOperation::fofNoConfirmation |
                             TFileOperation::fofNoConfirmMkDir | TFileOperation::fofRenameOnCollision);
    fileOperation_->setOperation(TFileOperation::foDelete);
    setToolbarIcons(*this);
    setupFeatures();
    // The layout's outer bounds, until the settings give others.
    placement_->place(QRect(202, 108, 825, 567));

    ui->TreeListSplitter->setStretchFactor(0, 0);
    ui->TreeListSplitter->setStretchFactor(1, 1);
    ui->TreeListSplitter->setSizes({200, width() - 203});
    if (QSplitterHandle* handle = ui->TreeListSplitter->handle(1)) {
        handle->setStatusTip("Change size of list windows");
        handle->setToolTip("Change size of list windows");
    }
    // The buttons that open the toolbars' overflow in a narrow window, named for a screen reader.
    for (QToolBar* bar : findChildren<QToolBar*>())
        if (auto* more = bar->findChild<QWidget*>("qt_toolbar_ext_button"))
            more->setAccessibleName("More commands");
    // The tree gives its hint in the status bar only.
    ui->FolderTree->setToolTip(QString());
    setWindowIcon(QIcon(":/icons/tonfolio.svg"));

    bindCommands();
    bindWaveList();
    bindTree();
    // Reading the drives selects the first folder, which already fills the list.
    ui->FolderTree->Loaded();
    // The first folder must reach the caption and the list even when the tree selected it quietly.
    if (!treeChangeSeen_ && ui->FolderTree->SelectedPath() != "?")
        showChosenFolder();
    InitForm();
}

BrowserWindow::~BrowserWindow()
{
    // An in-place editor still open, or the tree's own teardown, must not reach a window that is half gone.
    ui->FolderTree->OnChange = nullptr;
    ui->FolderTree->OnEnter = nullptr;
    ui->FolderTree->OnKeyDown = nullptr;
    ui->FolderTree->OnEditing = nullptr;
    ui->FolderTree->OnEdited = nullptr;
    ui->FolderTree->OnDragOver = nullptr;
    ui->FolderTree->OnDragDrop = nullptr;
    disconnect(ui->WaveList->model(), nullptr, this, nullptr);
    disconnect(ui->WaveList, nullptr, this, nullptr);
    playback_->endOfSoundTimer()->stop();
}

void BrowserWindow::setupFeatures()
{
    WaveListWidget* list = ui->WaveList;
    // The waveform takes the list's place in the splitter and holds the list above the strip.
    waveform_ = new WaveformPanel(ui->TreeListSplitter, list, this);
    connect(waveform_, &WaveformPanel::shownChanged, this, [this] { showSelectedWaveform(); });
    connect(list, &WaveListWidget::changed, this, [this] { showSelectedWaveform(); });
    // A refill may bring a changed file under the same name.
    connect(list->model(), &QAbstractItemModel::modelReset, this, [this] { showSelectedWaveform(true); });
    playback_ = new PlaybackSequence(*list, [this](int row) { return rowFile(row); }, this);
    filter_ = new WaveListFilter(*list, this);
    library_ = new LibraryScope(this);
    // Library results are measured and marked by the index, never as files of the folder selected.
    const auto folderListed = [this] { return library_->active() ? "?" : ui->FolderTree->SelectedDiskPath(); };
    measuring_ = new WaveMeasuring(*list, folderListed, this);
    audition_ = new AuditionSettings(*list, this);
    marks_ = new FavouritesAndTags(*list, folderListed, [this](int row) { return rowFile(row); }, this);
    ui->EditMenu->insertAction(ui->RenameItem, marks_->addWriteTags(*playback_));
    placeFeatureControls();
    connect(list->model(), &QAbstractItemModel::modelReset, marks_, &FavouritesAndTags::loadMarks);
    connect(marks_, &FavouritesAndTags::notice, status_, &StatusLine::showNotice);
    connect(library_, &LibraryScope::fileChanged, marks_, &FavouritesAndTags::followFile);

    // The modes are read by the sequence whenever a routine depends on them, as the buttons show them.
    connect(ui->LoopBtn, &QAction::toggled, playback_, &PlaybackSequence::setLoop);
    connect(ui->AllWavesBtn, &QAction::toggled, playback_, &PlaybackSequence::setAllWaves);
    connect(playback_->endOfSoundTimer(), &QTimer::timeout, playback_, &PlaybackSequence::endOfSound);
    connect(playback_, &PlaybackSequence::stateChanged, this, &BrowserWindow::UpdateCommands);
    connect(playback_, &PlaybackSequence::soundStarted, waveform_->strip(), &WaveformStrip::followPlayback);
    // Another order of the rows shown (a click on a header) takes the sequence along as the filter does.
    connect(list, &WaveListWidget::reordered, playback_, &PlaybackSequence::followShownRows);
    connect(filter_, &WaveListFilter::changed, this, &BrowserWindow::filterChanged);
    connect(filter_->box(), &QLineEdit::textChanged, library_, &LibraryScope::search);
    // After the library's search: typing leaves the sounds alike for the search typed.
    similar_ = new SimilarSounds(
        *list, *library_, *measuring_, *filter_->box(), [this](int row) { return rowFile(row); },
        [this] { return ui->FolderTree->SelectedDiskPath(); }, this);
    similar_->place(*ui->FileMenu, library_->foldersItem(), *ui->EditMenu, *marks_->contextMenu(), *filter_->bar());
    connect(similar_, &SimilarSounds::resultsReady, this, &BrowserWindow::showLibraryResults);
    connect(similar_, &SimilarSounds::notice, status_, &StatusLine::showNotice);
    connect(library_, &LibraryScope::scopeChanged, this, &BrowserWindow::showScope);
    connect(library_, &LibraryScope::resultsReady, this, &BrowserWindow::showLibraryResults);
    library_->keepResults = [this] { return ui->WaveList->selectedRow() >= 0 || playback_->playing(); };
    connect(library_, &LibraryScope::notice, status_, &StatusLine::showNotice);
    connect(library_, &LibraryScope::noticeWithdrawn, status_, &StatusLine::withdrawNotice);
    connect(library_->showInFolderItem(), &QAction::triggered, this, &BrowserWindow::showSelectedInFolder);
    connect(measuring_, &WaveMeasuring::notice, status_, &StatusLine::showNotice);
    connect(measuring_, &WaveMeasuring::progressChanged, status_, &StatusLine::showProgress);
    connect(playback_, &PlaybackSequence::aboutToPlay, audition_, &AuditionSettings::prepareToPlay);
    connect(playback_, &PlaybackSequence::stateChanged, this,
            [this] { measuring_->setSoundPlaying(playback_->playing()); });
    connect(audition_, &AuditionSettings::playRequested, this, &BrowserWindow::play);
    WaveformStrip* strip = waveform_->strip();
    connect(strip, &WaveformStrip::playFromRequested, playback_, &PlaybackSequence::playFrom);
    connect(strip, &WaveformStrip::stopRequested, this, &BrowserWindow::StopPlaying);
    strip->position = [this, strip] {
        // Only the sound of the file shown has a place in the picture.
        const TWavePlayer* player = playback_->player();
        return player->FileName() == strip->file() ? player->PositionSeconds() : -1.0;
    };
}

void BrowserWindow::placeFeatureControls()
{
    // The waveform and the audition controls beside the play modes; in the menu after Stop.
    addCommandAfter(waveform_->button(), ui->MainToolBar, ui->AllWavesBtn, ui->FileMenu, ui->StopItem,
                    waveform_->menuItem());
    audition_->place(*ui->MainToolBar, ui->AllWavesBtn, *ui->FileMenu, ui->StopItem);
    addToolBar(Qt::TopToolBarArea, filter_->bar());
    // After the box, so a narrow window folds the toggle away before the box being typed in.
    filter_->bar()->addAction(library_->toggle());
    new FavouritesNode(ui->TreeListSplitter, ui->FolderTree, library_->toggle(), filter_->box(), this);
    ui->FileMenu->insertAction(ui->ExitItem, library_->foldersItem());
    ui->EditMenu->addAction(library_->showInFolderItem());
    ui->EditMenu->addActions({marks_->favouriteItem(), marks_->tagsItem()});
    ui->FileMenu->insertSeparator(ui->ExitItem);
    ui->StatusBar->addPermanentWidget(library_->progressLabel());
    ui->StatusBar->addPermanentWidget(filter_->countLabel());
}

void BrowserWindow::bindCommands()
{
    exclusiveGroup(this, {ui->LargeBtn, ui->SmallBtn, ui->ListBtn, ui->DetailBtn});
    // Menu item and toolbar button of one command run the same handler.
    const std::pair<std::vector<QAction*>, void (BrowserWindow::*)()> commands[] = {
        {{ui->PlayItem, ui->PlayBtn}, &BrowserWindow::play},
        {{ui->StopItem, ui->StopBtn}, &BrowserWindow::stop},
        {{ui->NewFolderItem, ui->NewFolderBtn}, &BrowserWindow::NewFolderClick},
        {{ui->GoUpBtn}, &BrowserWindow::selectParentFolder},
        {{ui->AboutItem, ui->AboutBtn}, &BrowserWindow::showAboutBox},
        {{ui->EditWave}, &BrowserWindow::EditWaveClick},
        {{ui->DeleteItem, ui->DeleteBtn}, &BrowserWindow::deleteSelectedWave},
        {{ui->PropertiesItem, ui->PropBtn}, &BrowserWindow::showSelectedProperties},
        {{ui->RenameItem}, &BrowserWindow::renameSelected},
        {{ui->ShowInFileManagerItem}, &BrowserWindow::showSelectedInFileManager},
    };
    for (const auto& [actions, handler] : commands)
        for (QAction* a : actions)
            connect(a, &QAction::triggered, this, handler);
    // Settings are saved on the way out.
    for (QAction* a : {ui->ExitItem, ui->ExitBtn})
        connect(a, &QAction::triggered, this, &QWidget::close);
    // The view buttons follow their state, however it was set: a click, a key or a screen reader, whose
    // toggle reaches the action as a change of state, not as a click.
    connect(ui->LargeBtn, &QAction::toggled, this, &BrowserWindow::LargeBtnClick);
    connect(ui->SmallBtn, &QAction::toggled, this, &BrowserWindow::SmallBtnClick);
    connect(ui->ListBtn, &QAction::toggled, this, &BrowserWindow::ListBtnClick);
    connect(ui->DetailBtn, &QAction::toggled, this, &BrowserWindow::DetailBtnClick);
}

void BrowserWindow::bindTree()
{
    TDirTree* tree = ui->FolderTree;
    tree->OnChange = [this](TDirTree*, QTreeWidgetItem*) { showChosenFolder(); };
    // The tree took the focus: the list's commands no longer apply.
    tree->OnEnter = [this](TDirTree*) { UpdateCommands(); };
    tree->OnKeyDown = [this](TDirTree*, int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_F5)
            ReloadTree();
    };
    tree->OnEditing = [this](TDirTree*, QTreeWidgetItem* node, bool& allow) { allowFolderRename(node, allow); };
    tree->OnEdited = [this](TDirTree*, QTreeWidgetItem* node, std::string& s) { renameEditedFolder(node, s); };
    tree->OnDragOver = [this](TDirTree*, QDropEvent* e, const QPoint& pos, bool& accept) {
        takeWaveDrag(e, pos, accept);
    };
    tree->OnDragDrop = [this](TDirTree*, QDropEvent* e, const QPoint& pos) { dropWave(e, pos); };
}

void BrowserWindow::InitForm()
{
    IconLoaded = false;
    registerCursor(crWaveCur, resourceCursor("wavecur"));
    registerCursor(crDragCopy, resourceCursor("dragcopy"));
    LoadSettings();
    hintHooked_ = true;
    CopyOnDrop = true;
}

void BrowserWindow::LoadSettings()
{
    const SettingsRecord stored = SettingsRecord::load();
    if (stored.playLooped)
        ui->LoopBtn->setChecked(*stored.playLooped);

    // An empty folder text names no folder; the current one serves as for a missing value.
    std::string folder = stored.lastDir.value_or(std::string());
    if (folder.empty())
        folder = GetCurrentDirectory();
    if (!folder.empty()) {
        try {
            ui->FolderTree->SelectPath(folder);
        } catch (const std::exception& e) {
            // A folder the tree cannot take leaves its current selection; start-up shows no message.
            qCDebug(browser::lcBrowser) << "the stored folder was not selected:" << e.what();
        }
    }

    // 1 small icons, 2 large icons, 3 list, any other value details; large icons when absent.
    const int display = stored.displayFiles.value_or(2);
    QAction* const viewButtons[] = {ui->DetailBtn, ui->SmallBtn, ui->LargeBtn, ui->ListBtn};
    viewButtons[display >= 1 && display <= 3 ? display : 0]->setChecked(true);
    WaveListWidget* list = ui->WaveList;
    list->setViewStyle(ui->SmallBtn->isChecked()   ? WaveListWidget::vsSmallIcon
                       : ui->LargeBtn->isChecked() ? WaveListWidget::vsIcon
                       : ui->ListBtn->isChecked()  ? WaveListWidget::vsList
                                                   : WaveListWidget::vsReport);

    if (stored.measureColumns)
        list->setShownMeasures(unsigned(*stored.measureColumns) & ((1u << WaveListModel::kMeasureColumns) - 1));
    // The scope before the order: in library scope the Folder column is shown, and may be the one sorted by.
    library_->applySettings(stored);
    similar_->applySettings(stored);
    // The order chosen last; a column that is not there or not shown leaves the captions' order.
    int sortColumn = WaveListModel::sortColumnOfStored(stored.sortColumn.value_or(0));
    if (sortColumn < 0 || sortColumn >= WaveListModel::AllColumnCount || list->detailView()->isColumnHidden(sortColumn))
        sortColumn = WaveListModel::ColFilename;
    list->setSort(sortColumn, stored.sortDescending.value_or(false) ? Qt::DescendingOrder : Qt::AscendingOrder);

    if (stored.playSingle)
        ui->AllWavesBtn->setChecked(!*stored.playSingle);

    // Bounds from another screen layout, or damaged, must not leave the window where nobody can reach it.
    placement_->applySettings(stored);
    audition_->applySettings(stored);
    waveform_->applySettings(stored);
    UpdateCommands();
}

void BrowserWindow::SaveSettings()
{
    SettingsRecord record;
    record.playLooped = ui->LoopBtn->isChecked();
    record.lastDir = ui->FolderTree->SelectedPath();
    record.playSingle = !ui->AllWavesBtn->isChecked();
    record.measureColumns = std::int32_t(ui->WaveList->shownMeasures());
    record.sortColumn = WaveListModel::storedSortNumber(ui->WaveList->sortColumn());
    record.sortDescending = ui->WaveList->sortOrder() == Qt::DescendingOrder;
    placement_->storeSettings(record);
    library_->storeSettings(record);
    similar_->storeSettings(record);
    record.displayFiles = ui->SmallBtn->isChecked()   ? 1
                          : ui->LargeBtn->isChecked() ? 2
                          : ui->ListBtn->isChecked()  ? 3
                                                      : 4;
    audition_->storeSettings(record);
    waveform_->storeSettings(record);
    record.save();
}

void BrowserWindow::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void BrowserWindow::FormClose()
{
    SaveSettings();
}

bool BrowserWindow::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        if (hintHooked_)
            ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void BrowserWindow::ShowHint(const QString& hint)
{
    status_->showHint(hint);
}

void BrowserWindow::LargeBtnClick()
{
    if (ui->LargeBtn->isChecked())
        ui->WaveList->setViewStyle(WaveListWidget::vsIcon);
}

void BrowserWindow::SmallBtnClick()
{
    if (ui->SmallBtn->isChecked())
        ui->WaveList->setViewStyle(WaveListWidget::vsSmallIcon);
}

void BrowserWindow::ListBtnClick()
{
    if (ui->ListBtn->isChecked())
        ui->WaveList->setViewStyle(WaveListWidget::vsList);
}

void BrowserWindow::DetailBtnClick()
{
    if (ui->DetailBtn->isChecked())
        ui->WaveList->setViewStyle(WaveListWidget::vsReport);
}

void BrowserWindow::UpdateCommands()
{
    const auto enable = [](std::initializer_list<QAction*> actions, bool enabled) {
        for (QAction* a : actions)
            a->setEnabled(enabled);
    };
    const bool selected = ui->WaveList->selectedRow() >= 0;
    // The row's commands apply while the list has the focus.
    const bool rowCommands = selected && ui->WaveList->hasListFocus();
    enable({ui->DeleteItem, ui->DeleteBtn}, rowCommands);
    enable({ui->PropertiesItem, ui->PropBtn, marks_->writeTagsItem()}, rowCommands);
    enable({ui->EditWave, ui->ShowInFileManagerItem}, rowCommands);
    enable({library_->showInFolderItem()}, rowCommands && library_->active());
    enable({marks_->favouriteItem(), marks_->tagsItem()}, selected);
    enable({ui->PlayItem, ui->PlayBtn}, selected && !playback_->playing());
    // Rename keeps the state it had when the list last had no selection.
    if (!selected)
        enable({ui->RenameItem}, ui->FolderTree->hasFocus());
    // A sound can be stopped while it is heard, also when the filter hides its row.
    enable({ui->StopItem, ui->StopBtn}, playback_->playing());
}
