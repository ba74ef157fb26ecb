// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/FavouritesAndTags.h"

#include "browser/TagsDialog.h"
#include "browser/WaveListWidget.h"
#include "browser/WriteTagsCommand.h"
#include "library/librarylocation.h"
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

/// A file's Linux path and identity, from its drive path.
struct MarkedPath {
    int row = -1;
    std::string path;
    platform::FileIdentity identity;
};

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
}

FavouritesAndTags::~FavouritesAndTags() = default;

library::LibraryStore* FavouritesAndTags::store(bool make)
{
    // A local library that was never made is not made just to look for marks; a shared one is there.
    if (!make && !triedStore_ && !library::libraryLocation().isShared() &&
        !platform::entryIdentity(library::SqliteLibraryStore::defaultFile()))
        return nullptr;
    if (!triedStore_) {
        triedStore_ = true;
        store_ = library::openLibraryStore();
        if (const QString told = store_->takeNotice(); !told.isEmpty())
            emit notice(told);
        if (!store_->isOpen())
            store_.reset();
    }
    return store_.get();
}

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
    writeTags_->setTagsOf([this](const std::string& file) {
        const std::optional<std::string> native = platform::existingNativePath(file);
        library::LibraryStore* marks = native ? store(false) : nullptr;
        const QStringList tags = marks ? marks->marksOf(*native).tags : QStringList();
        return tags.isEmpty() ? keywordsOf(file) : tags;
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
        const std::optional<platform::FileIdentity> identity =
            native ? platform::fileIdentity(*native) : std::nullopt;
        if (identity)
            out.push_back({row, *native, *identity});
    }
    return out;
}

} // namespace

void FavouritesAndTags::toggleFavourite()
{
    const std::vector<MarkedPath> files = pathsOf(selectedRows(), rowFile_);
    library::LibraryStore* marks = files.empty() ? nullptr : store();
    if (!marks)
        return;
    bool all = true;
    for (const MarkedPath& f : files)
        all = all && list_.model()->row(f.row).favourite;
    for (const MarkedPath& f : files) {
        if (!marks->setFavourite(f.path, f.identity, !all)) {
            const QString why = marks->takeNotice(); // a shared library says why (a role that may only read)
            emit notice(why.isEmpty() ? "The favourite cannot be stored: the library cannot be written" : why);
            return;
        }
        list_.model()->setMarks(f.row, !all, list_.model()->row(f.row).tags);
    }
}

void FavouritesAndTags::editTags()
{
    const std::vector<MarkedPath> files = pathsOf(selectedRows(), rowFile_);
    library::LibraryStore* marks = files.empty() ? nullptr : store();
    if (!marks)
        return;
    std::vector<QStringList> own;
    QStringList common;
    for (const MarkedPath& f : files) {
        own.push_back(marks->marksOf(f.path).tags);
        if (own.size() == 1)
            common = own.back();
        else
            common.erase(std::remove_if(common.begin(), common.end(),
                                        [&](const QString& t) { return !own.back().contains(t, Qt::CaseInsensitive); }),
                         common.end());
    }
    TagsDialog dialog(common, marks->allTags(), int(files.size()), static_cast<QWidget*>(parent()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList typed = dialog.tags();
    // Only the change typed is written: tags another window or user of a shared library gave the files
    // meanwhile stay.
    QStringList removed;
    for (const QString& tag : common)
        if (!typed.contains(tag, Qt::CaseInsensitive))
            removed << tag;
    for (const MarkedPath& f : files) {
        if (!marks->changeTags(f.path, f.identity, typed, removed)) {
            const QString why = marks->takeNotice(); // a shared library says why (a role that may only read)
            emit notice(why.isEmpty() ? "The tags cannot be stored: the library cannot be written" : why);
            return;
        }
        // As stored: in the order of their folded texts.
        list_.model()->setMarks(f.row, list_.model()->row(f.row).favourite, marks->marksOf(f.path).tags);
    }
}

void FavouritesAndTags::loadMarks()
{
    WaveListModel* rows = list_.model();
    if (rows->rowCount() == 0 || !rows->row(0).folder.empty())
        return; // library results came with their stars
    const std::string folder = nativeFolder(folder_());
    library::LibraryStore* marks = folder.empty() ? nullptr : store(false);
    if (!marks)
        return;
    std::map<std::string, std::pair<bool, QStringList>> byName;
    for (const auto& [name, m] : marks->marksIn(folder))
        byName[name] = {m.favourite, m.tags};
    rows->setMarksOf(byName);
}

void FavouritesAndTags::followFile(const std::string& from, const std::string& to)
{
    library::LibraryStore* marks = from.empty() ? nullptr : store(false);
    if (marks && !(to.empty() ? marks->forgetMarks(from) : marks->followMarks(from, to)))
        emit notice("The favourites and tags of a file cannot be kept: the library cannot be written");
}
