// SPDX-License-Identifier: GPL-3.0-or-later
// The library in the window, over a generated library on a temporary drive: the filter box in library
// scope lists the files of every library folder with their folder, and the commands act on a result row
// as on a row of the folder shown, the index following what they change; More Like This lists the sounds
// most like one, nearest first.
#include "browser/LibraryFoldersDialog.h"
#include "browser/SettingsRecord.h"
#include "browser/SimilarSounds.h"
#include "browserfixture.h"
#include "library/librarycommands.h"
#include "library/libraryfolders.h"
#include "library/soundkinds.h"
#include "library/sqlitelibrarystore.h"
#include "platform/files/fileidentity.h"
#include "support/shellfixture.h"
#include "waves/WaveKeywords.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <functional>

using namespace browser_testing;
using namespace platform;

namespace {

class LibraryInWindow : public BrowserTest {
protected:
    /// The files the index finds for a query, as "folder/name" relative to their library folder.
    QStringList indexed(const QString& typed)
    {
        library::SqliteLibraryStore store;
        QStringList out;
        for (const library::SearchRow& row : store.search(library::SearchQuery::parse(typed), {}, 100).rows)
            out << QString::fromStdString(row.folder + "/" + row.name);
        out.sort();
        return out;
    }
    /// The list's rows as "caption | folder", in the list's order.
    QStringList shown()
    {
        QStringList out;
        WaveListWidget* list = ui(form()).WaveList;
        for (int place = 0; place < list->visibleRowCount(); ++place) {
            const WaveRow& row = list->model()->row(list->visibleRow(place));
            out << row.caption + " | " + row.folderText;
        }
        return out;
    }
    /// Types a query in library scope and waits for the rows it should bring.
    bool search(const QString& typed, int rows)
    {
        filter(form()).box()->setText(typed);
        return QTest::qWaitFor(
            [&] {
                const QStringList now = shown();
                return now.size() == rows && std::all_of(now.begin(), now.end(), [&](const QString& r) {
                           return r.contains(typed, Qt::CaseInsensitive);
                       });
            },
            20000);
    }
    void selectFile(const std::string& fileName)
    {
        WaveListModel* m = ui(form()).WaveList->model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->fileName(r) == fileName)
                ui(form()).WaveList->selectRow(r);
    }

    testing_support::PrivateTrash trash; // also the library's data folder
    ScopedScriptedDialogs dialogs;
};

