// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FileOp.h"

#include "platform/shell/dialogs.h"

#include <algorithm>
#include <utility>

using namespace platform;

namespace {

const std::pair<TFileOperation::TFileOpFlag, WORD> kFlagTable[] = {
    {TFileOperation::fofAllowUndo, FOF_ALLOWUNDO},
    {TFileOperation::fofConfirmMouse, FOF_CONFIRMMOUSE},
    {TFileOperation::fofFilesOnly, FOF_FILESONLY},
    {TFileOperation::fofMultiDestFiles, FOF_MULTIDESTFILES},
    {TFileOperation::fofNoConfirmation, FOF_NOCONFIRMATION},
    {TFileOperation::fofNoConfirmMkDir, FOF_NOCONFIRMMKDIR},
    {TFileOperation::fofRenameOnCollision, FOF_RENAMEONCOLLISION},
    {TFileOperation::fofSilent, FOF_SILENT},
    {TFileOperation::fofSimpleProgress, FOF_SIMPLEPROGRESS},
};

} // namespace

TFileOperation::TFileOperation(QObject* owner) : QObject(owner)
{
    about_ << "TFileOperation 1.0"
           << "Copies, moves, renames and deletes files through the shell,"
           << "with its confirmations, progress window, trash and collision renaming."
           << "Written for Tonfolio. Free to use.";
}

TFileOperation::~TFileOperation() = default;

void TFileOperation::setActive(bool value)
{
    if (value)
        Execute();
}

void TFileOperation::setFilesFrom(const std::string& value)
{
    if (filesFrom_ != value)
        filesFrom_ = value;
}

void TFileOperation::setFilesTo(const std::string& value)
{
    if (filesTo_ != value)
        filesTo_ = value;
}

void TFileOperation::setFlags(TFileOpFlags value)
{
    if (flags_ != value)
        flags_ = value;
}

void TFileOperation::setOperation(TFileOp value)
{
    if (operation_ != value)
        operation_ = value;
}

void TFileOperation::setProgressTitle(const std::string& value)
{
    if (progressTitle_ != value)
        progressTitle_ = value;
}

std::string TFileOperation::shellList(const std::string& names)
{
    std::string list = names;
    list.append(2, '\0');
    std::replace(list.begin(), list.end(), ';', '\0');
    return list;
}

UINT TFileOperation::shellFunction(TFileOp op)
{
    switch (op) {
    case foCopy:
        return FO_COPY;
    case foDelete:
        return FO_DELETE;
    case foMove:
        return FO_MOVE;
    case foRename:
        return FO_RENAME;
    }
    return FO_COPY;
}

WORD TFileOperation::shellFlags(TFileOpFlags flags)
{
    WORD result = 0;
    for (const auto& [flag, shell] : kFlagTable) {
        if (flags.testFlag(flag))
            result |= shell;
    }
    return result;
}

SHFILEOPSTRUCT TFileOperation::BuildRequest() const
{
    SHFILEOPSTRUCT request;
    // The shell's windows belong to the owning form; without one, to the application as a whole.
    request.hwnd = windowOfOwner(parent());
    request.wFunc = shellFunction(operation_);
    request.pFrom = shellList(filesFrom_);
    request.pTo = shellList(filesTo_);
    request.fFlags = shellFlags(flags_);
    request.lpszProgressTitle = progressTitle_;
    request.fAnyOperationsAborted = 0;
    request.hNameMappings = nullptr;
    return request;
}

bool TFileOperation::Execute()
{
    SHFILEOPSTRUCT request = BuildRequest();
    const int result = SHFileOperation(&request);
    aborted_ = request.fAnyOperationsAborted != 0;
    return result == 0;
}

bool TFileOperation::runOnWholeNames()
{
    if (filesFrom_.find(';') == std::string::npos && filesTo_.find(';') == std::string::npos)
        return Execute() && !aborted_;
    // Each list holds one name, so its ";" is part of the name and goes to the shell as it is.
    SHFILEOPSTRUCT request = BuildRequest();
    request.pFrom = filesFrom_ + std::string(2, '\0');
    request.pTo = filesTo_.empty() ? std::string() : filesTo_ + std::string(2, '\0');
    const int result = SHFileOperation(&request);
    aborted_ = request.fAnyOperationsAborted != 0;
    return result == 0 && !aborted_;
}
