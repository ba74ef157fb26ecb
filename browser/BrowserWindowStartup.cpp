// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: creation, settings, hints, view buttons and the enabled states of the commands.
#include "browser/BrowserWindow.h"
#include "platform/files/files.h"
#include "platform/settings/registry.h"
#include "platform/sound/sound.h"

#include <QActionGroup>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTreeView>
#include <QTreeWidgetItem>
#include <algorithm>
#include <map>

using namespace platform;

namespace {

const char* const kSettingsKey = "Software\\Varnholt\\Tonfolio";

std::map<int, QCursor>& cursorTable()
{
    static std::map<int, QCursor> table;
    return table;
}

/// A cursor drawn in resources/: black and white with a transparent rest, hot spot top-left.
QCursor resourceCursor(const QString& name)
{
    const QPixmap picture(":/browser/" + name + ".xpm");
    if (picture.isNull())
        return QCursor(Qt::ArrowCursor);
    return QCursor(picture, 0, 0);
}

/// The toolbar's pictures: the desktop theme's icon where it has one that fits the command, else the
/// program's own drawing, which stays sharp at any scale. Qt greys either for a disabled button.
void setToolbarIcons(BrowserWindow& form)
{
    const struct {
        QAction* button;
        const char* themeName; ///< empty where no theme names a fitting icon
        const char* own;
    } icons[] = {
        {form.PlayBtn, "media-playback-start", "play"},
        {form.StopBtn, "media-playback-stop", "stop"},
        {form.GoUpBtn, "go-up", "previousfolder"},
        {form.NewFolderBtn, "folder-new", "newfolder"},
        {form.DeleteBtn, "edit-delete", "delete"},
        {form.PropBtn, "document-properties", "properties"},
        {form.LargeBtn, "view-list-icons", "largeicons"},
        {form.SmallBtn, "view-list-compact", "smallicons"},
        {form.ListBtn, "view-list-text", "list"},
        {form.DetailBtn, "view-list-details", "details"},
        {form.LoopBtn, "media-playlist-repeat", "loop"},
        {form.AllWavesBtn, "", "allwaves"},
        {form.AboutBtn, "help-about", "about"},
        {form.ExitBtn, "application-exit", "leave"},
    };
    for (const auto& i : icons) {
        const QString name = QLatin1String(i.themeName);
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            i.button->setIcon(QIcon::fromTheme(name));
        else
            i.button->setIcon(QIcon(QStringLiteral(":/browser/") + QLatin1String(i.own) + QStringLiteral(".svg")));
    }
}

/// How long a notice holds the status bar against the hints: time to read two lines.
constexpr int kNoticeMs = 20000;

/// The height of a title bar where the window has no frame yet to measure.
constexpr int kTitleHeight = 24;
/// How much of the title area must lie on a screen for the pointer to grab it.
constexpr int kGrabWidth = 64;
constexpr int kGrabHeight = 10;

/// Stored bounds whose title area shows on no screen enough to be grabbed are moved onto the primary
/// screen, as near to where they were as it allows; all others are kept as stored.
QRect reachableBounds(const QRect& bounds, int titleHeight)
{
    const QRect title(bounds.left(), bounds.top(), bounds.width(), titleHeight);
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        const QRect shown = screen->availableGeometry().intersected(title);
        if (shown.width() >= std::min(kGrabWidth, bounds.width()) &&
            shown.height() >= std::min(kGrabHeight, titleHeight))
            return bounds;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return bounds;
    const QRect area = primary->availableGeometry();
    QRect moved = bounds;
    moved.moveLeft(std::clamp(bounds.left(), area.left(), std::max(area.left(), area.right() + 1 - bounds.width())));
    moved.moveTop(std::clamp(bounds.top(), area.top(), std::max(area.top(), area.bottom() + 1 - bounds.height())));
    return moved;
}

} // namespace

void registerCursor(int number, const QCursor& cursor)
{
    cursorTable()[number] = cursor;
}

