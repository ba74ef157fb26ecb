// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging a row of the wave list onto a folder of the tree: move, copy with Ctrl, the same folder,
// foreign drags, and what the dragged row carries for other programs.
#include "browserfixture.h"
#include "support/shellfixture.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QListView>
#include <QMimeData>
#include <QTreeWidgetItem>
#include <QUrl>
#include <filesystem>
#include <memory>

using namespace browser_testing;
using namespace platform;

namespace {

class Drag : public BrowserTest {
protected:
    /// Starts the window on a folder with that row selected; the target folders' nodes are loaded.
    BrowserWindow& startOn(const std::string& folder, const QString& row)
    {
        BrowserWindow& w = start();
        selectFolder(folder);
        ui(w).FolderTree->expandAll();
        QApplication::processEvents();
        const int index = captions().indexOf(row);
        EXPECT_GE(index, 0) << row.toStdString();
        ui(w).WaveList->selectRow(index);
        return w;
    }
    testing_support::PrivateTrash trash;
    ScopedScriptedDialogs dialogs;
};

TEST_F(Drag, WithoutCtrlMovesWithUndoAndRefills)
{
    wave("SOUNDS/alarm.wav");
    wave("SOUNDS/bell.wav");
    drive_.mkdirs("TARGET");
    const std::string bytes = drive_.read("SOUNDS/bell.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    EXPECT_TRUE(dragTo(at("C:\\TARGET\\"), Qt::NoModifier));
    EXPECT_FALSE(BrowserWindowTestAccess::copyOnDrop(w));
    EXPECT_FALSE(drive_.exists("SOUNDS/bell.wav"));
    EXPECT_EQ(drive_.read("TARGET/bell.wav"), bytes);
    EXPECT_EQ(captions(), QStringList{"alarm.wav"});
    EXPECT_EQ(BrowserWindowTestAccess::fileOperation(w).Operation(), TFileOperation::foMove);
    EXPECT_EQ(BrowserWindowTestAccess::fileOperation(w).Flags(), TFileOperation::TFileOpFlags(TFileOperation::fofAllowUndo));
    EXPECT_EQ(BrowserWindowTestAccess::fileOperation(w).FilesTo(), "C:\\TARGET\\");
}

TEST_F(Drag, WithCtrlCopiesAndAsksBeforeReplacing)
{
    wave("SOUNDS/bell.wav");
    drive_.write("TARGET/bell.wav", "older");
    drive_.mkdirs("OTHER");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    dialogs->answer(IDNO);
    EXPECT_TRUE(dragTo(at("C:\\TARGET\\"), Qt::ControlModifier));
    EXPECT_TRUE(BrowserWindowTestAccess::copyOnDrop(w));
    ASSERT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_EQ(drive_.read("TARGET/bell.wav"), "older");
    EXPECT_EQ(BrowserWindowTestAccess::fileOperation(w).Operation(), TFileOperation::foCopy);
    EXPECT_EQ(BrowserWindowTestAccess::fileOperation(w).Flags(), TFileOperation::TFileOpFlags());

    // Without a file in the way the copy lands; the list keeps its rows and selection.
    EXPECT_TRUE(dragTo(at("C:\\OTHER\\"), Qt::ControlModifier));
    EXPECT_EQ(drive_.read("OTHER/bell.wav"), drive_.read("SOUNDS/bell.wav"));
    EXPECT_EQ(captions(), QStringList{"bell.wav"});
    EXPECT_EQ(ui(w).WaveList->selectedRow(), 0);
}

TEST_F(Drag, CopyOntoTheListedFolderTakesANewName)
{
    wave("SOUNDS/bell.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    EXPECT_TRUE(dragTo(at("C:\\SOUNDS\\"), Qt::ControlModifier));
    EXPECT_EQ(drive_.read("SOUNDS/bell - Copy.wav"), drive_.read("SOUNDS/bell.wav"));
    EXPECT_EQ(BrowserWindowTestAccess::fileOperation(w).Flags(), TFileOperation::TFileOpFlags(TFileOperation::fofRenameOnCollision));
    // Not refilled after a copy: the new file shows at the next fill.
    EXPECT_EQ(captions(), QStringList{"bell.wav"});
    w.FillWaveList();
    EXPECT_EQ(captions().size(), 2);
}

TEST_F(Drag, FoldersThatDifferOnlyInCaseAreTwoFolders)
{
    wave("Music/bell.wav");
    drive_.mkdirs("music");
    const std::string bytes = drive_.read("Music/bell.wav");
    BrowserWindow& w = startOn("C:\\Music\\", "bell.wav");
    // A move, not a move onto the listed folder.
    EXPECT_TRUE(dragTo(at("C:\\music\\"), Qt::NoModifier));
    EXPECT_TRUE(dialogs->prompts().empty());
    EXPECT_EQ(drive_.read("music/bell.wav"), bytes);
    EXPECT_FALSE(drive_.exists("Music/bell.wav"));
    EXPECT_TRUE(captions().isEmpty());

    // And back as a copy, under its own name: no copy beside the source.
    selectFolder("C:\\music\\");
    ui(w).WaveList->selectRow(0);
    EXPECT_TRUE(dragTo(at("C:\\Music\\"), Qt::ControlModifier));
    EXPECT_EQ(drive_.read("Music/bell.wav"), bytes);
    EXPECT_EQ(drive_.read("music/bell.wav"), bytes);
    EXPECT_FALSE(drive_.exists("music/bell - Copy.wav"));
}

TEST_F(Drag, MoveOntoTheListedFolderIsRefusedWithAMessage)
{
    wave("SOUNDS/Bell.WAV");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    dragTo(at("C:\\SOUNDS\\"), Qt::NoModifier);
    ASSERT_EQ(dialogs->prompts().size(), 1u);
    EXPECT_EQ(dialogs->prompts()[0].text, "Cannot move bell.wav\rDestination and source identical.");
    EXPECT_EQ(dialogs->prompts()[0].caption, "Information");
    EXPECT_EQ(dialogs->prompts()[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_TRUE(drive_.exists("SOUNDS/Bell.WAV"));
    EXPECT_EQ(ui(w).WaveList->selectedRow(), 0);
}

TEST_F(Drag, OnlyThisListsRowsAreTakenAndOnlyOntoAFolder)
{
    wave("SOUNDS/bell.wav");
    drive_.mkdirs("TARGET");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    const QPoint target = at("C:\\TARGET\\");

    QMimeData text;
    text.setText("C:\\SOUNDS\\bell.wav");
    QMimeData otherProcess;
    otherProcess.setData("application/x-tonfolio-wave-row", "1:2:0");
    const struct {
        const char* what;
        const QMimeData* mime;
    } foreign[] = {{"text", &text}, {"another program's row", &otherProcess}};
    for (const auto& c : foreign) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(dragTo(target, Qt::NoModifier, c.mime));
        EXPECT_TRUE(drive_.exists("SOUNDS/bell.wav"));
    }

    // Below the last node there is no folder to drop on.
    EXPECT_TRUE(dragTo(QPoint(5, ui(w).FolderTree->viewport()->height() - 2), Qt::NoModifier));
    EXPECT_TRUE(drive_.exists("SOUNDS/bell.wav"));
    EXPECT_TRUE(dialogs->prompts().empty());
    EXPECT_EQ(captions(), QStringList{"bell.wav"});
}

TEST_F(Drag, CtrlPicksTheCopyPointerAndLettingGoPicksMoving)
{
    wave("SOUNDS/bell.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", "bell.wav");
    std::unique_ptr<QMimeData> mime(ui(w).WaveList->rowMimeData(0));
    QDragMoveEvent withCtrl(at("C:\\SOUNDS\\"), Qt::CopyAction | Qt::MoveAction, mime.get(), Qt::LeftButton,
                            Qt::ControlModifier);
    bool accept = false;
    w.takeWaveDrag(&withCtrl, QPoint(), accept);
    EXPECT_TRUE(accept);
    EXPECT_TRUE(BrowserWindowTestAccess::copyOnDrop(w));
    EXPECT_EQ(ui(w).WaveList->dragCursor().pixmap().cacheKey(), cursorOf(crDragCopy).pixmap().cacheKey());

    QDragMoveEvent without(at("C:\\SOUNDS\\"), Qt::CopyAction | Qt::MoveAction, mime.get(), Qt::LeftButton,
                           Qt::NoModifier);
    w.takeWaveDrag(&without, QPoint(), accept);
    EXPECT_FALSE(BrowserWindowTestAccess::copyOnDrop(w));
    EXPECT_EQ(ui(w).WaveList->dragCursor().shape(), Qt::ArrowCursor);
}

TEST_F(Drag, RowsCanBeDraggedInEveryViewStyle)
{
    BrowserWindow& w = start();
    // Qt turns dragging off whenever icons cannot be moved about, which they never can here.
    for (auto style :
         {WaveListWidget::vsSmallIcon, WaveListWidget::vsList, WaveListWidget::vsReport, WaveListWidget::vsIcon}) {
        SCOPED_TRACE(int(style));
        ui(w).WaveList->setViewStyle(style);
        EXPECT_TRUE(ui(w).WaveList->currentView()->dragEnabled());
    }
}

TEST_F(Drag, ARowCarriesItsFilesAddress)
{
    wave("SOUNDS/Odd \xFF name.wav");
    BrowserWindow& w = startOn("C:\\SOUNDS\\", waveCaptionText("odd \xFF name.wav"));
    std::unique_ptr<QMimeData> mime(ui(w).WaveList->rowMimeData(ui(w).WaveList->selectedRow()));
    ASSERT_EQ(mime->urls().size(), 1);
    const QUrl url = mime->urls()[0];
    EXPECT_EQ(url.scheme(), "file");
    // The name's bytes survive, whatever their encoding.
    EXPECT_EQ(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toUtf8()).toStdString(),
              drive_.native("SOUNDS/Odd \xFF name.wav"));
    // QTemporaryDir cannot remove a name that is not valid UTF-8.
    std::filesystem::remove(drive_.native("SOUNDS/Odd \xFF name.wav"));
}

} // namespace
