// SPDX-License-Identifier: GPL-3.0-or-later
// The wave list of the browser window: filling, order, texts, focus, F5, the command states, the view
// styles and the order chosen by a column.
#include "browserfixture.h"
#include "library/soundanalyser.h"
#include "platform/files/files.h"
#include "waves/W32Waves.h"

#include <QFile>
#include <QHeaderView>
#include <QListView>
#include <QTreeView>
#include <atomic>
#include <map>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace browser_testing;

namespace {

class WaveListTest : public BrowserTest {};

TEST_F(WaveListTest, RowsAreSortedLowerCasedCaptionsWithTheirTexts)
{
    wave("SOUNDS/Bell.WAV", 2, 22050, 16, 22050);
    wave("SOUNDS/alarm.wav", 1, 8000, 8, 4000);
    drive_.write("SOUNDS/broken.wav", std::string(3000, 'x'));
    drive_.mkdirs("SOUNDS/folder.wav");
    drive_.write("SOUNDS/notes.txt", "not a wave");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    EXPECT_EQ(w.windowTitle(), "Tonfolio - SOUNDS");
    ASSERT_EQ(captions(), (QStringList{"alarm.wav", "bell.wav", "broken.wav", "folder.wav"}));
    EXPECT_EQ(cell(0, WaveListModel::ColFormat), WaveFormatText([] {
                  TWaveInfo i;
                  i.Valid = true;
                  i.Channels = 1;
                  i.SamplesPerSec = 8000;
                  i.BitsPerSample = 8;
                  return i;
              }()));
    EXPECT_EQ(cell(2, WaveListModel::ColFormat), "Unknown");
    EXPECT_EQ(cell(2, WaveListModel::ColLength), "--:--.---");
    EXPECT_EQ(cell(2, WaveListModel::ColSize), FileSizeText(3000));
    EXPECT_EQ(cell(3, WaveListModel::ColFormat), "Unknown");
    EXPECT_EQ(ui(w).WaveList->hint(), "Play files by left mouse click on icon, right button stops playing");
    EXPECT_EQ(ui(w).WaveList->listCursor().pixmap().cacheKey(), cursorOf(crWaveCur).pixmap().cacheKey());
    EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WaveListTest, APipeNamedLikeAWaveIsListedWithoutBlockingTheFill)
{
    wave("SOUNDS/a.wav");
    ASSERT_EQ(::mkfifo(drive_.native("SOUNDS/pipe.wav").c_str(), 0644), 0);
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ASSERT_EQ(captions(), (QStringList{"a.wav", "pipe.wav"}));
    EXPECT_EQ(cell(1, WaveListModel::ColFormat), "Unknown");
    EXPECT_EQ(cell(1, WaveListModel::ColLength), "--:--.---");
    EXPECT_EQ(ui(w).WaveList->hint(), "Play files by left mouse click on icon, right button stops playing");
}

// The headers are read by many threads at once; the rows must be those of one reader, file after file.
TEST_F(WaveListTest, ReadingHeadersTogetherGivesTheRowsOfReadingThemInTurn)
{
    for (int i = 0; i < 60; ++i)
        wave("MIXED/w" + std::to_string(i) + ".wav", 1 + i % 2, i % 3 ? 22050 : 44100, i % 4 ? 16 : 8, 100 * i);
    wave("MIXED/.hidden.wav", 2, 11025);
    wave("MIXED/locked.wav", 1, 8000);
    ASSERT_EQ(::chmod(drive_.native("MIXED/locked.wav").c_str(), 0), 0);
    ASSERT_EQ(::mkfifo(drive_.native("MIXED/pipe.wav").c_str(), 0644), 0);
    wave("MIXED/Twin.wav", 1, 8000);
    wave("MIXED/TWIN.WAV", 2, 22050);
    wave("MIXED/twin.wav", 1, 44100);
    drive_.write("MIXED/broken.wav", std::string(3000, 'x'));
    drive_.mkdirs("MIXED/dir.wav");
    for (const char* folder : {"", "/MIXED"})
        ASSERT_EQ(::chmod((drive_.root() + folder).c_str(), 0755), 0);
    // The superuser reads any file: the file is opened as nobody, on whichever thread opens it.
    platform::setOpenHook([](const std::string& path) {
        if (::geteuid() == 0)
            ::setfsuid(path.find("locked") != std::string::npos ? 65534 : 0);
    });
    BrowserWindow& w = start();
    auto rows = [&](int readers) {
        w.setHeaderReaders(readers);
        w.FillWaveList();
        std::vector<QStringList> out;
        for (int r = 0; r < ui(w).WaveList->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < WaveListModel::ColumnCount; ++c)
                row << cell(r, c);
            out.push_back(row);
        }
        return out;
    };
    selectFolder("C:\\MIXED\\");
    const std::vector<QStringList> inTurn = rows(1);
    const std::vector<QStringList> together = rows(16);
    platform::setOpenHook(nullptr);
    ::setfsuid(0);
    ASSERT_EQ(inTurn.size(), 68u);
    EXPECT_EQ(together, inTurn);
    std::map<QString, QString> formats;
    for (const QStringList& row : inTurn)
        formats[row[0]] = row[1];
    EXPECT_EQ(formats[".hidden.wav"], "11.025 kHz, 16 Bit, Stereo");
    EXPECT_EQ(formats["locked.wav"], "Unknown");
    EXPECT_EQ(formats["pipe.wav"], "Unknown");
    EXPECT_EQ(formats["dir.wav"], "Unknown");
    // Three rows of the same caption, each with its own file's format.
    QStringList twins;
    for (const QStringList& row : inTurn)
        if (row[0] == "twin.wav")
            twins << row[1];
    twins.sort();
    EXPECT_EQ(twins, (QStringList{"22.05 kHz, 16 Bit, Stereo", "44.1 kHz, 16 Bit, Mono", "8 kHz, 16 Bit, Mono"}));
}

