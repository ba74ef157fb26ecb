// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/shell.h"

#include "platform/shell/dialogs.h"
#include "platform/files/nativepath.h"
#include "platform/shell/shellops.h"
#include "platform/shell/trash.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

using namespace shellops;

int progressDelayMs = 500;

/// The shell's own failures in its words; the system's error codes as errorText words them.
std::string reasonText(DWORD code)
{
    switch (code) {
    case DE_SAMEFILE:
        return "The source and destination file names are the same.";
    case DE_DESTSUBTREE:
        return "The destination folder is a subfolder of the source folder.";
    case DE_ROOTDIR:
        return "A drive cannot be moved, renamed or deleted.";
    case DE_NOTRASH:
        return "The Trash cannot be used on this drive. Nothing was deleted.";
    case DE_NOTREGULAR:
        return "It is not a regular file and cannot be read.";
    case DE_VERIFY:
        return "The copy does not match the original. The original was kept.";
    case DE_REPLACEKIND:
        return "A file cannot replace a folder, nor a folder a file.";
    default:
        return errorText(code);
    }
}

std::string verbOf(UINT func)
{
    switch (func) {
    case FO_MOVE:
        return "move";
    case FO_COPY:
        return "copy";
    case FO_DELETE:
        return "delete";
    default:
        return "rename";
    }
}

std::string errorCaption(UINT func)
{
    switch (func) {
    case FO_MOVE:
        return "Error Moving File or Folder";
    case FO_COPY:
        return "Error Copying File or Folder";
    case FO_DELETE:
        return "Error Deleting File or Folder";
    default:
        return "Error Renaming File or Folder";
    }
}

std::string defaultTitle(UINT func)
{
    switch (func) {
    case FO_MOVE:
        return "Moving...";
    case FO_COPY:
        return "Copying...";
    case FO_DELETE:
        return "Deleting...";
    default:
        return "Renaming...";
    }
}

std::string lastComponent(const std::string& drivePath)
{
    std::string p = drivePath;
    while (p.size() > 3 && p.back() == '\\')
        p.pop_back();
    const auto slash = p.find_last_of('\\');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool isDriveRoot(const std::string& drivePath)
{
    return drivePath.size() <= 3 && drivePath.size() >= 2 && drivePath[1] == ':' &&
           (drivePath.size() == 2 || drivePath[2] == '\\');
}

} // namespace

// --- the operation ---

