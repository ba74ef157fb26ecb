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
    std::vector<SqlValue> values; ///< for the placeholders in their order
};

/// Values bound to a statement and their placeholders: SQLite's "?n", or PostgreSQL's "$n" with its
/// type, so that both stores build their searches from the same shapes.
class SqlBuilder {
public:
    enum class Style { Sqlite, Postgres };
    explicit SqlBuilder(Style style) : style_(style) {}
    std::string text(std::string v);
    std::string real(double v);
    std::string integer(std::int64_t v);
    std::vector<SqlValue> values;

private:
    std::string add(SqlValue v, const char* type);
    Style style_;
};

/// A condition on a measure, its column named with the prefix ("m." or none).
std::string measureConditionSql(SqlBuilder& b, const SearchQuery::Condition& c, const std::string& prefix);
/// The ORDER BY of a search: rowId names the file's id, rootName the root's column the folders sort
/// by, measures the prefix of the measures' columns. Files without the measure sorted by go last.
std::string searchOrderSql(const SearchOrder& order, const std::string& rowId, const char* rootName,
                           const char* measures);

/// How many files meet a query's conditions (sqliteMeasuredCountSql), which decides where a search
/// with words and conditions starts.
enum class MeasuredShare { Few, Some, Many };

/// The columns every search selects, in the order SqliteLibraryStore reads them.
/// pairs: for words of two characters, the index's trigrams that start with them. wordsIndexed: the
/// full-text index has every file's words; when some wait for it, every file's words are looked at.
SearchSql sqliteSearchSql(const SearchQuery& query, const SearchOrder& order, int limit,
                          MeasuredShare measured = MeasuredShare::Some,
                          const std::map<std::string, std::vector<std::string>>& pairs = {}, bool wordsIndexed = true);
/// The columns of sqliteSearchSql for the one file whose id is ?1.
const char* sqliteRowSql();
/// How many files meet the query's conditions, counted up to cap.
SearchSql sqliteMeasuredCountSql(const SearchQuery& query, int cap);

} // namespace library
