// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A search query as one PostgreSQL statement with every value bound ($1 is the user whose favourites
// count), never spliced into its text. Words are looked for with LIKE in each file's folded words,
// which a pg_trgm index serves for words of three characters or more; conditions on measures through
// the files' copies of them.

#include "library/sqlsearch.h"

namespace library {

/// The columns every search selects, in the order PostgresLibraryStore reads them.
SearchSql postgresSearchSql(const SearchQuery& query, const SearchOrder& order, int limit, const std::string& user);

/// The columns of a search row, FROM and its joins; `who` the parameter holding the user.
std::string postgresColumns(const std::string& who);

/// A word as a LIKE pattern that finds it anywhere: its '\', '%' and '_' stand for themselves.
std::string likeAnywhere(const std::string& word);

} // namespace library