namespace shellops {

Operation::Operation(SHFILEOPSTRUCT& op) : op_(op) {}

Operation::~Operation()
{
    if (progressShown_)
        dialogBackend().progressEnd();
}

bool Operation::has(WORD flag) const
{
    return (op_.fFlags & flag) != 0;
}

DWORD Operation::fail(DWORD code, const std::string& name)
{
    if (code == ERROR_CANCELLED) {
        op_.fAnyOperationsAborted = TRUE_;
        return code;
    }
    if (!has(FOF_NOERRORUI)) {
        hideProgressWhileAsking();
        MessageBox(op_.hwnd, "Cannot " + verbOf(op_.wFunc) + " " + name + ": " + reasonText(code),
                   errorCaption(op_.wFunc), MB_OK | MB_ICONERROR);
    }
    return code;
}

void Operation::hideProgressWhileAsking()
{
    // A question must not sit behind the progress window; the window comes back at the next step.
    if (progressShown_) {
        dialogBackend().progressEnd();
        progressShown_ = false;
    }
}

bool Operation::tick(long long advance, const std::string& text)
{
    done_ += advance;
    if (has(FOF_SILENT))
        return true;
    if (!progressShown_ && clock_.elapsed() >= progressDelayMs) {
        const std::string title =
            has(FOF_SIMPLEPROGRESS) && !op_.lpszProgressTitle.empty() ? op_.lpszProgressTitle : defaultTitle(op_.wFunc);
        dialogBackend().progressBegin(op_.hwnd, title, total_);
        progressShown_ = true;
    }
    if (progressShown_) {
        dialogBackend().progressUpdate(done_, has(FOF_SIMPLEPROGRESS) ? std::string() : text);
        if (dialogBackend().progressCancelled()) {
            cancelled_ = true;
            return false;
        }
    }
    return true;
}

int Operation::ask(const std::string& text, const std::string& caption, UINT type)
{
    hideProgressWhileAsking();
    return MessageBox(op_.hwnd, text, caption, type);
}

void Operation::measure(const std::string& native, bool follow)
{
    struct stat st {};
    if ((follow ? ::stat(native.c_str(), &st) : ::lstat(native.c_str(), &st)) != 0)
        return;
    total_ += 1;
    if (S_ISREG(st.st_mode) && op_.wFunc != FO_DELETE)
        total_ += st.st_size;
    if (S_ISDIR(st.st_mode)) {
        for (const std::string& child : listFolder(native))
            measure(joinNative(native, child), false);
    }
}

std::vector<std::string> listFolder(const std::string& native)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(native.c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> findFolded(const std::string& dir, const std::string& name)
{
    struct stat st {};
    if (::lstat(joinNative(dir, name).c_str(), &st) == 0)
        return name;
    const std::string folded = foldCase(name);
    for (const std::string& entry : listFolder(dir)) {
        if (foldCase(entry) == folded)
            return entry; // the first in byte order, as the drive paths resolve it
    }
    return std::nullopt;
}

std::string freeCollisionName(const std::string& dir, const std::string& name)
{
    for (int n = 1;; ++n) {
        const std::string candidate = collisionName(name, n);
        if (!findFolded(dir, candidate))
            return candidate;
    }
}

// --- resolving the request ---

DWORD Operation::resolveSources(std::vector<Source>& sources)
{
    for (const std::string& path : splitNulList(op_.pFrom)) {
        std::string trimmed = path;
        while (trimmed.size() > 3 && trimmed.back() == '\\')
            trimmed.pop_back();
        const std::string shown = lastComponent(trimmed);
        if (isDriveRoot(trimmed))
            return fail(DE_ROOTDIR, shown);
        const std::optional<std::string> native = existingNativePath(trimmed);
        if (!native) {
            const DWORD err = GetLastError();
            return fail(err == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : err, shown);
        }
        Source s;
        s.drivePath = trimmed;
        s.shown = shown;
        s.native = *native;
        if (::lstat(s.native.c_str(), &s.st) != 0)
            return fail(errorFromErrno(errno), shown);
        sources.push_back(s);
    }
    return ERROR_SUCCESS;
}

// The folder and name a drive path stands for, the name kept as written (a rename may change letter case).
DWORD Operation::resolveTarget(const std::string& drivePath, std::string& dir, std::string& name)
{
    std::string trimmed = drivePath;
    while (trimmed.size() > 3 && trimmed.back() == '\\')
        trimmed.pop_back();
    const auto slash = trimmed.find_last_of('\\');
    if (isDriveRoot(trimmed) || slash == std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return ERROR_INVALID_NAME;
    }
    name = trimmed.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return ERROR_INVALID_NAME;
    const std::string parent = trimmed.substr(0, std::max<std::size_t>(slash, 2)) + (slash <= 2 ? "\\" : "");
    const std::optional<std::string> nativeDir = existingNativePath(parent);
    if (!nativeDir)
        return ERROR_PATH_NOT_FOUND;
    struct stat st {};
    if (::stat(nativeDir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ERROR_PATH_NOT_FOUND;
    dir = *nativeDir;
    return ERROR_SUCCESS;
}

int Operation::run()
{
    op_.fAnyOperationsAborted = FALSE_;
    op_.hNameMappings = nullptr;
    clock_.start();
    DWORD result = ERROR_INVALID_FUNCTION;
    switch (op_.wFunc) {
    case FO_DELETE:
        result = runDelete();
        break;
    case FO_COPY:
    case FO_MOVE:
        result = runTransfer();
        break;
    case FO_RENAME:
        result = runRename();
        break;
    default:
        break;
    }
    invalidateListings();
    if (cancelled_) {
        op_.fAnyOperationsAborted = TRUE_;
        if (result == ERROR_SUCCESS)
            result = ERROR_CANCELLED;
    }
    return static_cast<int>(result);
}

} // namespace shellops

int SHFileOperation(SHFILEOPSTRUCT* op)
{
    if (!op)
        return static_cast<int>(ERROR_INVALID_PARAMETER);
    shellops::Operation operation(*op);
    return operation.run();
}

std::vector<std::string> splitNulList(const std::string& list)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < list.size()) {
        const std::size_t end = list.find('\0', start);
        const std::string name = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty())
            break;
        names.push_back(name);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return names;
}

std::string collisionName(const std::string& name, int n)
{
    const auto dot = name.find_last_of('.');
    const bool hasExt = dot != std::string::npos && dot != 0;
    const std::string stem = hasExt ? name.substr(0, dot) : name;
    const std::string ext = hasExt ? name.substr(dot) : std::string();
    return stem + " - Copy" + (n <= 1 ? std::string() : " (" + std::to_string(n) + ")") + ext;
}

void setProgressDelay(int milliseconds)
{
    progressDelayMs = std::max(0, milliseconds);
}

} // namespace platform