QCursor cursorOf(int number)
{
    const auto it = cursorTable().find(number);
    return it == cursorTable().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

BrowserWindow::BrowserWindow(QWidget* parent)
    : QMainWindow(parent), EndOfSoundTimer(new QTimer(this)), Player(new TWavePlayer(this)),
      FileOperation(new TFileOperation(this))
{
    setupUi(this);
    setupComponents();
    setToolbarIcons(*this);
    setupWaveform();
    // The layout's outer bounds, until the settings give others.
    setOuterBounds(QRect(202, 108, 825, 567));
    setupPlayback();
    noticeShown_ = new QTimer(this);
    noticeShown_->setSingleShot(true);
    noticeShown_->setInterval(kNoticeMs);
    connect(noticeShown_, &QTimer::timeout, this, [this] {
        StatusBar->setToolTip(QString());
        StatusBar->showMessage(lastHint_);
    });

    TreeListSplitter->setStretchFactor(0, 0);
    TreeListSplitter->setStretchFactor(1, 1);
    TreeListSplitter->setSizes({200, width() - 203});
    if (QSplitterHandle* handle = TreeListSplitter->handle(1)) {
        handle->setStatusTip("Change size of list windows");
        handle->setToolTip("Change size of list windows");
    }
    // The button that opens the toolbar's overflow in a narrow window, named for a screen reader.
    if (auto* more = MainToolBar->findChild<QWidget*>("qt_toolbar_ext_button"))
        more->setAccessibleName("More commands");
    // The tree gives its hint in the status bar only.
    FolderTree->setToolTip(QString());
    setWindowIcon(QIcon(":/icons/tonfolio.svg"));

    bindCommands();
    setupFilterBox();
    setupMeasuring();
    bindWaveList();
    bindTree();
    setupAudition();
    // Reading the drives selects the first folder, which already fills the list.
    FolderTree->Loaded();
    // The first folder must reach the caption and the list even when the tree selected it quietly.
    if (!treeChangeSeen_ && FolderTree->SelectedPath() != "?")
        FolderTreeChange();
    InitForm();
}

BrowserWindow::~BrowserWindow()
{
    // An in-place editor still open, or the tree's own teardown, must not reach a window that is half gone.
    FolderTree->OnChange = nullptr;
    FolderTree->OnEnter = nullptr;
    FolderTree->OnKeyDown = nullptr;
    FolderTree->OnEditing = nullptr;
    FolderTree->OnEdited = nullptr;
    FolderTree->OnDragOver = nullptr;
    FolderTree->OnDragDrop = nullptr;
    disconnect(WaveList->model(), nullptr, this, nullptr);
    disconnect(WaveList, nullptr, this, nullptr);
    EndOfSoundTimer->stop();
    platform::watchSoundOutputs(nullptr);
}

void BrowserWindow::setupComponents()
{
    EndOfSoundTimer->setObjectName("EndOfSoundTimer");
    Player->setObjectName("Player");
    Player->setDefault(false);
    Player->setForcePlay(true);
    Player->setLoop(false);
    Player->setWait(false);
    FileOperation->setObjectName("FileOperation");
    FileOperation->setFlags(TFileOperation::fofAllowUndo | TFileOperation::fofNoConfirmation |
                             TFileOperation::fofNoConfirmMkDir | TFileOperation::fofRenameOnCollision);
    FileOperation->setOperation(TFileOperation::foDelete);
}

void BrowserWindow::bindCommands()
{
    auto* views = new QActionGroup(this);
    views->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (QAction* a : {LargeBtn, SmallBtn, ListBtn, DetailBtn})
        views->addAction(a);

    connect(PlayItem, &QAction::triggered, this, &BrowserWindow::PlayClick);
    connect(PlayBtn, &QAction::triggered, this, &BrowserWindow::PlayClick);
    connect(StopItem, &QAction::triggered, this, &BrowserWindow::StopClick);
    connect(StopBtn, &QAction::triggered, this, &BrowserWindow::StopClick);
    connect(NewFolderItem, &QAction::triggered, this, &BrowserWindow::NewFolderClick);
    connect(NewFolderBtn, &QAction::triggered, this, &BrowserWindow::NewFolderClick);
    connect(GoUpBtn, &QAction::triggered, this, &BrowserWindow::GoUpClick);
    connect(AboutItem, &QAction::triggered, this, &BrowserWindow::AboutClick);
    connect(AboutBtn, &QAction::triggered, this, &BrowserWindow::AboutClick);
    connect(ExitItem, &QAction::triggered, this, &BrowserWindow::ExitClick);
    connect(ExitBtn, &QAction::triggered, this, &BrowserWindow::ExitClick);
    connect(EditWave, &QAction::triggered, this, &BrowserWindow::EditWaveClick);
    connect(DeleteItem, &QAction::triggered, this, &BrowserWindow::DeleteClick);
    connect(DeleteBtn, &QAction::triggered, this, &BrowserWindow::DeleteClick);
    connect(PropertiesItem, &QAction::triggered, this, &BrowserWindow::PropertiesClick);
    connect(PropBtn, &QAction::triggered, this, &BrowserWindow::PropertiesClick);
    connect(RenameItem, &QAction::triggered, this, &BrowserWindow::RenameClick);
    connect(ShowInFileManagerItem, &QAction::triggered, this, &BrowserWindow::ShowInFileManagerClick);
    // The view buttons follow their state, however it was set: a click, a key or a screen reader, whose
    // toggle reaches the action as a change of state, not as a click.
    connect(LargeBtn, &QAction::toggled, this, &BrowserWindow::LargeBtnClick);
    connect(SmallBtn, &QAction::toggled, this, &BrowserWindow::SmallBtnClick);
    connect(ListBtn, &QAction::toggled, this, &BrowserWindow::ListBtnClick);
    connect(DetailBtn, &QAction::toggled, this, &BrowserWindow::DetailBtnClick);
    // A toggle may release the view button that is down, which a click never does: it stays down.
    for (QAction* a : views->actions())
        connect(a, &QAction::toggled, this, [a, views](bool down) {
            const QList<QAction*> all = views->actions();
            if (!down && std::none_of(all.begin(), all.end(), [](QAction* b) { return b->isChecked(); }))
                a->setChecked(true);
        });
}

void BrowserWindow::bindTree()
{
    FolderTree->OnChange = [this](TDirTree*, QTreeWidgetItem*) { FolderTreeChange(); };
    FolderTree->OnEnter = [this](TDirTree*) { FolderTreeEnter(); };
    FolderTree->OnKeyDown = [this](TDirTree*, int& key, Qt::KeyboardModifiers shift) { FolderTreeKeyDown(key, shift); };
    FolderTree->OnEditing = [this](TDirTree*, QTreeWidgetItem* node, bool& allow) { FolderTreeEditing(node, allow); };
    FolderTree->OnEdited = [this](TDirTree*, QTreeWidgetItem* node, std::string& s) { FolderTreeEdited(node, s); };
    FolderTree->OnDragOver = [this](TDirTree*, QDropEvent* e, const QPoint& pos, bool& accept) {
        FolderTreeDragOver(e, pos, accept);
    };
    FolderTree->OnDragDrop = [this](TDirTree*, QDropEvent* e, const QPoint& pos) { FolderTreeDragDrop(e, pos); };
}

void BrowserWindow::InitForm()
{
    IconLoaded = false;
    registerCursor(crWaveCur, resourceCursor("wavecur"));
    registerCursor(crDragCopy, resourceCursor("dragcopy"));
    LoadSettings();
    hintHooked_ = true;
    Playing = false;
    CopyOnDrop = true;
}

void BrowserWindow::LoadSettings()
{
    SettingsKey key(HKEY_CURRENT_USER, kSettingsKey);
    if (const auto looped = regReadDword(key.get(), "PlayLooped"))
        LoopBtn->setChecked(*looped != 0);

    // An empty folder text names no folder; the current one serves as for a missing value.
    std::string folder = regReadString(key.get(), "LastDir").value_or(std::string());
    if (folder.empty())
        folder = GetCurrentDirectory();
    if (!folder.empty()) {
        try {
            FolderTree->SelectPath(folder);
        } catch (const std::exception&) {
            // A folder the tree cannot take leaves its current selection; start-up shows no message.
        }
    }

    if (const auto display = regReadDword(key.get(), "DisplayFiles")) {
        switch (*display) {
        case 1:
            SmallBtn->setChecked(true);
            break;
        case 2:
            LargeBtn->setChecked(true);
            break;
        case 3:
            ListBtn->setChecked(true);
            break;
        default:
            DetailBtn->setChecked(true);
            break;
        }
    } else {
        LargeBtn->setChecked(true);
    }
    if (SmallBtn->isChecked())
        WaveList->setViewStyle(WaveListWidget::vsSmallIcon);
    else if (LargeBtn->isChecked())
        WaveList->setViewStyle(WaveListWidget::vsIcon);
    else if (ListBtn->isChecked())
        WaveList->setViewStyle(WaveListWidget::vsList);
    else
        WaveList->setViewStyle(WaveListWidget::vsReport);

    if (const auto measures = regReadDword(key.get(), "MeasureColumns"))
        WaveList->setShownMeasures(unsigned(*measures) & 0xF);
    // The order chosen last; a column that is not there or not shown leaves the captions' order.
    int sortColumn = regReadDword(key.get(), "SortColumn").value_or(WaveListModel::ColFilename);
    if (sortColumn < 0 || sortColumn >= WaveListModel::AllColumnCount || WaveList->detailView()->isColumnHidden(sortColumn))
        sortColumn = WaveListModel::ColFilename;
    const bool descending = regReadDword(key.get(), "SortDescending").value_or(0) != 0;
    WaveList->setSort(sortColumn, descending ? Qt::DescendingOrder : Qt::AscendingOrder);

    if (const auto single = regReadDword(key.get(), "PlaySingle"))
        AllWavesBtn->setChecked(*single == 0);

    QRect bounds = outerBounds_;
    if (const auto left = regReadDword(key.get(), "Left"))
        bounds.moveLeft(*left);
    if (const auto top = regReadDword(key.get(), "Top"))
        bounds.moveTop(*top);
    if (const auto height = regReadDword(key.get(), "Height"))
        bounds.setHeight(*height);
    if (const auto width = regReadDword(key.get(), "Width"))
        bounds.setWidth(*width);
    // Bounds from another screen layout, or damaged, must not leave the window where nobody can reach it.
    const int frameTop = geometry().top() - frameGeometry().top();
    setOuterBounds(reachableBounds(bounds, frameTop > 0 ? frameTop : kTitleHeight));
    LoadAuditionSettings(key.get());
    loadWaveformSettings(key.get());
    UpdateCommands();
}

void BrowserWindow::setOuterBounds(const QRect& bounds)
{
    outerBounds_ = bounds;
    applyOuterBounds();
}

void BrowserWindow::applyOuterBounds()
{
    // Sizes from a damaged store must still give a window that can be seen and handled.
    const auto clampSize = [](int v) { return std::clamp(v, 1, 32767); };
    const QSize frame = frameGeometry().size() - geometry().size();
    move(outerBounds_.topLeft());
    resize(clampSize(outerBounds_.width() - frame.width()), clampSize(outerBounds_.height() - frame.height()));
}

void BrowserWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The frame is known only once the window is shown; the stored bounds include it.
    if (!boundsSettled_) {
        boundsSettled_ = true;
        applyOuterBounds();
    }
}

