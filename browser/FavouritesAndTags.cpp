// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/FavouritesAndTags.h"

#include "browser/TagsDialog.h"
#include "browser/WaveListWidget.h"
#include "browser/WriteTagsCommand.h"
#include "library/librarylocation.h"
#include "library/markskeeper.h"
#include "library/sqlitelibrarystore.h"
#include "platform/files/fileidentity.h"
#include "platform/files/nativepath.h"
#include "waves/WaveKeywords.h"

#include <QAbstractItemView>
#include <QAction>
#include <QContextMenuEvent>
#include <QListView>
#include <QMenu>
#include <QTreeView>
#include <QWidget>
#include <algorithm>

namespace {

/// A folder's Linux path without its trailing '/' (but "/" itself), as the marks name folders.
std::string nativeFolder(const std::string& drivePath)
{
    std::optional<std::string> native = platform::existingNativePath(drivePath);
    if (!native)
        return {};
    while (native->size() > 1 && native->back() == '/')
        native->pop_back();
    return *native;
}

using MarkedPath = FavouritesAndTags::MarkedPath;

} // namespace

FavouritesAndTags::FavouritesAndTags(WaveListWidget& list, std::function<std::string()> folder,
                                     std::function<std::string(int)> rowFile, QWidget* window)
    : QObject(window), list_(list), folder_(std::move(folder)), rowFile_(std::move(rowFile)),
      favourite_(new QAction("&Favourite", window)), tags_(new QAction("&Tags...", window)), menu_(new QMenu(window))
{
    favourite_->setObjectName("FavouriteItem");
    favourite_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    favourite_->setStatusTip("Star the selected file as a favourite, or take its star away");
    tags_->setObjectName("TagsItem");
    tags_->setStatusTip("Give the selected file tags to find it by");
    menu_->setObjectName("WaveListMenu");
    menu_->addAction(favourite_);
    menu_->addAction(tags_);
    connect(favourite_, &QAction::triggered, this, &FavouritesAndTags::toggleFavourite);
    connect(tags_, &QAction::triggered, this, &FavouritesAndTags::editTags);
    selectedRows = [this] {
        const int row = list_.selectedRow();
        return row < 0 ? std::vector<int>() : std::vector<int>{row};
    };
    for (QWidget* view : {static_cast<QWidget*>(list_.listView()), static_cast<QWidget*>(list_.detailView())})
        view->installEventFilter(this);
    keeper_ = new library::MarksKeeper(
        [](bool make) -> std::unique_ptr<library::LibraryStore> {
            // A local library that was never made is not made just to look for marks; a shared one is there.
            if (!make && !library::libraryLocation().isShared() &&
                !platform::entryIdentity(library::SqliteLibraryStore::defaultFile()))
                return nullptr;
            return library::openLibraryStore();
        },
        this);
    connect(keeper_, &library::MarksKeeper::notice, this, &FavouritesAndTags::notice);
    connect(keeper_, &library::MarksKeeper::stored, this, &FavouritesAndTags::showMarks);
    connect(keeper_, &library::MarksKeeper::failed, this,
            [this](const std::string& path, const library::FileMarks& before, const QString& why) {
                const auto it = writing_.find(path);
                const QString what = it == writing_.end() ? QString("marks") : it->second.second;
                emit notice(QString("The %1 of %2 could not be saved: %3")
                                .arg(what, QString::fromStdString(path.substr(path.rfind('/') + 1)), why));
                showMarks(path, before);
            });
    connect(keeper_, &library::MarksKeeper::folderRead, this,
            [this](const std::string& folder, const std::map<std::string, library::FileMarks>& marks) {
                WaveListModel* rows = list_.model();
                // Only for the folder still listed, and not over library results, which came with their stars.
                if (rows->rowCount() == 0 || !rows->row(0).folder.empty() || nativeFolder(folder_()) != folder)
                    return;
                std::map<std::string, std::pair<bool, QStringList>> byName;
                for (const auto& [name, m] : marks)
                    byName[name] = {m.favourite, m.tags};
                rows->setMarksOf(byName);
            });
}

FavouritesAndTags::~FavouritesAndTags() = default;

