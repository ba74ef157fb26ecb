// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filter box's scope: this folder, or the whole library. In library scope what is typed searches
// the library index on a thread of its own and the list shows the matching files of every library
// folder, with their folder; the index is kept by the indexer, which also hears of the changes the
// window makes to files.

#include "browser/WaveListModel.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QTimer;
class QWidget;
struct SettingsRecord;
namespace library {
class LibraryIndexer;
class LibrarySearch;
struct SearchResult;
} // namespace library

class LibraryScope : public QObject {
    Q_OBJECT
public:
    /// Messages and dialogs are owned by `window`.
    explicit LibraryScope(QWidget* window);
    ~LibraryScope() override;

    /// The scope toggle beside the filter box: checked for the whole library.
    QAction* toggle() const { return toggle_; }
    /// File > Library Folders...
    QAction* foldersItem() const { return foldersItem_; }
    /// File > Show in Folder: a result's folder and row, in the folder's own scope.
    QAction* showInFolderItem() const { return showInFolder_; }
    /// Indexing progress for the status bar ("Indexing: 41,200 files, 3 folders left"); hidden when idle.
    QLabel* progressLabel() const { return progress_; }
    bool active() const;
    /// What the list says when a search found nothing: that it found nothing, or that the library has
    /// no folders yet and how to add them.
    QString emptyHint() const;

    /// Searches the library for what was typed (the filter box's text); nothing outside library scope.
    /// A search still waiting is dropped; the first rows come at once, the rest with a second answer.
    void search(const QString& typed);
    /// Searches again for the text last typed (after a change to the files shown).
    void refresh();
    /// The text last typed.
    QString typed() const { return typed_; }
    /// While set, the list shows another search's rows (the sounds most like one): a refresh asks it
    /// instead, and the next text typed ends it. Empty: the typed search's rows again.
    void showOthers(std::function<void()> refresh);
    bool showsOthers() const { return bool(others_); }
    /// Starts the indexer (and its watches) if it is not running yet.
    void startIndexing();
    library::LibraryIndexer* indexer();

    void applySettings(const SettingsRecord& stored);
    void storeSettings(SettingsRecord& record) const;

    // Changes the window made to files (drive paths), in the index at once.
    void noteRenamed(const std::string& from, const std::string& to);
    void noteMoved(const std::string& from, const std::string& toFolder);
    void noteRemoved(const std::string& path);
    /// A file was copied into the folder.
    void noteCopied(const std::string& toFolder);

    /// While this says so (a row selected, a sound playing), a change to the index does not replace the
    /// results shown; they are searched again once it no longer does.
    std::function<bool()> keepResults;

    /// The rows of a search result as the list shows them.
    static std::vector<WaveRow> resultRows(const library::SearchResult& result);

signals:
    /// The scope was switched.
    void scopeChanged(bool library);
    /// New results for the text last typed; `complete` when no more rows follow for it.
    void resultsReady(const std::vector<WaveRow>& rows, bool complete);
    void notice(const QString& text);
    /// A notice given before no longer holds (the query's problem was mended as it was typed on).
    void noticeWithdrawn(const QString& text);
    /// A file the window renamed or moved (Linux paths), or deleted (to empty): its marks go along.
    void fileChanged(const std::string& from, const std::string& to);

private:
    void found(quint64 job, const library::SearchResult& result, const QStringList& problems);
    void confirmMissing(qint64 root, qint64 missing, qint64 files);
    void showProgress(qint64 files, qint64 foldersLeft, qint64 toMeasure);
    void showFoldersDialog();

    QWidget* window_;
    QAction* toggle_;
    QAction* foldersItem_;
    QAction* showInFolder_;
    QLabel* progress_;
    QTimer* refreshTimer_;
    std::unique_ptr<library::LibrarySearch> search_;
    library::LibraryIndexer* indexer_ = nullptr;
    quint64 job_ = 0;
    bool firstRows_ = false; ///< the answer awaited is the first rows of job_
    bool noFolders_ = false; ///< the last answer found the library without folders
    bool timedRefresh_ = false; ///< the search awaited follows changes to the index, not the user
    QString typed_;
    QString problemShown_; ///< the problems of the query last told, empty when there were none
    std::function<void()> others_;
};