// Files that go while the headers are read: no row reads a file that is no longer there, and nothing
// breaks while other files come and go.
TEST_F(WaveListTest, AFolderChangingDuringTheFill)
{
    for (int i = 0; i < 100; ++i) {
        wave("CHANGING/kept" + std::to_string(i) + ".wav", 2, 22050);
        wave("CHANGING/gone" + std::to_string(i) + ".wav", 2, 22050);
    }
    static std::string folder;
    folder = drive_.native("CHANGING/");
    // A file named gone... disappears just before its header is read.
    platform::setOpenHook([](const std::string& path) {
        const std::string name = path.substr(path.rfind('\\') + 1);
        if (name.compare(0, 4, "gone") == 0)
            ::unlink((folder + name).c_str());
    });
    BrowserWindow& w = start();
    std::atomic<bool> filling{true};
    std::thread churn([&] {
        for (int i = 0; filling; ++i) {
            const std::string name = folder + "churn" + std::to_string(i % 50) + ".wav";
            if (i % 2)
                ::unlink(name.c_str());
            else
                drive_.write("CHANGING/churn" + std::to_string(i % 50) + ".wav", testing_support::makeWav(1, 8000, 8, 10));
        }
    });
    selectFolder("C:\\CHANGING\\");
    filling = false;
    churn.join();
    platform::setOpenHook(nullptr);
    int kept = 0;
    for (int r = 0; r < ui(w).WaveList->rowCount(); ++r) {
        const QString name = cell(r, 0);
        if (name.startsWith("gone")) {
            EXPECT_EQ(cell(r, WaveListModel::ColFormat), "Unknown") << name.toStdString();
            EXPECT_EQ(cell(r, WaveListModel::ColLength), "--:--.---") << name.toStdString();
        } else if (name.startsWith("kept")) {
            ++kept;
            EXPECT_EQ(cell(r, WaveListModel::ColFormat), "22.05 kHz, 16 Bit, Stereo") << name.toStdString();
        }
    }
    EXPECT_EQ(kept, 100);
}

