// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/SimilarSounds.h"

#include "browser/LibraryScope.h"
#include "browser/SettingsRecord.h"
#include "browser/WaveListWidget.h"
#include "browser/WaveMeasuring.h"
#include "library/librarysearch.h"
#include "library/similarityindex.h"
#include "platform/files/nativepath.h"
#include "platform/shell/dialogs.h"

#include <QAction>
#include <QActionGroup>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>

namespace {

// The nearest this many of the library fill the list; the rest are less alike than a user looks for.
constexpr int kLibraryRows = 100;
// A folder of the library is ranked whole, as the library knows its files.
constexpr int kFolderRows = 100000;
// Measures arriving for the folder's rows rank them again at most this often.
constexpr int kRankMs = 150;
constexpr double kLevelWeights[] = {0, 0.5, 1, 2};
const char* const kLevelNames[] = {"&Off", "&Less", "&Normal", "&More"};

/// The first wave file among what a drag carries, as its Linux path; empty when there is none.
std::string draggedWave(const QMimeData* data)
{
    if (!data)
        return {};
    for (const QUrl& url : data->urls()) {
        const QString local = url.toLocalFile();
        if (local.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
            const QByteArray native = QFile::encodeName(local);
            return std::string(native.constData(), size_t(native.size()));
        }
    }
    return {};
}

/// Alt, or Ctrl with Shift, turns a drop of a wave on the list into a search by it; a plain drop is
/// not taken, as before.
bool searchesOnDrop(Qt::KeyboardModifiers held)
{
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    return held.testFlag(Qt::AltModifier) || (held & ctrlShift) == ctrlShift;
}

} // namespace

SimilarSounds::SimilarSounds(WaveListWidget& list, LibraryScope& library, WaveMeasuring& measuring, QLineEdit& box,
                             std::function<std::string(int)> rowFile, std::function<std::string()> folderShown,
                             QWidget* window)
    : QObject(window), list_(list), library_(library), measuring_(measuring), box_(box), rowFile_(std::move(rowFile)),
      folderShown_(std::move(folderShown)), window_(window), moreLikeThis_(new QAction("More &Like This", window)),
      moreLikeFile_(new QAction("More Like This F&ile...", window)), likeMenu_(new QMenu("Like", window)),
      rankTimer_(new QTimer(this))
{
    moreLikeThis_->setObjectName("MoreLikeThisItem");
    moreLikeThis_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    moreLikeThis_->setStatusTip("List the sounds that sound most like the selected one");
    moreLikeThis_->setEnabled(false);
    moreLikeFile_->setObjectName("MoreLikeThisFileItem");
    moreLikeFile_->setStatusTip("List the sounds that sound most like a wave file you choose");
    likeMenu_->setObjectName("LikeMenu");
    likeMenu_->menuAction()->setObjectName("LikeBtn");
    likeMenu_->menuAction()->setToolTip("What More Like This compares, and with what");
    likeMenu_->menuAction()->setStatusTip("How much timbre, pitch and envelope count in More Like This, and "
                                          "what it compares with");
    likeMenu_->addMenu(levelMenu("&Timbre", Timbre));
    likeMenu_->addMenu(levelMenu("&Pitch", Pitch));
    likeMenu_->addMenu(levelMenu("&Envelope", Envelope));
    likeMenu_->addSection("Compare with");
    scopeGroup_ = new QActionGroup(this);
    const char* const scopeNames[] = {"The &library", "The &folder shown", "The &search results"};
    for (int s = Library; s <= Results; ++s) {
        QAction* a = likeMenu_->addAction(scopeNames[s]);
        a->setCheckable(true);
        a->setChecked(s == scope_);
        scopeGroup_->addAction(a);
        connect(a, &QAction::triggered, this, [this, s] { setScope(Scope(s)); });
    }
    rankTimer_->setSingleShot(true);
    rankTimer_->setInterval(kRankMs);
    connect(rankTimer_, &QTimer::timeout, this, &SimilarSounds::rankFolder);

    connect(moreLikeThis_, &QAction::triggered, this, &SimilarSounds::searchBySelected);
    connect(moreLikeFile_, &QAction::triggered, this, &SimilarSounds::chooseFileToSearchBy);
    connect(&list_, &WaveListWidget::changed, this, [this] { moreLikeThis_->setEnabled(list_.selectedRow() >= 0); });
    // Typing goes back to the search typed, and the other scope leaves the sounds alike.
    connect(&box_, &QLineEdit::textChanged, this, &SimilarSounds::end);
    connect(library_.toggle(), &QAction::toggled, this, [this] {
        if (!switching_)
            end();
    });
    WaveListModel* rows = list_.model();
    connect(rows, &QAbstractItemModel::modelReset, this, [this] {
        // The folder listed again (F5, a file deleted) is ranked again; another folder ends the ranking.
        if (mode_ == Mode::Folder && folderShown_() != folder_)
            end();
        else if (mode_ == Mode::Folder)
            rankTimer_->start();
    });
    connect(rows, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
        if (mode_ == Mode::Folder && topLeft.column() != WaveListModel::ColSimilarity && !rankTimer_->isActive())
            rankTimer_->start();
    });
    for (QWidget* viewport : {list_.listView()->viewport(), list_.detailView()->viewport()}) {
        viewport->setAcceptDrops(true);
        viewport->installEventFilter(this);
    }
}

