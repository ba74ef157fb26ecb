// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A search query as one SQLite statement with every value bound, never spliced into its text. Words of
// three characters or more go through the trigram index of names and folders, in row id order so that
// the first rows come without the rest; shorter words are looked for in the words of the rows it lets
// through, and conditions on measures by each row's id, or through the measures' own indexes when no
// word is typed.

#include "library/librarystore.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace library {

struct SqlValue {
    enum class Kind { Text, Real, Integer } kind = Kind::Text;
    std::string text;
    double real = 0;
    std::int64_t integer = 0;
};

struct SearchSql {
    std::string sql;
    std::vector<SqlValue> values; ///< for ?1, ?2, ...
};

/// How many files meet a query's conditions (sqliteMeasuredCountSql), which decides where a search
/// with words and conditions starts.
enum class MeasuredShare { Few, Some, Many };

/// The columns every search selects, in the order SqliteLibraryStore reads them.
/// pairs: for words of two characters, the index's trigrams that start with them. wordsIndexed: the
/// full-text index has every file's words; when some wait for it, every file's words are looked at.
SearchSql sqliteSearchSql(const SearchQuery& query, const SearchOrder& order, int limit,
                          MeasuredShare measured = MeasuredShare::Some,
                          const std::map<std::string, std::vector<std::string>>& pairs = {},
                          bool wordsIndexed = true);
/// The columns of sqliteSearchSql for the one file whose id is ?1.
const char* sqliteRowSql();
/// How many files meet the query's conditions, counted up to cap.
SearchSql sqliteMeasuredCountSql(const SearchQuery& query, int cap);

} // namespace library
