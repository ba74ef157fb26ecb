// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/libraryfolders.h"

#include "platform/files/foldertree.h"

namespace library {

namespace {

/// Whether path is folder or lies below it.
bool isWithin(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/');
}

} // namespace

QString pathText(const std::string& native)
{
    return QString::fromUtf8(native.data(), qsizetype(native.size()));
}

std::optional<LibraryPlace> placeOf(const std::vector<LibraryRoot>& roots, const std::string& native)
{
    const LibraryRoot* best = nullptr;
    for (const LibraryRoot& r : roots)
        if (isWithin(native, r.path) && (!best || r.path.size() > best->path.size()))
            best = &r;
    if (!best)
        return std::nullopt;
    LibraryPlace place;
    place.root = best->id;
    if (native.size() == best->path.size())
        return place;
    const std::string rest = native.substr(best->path == "/" ? 1 : best->path.size() + 1);
    const size_t slash = rest.rfind('/');
    place.folder = slash == std::string::npos ? std::string() : rest.substr(0, slash);
    place.name = slash == std::string::npos ? rest : rest.substr(slash + 1);
    return place;
}

AddedFolder addLibraryFolder(LibraryStore& store, const std::string& argument)
{
    AddedFolder out;
    int error = 0;
    const std::string folder = platform::folderOfArgument(argument, error);
    const QString named = pathText(argument);
    if (folder.empty()) {
        out.message = error == ENODEV
                          ? QStringLiteral("%1: on no drive of Tonfolio").arg(named)
                          : QStringLiteral("%1: %2").arg(named, QString::fromStdString(platform::errorText(error)));
        return out;
    }
    const std::vector<LibraryRoot> roots = store.roots();
    for (const LibraryRoot& r : roots) {
        if (r.path == folder) {
            out.root = r.id;
            out.message = QStringLiteral("%1 is a library folder already").arg(pathText(folder));
            return out;
        }
        if (isWithin(folder, r.path)) {
            out.message =
                QStringLiteral("%1 lies in the library folder %2 already").arg(pathText(folder), pathText(r.path));
            return out;
        }
    }
    out.root = store.addRoot(folder, platform::driveFolderOf(folder));
    if (!out.root) {
        out.message = QStringLiteral("%1 could not be added: the library cannot be written").arg(pathText(folder));
        return out;
    }
    out.message = QStringLiteral("%1 added to the library").arg(pathText(folder));
    for (const LibraryRoot& r : roots)
        if (isWithin(r.path, folder) && store.removeRoot(r.id))
            out.message += QStringLiteral("; the library folder %1 is part of it now").arg(pathText(r.path));
    return out;
}

std::optional<LibraryRoot> libraryFolderOf(LibraryStore& store, const std::string& argument)
{
    int error = 0;
    const std::string folder = platform::folderOfArgument(argument, error);
    if (folder.empty())
        return std::nullopt;
    const std::vector<LibraryRoot> roots = store.roots();
    const std::optional<LibraryPlace> place = placeOf(roots, folder);
    if (!place)
        return std::nullopt;
    for (const LibraryRoot& r : roots)
        if (r.id == place->root)
            return r;
    return std::nullopt;
}

} // namespace library