SimilarSounds::~SimilarSounds() = default;

QMenu* SimilarSounds::levelMenu(const QString& title, Kind kind)
{
    auto* menu = new QMenu(title, window_);
    auto* group = new QActionGroup(this);
    for (int l = Off; l <= More; ++l) {
        QAction* a = menu->addAction(kLevelNames[l]);
        a->setCheckable(true);
        a->setChecked(l == levels_[kind]);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, kind, l] { setLevel(kind, Level(l)); });
    }
    levelGroups_[kind] = group;
    return menu;
}

void SimilarSounds::place(QMenu& fileMenu, QAction* beforeInFile, QMenu& editMenu, QMenu& listMenu, QToolBar& filterBar)
{
    fileMenu.insertAction(beforeInFile, moreLikeFile_);
    editMenu.addSeparator();
    editMenu.addAction(moreLikeThis_);
    editMenu.addMenu(likeMenu_);
    listMenu.addAction(moreLikeThis_);
    filterBar.addAction(likeMenu_->menuAction());
    if (auto* button = qobject_cast<QToolButton*>(filterBar.widgetForAction(likeMenu_->menuAction())))
        button->setPopupMode(QToolButton::InstantPopup);
}

library::SimilarityWeights SimilarSounds::weights() const
{
    // Everything off compares nothing: then all counts alike.
    if (std::all_of(levels_.begin(), levels_.end(), [](Level l) { return l == Off; }))
        return {};
    return {kLevelWeights[levels_[Timbre]], kLevelWeights[levels_[Pitch]], kLevelWeights[levels_[Envelope]]};
}

void SimilarSounds::setLevel(Kind kind, Level level)
{
    levels_[kind] = level;
    levelGroups_[kind]->actions().at(level)->setChecked(true);
    request();
}

void SimilarSounds::setScope(Scope scope)
{
    scope_ = scope;
    scopeGroup_->actions().at(scope)->setChecked(true);
    if (active())
        start();
}

void SimilarSounds::searchBySelected()
{
    const int row = list_.selectedRow();
    const std::string file = row < 0 ? std::string() : rowFile_(row);
    if (!file.empty())
        searchBy(file);
}

void SimilarSounds::chooseFileToSearchBy()
{
    const std::string file =
        platform::ChooseFile(platform::handleOf(window_), "More Like This File", "Waves (*.wav *.WAV);;All files (*)");
    if (!file.empty())
        searchBy(file);
}

void SimilarSounds::searchBy(const std::string& drivePath)
{
    const std::optional<std::string> native = platform::existingNativePath(drivePath);
    if (!native) {
        emit notice("The file to compare with is not there any more");
        return;
    }
    path_ = *native;
    name_ = waveCaptionText(drivePath.substr(drivePath.rfind('\\') + 1));
    like_.reset();
    within_ = library_.typed();
    start();
    emit notice("Sounds like " + name_);
}

void SimilarSounds::start()
{
    switching_ = true;
    bool switched = false;
    if (scope_ == Folder) {
        // In the folder's own scope, its rows ranked as the library knows them or by the list's measures.
        mode_ = Mode::Folder;
        folder_ = folderShown_();
        libraryRanks_.clear();
        library_.showOthers(nullptr);
        library_.toggle()->setChecked(false);
        list_.model()->setSimilarities({});
        measuring_.setWanted(true);
    } else {
        mode_ = Mode::Library;
        measuring_.setWanted(false);
        rankTimer_->stop();
        library_.showOthers([this] { request(); });
        // Switching the scope lists the library afresh, which asks for the sounds alike.
        switched = !library_.active();
        library_.toggle()->setChecked(true);
    }
    switching_ = false;
    showColumn(true);
    if (!switched)
        request();
}

void SimilarSounds::request()
{
    if (mode_ == Mode::None)
        return;
    // A folder outside the library is ranked here, once the sound's features are known.
    if (mode_ == Mode::Folder && like_ && libraryRanks_.empty()) {
        rankFolder();
        return;
    }
    if (!search_) {
        search_ = std::make_unique<library::LibrarySearch>();
        connect(search_.get(), &library::LibrarySearch::foundAlike, this, &SimilarSounds::found);
    }
    library::LikenessQuery query;
    query.path = path_;
    query.like = like_;
    query.weights = weights();
    query.within = scope_ == Results ? within_ : QString();
    query.limit = mode_ == Mode::Folder ? kFolderRows : kLibraryRows;
    if (mode_ == Mode::Folder) {
        query.folder = platform::existingNativePath(folder_).value_or(std::string());
        while (query.folder.size() > 1 && query.folder.back() == '/')
            query.folder.pop_back();
    }
    search_->findAlike(++job_, std::move(query));
}