TEST_F(LibraryInWindow, CommandsOnResultRowsActOnTheirOwnFilesAndTheIndexFollows)
{
    wave("LIB/Drums/alpha kick.wav");
    wave("LIB/Drums/Kicks/TWIN.wav");
    wave("LIB/Drums/Kicks/twin.wav");
    wave("LIB/odd;name/beta.wav");
    wave("LIB/Ünï & co/delta.wav");
    wave("SHOWN/alpha kick.wav"); // the folder shown has a file of the same name, outside the library
    {
        library::SqliteLibraryStore store;
        ASSERT_TRUE(library::addLibraryFolder(store, "C:\\LIB").root);
    }
    BrowserWindow& w = start();
    selectFolder("C:\\SHOWN\\");
    libraryScope(w).toggle()->setChecked(true);
    EXPECT_FALSE(ui(w).WaveList->detailView()->isColumnHidden(WaveListModel::ColFolder));
    ASSERT_TRUE(search("", 5)) << shown().join("\n").toStdString();
    // The problem of a condition half typed leaves the status bar once the query is whole; a search that
    // finds rows never says the library cannot be read.
    const auto message = [&] { return ui(w).StatusBar->currentMessage(); };
    filter(w).box()->setText("bpm:");
    ASSERT_TRUE(QTest::qWaitFor([&] { return message().startsWith("bpm:"); }, 10000)) << message().toStdString();
    ASSERT_TRUE(search("kick", 3));
    EXPECT_FALSE(message().startsWith("bpm:") || message().contains("cannot")) << message().toStdString();
    EXPECT_EQ(shown(), (QStringList{"alpha kick.wav | C:\\LIB\\Drums", "twin.wav | C:\\LIB\\Drums\\Kicks",
                                    "twin.wav | C:\\LIB\\Drums\\Kicks"}));

    struct Case {
        const char* name;
        QString typed;
        std::string file; ///< the result row acted on, by its name on disk
        std::function<void()> act;
        std::vector<std::string> gone, made; ///< files of the drive afterwards
        QString query;
        QStringList indexedAfter;
    };
    const Case cases[] = {
        {"play",
         "delta",
         "delta.wav",
         [&] {
             w.play();
             EXPECT_EQ(playback(w).player()->FileName(), "C:\\LIB\\Ünï & co\\delta.wav");
             w.StopPlaying();
         },
         {},
         {"LIB/Ünï & co/delta.wav"},
         "delta",
         {"Ünï & co/delta.wav"}},
        {"delete of one case twin",
         "twin",
         "TWIN.wav",
         [&] {
             dialogs->answer(IDYES);
             ui(w).DeleteItem->trigger();
         },
         {"LIB/Drums/Kicks/TWIN.wav"},
         {"LIB/Drums/Kicks/twin.wav", "SHOWN/alpha kick.wav"},
         "twin",
         {"Drums/Kicks/twin.wav"}},
        {"star and tags",
         "beta",
         "beta.wav",
         [&] {
             // Ctrl+D stars the selected file; Edit > Tags... tags it.
             QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_D, Qt::ControlModifier);
             // The keyboard's state the window asks for at a drop has Ctrl up again.
             QTest::keyRelease(ui(w).WaveList->currentView(), Qt::Key_Control);
             // The dialog opens once the file's tags are read, behind the window.
             QTimer answer;
             QObject::connect(&answer, &QTimer::timeout, [&] {
                 auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                 if (!dialog)
                     return;
                 answer.stop();
                 dialog->findChild<QLineEdit*>("TagsLine")->setText("soft, Soft ,  hat");
                 // Meanwhile another window of the library tags the file too: both changes stay.
                 library::SqliteLibraryStore other;
                 other.changeTags(drive_.native("LIB/odd;name/beta.wav"),
                                  *platform::fileIdentity("C:\\LIB\\odd;name\\beta.wav"), {"dusty"}, {});
                 dialog->accept();
             });
             answer.start(10);
             w.findChild<QAction*>("TagsItem")->trigger();
             const auto marksShown = [&] {
                 const QAbstractItemModel* m = ui(w).WaveList->model();
                 return m->data(m->index(ui(w).WaveList->selectedRow(), WaveListModel::ColFavourite), Qt::ToolTipRole);
             };
             EXPECT_TRUE(QTest::qWaitFor([&] { return marksShown() == "Favourite\nTags: dusty, hat, soft"; }, 5000))
                 << marksShown().toString().toStdString();
             w.activateWindow(); // the dialog had it
             ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
             // Written into the file only when asked: as its keywords.
             EXPECT_TRUE(keywordsOf(drive_.native("LIB/odd;name/beta.wav")).isEmpty());
             w.findChild<QAction*>("WriteTagsItem")->trigger();
             const auto written = [&] { return keywordsOf(drive_.native("LIB/odd;name/beta.wav")); };
             EXPECT_TRUE(QTest::qWaitFor([&] {
                 return written() == QStringList{"dusty", "hat", "soft"};
             })) << written().join(",").toStdString();
         },
         {},
         {"LIB/odd;name/beta.wav"},
         "fav: tag:SOFT",
         {"odd;name/beta.wav"}},
        {"rename in the row's own folder",
         "beta",
         "beta.wav",
         [&] {
             std::string text = "Gamma.WAV";
             w.WaveListEdited(ui(w).WaveList->selectedRow(), text);
         },
         {"LIB/odd;name/beta.wav", "SHOWN/gamma.wav"},
         {"LIB/odd;name/gamma.wav"},
         "gamma fav: tag:hat", // the marks went along
         {"odd;name/gamma.wav"}},
        {"drag onto a folder of the tree moves it",
         "gamma",
         "gamma.wav",
         [&] {
             EXPECT_TRUE(dragTo(at("C:\\LIB\\Drums\\"), Qt::NoModifier));
         },
         {"LIB/odd;name/gamma.wav"},
         {"LIB/Drums/gamma.wav"},
         "gamma",
         {"Drums/gamma.wav"}},
        {"delete beside a namesake of the folder shown",
         "alpha",
         "alpha kick.wav",
         [&] {
             dialogs->answer(IDYES);
             ui(w).DeleteItem->trigger();
         },
         {"LIB/Drums/alpha kick.wav"},
         {"SHOWN/alpha kick.wav"},
         "alpha",
         {}},
    };
    // The tree's folders loaded before any row is selected: a load that ends later refills the list.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            ui(w).FolderTree->expandAll();
            return ui(w).FolderTree->FindNode("C:\\LIB\\Drums\\Kicks\\") != nullptr;
        },
        10000));
    QTest::qWait(200);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(search(c.typed, c.typed == "twin" ? 2 : 1)) << shown().join("\n").toStdString();
        focus(ui(w).WaveList->currentView());
        selectFile(c.file);
        ASSERT_GE(ui(w).WaveList->selectedRow(), 0);
        EXPECT_TRUE(ui(w).DeleteItem->isEnabled());
        c.act();
        for (const std::string& f : c.gone)
            EXPECT_FALSE(drive_.exists(f)) << f;
        for (const std::string& f : c.made)
            EXPECT_TRUE(drive_.exists(f)) << f;
        EXPECT_TRUE(QTest::qWaitFor([&] { return indexed(c.query) == c.indexedAfter; }, 10000))
            << indexed(c.query).join(",").toStdString();
    }

    // The Favourites node under the tree lists the library's favourites; a folder chosen leaves them.
    auto* favourites = w.findChild<QTreeWidget*>("FavouritesNode");
    ASSERT_TRUE(favourites);
    QTest::mouseClick(favourites->viewport(), Qt::LeftButton, {},
                      favourites->visualItemRect(favourites->topLevelItem(0)).center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == QStringList{"gamma.wav | C:\\LIB\\Drums"}; }, 10000))
        << shown().join("\n").toStdString();
    selectFolder("C:\\LIB\\");
    EXPECT_FALSE(libraryScope(w).toggle()->isChecked());
    EXPECT_TRUE(filter(w).box()->text().isEmpty());
    libraryScope(w).toggle()->setChecked(true);

    // A folder added in Library Folders is indexed and searched with the others.
    wave("MORE/zeta.wav");
    {
        LibraryFoldersDialog folders(*libraryScope(w).indexer(), &w);
        dialogs->answerFolder("C:\\MORE");
        folders.addFolder();
        // Written behind the dialog, and then shown.
        auto* list = folders.findChild<QListWidget*>("LibraryFolderList");
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }));
    }
    ASSERT_TRUE(search("zeta", 1));
    // A rescan that finds most of a library folder's files gone asks before dropping them; No keeps them.
    std::filesystem::remove(drive_.native("MORE/zeta.wav"));
    {
        LibraryFoldersDialog folders(*libraryScope(w).indexer(), &w);
        auto* list = folders.findChild<QListWidget*>("LibraryFolderList");
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }));
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().contains("MORE"))
                list->setCurrentRow(i);
        dialogs->answer(IDNO);
        folders.rescanFolder();
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !dialogs->prompts().empty() && dialogs->prompts().back().text.find("missing") != std::string::npos;
        },
        10000));
    EXPECT_EQ(indexed("zeta"), QStringList{"/zeta.wav"});

    // Show in Folder leaves library scope for the result's folder, its row selected.
    ASSERT_TRUE(search("delta", 1));
    focus(ui(w).WaveList->currentView());
    ui(w).WaveList->selectRow(0);
    libraryScope(w).showInFolderItem()->trigger();
    EXPECT_FALSE(libraryScope(w).active());
    EXPECT_EQ(ui(w).FolderTree->SelectedDiskPath(), "C:\\LIB\\Ünï & co\\");
    EXPECT_EQ(w.SelectedWavePath().substr(w.SelectedWavePath().rfind('\\') + 1), "delta.wav");
    EXPECT_TRUE(ui(w).WaveList->detailView()->isColumnHidden(WaveListModel::ColFolder));
    libraryScope(w).toggle()->setChecked(true);
    closeForm();
    EXPECT_EQ(SettingsRecord::load().libraryScope, true);
}

