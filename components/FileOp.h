// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFileOperation: copies, moves, renames and deletes files through the shell's file operation, so that
// they get the shell's confirmations, progress window, trash and collision renaming.

#include "platform/shell/shell.h"

#include <QObject>
#include <QStringList>
#include <string>

class TFileOperation : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList About READ About WRITE setAbout)
    Q_PROPERTY(bool Active READ Active WRITE setActive)
    Q_PROPERTY(std::string FilesFrom READ FilesFrom WRITE setFilesFrom)
    Q_PROPERTY(std::string FilesTo READ FilesTo WRITE setFilesTo)
    Q_PROPERTY(TFileOpFlags Flags READ Flags WRITE setFlags)
    Q_PROPERTY(TFileOp Operation READ Operation WRITE setOperation)
    Q_PROPERTY(bool OperationAborted READ OperationAborted WRITE setOperationAborted)
    Q_PROPERTY(std::string ProgressTitle READ ProgressTitle WRITE setProgressTitle)

public:
    enum TFileOp { foCopy, foDelete, foMove, foRename };
    Q_ENUM(TFileOp)

    /// Bit i of the set stands for the i-th member.
    enum TFileOpFlag {
        fofAllowUndo = 0x001,
        fofConfirmMouse = 0x002,
        fofFilesOnly = 0x004,
        fofMultiDestFiles = 0x008,
        fofNoConfirmation = 0x010,
        fofNoConfirmMkDir = 0x020,
        fofRenameOnCollision = 0x040,
        fofSilent = 0x080,
        fofSimpleProgress = 0x100,
    };
    Q_DECLARE_FLAGS(TFileOpFlags, TFileOpFlag)
    Q_FLAG(TFileOpFlags)

    explicit TFileOperation(QObject* owner = nullptr);
    ~TFileOperation() override;

    /// A few lines naming the component; writing them changes nothing.
    QStringList About() const { return about_; }
    void setAbout(const QStringList&) {}

    /// Always reads false; writing true runs Execute and drops its result.
    bool Active() const { return false; }
    void setActive(bool value);

    /// Drive-letter paths separated by ";" (a name cannot hold one).
    const std::string& FilesFrom() const { return filesFrom_; }
    void setFilesFrom(const std::string& value);
    const std::string& FilesTo() const { return filesTo_; }
    void setFilesTo(const std::string& value);

    TFileOpFlags Flags() const { return flags_; }
    void setFlags(TFileOpFlags value);

    TFileOp Operation() const { return operation_; }
    void setOperation(TFileOp value);

    /// What the last Execute left: true when the user cancelled part of it. Writing changes nothing.
    bool OperationAborted() const { return aborted_; }
    void setOperationAborted(bool) {}

    const std::string& ProgressTitle() const { return progressTitle_; }
    void setProgressTitle(const std::string& value);

    /// Runs the operation; true exactly when the shell reports success. Sets OperationAborted.
    bool Execute();

    /// Runs the operation on one name per list, where a ";" is part of the name and splits nothing; true
    /// when the shell reports success and nothing was cancelled. Sets OperationAborted.
    bool runOnWholeNames();

    /// The shell request Execute hands over, built from the properties.
    platform::SHFILEOPSTRUCT BuildRequest() const;

    /// The shell's form of a ";"-separated list: names separated by NUL, ending in two NULs.
    static std::string shellList(const std::string& names);
    static platform::UINT shellFunction(TFileOp op);
    static platform::WORD shellFlags(TFileOpFlags flags);

private:
    QStringList about_;
    std::string filesFrom_;
    std::string filesTo_;
    TFileOpFlags flags_;
    TFileOp operation_ = foCopy;
    bool aborted_ = false;
    std::string progressTitle_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFileOperation::TFileOpFlags)

using TFileOp = TFileOperation::TFileOp;
using TFileOpFlag = TFileOperation::TFileOpFlag;
using TFileOpFlags = TFileOperation::TFileOpFlags;
