// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/sqlsearch.h"

#include <limits>

namespace library {

namespace {

// The trigram index finds texts of three characters or more; shorter words are looked for in the
// words of each file the rest of the query lets through.
constexpr size_t kTrigram = 3;
// A word of two characters goes through the index as the trigrams starting with it, up to this many.
constexpr size_t kPairTerms = 300;
// Notes a pitch condition naming only the pitch class can be: MIDI notes 0 to 131, octaves -1 to 9.
constexpr int kLowestOctave = -1, kHighestOctave = 9;

const char* const kColumns =
    "SELECT f.id, d.root, r.path, d.path, f.name, f.size, f.modified, f.format, f.channels, f.bits, f.rate,"
    " f.seconds, m.loudness, m.peak, m.tempo, m.pitch, m.key, m.decoded, m.file IS NOT NULL, f.missing, r.state,"
    " EXISTS (SELECT 1 FROM marks k WHERE k.file = f.id AND k.favourite = 1), f.loops, f.description"
    " FROM files f JOIN folders d ON d.id = f.folder JOIN roots r ON r.id = d.root"
    " LEFT JOIN measures m ON m.file = f.id";

/// The word as one phrase of the full-text query language: in double quotes, its own quotes doubled,
/// so that nothing in it is read as an operator.
std::string phrase(const std::string& word)
{
    std::string out = "\"";
    for (const char c : word) {
        out.push_back(c);
        if (c == '"')
            out.push_back('"');
    }
    return out + "\"";
}

} // namespace

std::string SqlBuilder::text(std::string v)
{
    SqlValue value;
    value.text = std::move(v);
    return add(std::move(value), "");
}

std::string SqlBuilder::real(double v)
{
    SqlValue value;
    value.kind = SqlValue::Kind::Real;
    value.real = v;
    return add(std::move(value), "::float8");
}

std::string SqlBuilder::integer(std::int64_t v)
{
    SqlValue value;
    value.kind = SqlValue::Kind::Integer;
    value.integer = v;
    return add(std::move(value), "::bigint");
}

std::string SqlBuilder::add(SqlValue v, const char* type)
{
    values.push_back(std::move(v));
    const std::string n = std::to_string(values.size());
    // PostgreSQL is told the type: a value compared with nothing typed is otherwise text.
    return style_ == Style::Sqlite ? "?" + n : "$" + n + type;
}

namespace {

const char* measureColumn(Measure m)
{
    switch (m) {
    case Measure::Loudness:
        return "loudness";
    case Measure::Peak:
        return "peak";
    case Measure::Tempo:
        return "tempo";
    case Measure::Pitch:
        return "pitch";
    case Measure::Key:
        return "key";
    }
    return "loudness";
}

/// A value v rounds to the note n when n - 0.5 <= v < n + 0.5 (notes are not negative).
std::string noteRange(SqlBuilder& b, const std::string& column, int note)
{
    return "(" + column + " >= " + b.real(note - 0.5) + " AND " + column + " < " + b.real(note + 0.5) + ")";
}

} // namespace

std::string measureConditionSql(SqlBuilder& b, const SearchQuery::Condition& c, const std::string& prefix)
{
    const std::string column = prefix + measureColumn(c.measure);
    if (c.measure == Measure::Key) {
        std::string in;
        for (const MusicalKey& k : c.keys)
            in += (in.empty() ? "" : ", ") + b.integer(k.tonic + (k.minor ? 12 : 0));
        return in.empty() ? "false" : column + " IN (" + in + ")";
    }
    if (c.pitchClass >= 0) {
        if (c.octave != -100)
            return noteRange(b, column, (c.octave + 1) * 12 + c.pitchClass);
        std::string any;
        for (int octave = kLowestOctave; octave <= kHighestOctave; ++octave)
            any += (any.empty() ? "" : " OR ") + noteRange(b, column, (octave + 1) * 12 + c.pitchClass);
        return "(" + any + ")";
    }
    // An end at infinity is no bound; the silence's minus infinity lies below every number.
    const double inf = std::numeric_limits<double>::infinity();
    std::string sql = column + " IS NOT NULL";
    if (c.low != -inf)
        sql += " AND " + column + " >= " + b.real(c.low);
    if (c.high != inf)
        sql += " AND " + column + " <= " + b.real(c.high);
    return sql;
}

std::string searchOrderSql(const SearchOrder& order, const std::string& rowId, const char* rootName,
                           const char* measures)
{
    const std::string dir = order.descending ? " DESC" : "";
    auto measure = [&](const std::string& column) { return column + " IS NULL, " + column + dir + ", f.id"; };
    switch (order.column) {
    case SearchColumn::Stored:
        return rowId + dir;
    case SearchColumn::Name:
        return "f.name" + dir + ", f.id";
    case SearchColumn::Folder:
        return rootName + dir + ", d.path" + dir + ", f.name" + dir;
    case SearchColumn::Size:
        return "f.size" + dir + ", f.id";
    case SearchColumn::Modified:
        return "f.modified" + dir + ", f.id";
    case SearchColumn::Length:
        return measure("f.seconds");
    case SearchColumn::Rate:
        return measure("f.rate");
    case SearchColumn::Loudness:
        return measure(measures + std::string("loudness"));
    case SearchColumn::Peak:
        return measure(measures + std::string("peak"));
    case SearchColumn::Tempo:
        return measure(measures + std::string("tempo"));
    case SearchColumn::Pitch:
        return measure(measures + std::string("pitch"));
    case SearchColumn::Key:
        return measure(measures + std::string("key"));
    case SearchColumn::Similarity: // only similar() ranks by likeness
        return rowId + dir;
    }
    return "f.id";
}

SearchSql sqliteSearchSql(const SearchQuery& query, const SearchOrder& order, int limit, MeasuredShare measured,
                          const std::map<std::string, std::vector<std::string>>& pairs, bool wordsIndexed)
{
    SqlBuilder b(SqlBuilder::Style::Sqlite);
    // Words of three characters or more make one full-text query over names, texts and folders, words
    // of two as the trigrams starting with them; the index hands its rows out in row id order, so that
    // the first rows asked for come without looking at the rest. Words of one character are looked for
    // in the words of the rows it lets through. When few files meet the
    // conditions, those are taken first and every word is looked for in their words.
    // While the index catches up with a pass, the words are looked for in each file's words.
    const bool scanWords = (measured == MeasuredShare::Few && !query.conditions.empty()) || !wordsIndexed;
    std::string match;
    std::vector<std::string> terms;
    for (const std::string& word : query.words) {
        if (word.empty())
            continue;
        const auto pair = pairs.find(word);
        if (characterCount(word) >= kTrigram && !scanWords) {
            match += (match.empty() ? "" : " AND ") + phrase(word);
        } else if (pair != pairs.end() && pair->second.size() <= kPairTerms && !scanWords) {
            // A pair no trigram starts with is nowhere.
            if (pair->second.empty())
                terms.push_back("0");
            std::string any;
            for (const std::string& t : pair->second)
                any += (any.empty() ? "" : " OR ") + phrase(t);
            if (!any.empty())
                match += (match.empty() ? "(" : " AND (") + any + ")";
        } else {
            const std::string w = b.text(word);
            terms.push_back("(instr(file_words.words, " + w + ") > 0 OR instr(file_words.folder, " + w + ") > 0)");
        }
    }
    const bool byWords = !terms.empty() || !match.empty();
    const bool wordsDrive = byWords && !scanWords;
    if (!match.empty())
        terms.insert(terms.begin(), "file_words MATCH " + b.text(match));
    if (!query.conditions.empty()) {
        // Files meeting conditions that many meet are met soon along the rows the words found: each
        // row's measures are looked at. Otherwise they are found once through the measures' indexes, and
        // each row id the words found is looked up among them before anything is joined to it ("+"
        // keeps the planner from turning that around into one full-text lookup per file).
        const bool perRow = wordsDrive && measured == MeasuredShare::Many;
        std::string all;
        for (const SearchQuery::Condition& c : query.conditions)
            all += (all.empty() ? "" : " AND ") + measureConditionSql(b, c, perRow ? "m." : "");
        if (perRow)
            terms.push_back("m.file IS NOT NULL AND " + all);
        else
            terms.push_back((wordsDrive ? "+file_words.rowid" : "f.id") +
                            std::string(" IN (SELECT file FROM measures WHERE ") + all + ")");
    }
    if (query.loops)
        terms.push_back("f.loops > 0");
    // The files directly in one folder, named by its absolute path: few folders are anyone's.
    if (!query.folder.empty())
        terms.push_back("f.folder IN (SELECT d.id FROM folders d JOIN roots r ON r.id = d.root WHERE r.path ||"
                        " CASE WHEN length(d.path) = 0 THEN '' ELSE '/' || d.path END = " +
                        b.text(query.folder) + ")");
    // The user's marks: the few files marked, by their ids.
    if (query.favourites)
        terms.push_back("f.id IN (SELECT file FROM marks WHERE favourite = 1 AND file IS NOT NULL)");
    for (const std::string& tag : query.tags)
        terms.push_back("f.id IN (SELECT k.file FROM tags t JOIN marks k ON k.id = t.mark WHERE t.folded = " +
                        b.text(tag) + " AND k.file IS NOT NULL)");
    SearchSql out;
    out.sql = kColumns;
    const std::string from = " FROM files f";
    if (wordsDrive) // the full-text table drives: CROSS JOIN keeps it first
        out.sql.replace(out.sql.find(from), from.size(),
                        " FROM file_words CROSS JOIN files f ON f.id = file_words.rowid");
    else if (byWords)
        out.sql.replace(out.sql.find(from), from.size(),
                        " FROM files f JOIN file_text file_words ON file_words.id = f.id");
    for (size_t i = 0; i < terms.size(); ++i)
        out.sql += (i == 0 ? " WHERE " : " AND ") + terms[i];
    out.sql += " ORDER BY " + searchOrderSql(order, wordsDrive ? "file_words.rowid" : "f.id", "r.path", "m.") +
               " LIMIT " + b.integer(limit < 0 ? 0 : limit);
    out.values = std::move(b.values);
    return out;
}

const char* sqliteRowSql()
{
    static const std::string sql = std::string(kColumns) + " WHERE f.id = ?1";
    return sql.c_str();
}

SearchSql sqliteMeasuredCountSql(const SearchQuery& query, int cap)
{
    SqlBuilder b(SqlBuilder::Style::Sqlite);
    std::string all;
    for (const SearchQuery::Condition& c : query.conditions)
        all += (all.empty() ? "" : " AND ") + measureConditionSql(b, c, "");
    SearchSql out;
    out.sql = "SELECT count(*) FROM (SELECT 1 FROM measures WHERE " + (all.empty() ? std::string("1") : all) +
              " LIMIT " + b.integer(cap) + ")";
    out.values = std::move(b.values);
    return out;
}

} // namespace library
