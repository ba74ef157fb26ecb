// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/librarylocation.h"

#include "library/postgreslibrarystore.h"
#include "library/sqlitelibrarystore.h"
#include "platform/database/pgconnection.h"

#include <QDir>
#include <QSettings>
#include <mutex>

namespace library {

namespace {

std::mutex urlMutex;
std::string commandLineUrl;

} // namespace

void setCommandLineLibraryUrl(const std::string& url)
{
    std::lock_guard<std::mutex> lock(urlMutex);
    commandLineUrl = url;
}

std::string librarySettingsFile()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.config";
    return (base + "/tonfolio/library.ini").toStdString();
}

LibraryLocation libraryLocation()
{
    LibraryLocation where;
    const QSettings settings(QString::fromStdString(librarySettingsFile()), QSettings::IniFormat);
    {
        std::lock_guard<std::mutex> lock(urlMutex);
        where.url = commandLineUrl;
    }
    if (where.url.empty())
        where.url = qEnvironmentVariable("TONFOLIO_LIBRARY_URL").toStdString();
    if (where.url.empty())
        where.url = settings.value("shared/url").toString().toStdString();
    // Roots are kept as "name" = "path on this machine" pairs: names are paths, which QSettings keys
    // cannot hold.
    const QStringList pairs = settings.value("shared/roots").toStringList();
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        where.rootPaths[pairs[i].toStdString()] = pairs[i + 1].toStdString();
    where.user = qEnvironmentVariable("TONFOLIO_LIBRARY_USER").toStdString();
    if (where.user.empty())
        where.user = settings.value("shared/user").toString().toStdString();
    return where;
}

LibraryLocation locationOf(const std::string& databaseFile)
{
    if (databaseFile.empty())
        return libraryLocation();
    LibraryLocation where;
    where.file = databaseFile;
    return where;
}

std::unique_ptr<LibraryStore> openLibraryStore(const LibraryLocation& where)
{
    if (where.isShared())
        return std::make_unique<PostgresLibraryStore>(where.url, where.rootPaths, where.user);
    return std::make_unique<SqliteLibraryStore>(where.file);
}

std::unique_ptr<LibraryStore> openLibraryStore()
{
    return openLibraryStore(libraryLocation());
}

bool rememberLibraryUrl(const std::string& url)
{
    const std::string kept = platform::PgConnection::withoutPassword(url);
    QSettings settings(QString::fromStdString(librarySettingsFile()), QSettings::IniFormat);
    if (kept.empty())
        settings.remove("shared/url");
    else
        settings.setValue("shared/url", QString::fromStdString(kept));
    return kept != url;
}

void rememberRootPath(const std::string& name, const std::string& path)
{
    QSettings settings(QString::fromStdString(librarySettingsFile()), QSettings::IniFormat);
    QStringList pairs = settings.value("shared/roots").toStringList();
    QStringList kept;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        if (pairs[i] != QString::fromStdString(name))
            kept << pairs[i] << pairs[i + 1];
    if (!path.empty())
        kept << QString::fromStdString(name) << QString::fromStdString(path);
    settings.setValue("shared/roots", kept);
}

} // namespace library