void BrowserWindow::SaveSettings()
{
    SettingsKey key(HKEY_CURRENT_USER, kSettingsKey);
    regWriteDword(key.get(), "PlayLooped", LoopBtn->isChecked() ? 1 : 0);
    regWriteString(key.get(), "LastDir", FolderTree->SelectedPath());
    regWriteDword(key.get(), "PlaySingle", AllWavesBtn->isChecked() ? 0 : 1);
    regWriteDword(key.get(), "MeasureColumns", std::int32_t(WaveList->shownMeasures()));
    regWriteDword(key.get(), "SortColumn", WaveList->sortColumn());
    regWriteDword(key.get(), "SortDescending", WaveList->sortOrder() == Qt::DescendingOrder ? 1 : 0);
    const QRect outer = frameGeometry();
    regWriteDword(key.get(), "Top", outer.top());
    regWriteDword(key.get(), "Left", outer.left());
    regWriteDword(key.get(), "Height", outer.height());
    regWriteDword(key.get(), "Width", outer.width());
    regWriteDword(key.get(), "DisplayFiles",
                  SmallBtn->isChecked()   ? 1
                  : LargeBtn->isChecked() ? 2
                  : ListBtn->isChecked()  ? 3
                                          : 4);
    SaveAuditionSettings(key.get());
    saveWaveformSettings(key.get());
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

void BrowserWindow::ExitClick()
{
    close();
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
    lastHint_ = hint;
    // A notice stays readable for its time; the hint comes once it is over.
    if (!noticeShown_->isActive())
        StatusBar->showMessage(hint);
}

void BrowserWindow::ShowNotice(const QString& text)
{
    StatusBar->showMessage(text);
    // A narrow window cuts the line; the whole text is at hand under the pointer.
    StatusBar->setToolTip(text);
    noticeShown_->start();
}

void BrowserWindow::LargeBtnClick()
{
    if (LargeBtn->isChecked())
        WaveList->setViewStyle(WaveListWidget::vsIcon);
}

void BrowserWindow::SmallBtnClick()
{
    if (SmallBtn->isChecked())
        WaveList->setViewStyle(WaveListWidget::vsSmallIcon);
}

void BrowserWindow::ListBtnClick()
{
    if (ListBtn->isChecked())
        WaveList->setViewStyle(WaveListWidget::vsList);
}

void BrowserWindow::DetailBtnClick()
{
    if (DetailBtn->isChecked())
        WaveList->setViewStyle(WaveListWidget::vsReport);
}

void BrowserWindow::FolderTreeEnter()
{
    UpdateCommands();
}

void BrowserWindow::UpdateCommands()
{
    const auto both = [](QAction* item, QAction* button, bool enabled) {
        item->setEnabled(enabled);
        if (button)
            button->setEnabled(enabled);
    };
    if (WaveList->selectedRow() >= 0) {
        const bool listFocus = WaveList->hasListFocus();
        both(DeleteItem, DeleteBtn, listFocus);
        both(PropertiesItem, PropBtn, listFocus);
        both(EditWave, nullptr, listFocus);
        both(ShowInFileManagerItem, nullptr, listFocus);
        both(PlayItem, PlayBtn, !Playing);
        // Rename keeps the state it had when the list last had no selection.
    } else {
        both(DeleteItem, DeleteBtn, false);
        both(PropertiesItem, PropBtn, false);
        both(EditWave, nullptr, false);
        both(ShowInFileManagerItem, nullptr, false);
        both(PlayItem, PlayBtn, false);
        both(RenameItem, nullptr, FolderTree->hasFocus());
    }
    // A sound can be stopped while it is heard, also when the filter hides its row.
    both(StopItem, StopBtn, Playing);
}