void SimilarSounds::found(quint64 job, const std::optional<library::SoundFeatures>& like,
                          const library::SearchResult& result)
{
    if (job != job_ || mode_ == Mode::None)
        return;
    if (!like) {
        emit notice(name_ + " cannot be compared: it cannot be read as a sound");
        end();
        return;
    }
    like_ = like;
    if (mode_ == Mode::Folder) {
        libraryRanks_.clear();
        for (const library::SearchRow& row : result.rows)
            libraryRanks_[row.name] = row.similarity.value_or(0);
        rankFolder();
        return;
    }
    if (result.failed)
        emit notice("The library cannot be read");
    emit resultsReady(LibraryScope::resultRows(result));
}

void SimilarSounds::rankFolder()
{
    if (mode_ != Mode::Folder || !like_)
        return;
    WaveListModel* rows = list_.model();
    std::vector<std::optional<double>> similarity(size_t(rows->rowCount()));
    if (!libraryRanks_.empty()) {
        for (int r = 0; r < rows->rowCount(); ++r)
            if (const auto it = libraryRanks_.find(rows->fileName(r)); it != libraryRanks_.end())
                similarity[size_t(r)] = it->second;
        rows->setSimilarities(similarity);
        return;
    }
    std::vector<library::SimilarityIndex::Id> ids;
    std::vector<library::SoundFeatures> features;
    for (int r = 0; r < rows->rowCount(); ++r) {
        const WaveRow& row = rows->row(r);
        if (row.analysed && row.measures.features) {
            ids.push_back(r);
            features.push_back(*row.measures.features);
        }
    }
    if (!ids.empty()) {
        const library::SimilarityIndex index(ids, features);
        for (const auto& hit : index.nearest(*like_, weights(), ids.size(), nullptr, true))
            similarity[size_t(hit.id)] = hit.similarity;
    }
    rows->setSimilarities(similarity);
}

void SimilarSounds::end()
{
    if (mode_ == Mode::None)
        return;
    const bool folder = mode_ == Mode::Folder;
    mode_ = Mode::None;
    ++job_;
    rankTimer_->stop();
    measuring_.setWanted(false);
    showColumn(false);
    if (folder)
        list_.model()->setSimilarities({});
    // Left otherwise than by typing: the search typed comes back.
    const bool others = library_.showsOthers();
    library_.showOthers(nullptr);
    if (others && library_.active())
        library_.refresh();
}

void SimilarSounds::showColumn(bool shown)
{
    list_.detailView()->setColumnHidden(WaveListModel::ColSimilarity, !shown);
    if (shown) {
        if (sortBefore_ < 0) {
            sortBefore_ = list_.sortColumn();
            orderBefore_ = list_.sortOrder();
        }
        list_.setSort(WaveListModel::ColSimilarity, Qt::DescendingOrder);
        return;
    }
    if (list_.sortColumn() == WaveListModel::ColSimilarity) {
        const bool hidden = sortBefore_ < 0 || list_.detailView()->isColumnHidden(sortBefore_);
        list_.setSort(hidden ? int(WaveListModel::ColFilename) : sortBefore_,
                      hidden ? Qt::AscendingOrder : Qt::SortOrder(orderBefore_));
    }
    sortBefore_ = -1;
}

bool SimilarSounds::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const std::string file = draggedWave(drop->mimeData());
    // A wave is taken in, so that the moves come: Alt may be pressed on the way. The moves say whether
    // it may be dropped.
    const bool entering = type == QEvent::DragEnter && !file.empty();
    if (!entering && (file.empty() || !searchesOnDrop(drop->modifiers() | QGuiApplication::queryKeyboardModifiers()))) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        // After the drag has ended: reading the file may take a moment.
        const std::string drivePath = platform::drivePathOf(file);
        QTimer::singleShot(0, this, [this, drivePath] { searchBy(drivePath); });
    }
    return true;
}

void SimilarSounds::applySettings(const SettingsRecord& stored)
{
    const std::optional<std::int32_t> levels[] = {stored.likeTimbre, stored.likePitch, stored.likeEnvelope};
    for (int kind = Timbre; kind <= Envelope; ++kind)
        if (levels[kind] && *levels[kind] >= Off && *levels[kind] <= More)
            setLevel(Kind(kind), Level(*levels[kind]));
    if (stored.likeScope && *stored.likeScope >= Library && *stored.likeScope <= Results)
        setScope(Scope(*stored.likeScope));
}

void SimilarSounds::storeSettings(SettingsRecord& record) const
{
    record.likeTimbre = levels_[Timbre];
    record.likePitch = levels_[Pitch];
    record.likeEnvelope = levels_[Envelope];
    record.likeScope = scope_;
    // The order chosen before comes back at the next start, not the likeness of a list gone by then.
    if (list_.sortColumn() == WaveListModel::ColSimilarity && sortBefore_ >= 0) {
        record.sortColumn = WaveListModel::storedSortNumber(sortBefore_);
        record.sortDescending = orderBefore_ == Qt::DescendingOrder;
    }
}