TEST_F(LibraryInWindow, AStarTheSharedLibraryCannotKeepIsTakenBackAndSaysWhy)
{
    // A shared library whose server is not there: the star shows at once, then goes with the reason.
    qputenv("TONFOLIO_LIBRARY_URL", QByteArray("postgresql:///none?host=") + drive_.native("no-server").c_str());
    wave("SHOWN/kick.wav");
    BrowserWindow& w = start();
    selectFolder("C:\\SHOWN\\");
    focus(ui(w).WaveList->currentView());
    ui(w).WaveList->selectRow(0);
    w.findChild<QAction*>("FavouriteItem")->trigger();
    EXPECT_TRUE(ui(w).WaveList->model()->row(0).favourite);
    const auto message = [&] { return ui(w).StatusBar->currentMessage(); };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return message().startsWith("The favourite of kick.wav could not be saved: ") &&
                   message().contains("cannot be reached");
        },
        10000))
        << message().toStdString();
    EXPECT_FALSE(ui(w).WaveList->model()->row(0).favourite);
    qunsetenv("TONFOLIO_LIBRARY_URL");
}

TEST_F(LibraryInWindow, AnEmptyLibrarySaysHowToFillItAndTheOrderChosenComesBack)
{
    wave("SHOWN/alpha.wav");
    BrowserWindow& w = start();
    selectFolder("C:\\SHOWN\\");
    libraryScope(w).toggle()->setChecked(true);
    filter(w).box()->setText("alpha");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ui(w).WaveList->hint().contains("File > Library Folders"); }, 10000))
        << ui(w).WaveList->hint().toStdString();
    // Sorted by folder, last first: so again at the next start, in library scope.
    ui(w).WaveList->setSort(WaveListModel::ColFolder, Qt::DescendingOrder);
    closeForm();
    // Stored as the Folder column was before later columns came: 10.
    EXPECT_EQ(storedValue("SortColumn")->data, std::string("\x0a\0\0\0", 4));
    BrowserWindow& again = start();
    EXPECT_TRUE(libraryScope(again).active());
    EXPECT_EQ(ui(again).WaveList->sortColumn(), int(WaveListModel::ColFolder));
    EXPECT_EQ(ui(again).WaveList->sortOrder(), Qt::DescendingOrder);
}

