// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/pgsearch.h"

#include <algorithm>

namespace library {

namespace {

/// Bytes as hex digits: a path need not be valid text.
std::string hexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out.push_back(digits[(static_cast<unsigned char>(c) >> 4) & 15]);
        out.push_back(digits[static_cast<unsigned char>(c) & 15]);
    }
    return out;
}

} // namespace

std::string likeAnywhere(const std::string& word)
{
    std::string out = "%";
    for (const char c : word) {
        if (c == '\\' || c == '%' || c == '_')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "%";
}

bool postgresSearchByRuns(const SearchQuery& query, const SearchOrder& order)
{
    // Words of two characters go through the index only beside a longer one (see postgresSearchSql).
    // A range of a measure is found through its own index, whole at every step: it goes in one.
    return (order.column == SearchColumn::Stored || order.column == SearchColumn::Similarity) &&
           query.conditions.empty() && std::any_of(query.words.begin(), query.words.end(), [](const std::string& w) {
               return characterCount(w) >= 3;
           });
}

SearchSql postgresSearchSql(const SearchQuery& query, const SearchOrder& order, int limit, const std::string& user,
                            const std::vector<std::int64_t>& runs)
{
    SqlBuilder b(SqlBuilder::Style::Postgres);
    const std::string who = b.text(user);
    std::vector<std::string> terms;
    // Words shorter than a trigram are looked for in the rows the rest lets through (strpos: the
    // planner would otherwise count on the trigram index for them, which cannot narrow them down).
    // Two letters or digits beside a longer word ("kick cr" on the way to "kick crash") go through the
    // index of the words' pairs too, as the longer word's rows may be many and the pair's few; alone, a
    // pair is met soon enough along the rows in their order.
    const bool longer = std::any_of(query.words.begin(), query.words.end(),
                                    [](const std::string& w) { return characterCount(w) >= 3; });
    for (const std::string& word : query.words) {
        if (word.empty())
            continue;
        if (characterCount(word) >= 3) {
            terms.push_back("f.words LIKE " + b.text(likeAnywhere(word)));
            continue;
        }
        terms.push_back("strpos(f.words, " + b.text(word) + ") > 0");
        if (longer && word.size() == 2 && std::all_of(word.begin(), word.end(), [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
            }))
            terms.push_back("f.pairs LIKE " + b.text("% " + word + " %"));
    }
    // The files' copies of their measures: a word and a range meet in the indexes of one table.
    for (const SearchQuery::Condition& c : query.conditions)
        terms.push_back(measureConditionSql(b, c, "f."));
    if (query.loops)
        terms.push_back("f.loops > 0");
    // The files directly in one folder, named by its path under its root's name.
    if (!query.folder.empty())
        terms.push_back("f.folder IN (SELECT d.id FROM folders d JOIN roots r ON r.id = d.root WHERE r.name ||"
                        " CASE WHEN length(d.path) = 0 THEN ''::bytea ELSE '/'::bytea || d.path END = decode(" +
                        b.text(hexOf(query.folder)) + ", 'hex'))");
    // The user's marks: the few files marked, by their ids.
    if (query.favourites)
        terms.push_back("f.id IN (SELECT k.file FROM marks k JOIN favourites v ON v.mark = k.id WHERE v.who = " + who +
                        " AND k.file IS NOT NULL)");
    for (const std::string& tag : query.tags)
        terms.push_back("f.id IN (SELECT k.file FROM tags t JOIN marks k ON k.id = t.mark WHERE t.folded = " +
                        b.text(tag) + " AND k.file IS NOT NULL)");
    if (!runs.empty()) {
        std::string list;
        for (const std::int64_t run : runs)
            list += (list.empty() ? "{" : ",") + std::to_string(run);
        // As the index has it: the run's number a bigint, the runs one array.
        terms.push_back("f.id / " + std::to_string(kIdRun) + " = ANY(" + b.text(list + "}") + "::bigint[])");
    }
    // The rows asked for are chosen among the files alone (and their folders when sorted by folder);
    // only those are joined to the rest of what a row shows.
    const std::string by = searchOrderSql(order, "f.id", "r.name", "f.");
    std::string chosen = "SELECT f.id FROM files f";
    if (order.column == SearchColumn::Folder)
        chosen += " JOIN folders d ON d.id = f.folder JOIN roots r ON r.id = d.root";
    for (size_t i = 0; i < terms.size(); ++i)
        chosen += (i == 0 ? " WHERE " : " AND ") + terms[i];
    chosen += " ORDER BY " + by + " LIMIT " + b.integer(limit < 0 ? 0 : limit);
    SearchSql out;
    out.sql = postgresColumns(who) + " WHERE f.id IN (" + chosen + ") ORDER BY " + by;
    out.values = std::move(b.values);
    return out;
}

std::string postgresColumns(const std::string& who)
{
    return "SELECT f.id, d.root, r.name, d.path, f.name, f.size, f.modified, f.format, f.channels, f.bits, f.rate,"
           " f.seconds, f.loudness, f.peak, f.tempo, f.pitch, f.key, f.decoded, f.decoded IS NOT NULL, f.missing,"
           " r.state, EXISTS (SELECT 1 FROM marks k JOIN favourites v ON v.mark = k.id WHERE k.file = f.id AND"
           " v.who = " +
           who +
           "), f.loops, f.description FROM files f JOIN folders d ON d.id = f.folder JOIN roots r ON"
           " r.id = d.root";
}

} // namespace library
