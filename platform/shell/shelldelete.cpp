// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting: to the trash with undo, for good without it; and renaming in place.
#include "platform/shell/dialogs.h"
#include "platform/shell/shellops.h"
#include "platform/shell/trash.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform::shellops {

namespace {

std::string deleteQuestion(const std::vector<Source>& sources, bool toTrash, std::string& caption)
{
    if (sources.size() > 1) {
        caption = "Confirm Multiple File Delete";
        const std::string count = std::to_string(sources.size());
        return toTrash ? "Are you sure you want to move these " + count + " items to the Trash?"
                       : "Are you sure you want to permanently delete these " + count + " items?";
    }
    const Source& s = sources.front();
    if (S_ISDIR(s.st.st_mode)) {
        caption = "Confirm Folder Delete";
        return toTrash
                   ? "Are you sure you want to move the folder '" + s.shown + "' and all its contents to the Trash?"
                   : "Are you sure you want to permanently delete the folder '" + s.shown + "' and all its contents?";
    }
    caption = "Confirm File Delete";
    return toTrash ? "Are you sure you want to move '" + s.shown + "' to the Trash?"
                   : "Are you sure you want to permanently delete '" + s.shown + "'?";
}

} // namespace

DWORD Operation::runDelete()
{
    std::vector<Source> sources;
    if (const DWORD err = resolveSources(sources))
        return err;
    if (sources.empty())
        return ERROR_SUCCESS;
    const bool toTrash = has(FOF_ALLOWUNDO);
    if (!has(FOF_NOCONFIRMATION)) {
        std::string caption;
        const std::string question = deleteQuestion(sources, toTrash, caption);
        if (ask(question, caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return fail(ERROR_CANCELLED, {});
    }
    total_ = static_cast<long long>(sources.size());
    if (!toTrash) {
        for (const Source& s : sources)
            measure(s.native, false);
    }
    for (const Source& s : sources) {
        if (!tick(0, s.shown))
            return fail(ERROR_CANCELLED, {});
        if (toTrash) {
            const TrashResult r = moveToTrash(s.native);
            switch (r.status) {
            case TrashResult::Trashed:
                break;
            case TrashResult::NoTrash:
                return fail(DE_NOTRASH, s.shown);
            case TrashResult::Missing:
                return fail(ERROR_FILE_NOT_FOUND, s.shown);
            case TrashResult::Failed:
                return fail(errorFromErrno(r.error), s.shown);
            }
            if (!tick(1, s.shown))
                return fail(ERROR_CANCELLED, {});
        } else if (const DWORD err = removeTree(s.native, s.shown)) {
            return err;
        }
    }
    return ERROR_SUCCESS;
}

DWORD Operation::removeTree(const std::string& native, const std::string& shown)
{
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0)
        return fail(errorFromErrno(errno), shown);
    // Links are removed themselves; what they point to is never touched.
    if (S_ISDIR(st.st_mode)) {
        for (const std::string& child : listFolder(native)) {
            if (const DWORD err = removeTree(joinNative(native, child), shown))
                return err;
        }
        if (::rmdir(native.c_str()) != 0)
            return fail(errorFromErrno(errno), shown);
    } else if (::unlink(native.c_str()) != 0) {
        return fail(errorFromErrno(errno), shown);
    }
    if (!tick(1, nativeName(native)))
        return fail(ERROR_CANCELLED, {});
    return ERROR_SUCCESS;
}

DWORD Operation::runRename()
{
    std::vector<Source> sources;
    if (const DWORD err = resolveSources(sources))
        return err;
    const std::vector<std::string> targets = splitNulList(op_.pTo);
    if (sources.size() != targets.size())
        return fail(ERROR_INVALID_PARAMETER, sources.empty() ? std::string() : sources.front().shown);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& s = sources[i];
        std::string dir, name;
        // A bare name renames within the source's folder.
        const std::string target = targets[i].find('\\') == std::string::npos
                                       ? s.drivePath.substr(0, s.drivePath.find_last_of('\\') + 1) + targets[i]
                                       : targets[i];
        if (const DWORD err = resolveTarget(target, dir, name))
            return fail(err, s.shown);
        if (const std::optional<std::string> existing = findFolded(dir, name)) {
            struct stat est {};
            // Only the item itself may hold the name already (a change of letter case).
            if (::lstat(joinNative(dir, *existing).c_str(), &est) != 0 || !sameEntry(est, s.st))
                return fail(ERROR_ALREADY_EXISTS, s.shown);
            if (*existing == name && dir == nativeParent(s.native))
                continue;
        }
        const std::string dst = joinNative(dir, name);
        if (S_ISDIR(s.st.st_mode) && dst.compare(0, s.native.size() + 1, s.native + "/") == 0)
            return fail(DE_DESTSUBTREE, s.shown);
        if (::renameat2(AT_FDCWD, s.native.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) != 0) {
            const int err = errno;
            if (err == EXDEV)
                return fail(ERROR_NOT_SAME_DEVICE, s.shown);
            return fail(err == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(err), s.shown);
        }
    }
    return ERROR_SUCCESS;
}

} // namespace platform::shellops
