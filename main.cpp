// SPDX-License-Identifier: GPL-3.0-or-later
// Tonfolio: browses folders of wave files and plays them.
#include "about/aboutdlg.h"
#include "browser/ApplicationService.h"
#include "browser/BrowserWindow.h"
#include "library/librarycommands.h"
#include "library/librarylocation.h"
#include "platform/files/argumentpath.h"
#include "platform/files/files.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>

namespace {

void describeCommandLine(QCommandLineParser& parser)
{
    parser.setApplicationDescription("Browse folders of WAV sound files and listen to them.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({"play", "Play the wave file given as PATH."});
    parser.addOption({"add-library", "Add the folder DIR, with every folder in it, to the library.", "DIR"});
    parser.addOption({"index", "Index the library folders (or the folders DIR... given as PATH, added to the "
                               "library if they are not in it) without a window: names and headers, then "
                               "measures. Progress on standard error; stopped, it goes on where it stopped."});
    parser.addOption({"full-check", "With --index: list every folder again and compare each file's size and time."});
    parser.addOption({"no-measures", "With --index: read names and headers only, measure nothing."});
    parser.addOption({"watch", "With --index: keep watching the library folders for changes until stopped "
                               "(an indexer next to the files of a shared library)."});
    parser.addOption({"find",
                      "Print the paths of the library's files that QUERY finds, one a line: words in "
                      "their names or folders and conditions such as bpm:120-130 or lufs:<-20.",
                      "QUERY"});
    parser.addOption({"like",
                      "Print the 20 files of the library that sound most like the wave file FILE (in the "
                      "library or not), nearest first: the distance (0 for the same sound) and the path.",
                      "FILE"});
    parser.addOption({"json", "With --find or --like: one JSON record a line with the columns of the list."});
    parser.addOption({"library-url",
                      "Use the shared library on the PostgreSQL server URL (postgresql://host/database) for this "
                      "run instead of the local one; the password comes from ~/.pgpass.",
                      "URL"});
    parser.addOption({"use-library",
                      "From now on use the shared library at URL (an empty URL: the local one again). A password "
                      "in it is not kept; put it in ~/.pgpass.",
                      "URL"});
    parser.addOption({"map-root",
                      "A root of the shared library NAME is at PATH on this machine (where it mounts the share).",
                      "NAME=PATH"});
    parser.addOption({"export-tags",
                      "Write the favourites and tags of every marked file to FILE (new; - for standard output) "
                      "as comma-separated values: path, favourite, tags, identity.",
                      "FILE"});
    parser.addOption({"import-tags",
                      "Add the favourites and tags of FILE (as --export-tags writes it) to the library, each file "
                      "found by its path or else by its identity; a line that fails is reported and skipped.",
                      "FILE"});
    parser.addPositionalArgument("PATH",
                                 "A folder to show, or a wave file to show in its folder. A Linux path "
                                 "or a drive path such as C:\\SOUNDS.",
                                 "[PATH]");
}

/// The bytes of the arguments given after an option or as positional arguments: a folder's name need
/// not be valid text.
std::vector<std::string> argumentsBytes(int argc, char* argv[], const QStringList& arguments);

/// Runs --add-library, --index, --find, --like and the tags' export and import without a display; the exit
/// status, or -1 when none was asked.
int runLibraryCommands(int argc, char* argv[], const QCommandLineParser& parser)
{
    if (parser.isSet("library-url"))
        library::setCommandLineLibraryUrl(parser.value("library-url").toStdString());
    const bool add = parser.isSet("add-library"), index = parser.isSet("index"), find = parser.isSet("find");
    const bool exportTags = parser.isSet("export-tags"), importTags = parser.isSet("import-tags"),
               like = parser.isSet("like");
    const bool use = parser.isSet("use-library"), map = parser.isSet("map-root");
    const int asked =
        int(add) + int(index) + int(find) + int(exportTags) + int(importTags) + int(like) + int(use) + int(map);
    if (asked == 0)
        return -1;
    if (asked > 1) {
        std::fprintf(stderr, "tonfolio: --add-library, --index, --find, --like, --export-tags, --import-tags, "
                             "--use-library and --map-root are given one at a time\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    if (use)
        return library::useLibraryCommand(parser.value("use-library").toStdString(), stdout, stderr);
    if (map)
        return library::mapRootCommand(parser.value("map-root"), stdout, stderr);
    if (exportTags)
        return library::exportTagsCommand(argumentsBytes(argc, argv, {parser.value("export-tags")}).front(), stdout,
                                          stderr);
    if (importTags)
        return library::importTagsCommand(argumentsBytes(argc, argv, {parser.value("import-tags")}).front(), stdout,
                                          stderr);
    if (add)
        return library::addLibraryCommand(argumentsBytes(argc, argv, parser.values("add-library")), stdout, stderr);
    if (find)
        return library::findCommand(parser.value("find"), parser.isSet("json"), stdout, stderr);
    if (like)
        return library::likeCommand(argumentsBytes(argc, argv, {parser.value("like")}).front(), parser.isSet("json"),
                                    stdout, stderr);
    library::IndexRequest request;
    request.folders = argumentsBytes(argc, argv, parser.positionalArguments());
    request.measure = !parser.isSet("no-measures");
    request.fullCheck = parser.isSet("full-check");
    request.watch = parser.isSet("watch");
    return library::indexCommand(request, stderr);
}

/// Answers --help and --version, and runs the library's commands, before anything needs a display.
/// Qt's own options (-style, ...) are left for QApplication, so an argument list this cannot read goes
/// on to the window's parser. Returns the exit status of a library command, or -1.
int answerTextOnlyRequests(int& argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    describeCommandLine(parser);
    if (!parser.parse(arguments))
        return -1;
    if (parser.isSet("help") || parser.isSet("help-all") || parser.isSet("version")) {
        QCoreApplication app(argc, argv);
        parser.process(app); // prints and ends the program
    }
    return runLibraryCommands(argc, argv, parser);
}

void complain(const QString& argument, const char* what)
{
    std::fprintf(stderr, "tonfolio: %s: %s\n", argument.toLocal8Bit().constData(), what);
}

/// The bytes of a positional argument as they were given: a file name need not be valid text.
std::string argumentBytes(int argc, char* argv[], const QString& argument)
{
    for (int i = 1; i < argc; ++i)
        if (QString::fromLocal8Bit(argv[i]) == argument)
            return argv[i];
    return argument.toLocal8Bit().toStdString();
}

std::vector<std::string> argumentsBytes(int argc, char* argv[], const QStringList& arguments)
{
    std::vector<std::string> out;
    for (const QString& a : arguments)
        out.push_back(argumentBytes(argc, argv, a));
    return out;
}

/// The launcher's token that lets the window come to the front; Qt takes it from the environment
/// when the application starts, so it is read first.
QVariantMap launchPlatformData()
{
    QVariantMap data;
    if (const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        data.insert("activation-token", QString::fromUtf8(token));
    if (const QByteArray id = qgetenv("DESKTOP_STARTUP_ID"); !id.isEmpty())
        data.insert("desktop-startup-id", QString::fromUtf8(id));
    return data;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName("Tonfolio");
    QCoreApplication::setOrganizationName("Varnholt");
    QCoreApplication::setApplicationVersion(TONFOLIO_VERSION);
    if (const int status = answerTextOnlyRequests(argc, argv); status >= 0)
        return status;
    const QVariantMap platformData = launchPlatformData();

    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/icons/tonfolio.svg"));
    // Lets docks match the window to its desktop entry and show its icon.
    QGuiApplication::setDesktopFileName(ApplicationService::kServiceName);

    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app);
    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 1)
        std::fprintf(stderr, "tonfolio: one folder or file at a time; showing the first\n");
    const bool play = parser.isSet("play");

    // A name that leads nowhere is reported, and the program starts as without it. A path refused, here or
    // by the running window, makes the exit status 1, so scripts can tell.
    std::string target;
    bool refused = false;
    if (!paths.isEmpty()) {
        target = platform::DrivePathOfArgument(argumentBytes(argc, argv, paths.front()));
        if (target.empty()) {
            complain(paths.front(), "on no drive of Tonfolio");
            refused = true;
        } else if (platform::GetFileAttributes(target) == platform::INVALID_FILE_ATTRIBUTES) {
            complain(paths.front(), "no such file or folder");
            target.clear();
            refused = true;
        }
    }
    // A running window is left as it is: the start was asked to show that path, not to open another window.
    if (refused && ApplicationService::windowRunning())
        return 1;
    if (!target.empty()) {
        switch (ApplicationService::handOver(target, play, platformData)) {
        case ApplicationService::HandOver::Shown:
            return 0;
        case ApplicationService::HandOver::NotShown:
            complain(paths.front(), "not a folder or wave file Tonfolio shows");
            return 1;
        case ApplicationService::HandOver::Superseded:
            complain(paths.front(), "not shown: a later path was handed to the open Tonfolio window first");
            return 1;
        case ApplicationService::HandOver::Busy:
            complain(paths.front(), "handed to the open Tonfolio window, which shows it once its dialog is closed");
            return 0;
        case ApplicationService::HandOver::NoRunningWindow:
            break;
        }
    }

    // The window comes first: closing it ends the program. The about box waits hidden until asked for.
    BrowserWindow form;
    TAboutBox about;
    form.setAboutBox(&about);
    auto* service = new ApplicationService(&form);
    service->publish();
    if (!target.empty() && !form.openPath(target, play)) {
        complain(paths.front(), "not a folder or wave file Tonfolio shows");
        refused = true;
    }
    form.show();
    const int status = app.exec();
    return status != 0 ? status : refused ? 1 : 0;
}