TEST_F(WaveListTest, AFolderWithoutWavesSaysSoAndShowsTheArrow)
{
    wave("SOUNDS/a.wav");
    drive_.mkdirs("EMPTY");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    selectFolder("C:\\EMPTY\\");
    EXPECT_TRUE(captions().isEmpty());
    EXPECT_EQ(ui(w).WaveList->hint(), "No waves found");
    EXPECT_EQ(ui(w).WaveList->listCursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(ui(w).WaveList->listView()->viewport()->statusTip(), "No waves found");
}

TEST_F(WaveListTest, TheWaveIconIsFetchedOncePerRun)
{
    wave("ONE/a.wav");
    wave("TWO/b.wav");
    drive_.mkdirs("NONE");
    BrowserWindow& w = start();
    selectFolder("C:\\NONE\\");
    EXPECT_EQ(w.waveIconRequests(), 0);
    EXPECT_FALSE(BrowserWindowTestAccess::iconLoaded(w));
    selectFolder("C:\\ONE\\");
    selectFolder("C:\\TWO\\");
    EXPECT_EQ(w.waveIconRequests(), 1);
    EXPECT_TRUE(BrowserWindowTestAccess::iconLoaded(w));
    auto* m = ui(w).WaveList->model();
    EXPECT_EQ(m->data(m->index(0, 0), Qt::DecorationRole).value<QIcon>().cacheKey(), BrowserWindowTestAccess::waveIcon(w).cacheKey());
}

TEST_F(WaveListTest, CapitalsOutsideAToZAndOddBytesKeepTheirBytes)
{
    wave("SOUNDS/\xC3\x89"
         "CHO.WAV"); // "ÉCHO.WAV"
    wave("SOUNDS/odd\xFF.wav");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ASSERT_EQ(ui(w).WaveList->rowCount(), 2);
    std::vector<std::string> paths;
    for (int r = 0; r < 2; ++r) {
        ui(w).WaveList->selectRow(r);
        paths.push_back(w.SelectedWavePath());
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths[0], "c:\\sounds\\odd\xFF.wav");
    EXPECT_EQ(paths[1], "c:\\sounds\\\xC3\x89"
                        "cho.wav");
    EXPECT_TRUE(captions().contains(QString::fromUtf8("\xC3\x89"
                                                      "cho.wav")));
    EXPECT_TRUE(captions().contains("odd\\xFF.wav"));
    // The temporary folder cannot remove a name that is not valid text by itself.
    platform::DeleteFile("C:\\SOUNDS\\odd\xFF.wav");
}

TEST_F(WaveListTest, EnteringTheListSelectsTheFirstRowOnlyWhenNoneIs)
{
    wave("SOUNDS/a.wav");
    wave("SOUNDS/b.wav");
    wave("SOUNDS/c.wav");
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    focus(ui(w).FolderTree);
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    EXPECT_EQ(ui(w).WaveList->selectedRow(), 0);
    EXPECT_TRUE(ui(w).DeleteItem->isEnabled() && ui(w).PropertiesItem->isEnabled() && ui(w).EditWave->isEnabled());

    ui(w).WaveList->selectRow(2);
    focus(ui(w).FolderTree);
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    EXPECT_EQ(ui(w).WaveList->selectedRow(), 2);
    EXPECT_EQ(w.SelectedWavePath(), "c:\\sounds\\c.wav");
}

TEST_F(WaveListTest, F5RebuildsTheRowsWithNothingSelected)
{
    wave("SOUNDS/a.wav", 1, 8000, 8, 80000); // 10 s: still playing while the test runs
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    ASSERT_EQ(ui(w).WaveList->selectedRow(), 0);
    wave("SOUNDS/b.wav");
    w.play(); // a sound going on is left alone
    QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_F5);
    EXPECT_EQ(captions(), (QStringList{"a.wav", "b.wav"}));
    EXPECT_EQ(ui(w).WaveList->selectedRow(), -1);
    EXPECT_TRUE(playback(w).playing());
    EXPECT_TRUE(w.SelectedWavePath().empty());
    w.stop();
}

// Enabled states of Delete, Properties, Load into wave editor, Play, Stop and Rename.
struct CommandStates {
    bool del, props, edit, play, stop, rename;
};

CommandStates statesOf(BrowserWindow& w)
{
    EXPECT_EQ(ui(w).DeleteItem->isEnabled(), ui(w).DeleteBtn->isEnabled());
    EXPECT_EQ(ui(w).PropertiesItem->isEnabled(), ui(w).PropBtn->isEnabled());
    EXPECT_EQ(ui(w).PlayItem->isEnabled(), ui(w).PlayBtn->isEnabled());
    EXPECT_EQ(ui(w).StopItem->isEnabled(), ui(w).StopBtn->isEnabled());
    return {ui(w).DeleteItem->isEnabled(), ui(w).PropertiesItem->isEnabled(), ui(w).EditWave->isEnabled(),
            ui(w).PlayItem->isEnabled(),   ui(w).StopItem->isEnabled(),       ui(w).RenameItem->isEnabled()};
}

#define EXPECT_STATES(w, d, p, e, pl, st, r)                                                                           \
    do {                                                                                                               \
        const CommandStates s = statesOf(w);                                                                           \
        EXPECT_EQ((std::array<bool, 6>{s.del, s.props, s.edit, s.play, s.stop, s.rename}),                             \
                  (std::array<bool, 6>{d, p, e, pl, st, r}));                                                          \
    } while (0)

