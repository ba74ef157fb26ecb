// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/LibraryScope.h"

#include "browser/LibraryFoldersDialog.h"
#include "browser/SettingsRecord.h"
#include "browser/WaveRowReading.h"
#include "library/libraryindexer.h"
#include "library/librarylocation.h"
#include "library/librarysearch.h"
#include "platform/files/nativepath.h"
#include "platform/shell/dialogs.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QTimer>
#include <QWidget>

namespace {

// The first answer fills the screen at once; the second brings the rest a user can scroll through.
constexpr int kFirstRows = 200;
constexpr int kAllRows = 20000;
const char* const kNoFoldersHint = "No library folders: add them with File > Library Folders...";

// Changes to the index while the results are shown are gathered this long before searching again.
constexpr int kRefreshMs = 2000;
// The library's change count is looked at this often, for changes written by others.
constexpr int kWatchChangesMs = 1000;

/// The Linux path of a drive path, for the index; empty when it names no place. The last name is
/// kept as given: a file just renamed or removed must not be taken for its twin in another case.
std::string nativeOf(const std::string& drivePath)
{
    const std::size_t slash = drivePath.find_last_of('\\');
    if (slash == std::string::npos)
        return {};
    // A drive's root keeps its separator ("C:\\"), any other folder is named without one.
    const std::optional<std::string> folder =
        platform::existingNativePath(drivePath.substr(0, slash <= 2 ? slash + 1 : slash));
    if (!folder)
        return {};
    const std::string name = drivePath.substr(slash + 1);
    return name.empty() ? *folder : (folder->back() == '/' ? *folder : *folder + '/') + name;
}

} // namespace

LibraryScope::LibraryScope(QWidget* window)
    : QObject(window), window_(window), toggle_(new QAction("Library", window)),
      foldersItem_(new QAction("&Library Folders...", window)), showInFolder_(new QAction("Show in F&older", window)),
      progress_(new QLabel(window)), refreshTimer_(new QTimer(this))
{
    toggle_->setObjectName("LibraryScopeBtn");
    toggle_->setCheckable(true);
    toggle_->setToolTip("Search the whole library instead of this folder");
    toggle_->setStatusTip("Search the files of every library folder instead of the folder shown");
    foldersItem_->setObjectName("LibraryFoldersItem");
    foldersItem_->setStatusTip("Choose the folders the library holds, and index them again");
    showInFolder_->setObjectName("ShowInFolderItem");
    showInFolder_->setStatusTip("Show the selected result in its folder");
    progress_->setObjectName("LibraryProgress");
    progress_->hide();
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        if (keepResults && keepResults())
            refreshTimer_->start();
        else {
            refresh();
            timedRefresh_ = true;
        }
    });
    connect(toggle_, &QAction::toggled, this, [this](bool library) {
        if (library)
            startIndexing();
        emit scopeChanged(library);
    });
    connect(foldersItem_, &QAction::triggered, this, &LibraryScope::showFoldersDialog);
}

LibraryScope::~LibraryScope() = default;

bool LibraryScope::active() const
{
    return toggle_->isChecked();
}

void LibraryScope::startIndexing()
{
    if (indexer_)
        return;
    search_ = std::make_unique<library::LibrarySearch>();
    connect(search_.get(), &library::LibrarySearch::found, this, &LibraryScope::found);
    connect(search_.get(), &library::LibrarySearch::notice, this, &LibraryScope::notice);
    // What another program or another machine writes to the library shows as it would after a pass.
    connect(search_.get(), &library::LibrarySearch::changedElsewhere, this, [this] {
        if (active() && !refreshTimer_->isActive())
            refreshTimer_->start();
    });
    search_->watchChanges(kWatchChangesMs);
    indexer_ = new library::LibraryIndexer(library::LibraryIndexer::Options{}, this);
    connect(indexer_, &library::LibraryIndexer::progress, this, &LibraryScope::showProgress);
    connect(indexer_, &library::LibraryIndexer::measuringIdle, this, [this] { showProgress(0, 0, 0); });
    connect(indexer_, &library::LibraryIndexer::notice, this, &LibraryScope::notice);
    connect(indexer_, &library::LibraryIndexer::needsConfirmation, this, &LibraryScope::confirmMissing);
    connect(indexer_, &library::LibraryIndexer::changed, this, [this] {
        if (active() && !refreshTimer_->isActive())
            refreshTimer_->start();
    });
    // A shared library is indexed by `tonfolio --index` next to its files; a window only searches it
    // and tells it about its own renames and moves.
    if (!library::libraryLocation().isShared())
        indexer_->start();
}

QString LibraryScope::emptyHint() const
{
    return noFolders_ ? kNoFoldersHint : "No waves found";
}

library::LibraryIndexer* LibraryScope::indexer()
{
    startIndexing();
    return indexer_;
}

void LibraryScope::search(const QString& typed)
{
    typed_ = typed;
    others_ = nullptr;
    if (!active())
        return;
    startIndexing();
    refreshTimer_->stop();
    timedRefresh_ = false;
    // A newer job makes every answer to an older one moot, and one not yet started is never run.
    firstRows_ = true;
    search_->search(++job_, typed, {}, kFirstRows);
}

void LibraryScope::refresh()
{
    if (others_ && active())
        others_();
    else
        search(typed_);
}

