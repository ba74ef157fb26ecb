// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A search query as one PostgreSQL statement with every value bound ($1 is the user whose favourites
// count), never spliced into its text. Words are looked for with LIKE in each file's folded words,
// which a pg_trgm index serves for words of three characters or more; conditions on measures through
// the files' copies of them.

#include "library/sqlsearch.h"

namespace library {

/// Files' ids in runs of this many: the words' index holds each file's run, so that a search in the
/// order of the ids can look through the first runs and stop there, instead of gathering every file
/// with the words before it can pick the first.
constexpr std::int64_t kIdRun = 32768;

/// The columns every search selects, in the order PostgresLibraryStore reads them. runs: when not
/// empty, only the files of these runs of ids.
SearchSql postgresSearchSql(const SearchQuery& query, const SearchOrder& order, int limit, const std::string& user,
                            const std::vector<std::int64_t>& runs = {});
/// Whether the search goes through the words' index in the order of the ids, and so run by run.
bool postgresSearchByRuns(const SearchQuery& query, const SearchOrder& order);

/// The columns of a search row, FROM and its joins; `who` the parameter holding the user. The measures
/// are the files' copies: a row needs no join with the measures' table.
std::string postgresColumns(const std::string& who);

/// A word as a LIKE pattern that finds it anywhere: its '\', '%' and '_' stand for themselves.
std::string likeAnywhere(const std::string& word);

} // namespace library
