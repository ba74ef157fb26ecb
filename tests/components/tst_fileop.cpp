// SPDX-License-Identifier: GPL-3.0-or-later
// TFileOperation: the request it builds for the shell, and what it reports back after real operations.
#include "components/FileOp.h"
#include "platform/shell/shell.h"
#include "support/shellfixture.h"

#include <QMetaProperty>
#include <QWidget>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// A literal with its embedded NULs (without the terminating one).
template <std::size_t N> std::string bytes(const char (&text)[N])
{
    return std::string(text, N - 1);
}

TEST(FileOpRequest, ListsFollowTheShellFormat)
{
    struct Case {
        std::string filesFrom;
        std::string pFrom;
        std::vector<std::string> passed;
    } cases[] = {
        {"C:\\a.wav;C:\\b.wav", bytes("C:\\a.wav\0C:\\b.wav\0\0"), {"C:\\a.wav", "C:\\b.wav"}},
        {"C:\\a.wav;", bytes("C:\\a.wav\0\0\0"), {"C:\\a.wav"}},
        {"C:\\a.wav;;C:\\b.wav", bytes("C:\\a.wav\0\0C:\\b.wav\0\0"), {"C:\\a.wav"}},
        {";C:\\a.wav", bytes("\0C:\\a.wav\0\0"), {}},
        {"", bytes("\0\0"), {}},
    };
    TFileOperation op;
    for (const Case& c : cases) {
        op.setFilesFrom(c.filesFrom);
        const SHFILEOPSTRUCT r = op.BuildRequest();
        EXPECT_EQ(r.pFrom, c.pFrom) << c.filesFrom;
        EXPECT_EQ(splitNulList(r.pFrom), c.passed) << c.filesFrom;
        EXPECT_EQ(op.FilesFrom(), c.filesFrom); // the property keeps its ";"
    }
    op.setFilesTo("D:\\x");
    EXPECT_EQ(op.BuildRequest().pTo, bytes("D:\\x\0\0"));
    op.setFilesTo("");
    EXPECT_EQ(op.BuildRequest().pTo, bytes("\0\0"));
}

TEST(FileOpRequest, OperationsFlagsAndTitle)
{
    TFileOperation op;
    EXPECT_EQ(op.Operation(), TFileOperation::foCopy);
    EXPECT_EQ(op.Flags(), TFileOpFlags());
    const std::pair<TFileOp, UINT> functions[] = {{TFileOperation::foCopy, FO_COPY},
                                                  {TFileOperation::foDelete, FO_DELETE},
                                                  {TFileOperation::foMove, FO_MOVE},
                                                  {TFileOperation::foRename, FO_RENAME}};
    for (const auto& [value, code] : functions) {
        op.setOperation(value);
        EXPECT_EQ(op.BuildRequest().wFunc, code);
    }
    const std::pair<TFileOpFlag, WORD> flags[] = {
        {TFileOperation::fofAllowUndo, 0x40},         {TFileOperation::fofConfirmMouse, 0x02},
        {TFileOperation::fofFilesOnly, 0x80},         {TFileOperation::fofMultiDestFiles, 0x01},
        {TFileOperation::fofNoConfirmation, 0x10},    {TFileOperation::fofNoConfirmMkDir, 0x200},
        {TFileOperation::fofRenameOnCollision, 0x08}, {TFileOperation::fofSilent, 0x04},
        {TFileOperation::fofSimpleProgress, 0x100},
    };
    for (const auto& [flag, shell] : flags) {
        op.setFlags(flag);
        EXPECT_EQ(op.BuildRequest().fFlags, shell) << flag;
    }
    // The set the browser window stores with its instance.
    op.setFlags(TFileOperation::fofAllowUndo | TFileOperation::fofNoConfirmation | TFileOperation::fofNoConfirmMkDir |
                TFileOperation::fofRenameOnCollision);
    EXPECT_EQ(op.BuildRequest().fFlags, 0x40 | 0x10 | 0x200 | 0x08);
    op.setProgressTitle("Deleting C:\\bell.wav...");
    const SHFILEOPSTRUCT r = op.BuildRequest();
    EXPECT_EQ(r.lpszProgressTitle, "Deleting C:\\bell.wav...");
    EXPECT_EQ(r.fAnyOperationsAborted, 0);
    EXPECT_EQ(r.hNameMappings, nullptr);
}

