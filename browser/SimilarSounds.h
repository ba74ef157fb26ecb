// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// More Like This: the list shows the sounds most like one sound (the selected row's file, a file chosen
// or dropped with Alt), nearest first with a Similarity column. Compared with the library, or the
// library's search results, in library scope; with the folder shown in the folder's scope, as the
// library knows its files or, outside the library, by the list's own measures. How much timbre, pitch
// and envelope count is the user's choice, kept in the settings.

#include "library/soundfeatures.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class LibraryScope;
class QAction;
class QActionGroup;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class QWidget;
class WaveListWidget;
class WaveMeasuring;
struct SettingsRecord;
struct WaveRow;
namespace library {
class LibrarySearch;
struct SearchResult;
} // namespace library

class SimilarSounds : public QObject {
    Q_OBJECT
public:
    /// What the sound is compared with.
    enum Scope { Library, Folder, Results };
    /// How much a kind of likeness counts; the levels' weights are 0, 0.5, 1 and 2.
    enum Level { Off, Less, Normal, More };
    enum Kind { Timbre, Pitch, Envelope };

    /// rowFile: a row's file as the disk spells it (a drive path; empty when it names nothing now);
    /// folderShown: the folder the tree shows, as the disk spells it; box: the filter box.
    SimilarSounds(WaveListWidget& list, LibraryScope& library, WaveMeasuring& measuring, QLineEdit& box,
                  std::function<std::string(int)> rowFile, std::function<std::string()> folderShown, QWidget* window);
    ~SimilarSounds() override;

    /// Puts the commands in the window: Edit > More Like This (Ctrl+M), File > More Like This File...,
    /// the list's context menu and the "Like" menu on the filter bar.
    void place(QMenu& fileMenu, QAction* beforeInFile, QMenu& editMenu, QMenu& listMenu, QToolBar& filterBar);
    QAction* moreLikeThisItem() const { return moreLikeThis_; }
    QAction* moreLikeFileItem() const { return moreLikeFile_; }
    /// The Like menu: the weights and the scope.
    QMenu* likeMenu() const { return likeMenu_; }

    /// Shows the sounds most like this file (a drive path).
    void searchBy(const std::string& drivePath);
    void searchBySelected();
    /// File > More Like This File...
    void chooseFileToSearchBy();
    /// Whether the list shows sounds alike now.
    bool active() const { return mode_ != Mode::None; }
    /// Leaves the sounds alike: the column hides and the order chosen before comes back.
    void end();

    void setLevel(Kind kind, Level level);
    Level level(Kind kind) const { return levels_[kind]; }
    void setScope(Scope scope);
    Scope scope() const { return scope_; }
    library::SimilarityWeights weights() const;

    void applySettings(const SettingsRecord& stored);
    /// The weights and scope; while the list is ordered by likeness, the order chosen before it too
    /// (call after the list's order is stored).
    void storeSettings(SettingsRecord& record) const;

signals:
    /// The rows of the library most like the sound, for the list in library scope.
    void resultsReady(const std::vector<WaveRow>& rows);
    void notice(const QString& text);

private:
    enum class Mode { None, Library, Folder };
    void start();
    void request();
    void found(quint64 job, const std::optional<library::SoundFeatures>& like, const library::SearchResult& result);
    /// The folder's rows get their likeness: the library's, or from their measured features.
    void rankFolder();
    void showColumn(bool shown);
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* levelMenu(const QString& title, Kind kind);

    WaveListWidget& list_;
    LibraryScope& library_;
    WaveMeasuring& measuring_;
    QLineEdit& box_;
    std::function<std::string(int)> rowFile_;
    std::function<std::string()> folderShown_;
    QWidget* window_;
    QAction* moreLikeThis_;
    QAction* moreLikeFile_;
    QMenu* likeMenu_;
    std::array<QActionGroup*, 3> levelGroups_{};
    QActionGroup* scopeGroup_ = nullptr;
    QTimer* rankTimer_;
    std::unique_ptr<library::LibrarySearch> search_;

    std::array<Level, 3> levels_{Normal, Normal, Normal};
    Scope scope_ = Library;
    Mode mode_ = Mode::None;
    quint64 job_ = 0;
    std::string path_; ///< the sound's Linux path
    QString name_;     ///< its name as told in the status bar
    std::optional<library::SoundFeatures> like_;
    QString within_;     ///< the library query typed when the search began
    std::string folder_; ///< the folder ranked, as the disk spells it
    /// The likeness of the folder's files as the library knows them, by name; empty for a folder
    /// outside the library, ranked by the list's own measures.
    std::unordered_map<std::string, double> libraryRanks_;
    int sortBefore_ = -1;
    int orderBefore_ = 0;
    bool switching_ = false; ///< the scope is being switched by this object
};