void LibraryScope::showOthers(std::function<void()> refresh)
{
    if (!refresh && !others_)
        return; // the typed search's rows are shown, or on their way
    others_ = std::move(refresh);
    // An answer to the typed search still on its way no longer has a place in the list.
    ++job_;
    refreshTimer_->stop();
}

void LibraryScope::found(quint64 job, const library::SearchResult& result, const QStringList& problems)
{
    if (job != job_ || !active())
        return;
    // A row was selected (or a sound started) while the index was searched again on its own: the rows
    // stay as they are, and are searched again later.
    if (timedRefresh_ && keepResults && keepResults()) {
        refreshTimer_->start();
        return;
    }
    const QString problem = result.failed ? QString() : problems.join("; ");
    if (problem != problemShown_ && !problemShown_.isEmpty())
        emit noticeWithdrawn(problemShown_);
    problemShown_ = problem;
    if (result.failed)
        emit notice("The library cannot be read");
    else if (!problem.isEmpty())
        emit notice(problem);
    if (result.noFolders && !noFolders_)
        emit notice(kNoFoldersHint);
    noFolders_ = result.noFolders;
    const bool complete = !firstRows_ || !result.more;
    emit resultsReady(resultRows(result), complete);
    if (!complete) {
        firstRows_ = false;
        search_->search(job_, typed_, {}, kAllRows);
    }
}

std::vector<WaveRow> LibraryScope::resultRows(const library::SearchResult& result)
{
    std::vector<WaveRow> rows;
    rows.reserve(result.rows.size());
    for (const library::SearchRow& found : result.rows) {
        // A row is acted on by its drive path, as every row of the list is.
        const std::string folder = platform::drivePathOf(found.folderPath());
        if (folder.empty())
            continue;
        WaveRow row = listedRow(found.name, found.size);
        TWaveInfo info;
        info.Valid = found.header.read;
        info.FormatTag = found.header.formatTag;
        info.Channels = found.header.channels;
        info.BitsPerSample = found.header.bits;
        info.SamplesPerSec = found.header.rate;
        info.Length = found.header.seconds;
        HeaderTexts header = headerTextsOf(info);
        header.description = found.header.description;
        header.loops = found.header.loops;
        takeHeader(row, std::move(header));
        row.folder = folder.back() == '\\' ? folder : folder + '\\';
        row.folderText = waveCaptionText(row.folder.substr(0, row.folder.size() - 1));
        if (found.availability == library::Availability::Offline)
            row.folderText += " (offline)";
        row.favourite = found.favourite;
        row.similarity = found.similarity;
        if (found.measures && found.measures->decoded) {
            row.analysed = true;
            row.measures.loudness = found.measures->loudness;
            row.measures.peak = found.measures->peak;
            row.measures.tempo = found.measures->tempo;
            row.measures.pitch = found.measures->pitch;
            row.measures.key = found.measures->key;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void LibraryScope::showProgress(qint64 files, qint64 foldersLeft, qint64 toMeasure)
{
    const QLocale locale;
    QString text;
    if (foldersLeft > 0)
        text = QStringLiteral("Indexing: %1 files, %2 folders left")
                   .arg(locale.toString(files), locale.toString(foldersLeft));
    else if (toMeasure > 0)
        text = QStringLiteral("Measuring the library: %1 files left").arg(locale.toString(toMeasure));
    progress_->setText(text);
    progress_->setVisible(!text.isEmpty());
}

void LibraryScope::confirmMissing(qint64 root, qint64 missing, qint64 files)
{
    // Most files gone at once is almost always a drive or share that is not there: kept unless told.
    const QString text = QStringLiteral("%1 of the %2 files of a library folder are missing.\r"
                                        "Remove them from the library?\r"
                                        "(Choose No if a drive or share is not connected.)")
                             .arg(QLocale().toString(missing), QLocale().toString(files));
    const QByteArray bytes = text.toUtf8();
    const int answer = platform::MessageBox(platform::handleOf(window_), std::string(bytes.constData()), "Library",
                                            platform::MB_YESNO | platform::MB_ICONQUESTION);
    indexer_->confirmMissing(root, answer == platform::IDYES);
}

void LibraryScope::showFoldersDialog()
{
    LibraryFoldersDialog dialog(*indexer(), window_);
    dialog.exec();
}

void LibraryScope::applySettings(const SettingsRecord& stored)
{
    toggle_->setChecked(stored.libraryScope.value_or(false));
}

void LibraryScope::storeSettings(SettingsRecord& record) const
{
    record.libraryScope = active();
}

void LibraryScope::noteRenamed(const std::string& from, const std::string& to)
{
    if (indexer_)
        indexer_->noteRenamed(nativeOf(from), nativeOf(to));
    emit fileChanged(nativeOf(from), nativeOf(to));
}

void LibraryScope::noteMoved(const std::string& from, const std::string& toFolder)
{
    if (indexer_)
        indexer_->noteMoved(nativeOf(from), nativeOf(toFolder));
    const std::string native = nativeOf(from), folder = nativeOf(toFolder);
    if (!native.empty() && !folder.empty())
        emit fileChanged(native, (folder.back() == '/' ? folder : folder + '/') + native.substr(native.rfind('/') + 1));
}

void LibraryScope::noteCopied(const std::string& toFolder)
{
    if (indexer_)
        indexer_->noteFolderChanged(nativeOf(toFolder));
}

void LibraryScope::noteRemoved(const std::string& path)
{
    if (indexer_)
        indexer_->noteRemoved(nativeOf(path));
    emit fileChanged(nativeOf(path), {});
}