TEST_F(WaveListTest, CommandStatesFollowSelectionFocusAndPlaying)
{
    wave("SOUNDS/a.wav", 1, 8000, 8, 80000); // 10 s: still playing while the test runs
    drive_.mkdirs("EMPTY");
    BrowserWindow& w = start();
    selectFolder("C:\\EMPTY\\");
    // No rows, focus in the tree: only Rename.
    focus(ui(w).FolderTree);
    EXPECT_STATES(w, false, false, false, false, false, true);

    selectFolder("C:\\SOUNDS\\");
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    EXPECT_STATES(w, true, true, true, true, false, true); // Rename kept from before
    w.play();
    EXPECT_STATES(w, true, true, true, false, true, true);

    // The selection stays when the focus moves to the tree; the list commands go off.
    focus(ui(w).FolderTree);
    EXPECT_EQ(ui(w).WaveList->selectedRow(), 0);
    EXPECT_STATES(w, false, false, false, false, true, true);

    // Refilled while the list has the focus: nothing selected, Rename goes off.
    w.stop();
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    QTest::keyClick(ui(w).WaveList->currentView(), Qt::Key_F5);
    EXPECT_STATES(w, false, false, false, false, false, false);
    // ... and it stays off once a row is selected again, whatever has the focus.
    ui(w).WaveList->selectRow(0);
    focus(ui(w).FolderTree);
    EXPECT_STATES(w, false, false, false, true, false, false);
}

TEST_F(WaveListTest, ViewStylesShareRowsAndSelection)
{
    for (int i = 0; i < 30; ++i)
        wave("MANY/w" + std::to_string(i) + ".wav");
    BrowserWindow& w = start();
    selectFolder("C:\\MANY\\");
    ui(w).WaveList->focusList();
    QApplication::processEvents();
    ui(w).WaveList->selectRow(17);
    const std::string path = w.SelectedWavePath();
    for (QAction* b : {ui(w).DetailBtn, ui(w).SmallBtn, ui(w).ListBtn, ui(w).LargeBtn}) {
        b->trigger();
        EXPECT_EQ(w.SelectedWavePath(), path);
        EXPECT_TRUE(ui(w).WaveList->hasListFocus()) << b->objectName().toStdString();
        EXPECT_EQ(ui(w).WaveList->currentView()->model()->rowCount(), 30);
    }
    EXPECT_EQ(ui(w).WaveList->detailView()->columnWidth(0), 200);
    EXPECT_EQ(ui(w).WaveList->detailView()->model()->headerData(4, Qt::Horizontal).toString(), "Type");
}

