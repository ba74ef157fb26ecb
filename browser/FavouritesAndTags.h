// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's favourites and tags in the window: the star of the selected files (Ctrl+D), Edit > Tags...,
// the list's context menu with both, and the marks of the rows listed, from the library database, so that
// the Favourite column and the filter's tag: and fav: know them.

#include "platform/files/fileidentity.h"

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class PlaybackSequence;
class QAction;
class WriteTagsCommand;
class QMenu;
class QWidget;
class WaveListWidget;
namespace library {
class MarksKeeper;
struct FileMarks;
} // namespace library

class FavouritesAndTags : public QObject {
    Q_OBJECT
public:
    /// A file the commands act on: its row, its Linux path and its identity.
    struct MarkedPath {
        int row = -1;
        std::string path;
        platform::FileIdentity identity;
    };

    /// folder: the drive path of the folder listed ("?" while the list holds library results); rowFile:
    /// a row's file as the disk spells it (a drive path; empty when it names nothing now).
    FavouritesAndTags(WaveListWidget& list, std::function<std::string()> folder,
                      std::function<std::string(int)> rowFile, QWidget* window);
    ~FavouritesAndTags() override;

    /// Edit > Favourite (Ctrl+D): stars the selected files, or takes the star away when they all have one.
    QAction* favouriteItem() const { return favourite_; }
    /// Edit > Tags...
    QAction* tagsItem() const { return tags_; }
    /// Makes Edit > Write Tags into File, which writes the tags the library keeps for the selected file
    /// (a file the library has none for keeps its own keywords); `playback` tells which file sounds.
    QAction* addWriteTags(PlaybackSequence& playback);
    /// Write Tags into File, once made.
    QAction* writeTagsItem() const;
    /// The list's context menu (the Menu key, Shift+F10): a right click stops the sound, as it always did.
    QMenu* contextMenu() const { return menu_; }

    /// The rows the commands act on; the list's selected row unless set.
    std::function<std::vector<int>()> selectedRows;

    void toggleFavourite();
    void editTags();
    /// The rows listed get their marks: those of the folder listed (as soon as they are read), or the
    /// stars of library results.
    void loadMarks();
    /// The window renamed or moved a file (Linux paths), or deleted it (to empty): its marks follow it.
    void followFile(const std::string& from, const std::string& to);
    /// Enables the commands by the selection.
    void updateCommands();

signals:
    void notice(const QString& text);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// A write landed or failed: the file's row, if the list still shows it there, shows these marks.
    void showMarks(const std::string& path, const library::FileMarks& marks);
    /// Edit > Tags... once the files' tags (own, in their order) and every tag in use (known) are read.
    void askTags(const std::vector<MarkedPath>& files, const std::vector<QStringList>& own, const QStringList& known);
    /// The change is shown at once and written behind: remembers the row and what changed.
    void writing(int row, const std::string& path, bool favourite, const QStringList& tags, const QString& what);

    WaveListWidget& list_;
    std::function<std::string()> folder_;
    std::function<std::string(int)> rowFile_;
    QAction* favourite_;
    QAction* tags_;
    WriteTagsCommand* writeTags_ = nullptr;
    QMenu* menu_;
    library::MarksKeeper* keeper_;
    /// The row each file waiting for a write was shown in, and what was written.
    std::map<std::string, std::pair<int, QString>> writing_;
    std::pair<std::string, QStringList> tagsRead_; ///< a file's tags read for Write Tags into File
};