bool FavouritesAndTags::eventFilter(QObject* watched, QEvent* event)
{
    // Only from the keyboard: a right click already means Stop in this list.
    if (event->type() == QEvent::ContextMenu) {
        auto* e = static_cast<QContextMenuEvent*>(event);
        if (e->reason() == QContextMenuEvent::Keyboard) {
            updateCommands();
            auto* view = static_cast<QAbstractItemView*>(watched);
            const QRect cell = view->visualRect(view->currentIndex());
            menu_->popup(view->viewport()->mapToGlobal(cell.isValid() ? cell.center() : QPoint()));
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QAction* FavouritesAndTags::addWriteTags(PlaybackSequence& playback)
{
    auto selectedFile = [this] {
        const int row = list_.selectedRow();
        return row < 0 ? std::string() : rowFile_(row);
    };
    writeTags_ = new WriteTagsCommand(playback, selectedFile, static_cast<QWidget*>(parent()));
    // The tags the library keeps are read behind the window, then written into the file.
    writeTags_->setTagsOf([this](const std::string& f) {
        return f == tagsRead_.first && !tagsRead_.second.isEmpty() ? tagsRead_.second : keywordsOf(f);
    });
    disconnect(writeTags_->action(), &QAction::triggered, writeTags_, &WriteTagsCommand::run);
    connect(writeTags_->action(), &QAction::triggered, this, [this, selectedFile] {
        const std::string file = selectedFile();
        const std::optional<std::string> native = file.empty() ? std::nullopt : platform::existingNativePath(file);
        keeper_->request(
            [this, file, native](library::LibraryStore* s) {
                return [this, file, tags = s && native ? s->marksOf(*native).tags : QStringList()] {
                    tagsRead_ = {file, tags};
                    writeTags_->run();
                };
            },
            false);
    });
    return writeTags_->action();
}

QAction* FavouritesAndTags::writeTagsItem() const
{
    return writeTags_ ? writeTags_->action() : nullptr;
}

void FavouritesAndTags::updateCommands()
{
    const bool any = !selectedRows().empty();
    favourite_->setEnabled(any);
    tags_->setEnabled(any);
}

namespace {

std::vector<MarkedPath> pathsOf(const std::vector<int>& rows, const std::function<std::string(int)>& rowFile)
{
    std::vector<MarkedPath> out;
    for (const int row : rows) {
        const std::string file = rowFile(row);
        const std::optional<std::string> native = file.empty() ? std::nullopt : platform::existingNativePath(file);
        const std::optional<platform::FileIdentity> identity = native ? platform::fileIdentity(*native) : std::nullopt;
        if (identity)
            out.push_back({row, *native, *identity});
    }
    return out;
}

} // namespace

void FavouritesAndTags::writing(int row, const std::string& path, bool favourite, const QStringList& tags,
                                const QString& what)
{
    writing_[path] = {row, what};
    list_.model()->setMarks(row, favourite, tags);
}

void FavouritesAndTags::showMarks(const std::string& path, const library::FileMarks& marks)
{
    const auto it = writing_.find(path);
    if (it == writing_.end())
        return;
    const int row = it->second.first;
    if (!keeper_->busy())
        writing_.clear();
    // The list may show another folder by now: only a row still of this file is changed.
    const std::string file = row < list_.model()->rowCount() ? rowFile_(row) : std::string();
    if (!file.empty() && platform::existingNativePath(file) == path)
        list_.model()->setMarks(row, marks.favourite, marks.tags);
}

void FavouritesAndTags::toggleFavourite()
{
    const std::vector<MarkedPath> files = pathsOf(selectedRows(), rowFile_);
    bool all = !files.empty();
    for (const MarkedPath& f : files)
        all = all && list_.model()->row(f.row).favourite;
    for (const MarkedPath& f : files) {
        const WaveRow& row = list_.model()->row(f.row);
        const library::FileMarks shown{row.favourite, row.tags};
        writing(f.row, f.path, !all, row.tags, "favourite");
        keeper_->setFavourite(f.path, f.identity, !all, shown);
    }
}

void FavouritesAndTags::editTags()
{
    const std::vector<MarkedPath> files = pathsOf(selectedRows(), rowFile_);
    if (files.empty())
        return;
    // The files' tags as stored now (library results come without theirs) are read behind the window;
    // the dialog opens when they are there.
    keeper_->request(
        [this, files](library::LibraryStore* s) {
            std::vector<QStringList> own;
            for (const MarkedPath& f : files)
                own.push_back(s ? s->marksOf(f.path).tags : QStringList());
            return [this, files, own, known = s ? s->allTags() : QStringList()] { askTags(files, own, known); };
        },
        false);
}

void FavouritesAndTags::askTags(const std::vector<MarkedPath>& files, const std::vector<QStringList>& own,
                                const QStringList& known)
{
    // Rows listed anew meanwhile are left alone.
    for (const MarkedPath& f : files)
        if (f.row >= list_.model()->rowCount() || platform::existingNativePath(rowFile_(f.row)) != f.path)
            return;
    QStringList common = own.front();
    for (const QStringList& tags : own)
        common.erase(std::remove_if(common.begin(), common.end(),
                                    [&](const QString& t) { return !tags.contains(t, Qt::CaseInsensitive); }),
                     common.end());
    TagsDialog dialog(common, known, int(files.size()), static_cast<QWidget*>(parent()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList typed = dialog.tags();
    // Only the change typed is written: tags another window or user of a shared library gave the files
    // meanwhile stay.
    QStringList removed;
    for (const QString& tag : common)
        if (!typed.contains(tag, Qt::CaseInsensitive))
            removed << tag;
    for (size_t i = 0; i < files.size(); ++i) {
        const MarkedPath& f = files[i];
        const bool favourite = list_.model()->row(f.row).favourite;
        writing(f.row, f.path, favourite, TagsDialog::edited(own[i], common, typed), "tags");
        keeper_->changeTags(f.path, f.identity, typed, removed, {favourite, own[i]});
    }
}

void FavouritesAndTags::loadMarks()
{
    WaveListModel* rows = list_.model();
    if (rows->rowCount() == 0 || !rows->row(0).folder.empty())
        return; // library results came with their stars
    if (const std::string folder = nativeFolder(folder_()); !folder.empty())
        keeper_->readFolder(folder);
}

void FavouritesAndTags::followFile(const std::string& from, const std::string& to)
{
    if (!from.empty())
        keeper_->followMarks(from, to);
}