TEST(FileOpRequest, ParentWindowIsTheOwningFormOnly)
{
    QWidget form;
    QWidget child(&form);
    QObject plain;
    EXPECT_EQ(TFileOperation(&form).BuildRequest().hwnd, static_cast<HWND>(&form));
    EXPECT_EQ(TFileOperation(&child).BuildRequest().hwnd, nullptr);
    EXPECT_EQ(TFileOperation(&plain).BuildRequest().hwnd, nullptr);
    EXPECT_EQ(TFileOperation().BuildRequest().hwnd, nullptr);
}

TEST(FileOpRequest, PublishedPropertiesInOrder)
{
    TFileOperation op;
    const QMetaObject* meta = op.metaObject();
    QStringList names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names << meta->property(i).name();
    EXPECT_EQ(names, (QStringList{"About", "Active", "FilesFrom", "FilesTo", "Flags", "Operation", "OperationAborted",
                                  "ProgressTitle"}));
    EXPECT_FALSE(op.About().isEmpty());
    op.setProperty("About", QStringList{"x"});
    EXPECT_NE(op.About(), QStringList{"x"});
}

class FileOp : public testing_support::ShellFixture {};

TEST_F(FileOp, DeleteWithUndoMovesToTheTrashAndIgnoresFilesTo)
{
    drive.write("sounds/bell.wav", "b");
    drive.write("elsewhere/keep.wav", "k");
    TFileOperation op;
    op.setOperation(TFileOperation::foDelete);
    op.setFlags(TFileOperation::fofAllowUndo);
    op.setFilesFrom("C:\\SOUNDS\\BELL.WAV");
    op.setFilesTo("C:\\elsewhere");
    dialogs->answer(IDYES);
    EXPECT_TRUE(op.Execute());
    EXPECT_FALSE(op.OperationAborted());
    EXPECT_FALSE(drive.exists("sounds/bell.wav"));
    EXPECT_TRUE(drive.exists("elsewhere/keep.wav"));
    EXPECT_FALSE(drive.exists("elsewhere/bell.wav"));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(trashDir() + "/files/bell.wav")));
}

TEST_F(FileOp, AbortedFlagComesOnlyFromExecute)
{
    drive.write("bell.wav", "b");
    TFileOperation op;
    op.setOperation(TFileOperation::foDelete);
    op.setFilesFrom("C:\\bell.wav");
    dialogs->answer(IDNO);
    EXPECT_FALSE(op.Execute());
    EXPECT_TRUE(op.OperationAborted());
    op.setOperationAborted(false);
    op.setProperty("OperationAborted", false);
    EXPECT_TRUE(op.OperationAborted());
    EXPECT_TRUE(drive.exists("bell.wav"));

    // Assigning Active runs the operation but is never stored.
    dialogs->answer(IDYES);
    op.setProperty("Active", true);
    EXPECT_FALSE(op.Active());
    EXPECT_FALSE(op.OperationAborted());
    EXPECT_FALSE(drive.exists("bell.wav"));
    EXPECT_EQ(dialogs->pendingAnswers(), 0u);
}

TEST_F(FileOp, CopyOntoItsOwnFolderWithRenameOnCollision)
{
    drive.write("sounds/bell.wav", "b");
    TFileOperation op;
    op.setOperation(TFileOperation::foCopy);
    op.setFlags(TFileOperation::fofRenameOnCollision);
    op.setFilesFrom("C:\\sounds\\bell.wav");
    op.setFilesTo("C:\\SOUNDS\\");
    EXPECT_TRUE(op.Execute());
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(drive.read("sounds/bell - Copy.wav"), "b");
    EXPECT_EQ(drive.read("sounds/bell - Copy (2).wav"), "b");
    EXPECT_TRUE(dialogs->prompts().empty());
}

} // namespace
