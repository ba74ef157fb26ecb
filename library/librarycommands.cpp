// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/librarycommands.h"

#include "library/folderscanner.h"
#include "library/libraryfolders.h"
#include "library/libraryindexer.h"
#include "library/librarylocation.h"
#include "library/tagscsv.h"
#include "platform/database/pgconnection.h"
#include "platform/files/fileidentity.h"
#include "platform/files/foldertree.h"
#include "platform/files/wholefile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <map>
#include <unistd.h>

namespace library {

namespace {

// Progress lines when standard error is no terminal, at most this often.
constexpr qint64 kLogLineMs = 2000;
// The nearest sounds --like prints.
constexpr int kLikeCount = 20;

void print(std::FILE* f, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fprintf(f, "%s\n", bytes.constData());
}

/// Opens the user's library, telling what happened to it on err.
std::unique_ptr<LibraryStore> openLibrary(std::FILE* err)
{
    auto store = openLibraryStore();
    if (const QString notice = store->takeNotice(); !notice.isEmpty())
        print(err, QStringLiteral("tonfolio: ") + notice);
    return store;
}

const char* stateName(RootState s)
{
    switch (s) {
    case RootState::New:
        return "new";
    case RootState::Indexing:
        return "indexing";
    case RootState::Ready:
        return "indexed";
    case RootState::Offline:
        return "offline";
    case RootState::Unreachable:
        return "unreadable";
    case RootState::NeedsConfirmation:
        return "waiting for confirmation";
    }
    return "";
}

QJsonObject rowJson(const SearchRow& r)
{
    QJsonObject o;
    o["path"] = pathText(r.path());
    o["folder"] = pathText(r.folderPath());
    o["name"] = pathText(r.name);
    o["size"] = double(r.size);
    o["modified"] = double(r.modified / 1000000); // ms since the epoch
    o["available"] = r.availability == Availability::Present   ? "yes"
                     : r.availability == Availability::Offline ? "offline"
                                                               : "missing";
    if (r.header.read) {
        o["format_tag"] = r.header.formatTag;
        o["channels"] = r.header.channels;
        o["bits"] = r.header.bits;
        o["rate"] = double(r.header.rate);
        o["seconds"] = r.header.seconds;
    }
    // What the file says of itself, where it says anything.
    if (!r.header.description.isEmpty())
        o["description"] = r.header.description;
    if (r.header.loops > 0)
        o["loops"] = double(r.header.loops);
    if (r.measures && r.measures->decoded) {
        // Measures a sound does not have are left out; silence's minus infinity is JSON's null.
        auto put = [&](const char* name, double v) {
            if (!std::isnan(v))
                o[name] = std::isfinite(v) ? QJsonValue(v) : QJsonValue();
        };
        put("loudness", r.measures->loudness);
        put("peak", r.measures->peak);
        put("tempo", r.measures->tempo);
        put("pitch", r.measures->pitch);
        if (r.measures->key)
            o["key"] = QString::fromStdString(r.measures->key->shortName());
    }
    return o;
}

/// Ends the event loop on Ctrl+C or a kill: what was written stays, and the next run goes on from there.
class StopOnSignal {
public:
    explicit StopOnSignal(LibraryIndexer& indexer)
    {
        if (::pipe(pipe_) != 0)
            return;
        writeEnd() = pipe_[1];
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [&indexer] {
            indexer.stop();
            QCoreApplication::exit(130);
        });
    }
    ~StopOnSignal()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        notifier_.reset();
        writeEnd() = -1;
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }

private:
    static int& writeEnd()
    {
        static int fd = -1;
        return fd;
    }
    static void onSignal(int)
    {
        const char c = 0;
        if (writeEnd() >= 0)
            (void)!::write(writeEnd(), &c, 1);
    }
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace

int addLibraryCommand(const std::vector<std::string>& folders, std::FILE* out, std::FILE* err)
{
    const auto store = openLibrary(err);
    if (!store->isOpen())
        return 1;
    int status = 0;
    for (const std::string& f : folders) {
        const AddedFolder added = addLibraryFolder(*store, f);
        print(added.root ? out : err, added.root ? added.message : QStringLiteral("tonfolio: ") + added.message);
        if (!added.root)
            status = 1;
    }
    return status;
}

int useLibraryCommand(const std::string& url, std::FILE* out, std::FILE* err)
{
    if (rememberLibraryUrl(url))
        print(err,
              QStringLiteral("tonfolio: the password was left out of the settings; put it in ~/.pgpass (mode 0600), "
                             "where the server's client library reads it"));
    setCommandLineLibraryUrl(url);
    const auto store = openLibrary(err);
    if (!store->isOpen())
        return 1;
    print(out, url.empty() ? QStringLiteral("The library is the local one again")
                           : QStringLiteral("The library is the shared one at %1")
                                 .arg(QString::fromStdString(platform::PgConnection::withoutPassword(url))));
    for (const LibraryRoot& r : store->roots())
        print(out, QStringLiteral("  %1 (%2)").arg(pathText(r.path), QString::fromUtf8(stateName(r.state))));
    return 0;
}

int mapRootCommand(const QString& mapping, std::FILE* out, std::FILE* err)
{
    const qsizetype equals = mapping.indexOf('=');
    if (equals <= 0 || !mapping.startsWith('/') || (equals + 1 < mapping.size() && mapping[equals + 1] != '/')) {
        print(err, QStringLiteral("tonfolio: --map-root takes NAME=PATH, both absolute (the root's name as the library "
                                  "shows it, and where this machine mounts it)"));
        return 1;
    }
    rememberRootPath(mapping.left(equals).toStdString(), mapping.mid(equals + 1).toStdString());
    print(out,
          QStringLiteral("%1 is at %2 on this machine")
              .arg(mapping.left(equals), equals + 1 < mapping.size() ? mapping.mid(equals + 1) : mapping.left(equals)));
    return 0;
}

int indexCommand(const IndexRequest& request, std::FILE* err)
{
    std::vector<RootId> ids;
    {
        const auto store = openLibrary(err);
        if (!store->isOpen())
            return 1;
        for (const std::string& f : request.folders) {
            std::optional<LibraryRoot> root = libraryFolderOf(*store, f);
            if (!root) {
                const AddedFolder added = addLibraryFolder(*store, f);
                print(err, (added.root ? QString() : QStringLiteral("tonfolio: ")) + added.message);
                if (!added.root)
                    return 1;
                ids.push_back(*added.root);
            } else {
                ids.push_back(root->id);
            }
        }
        if (store->roots().empty()) {
            print(err, QStringLiteral("tonfolio: the library has no folders; add one with --add-library DIR"));
            return 1;
        }
        for (const RootId id : ids)
            if (request.fullCheck)
                store->beginFullCheck(id);
        if (request.fullCheck && ids.empty())
            for (const LibraryRoot& r : store->roots())
                store->beginFullCheck(r.id);
    }
    LibraryIndexer::Options options;
    options.measure = request.measure;
    options.watch = request.watch;
    LibraryIndexer indexer(options);
    const bool terminal = ::isatty(::fileno(err));
    QElapsedTimer sinceLine;
    std::map<qint64, std::pair<int, QString>> outcomes;
    bool passOneDone = false;
    QObject::connect(&indexer, &LibraryIndexer::progress, [&](qint64 files, qint64 left, qint64 toMeasure) {
        if (!terminal && sinceLine.isValid() && sinceLine.elapsed() < kLogLineMs)
            return;
        sinceLine.start();
        const QString text =
            !passOneDone ? QStringLiteral("Indexing: %1 files, %2 folders left").arg(countText(files), countText(left))
                         : QStringLiteral("Measuring: %1 files left").arg(countText(toMeasure));
        const QByteArray bytes = text.toUtf8();
        std::fprintf(err, terminal ? "\r%-60s" : "%s\n", bytes.constData());
        std::fflush(err);
    });
    QObject::connect(&indexer, &LibraryIndexer::notice, [&](const QString& text) { print(err, "tonfolio: " + text); });
    QObject::connect(&indexer, &LibraryIndexer::rootFinished, [&](qint64 root, int state, const QString& status) {
        outcomes[root] = {state, status};
    });
    QObject::connect(&indexer, &LibraryIndexer::passOneFinished, [&] {
        passOneDone = true;
        if (!request.measure && !request.watch)
            QCoreApplication::exit(0);
    });
    QObject::connect(&indexer, &LibraryIndexer::measuringIdle, [&] {
        if (passOneDone && !request.watch)
            QCoreApplication::exit(0);
    });
    int status = 0;
    {
        StopOnSignal stopper(indexer);
        indexer.start(ids);
        status = QCoreApplication::exec();
    }
    if (terminal)
        std::fprintf(err, "\n");
    const auto store = openLibrary(err);
    for (const LibraryRoot& r : store->roots()) {
        if (!ids.empty() && std::find(ids.begin(), ids.end(), r.id) == ids.end())
            continue;
        // How this pass ended for the folder: another indexer running at the same time may already have
        // marked it as indexing again in the shared database.
        RootState state = r.state;
        QString text = r.status;
        if (const auto own = outcomes.find(r.id); own != outcomes.end()) {
            state = RootState(own->second.first);
            text = own->second.second;
        }
        print(err, QStringLiteral("%1: %2 (%3)").arg(pathText(r.path), text, QString::fromLatin1(stateName(state))));
        if (state != RootState::Ready)
            status = status ? status : 1;
    }
    if (status == 130)
        print(err, QStringLiteral("tonfolio: stopped; indexing goes on where it stopped next time"));
    return status;
}

int findCommand(const QString& query, bool json, std::FILE* out, std::FILE* err)
{
    const SearchQuery q = SearchQuery::parse(query);
    for (const QString& problem : q.problems)
        print(err, QStringLiteral("tonfolio: ") + problem);
    const auto store = openLibrary(err);
    if (!store->isOpen())
        return 1;
    const SearchResult result = store->search(q, SearchOrder{SearchColumn::Folder, false}, INT_MAX - 1);
    if (result.failed) {
        print(err, QStringLiteral("tonfolio: the library cannot be read"));
        return 1;
    }
    for (const SearchRow& r : result.rows) {
        if (json) {
            const QByteArray line = QJsonDocument(rowJson(r)).toJson(QJsonDocument::Compact);
            std::fprintf(out, "%s\n", line.constData());
        } else {
            // The path's own bytes: a name need not be valid text.
            const std::string path = r.path();
            std::fwrite(path.data(), 1, path.size(), out);
            std::fputc('\n', out);
        }
    }
    return 0;
}

int likeCommand(const std::string& file, bool json, std::FILE* out, std::FILE* err)
{
    // The file's real path: its folder with links resolved, so that a file of the library is found
    // under the path the library knows it by.
    const size_t cut = file.find_last_of(file.size() > 1 && file[1] == ':' ? "\\/" : "/");
    std::string dir = cut == std::string::npos ? "." : file.substr(0, cut);
    if (dir.empty() || dir.back() == ':') // the root of the file system or of a drive
        dir = file.substr(0, cut + 1);
    int error = 0;
    const std::string folder = platform::folderOfArgument(dir, error);
    const std::string path = (folder == "/" ? "" : folder) + "/" + file.substr(cut + 1);
    auto unreadable = [&] {
        print(err, QStringLiteral("tonfolio: %1: not a sound Tonfolio can read (or silent)").arg(pathText(file)));
        return 1;
    };
    if (folder.empty() || !platform::fileIdentity(path))
        return unreadable();
    const auto store = openLibrary(err);
    if (!store->isOpen())
        return 1;
    // Measured already when it is in the library; otherwise decoded and measured now.
    const std::optional<FileId> known = store->fileAt(path);
    std::optional<SoundFeatures> like = known ? store->featuresOf(*known) : std::nullopt;
    if (!like)
        like = featuresOfFile(path);
    if (!like)
        return unreadable();
    const SearchResult result = store->similar(*like, {}, {}, kLikeCount);
    if (result.failed) {
        print(err, QStringLiteral("tonfolio: the library cannot be read"));
        return 1;
    }
    for (const SearchRow& r : result.rows) {
        const double similarity = r.similarity.value_or(0);
        const double distance = similarity > 0 ? 1 / similarity - 1 : HUGE_VAL;
        if (json) {
            QJsonObject o = rowJson(r);
            o["distance"] = distance;
            o["similarity"] = similarity;
            std::fprintf(out, "%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        } else {
            const std::string p = r.path();
            std::fprintf(out, "%.4f\t", distance);
            std::fwrite(p.data(), 1, p.size(), out);
            std::fputc('\n', out);
        }
    }
    return 0;
}

namespace {

// A list of marks larger than this is no list of this program's.
constexpr std::size_t kLargestTagsFile = std::size_t(256) << 20;

/// The record's marks added to those the file has: an import never takes a star or a tag away.
bool addMarks(LibraryStore& store, const std::string& path, const platform::FileIdentity& identity,
              const FileMarks& marks)
{
    return (!marks.favourite || store.setFavourite(path, identity, true)) &&
           (marks.tags.isEmpty() || store.changeTags(path, identity, marks.tags, {}));
}

} // namespace

int exportTagsCommand(const std::string& file, std::FILE* out, std::FILE* err)
{
    const auto store = openLibrary(err);
    if (!store->isOpen())
        return 1;
    std::string text = std::string(kTagsCsvHeader) + "\r\n";
    const std::vector<MarkedFile> marked = store->markedFiles(false);
    for (const MarkedFile& f : marked)
        text += tagsCsvRecord(f);
    if (file == "-") {
        std::fwrite(text.data(), 1, text.size(), out);
        return 0;
    }
    int error = 0;
    if (!platform::writeNewFile(file, text, error)) {
        print(err, QStringLiteral("tonfolio: %1: %2").arg(pathText(file), QString::fromLocal8Bit(std::strerror(error))));
        return 1;
    }
    print(out, QStringLiteral("%1 files written to %2").arg(countText(std::int64_t(marked.size())), pathText(file)));
    return 0;
}

int importTagsCommand(const std::string& file, std::FILE* out, std::FILE* err)
{
    int error = 0;
    const std::optional<std::string> text = platform::readWholeFile(file, kLargestTagsFile, error);
    if (!text) {
        print(err, QStringLiteral("tonfolio: %1: %2").arg(pathText(file), QString::fromLocal8Bit(std::strerror(error))));
        return 1;
    }
    const auto store = openLibrary(err);
    if (!store->isOpen())
        return 1;
    TagsCsvReader reader(*text);
    TagsCsvLine line;
    std::int64_t taken = 0, skipped = 0;
    while (reader.next(line)) {
        QString problem = line.problem;
        if (line.file) {
            // By its path, else where a file of its identity is now.
            std::string path = line.file->path;
            std::optional<platform::FileIdentity> identity = platform::fileIdentity(path);
            if (!identity && line.file->identity.inode != 0)
                if (const std::optional<std::string> moved = store->indexedPathOf(line.file->identity))
                    if ((identity = platform::fileIdentity(*moved)))
                        path = *moved;
            if (!identity)
                problem = QStringLiteral("no file at %1, nor one with its identity").arg(pathText(line.file->path));
            else if (!addMarks(*store, path, *identity, line.file->marks))
                problem = QStringLiteral("the library cannot be written");
        }
        if (problem.isEmpty()) {
            ++taken;
            continue;
        }
        ++skipped;
        print(err, QStringLiteral("tonfolio: %1:%2: %3, skipped").arg(pathText(file)).arg(line.line).arg(problem));
    }
    print(out, QStringLiteral("%1 files taken from %2%3")
                   .arg(countText(taken), pathText(file),
                        skipped ? QStringLiteral(", %1 lines skipped").arg(countText(skipped)) : QString()));
    return skipped ? 1 : 0;
}

} // namespace library
