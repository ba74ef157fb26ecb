// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/markskeeper.h"

#include <QThread>

namespace library {

MarksKeeper::MarksKeeper(Opener open, QObject* parent)
    : QObject(parent), open_(std::move(open)), thread_(new QThread(this)), worker_(new QObject)
{
    thread_->setObjectName("MarksKeeper");
    worker_->moveToThread(thread_);
    thread_->start();
}

MarksKeeper::~MarksKeeper()
{
    // Queued behind the writes requested: none is lost when the window closes.
    QMetaObject::invokeMethod(
        worker_, [t = thread_] { t->quit(); }, Qt::QueuedConnection);
    thread_->wait();
    delete worker_;
}

LibraryStore* MarksKeeper::store(bool make)
{
    // One that could not be opened is tried again at the next request: a server may be back by then.
    if (!store_) {
        std::unique_ptr<LibraryStore> opened = open_(make);
        if (!opened)
            return nullptr;
        const QString told = opened->takeNotice();
        if (opened->isOpen())
            store_ = std::move(opened);
        else
            unusable_ = told.isEmpty() ? QStringLiteral("the library cannot be opened") : told;
        if (!told.isEmpty() && told != lastTold_)
            tell([this, told] { emit notice(told); });
        lastTold_ = told;
    }
    return store_.get();
}

void MarksKeeper::post(bool make, std::function<void(LibraryStore*)> work)
{
    ++pending_;
    QMetaObject::invokeMethod(
        worker_, [this, make, work = std::move(work)] { work(store(make)); }, Qt::QueuedConnection);
}

void MarksKeeper::answer(std::function<void()> told)
{
    tell([this, told = std::move(told)] {
        --pending_;
        if (told)
            told();
    });
}

void MarksKeeper::tell(std::function<void()> told)
{
    QMetaObject::invokeMethod(this, std::move(told), Qt::QueuedConnection);
}

QString MarksKeeper::whyNot(LibraryStore* s)
{
    const QString why = s ? s->takeNotice() : unusable_; // a shared library says why
    return why.isEmpty() ? QStringLiteral("the library cannot be written") : why;
}

void MarksKeeper::answerWrite(LibraryStore* s, bool written, const std::string& path, const FileMarks& shown)
{
    if (written)
        answer([this, path, marks = s->marksOf(path), told = s->takeNotice()] {
            emit stored(path, marks);
            if (!told.isEmpty()) // a server that answers again says so
                emit notice(told);
        });
    else
        answer([this, path, shown, why = whyNot(s)] { emit failed(path, shown, why); });
}

void MarksKeeper::setFavourite(const std::string& path, const platform::FileIdentity& identity, bool favourite,
                               const FileMarks& shown)
{
    post(true, [=](LibraryStore* s) { answerWrite(s, s && s->setFavourite(path, identity, favourite), path, shown); });
}

void MarksKeeper::changeTags(const std::string& path, const platform::FileIdentity& identity, const QStringList& add,
                             const QStringList& remove, const FileMarks& shown)
{
    post(true, [=](LibraryStore* s) { answerWrite(s, s && s->changeTags(path, identity, add, remove), path, shown); });
}

void MarksKeeper::followMarks(const std::string& from, const std::string& to)
{
    post(false, [=](LibraryStore* s) {
        if (s && !(to.empty() ? s->forgetMarks(from) : s->followMarks(from, to)))
            answer([this, why = whyNot(s)] {
                emit notice("The favourites and tags of a file could not be kept: " + why);
            });
        else
            answer({});
    });
}

void MarksKeeper::readFolder(const std::string& folder)
{
    post(false, [=](LibraryStore* s) {
        answer([this, folder, marks = s ? s->marksIn(folder) : std::map<std::string, FileMarks>()] {
            emit folderRead(folder, marks);
        });
    });
}

void MarksKeeper::request(std::function<std::function<void()>(LibraryStore*)> work, bool make)
{
    post(make, [this, work = std::move(work)](LibraryStore* s) { answer(work(s)); });
}

} // namespace library
