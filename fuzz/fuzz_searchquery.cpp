// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target of the search language: the bytes are typed into the filter box, parsed, and the query
// is run against a small library in every order. A query a person can type must never make a statement
// the database refuses (a word read as an operator of the full-text language, a range it cannot bind).
#include "library/searchquery.h"
#include "library/sqlitelibrarystore.h"

#include <QTemporaryDir>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

library::SqliteLibraryStore& store()
{
    static QTemporaryDir dir;
    static std::unique_ptr<library::SqliteLibraryStore> s = [] {
        auto made = std::make_unique<library::SqliteLibraryStore>(dir.path().toStdString() + "/library.sqlite");
        const std::optional<library::RootId> root = made->addRoot("/sounds", "/");
        library::FolderWrite top, kicks;
        kicks.path = "Drums/Kicks";
        kicks.parentPath = "Drums";
        top.path = "Drums";
        for (const char* name : {"Kick Deep 01.wav", "\"quoted\" AND NOT.wav", "Pad é*.wav", "ab.wav"}) {
            library::FileRecord f;
            f.name = name;
            f.size = 1000;
            f.header.read = true;
            kicks.upserts.push_back(f);
        }
        if (!root || !made->writeFolders(*root, {top, kicks}) || made->indexWords(100) != 4)
            std::abort();
        return made;
    }();
    return *s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096)
        return 0;
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const library::SearchQuery q = library::SearchQuery::parse(typed);
    for (const library::SearchQuery::Condition& c : q.conditions)
        if (std::isnan(c.low) || std::isnan(c.high))
            std::abort(); // a range that no value meets nor fails
    library::SearchOrder order;
    for (int column = 0; column <= int(library::SearchColumn::Key); ++column) {
        order.column = library::SearchColumn(column);
        order.descending = column % 2 == 1;
        if (store().search(q, order, 10).failed)
            std::abort();
    }
    return 0;
}