TEST_F(LibraryInWindow, MoreLikeThisListsTheNearestSoundsFirst)
{
    using labelled::SoundKind;
    // Copies at another gain come right after their sound, whatever else the small library holds.
    const auto sound = [&](const std::string& rel, SoundKind kind, int variant, float gain = 1) {
        labelled::Sound s = labelled::renderKind(kind, variant);
        for (float& v : s.samples)
            v *= gain;
        drive_.write(rel, testing_support::makeWavOf(s.samples, s.rate, s.channels));
    };
    for (int v = 0; v < 3; ++v) {
        sound("LIB/kicks/kick " + std::to_string(v) + ".wav", SoundKind::Kick, v);
        sound("LIB/hats/hat " + std::to_string(v) + ".wav", SoundKind::Hat, v);
        sound("LIB/tones/sine " + std::to_string(v) + ".wav", SoundKind::Sine, v);
    }
    for (int v = 5; v < 7; ++v) { // a folder outside the library
        sound("OUT/kick " + std::to_string(v) + ".wav", SoundKind::Kick, v);
        sound("OUT/hat " + std::to_string(v) + ".wav", SoundKind::Hat, v);
    }
    sound("LIB/kicks/kick 1 quiet.wav", SoundKind::Kick, 1, 0.25f);
    sound("OUT/kick 5 quiet.wav", SoundKind::Kick, 5, 0.25f);
    sound("ELSEWHERE/new hat.wav", SoundKind::Hat, 0, 0.5f);
    {
        library::SqliteLibraryStore store;
        ASSERT_TRUE(library::addLibraryFolder(store, "C:\\LIB").root);
    }
    ASSERT_EQ(library::indexCommand({}, stderr), 0); // indexed and measured
    setDword("DisplayFiles", 4);                     // details
    BrowserWindow& w = start();
    auto* similar = w.findChild<SimilarSounds*>();
    ASSERT_TRUE(similar);
    WaveListWidget* list = ui(w).WaveList;
    // The rows shown as "caption | similarity", nearest first, once `count` have come with their likeness.
    const auto alike = [&](int count) {
        QStringList out;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                out.clear();
                double last = 2;
                for (int place = 0; place < list->visibleRowCount(); ++place)
                    if (const WaveRow& r = list->model()->row(list->visibleRow(place)); r.similarity) {
                        out << r.caption + " | " + QString::number(std::lround(*r.similarity * 100)) + "%";
                        if (*r.similarity > last)
                            return false; // not in order yet
                        last = *r.similarity;
                    }
                return out.size() == count;
            },
            20000))
            << out.join("\n").toStdString();
        return out;
    };
    const auto kindsOf = [](const QStringList& rows, int first) {
        QStringList kinds;
        for (const QString& r : rows.mid(0, first))
            kinds << r.section(' ', 0, 0);
        return kinds;
    };
    const auto similarityShown = [&] { return !list->detailView()->isColumnHidden(WaveListModel::ColSimilarity); };

    // Ctrl+M on a kick of the folder shown: the library's sounds, the kick itself first, the kicks next.
    selectFolder("C:\\LIB\\kicks\\");
    focus(list->currentView());
    selectFile("kick 1.wav");
    QTest::keyClick(list->currentView(), Qt::Key_M, Qt::ControlModifier);
    QStringList rows = alike(10);
    EXPECT_TRUE(libraryScope(w).active());
    EXPECT_TRUE(similarityShown());
    EXPECT_EQ(rows.front(), "kick 1.wav | 100%");
    EXPECT_TRUE(rows.value(1).startsWith("kick 1 quiet.wav | ")) << rows.join("\n").toStdString();
    EXPECT_EQ(ui(w).StatusBar->currentMessage(), "Sounds like kick 1.wav");
    EXPECT_EQ(list->model()->headerData(WaveListModel::ColSimilarity, Qt::Horizontal, Qt::DisplayRole), "Similarity");
    EXPECT_EQ(cell(list->visibleRow(0), WaveListModel::ColSimilarity), "100%");
    // A result row plays as any library result does.
    list->selectRow(list->visibleRow(1));
    w.play();
    EXPECT_EQ(playback(w).player()->FileName().rfind("C:\\LIB\\kicks\\kick ", 0), 0u);
    w.StopPlaying();

    // Weights from the Like menu search again, and are kept.
    QMenu* timbre = w.findChild<QMenu*>("LikeMenu")->actions().at(0)->menu();
    timbre->actions().at(SimilarSounds::More)->trigger();
    EXPECT_EQ(similar->level(SimilarSounds::Timbre), SimilarSounds::More);
    EXPECT_TRUE(alike(10).value(1).startsWith("kick 1 quiet.wav | "));

    // Typing leaves the sounds alike for the search typed; within the search results, only its files.
    ASSERT_TRUE(search("hat", 3)) << shown().join("\n").toStdString();
    EXPECT_FALSE(similarityShown());
    similar->setScope(SimilarSounds::Results);
    focus(list->currentView());
    selectFile("hat 2.wav");
    similar->moreLikeThisItem()->trigger();
    EXPECT_EQ(kindsOf(alike(3), 3), (QStringList{"hat", "hat", "hat"}));

    // A file chosen, or a wave dropped with Alt: it need not be in the library. A plain drop is refused.
    similar->setScope(SimilarSounds::Library);
    dialogs->answerFile("C:\\ELSEWHERE\\new hat.wav");
    similar->moreLikeFileItem()->trigger();
    EXPECT_TRUE(alike(10).front().startsWith("hat 0.wav | "));
    filter(w).box()->setText("kick");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(drive_.native("ELSEWHERE/new hat.wav")))});
    QWidget* viewport = list->detailView()->viewport();
    for (const Qt::KeyboardModifiers keys :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::AltModifier)}) {
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &move);
        EXPECT_EQ(move.isAccepted(), keys == Qt::AltModifier);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &drop);
    }
    EXPECT_TRUE(alike(10).front().startsWith("hat 0.wav | "));

    // The folder shown, in its own scope: ranked as the library knows it, or outside the library by the
    // measures the list takes.
    filter(w).box()->clear();
    similar->setScope(SimilarSounds::Folder);
    libraryScope(w).toggle()->setChecked(false);
    selectFolder("C:\\LIB\\kicks\\");
    focus(list->currentView());
    selectFile("kick 1.wav");
    similar->moreLikeThisItem()->trigger();
    rows = alike(4);
    EXPECT_TRUE(rows.value(1).startsWith("kick 1 quiet.wav | ")) << rows.join("\n").toStdString();
    selectFolder("C:\\OUT\\");
    EXPECT_FALSE(similarityShown());
    focus(list->currentView());
    selectFile("kick 5.wav");
    similar->moreLikeThisItem()->trigger();
    rows = alike(5);
    EXPECT_FALSE(libraryScope(w).active());
    EXPECT_EQ(rows.front(), "kick 5.wav | 100%");
    // Five sounds tell little of how features spread: its quieter copy still comes next, then the kick.
    EXPECT_TRUE(rows.value(1).startsWith("kick 5 quiet.wav | ")) << rows.join("\n").toStdString();
    EXPECT_TRUE(rows.value(2).startsWith("kick 6.wav | ")) << rows.join("\n").toStdString();
    filter(w).box()->setText("hat");
    EXPECT_FALSE(similarityShown());
    // Closed while ordered by likeness: the order chosen before comes back, with the Like menu's choices.
    filter(w).box()->clear();
    similar->moreLikeThisItem()->trigger();
    closeForm();
    const SettingsRecord stored = SettingsRecord::load();
    EXPECT_EQ(stored.likeTimbre, 3);
    EXPECT_EQ(stored.likeScope, int(SimilarSounds::Folder));
    EXPECT_EQ(stored.sortColumn, 0);
}

} // namespace