TEST_F(WaveListTest, AHeaderClickOrdersTheRowsByValueTheNextTheOtherWayAndTheOrderIsKept)
{
    wave("SOUNDS/b.wav", 2, 22050, 16, 22050);       // 1 s, 86 KB
    wave("SOUNDS/a.wav", 1, 8000, 8, 4000);          // 0.5 s, 4 KB
    drive_.write("SOUNDS/c.wav", std::string(3000, 'x')); // no header: no format, no length
    wave("SOUNDS/D.wav", 1, 44100, 16, 441);         // 0.01 s, 1 KB
    wave("SOUNDS/e.wav", 1, 8000, 16, 52000);        // 6.5 s, 102 KB: before 86 KB as a text
    BrowserWindow& w = start();
    selectFolder("C:\\SOUNDS\\");
    ui(w).DetailBtn->trigger();
    QTreeView* view = ui(w).WaveList->detailView();
    QHeaderView* header = view->header();
    const auto shown = [this] {
        const WaveListWidget* list = ui(form()).WaveList;
        QStringList out;
        for (int place = 0; place < list->visibleRowCount(); ++place)
            out << list->model()->row(list->visibleRow(place)).caption.left(1);
        return out.join("");
    };
    ASSERT_EQ(shown(), "abcde"); // the captions' order at first
    for (int c = WaveListModel::ColumnCount; c < WaveListModel::ColFavourite; ++c)
        EXPECT_TRUE(header->isSectionHidden(c)); // the measure columns are hidden until chosen
    EXPECT_FALSE(header->isSectionHidden(WaveListModel::ColFavourite));
    // The files are silent; two get loudness values of their own once measured.
    ui(w).WaveList->setShownMeasures(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return measuring(w).analyser() && measuring(w).analyser()->isIdle() && !cell(4, WaveListModel::ColLoudness).isEmpty(); }, 20000));
    const auto loudness = [&](int row, double lufs) {
        library::SoundAnalysis m;
        m.loudness = lufs;
        ui(w).WaveList->model()->setMeasures(row, m);
    };
    loudness(0, -20);
    loudness(4, -30);
    const struct {
        int column;
        const char* ascending;
        const char* descending; ///< rows without a value stay last
    } cases[] = {
        {WaveListModel::ColFilename, "abcde", "edcba"},
        {WaveListModel::ColFormat, "aebdc", "dbeac"}, // rate, then bits
        {WaveListModel::ColLength, "dabec", "ebadc"},
        {WaveListModel::ColSize, "dcabe", "ebacd"},
        {WaveListModel::ColType, "abdec", "cabde"}, // Microsoft PCM before Unknown, then captions
        {WaveListModel::ColLoudness, "bdeac", "aebdc"}, // -inf for silence, the lowest value there is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        const QPoint at(header->sectionViewportPosition(c.column) + header->sectionSize(c.column) / 2, 5);
        if (c.column == WaveListModel::ColFilename) // already ascending: a click turns it round
            ui(w).WaveList->setSort(WaveListModel::ColSize, Qt::AscendingOrder);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(shown(), c.ascending);
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), c.column);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(shown(), c.descending);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    }
    // Measures arriving take their rows to their places.
    loudness(2, -10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == "caebd"; }, 2000)) << shown().toStdString();

    // The all-waves sequence plays the rows in the order shown.
    ui(w).WaveList->setSort(WaveListModel::ColLength, Qt::DescendingOrder);
    ui(w).WaveList->selectRow(ui(w).WaveList->visibleRow(0));
    ui(w).AllWavesBtn->setChecked(true);
    w.play();
    QString played;
    for (int i = 0; i < 5 && playback(w).playing(); ++i) {
        played += ui(w).WaveList->model()->row(ui(w).WaveList->selectedRow()).caption.left(1);
        playback(w).endOfSound();
    }
    EXPECT_EQ(played, "ebad"); // c has no header: skipped
    w.StopPlaying();

    // The order is kept for the next start.
    closeForm();
    ASSERT_TRUE(storedValue("SortColumn") && storedValue("SortDescending"));
    EXPECT_EQ(storedValue("SortColumn")->data, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(storedValue("SortDescending")->data, std::string("\x01\0\0\0", 4));
    BrowserWindow& again = start();
    selectFolder("C:\\SOUNDS\\");
    EXPECT_EQ(ui(again).WaveList->sortColumn(), WaveListModel::ColLength);
    EXPECT_EQ(ui(again).WaveList->detailView()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(shown(), "ebadc");
}

TEST_F(WaveListTest, CollationPutsCaseBehindLettersAndKeepsEqualTextsApart)
{
    WaveListModel m;
    std::vector<WaveRow> rows;
    for (const char* n : {"b.wav",
                          "\xC3\x89"
                          "a.wav",
                          "a.wav",
                          "\xC3\xA9"
                          "a.wav",
                          "c.wav"}) {
        WaveRow r;
        r.name = n;
        r.caption = waveCaptionText(n);
        rows.push_back(r);
    }
    m.setRows(rows);
    // Whatever the locale, the order is total and a row's place does not depend on the input order.
    for (int i = 0; i + 1 < m.rowCount(); ++i)
        EXPECT_FALSE(m.lessThan(m.row(i + 1), m.row(i))) << i;
    std::reverse(rows.begin(), rows.end());
    WaveListModel again;
    again.setRows(rows);
    for (int i = 0; i < m.rowCount(); ++i)
        EXPECT_EQ(again.name(i), m.name(i));
    // A caption set later moves the row to its place.
    const int moved = m.setCaption(m.rowCount() - 1, "0.wav");
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(m.name(0), "0.wav");

    // The C locale compares code points; the rows still order as letters do.
    QLocale::setDefault(QLocale::c());
    std::vector<WaveRow> plain;
    for (const char* n : {"Chime.wav", "zebra.wav", "alarm.wav", "\xC3\x84rger.wav", "Alarm.wav", "bell.wav"}) {
        WaveRow r;
        r.name = n;
        r.caption = waveCaptionText(n);
        plain.push_back(r);
    }
    WaveListModel c;
    c.setRows(plain);
    QStringList order;
    for (int i = 0; i < c.rowCount(); ++i)
        order << c.row(i).caption;
    EXPECT_EQ(order, (QStringList{"alarm.wav", "Alarm.wav", QString::fromUtf8("\xC3\x84rger.wav"), "bell.wav",
                                  "Chime.wav", "zebra.wav"}));
    QLocale::setDefault(QLocale::system());
}

} // namespace
