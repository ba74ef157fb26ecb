// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's favourites and tags, written and read on a thread of their own with a connection of their
// own: a window that stars or tags a file never waits for a shared server that is slow or gone. Requests
// run one after the other in the order they were made; answers come back on the keeper's thread. Other
// work of a window with the library (its folders) goes the same way.

#include "library/librarystore.h"

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QThread;

namespace library {

class MarksKeeper : public QObject {
    Q_OBJECT
public:
    /// Opens the store, on the keeper's thread; make is false where a local library that was never made
    /// need not be made (nothing was ever marked): it may then give none.
    using Opener = std::function<std::unique_ptr<LibraryStore>(bool make)>;
    explicit MarksKeeper(Opener open, QObject* parent = nullptr);
    /// Writes requested before are done first.
    ~MarksKeeper() override;

    /// `shown` is what the file had before, given back when the write fails.
    void setFavourite(const std::string& path, const platform::FileIdentity& identity, bool favourite,
                      const FileMarks& shown);
    void changeTags(const std::string& path, const platform::FileIdentity& identity, const QStringList& add,
                    const QStringList& remove, const FileMarks& shown);
    /// The program renamed or moved a file or folder (or deleted it: `to` empty).
    void followMarks(const std::string& from, const std::string& to);
    /// Answers with folderRead.
    void readFolder(const std::string& folder);
    /// Any other work with the store (none when it cannot be opened), in turn with the marks; the
    /// function it gives back runs on the keeper's own thread.
    /// `make` as for the Opener.
    void request(std::function<std::function<void()>(LibraryStore*)> work, bool make = true);
    /// Whether the keeper has requests not answered yet.
    bool busy() const { return pending_ > 0; }

signals:
    /// A write landed: the file's marks as stored now.
    void stored(const std::string& path, const library::FileMarks& marks);
    /// A write failed: the marks the file had before, and why.
    void failed(const std::string& path, const library::FileMarks& before, const QString& why);
    void folderRead(const std::string& folder, const std::map<std::string, library::FileMarks>& marks);
    /// What the store told on opening (a damaged file set aside, a server not there, ...).
    void notice(const QString& text);

private:
    /// Runs work on the keeper's thread with its store (null when there is none).
    void post(bool make, std::function<void(LibraryStore*)> work);
    /// Hands the answer to a request back to the keeper's own thread.
    void answer(std::function<void()> told);
    /// Hands anything else told back to it.
    void tell(std::function<void()> told);
    LibraryStore* store(bool make);
    /// Answers a write of a file's marks: as stored now, or what it showed before and why not.
    void answerWrite(LibraryStore* s, bool written, const std::string& path, const FileMarks& shown);
    /// Why a write failed, for the user.
    QString whyNot(LibraryStore* s);

    Opener open_;
    QThread* thread_;
    QObject* worker_;
    std::unique_ptr<LibraryStore> store_; // used on the keeper's thread only
    QString unusable_;                    // why the store could not be opened
    QString lastTold_;                    // a store that cannot be opened again and again says so once
    int pending_ = 0;
};

} // namespace library
