// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/pgsearch.h"

#include <algorithm>
#include <limits>

namespace library {

namespace {

// Notes a pitch condition naming only the pitch class can be: MIDI notes 0 to 131, octaves -1 to 9.
constexpr int kLowestOctave = -1, kHighestOctave = 9;

class Builder {
public:
    std::string text(std::string v)
    {
        SqlValue value;
        value.text = std::move(v);
        return add(std::move(value));
    }
    std::string real(double v)
    {
        SqlValue value;
        value.kind = SqlValue::Kind::Real;
        value.real = v;
        return add(std::move(value)) + "::float8";
    }
    std::string integer(std::int64_t v)
    {
        SqlValue value;
        value.kind = SqlValue::Kind::Integer;
        value.integer = v;
        return add(std::move(value)) + "::bigint";
    }
    std::vector<SqlValue> values;

private:
    std::string add(SqlValue v)
    {
        values.push_back(std::move(v));
        return "$" + std::to_string(values.size());
    }
};

const char* measureColumn(Measure m)
{
    switch (m) {
    case Measure::Loudness:
        return "m.loudness";
    case Measure::Peak:
        return "m.peak";
    case Measure::Tempo:
        return "m.tempo";
    case Measure::Pitch:
        return "m.pitch";
    case Measure::Key:
        return "m.key";
    }
    return "m.loudness";
}

/// A value v rounds to the note n when n - 0.5 <= v < n + 0.5.
std::string noteRange(Builder& b, const std::string& column, int note)
{
    return "(" + column + " >= " + b.real(note - 0.5) + " AND " + column + " < " + b.real(note + 0.5) + ")";
}

std::string conditionSql(Builder& b, const SearchQuery::Condition& c)
{
    const std::string column = measureColumn(c.measure);
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

std::string orderSql(const SearchOrder& order)
{
    const std::string dir = order.descending ? " DESC" : "";
    // Files without the measure go last either way.
    auto measure = [&](const char* column) { return column + dir + " NULLS LAST, f.id"; };
    switch (order.column) {
    case SearchColumn::Stored:
        return "f.id" + dir;
    case SearchColumn::Name:
        return "f.name" + dir + ", f.id";
    case SearchColumn::Folder:
        return "r.name" + dir + ", d.path" + dir + ", f.name" + dir;
    case SearchColumn::Size:
        return "f.size" + dir + ", f.id";
    case SearchColumn::Modified:
        return "f.modified" + dir + ", f.id";
    case SearchColumn::Length:
        return measure("f.seconds");
    case SearchColumn::Rate:
        return measure("f.rate");
    case SearchColumn::Loudness:
        return measure("m.loudness");
    case SearchColumn::Peak:
        return measure("m.peak");
    case SearchColumn::Tempo:
        return measure("m.tempo");
    case SearchColumn::Pitch:
        return measure("m.pitch");
    case SearchColumn::Key:
        return measure("m.key");
    case SearchColumn::Similarity: // only similar() ranks by likeness
        return "f.id" + dir;
    }
    return "f.id";
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

SearchSql postgresSearchSql(const SearchQuery& query, const SearchOrder& order, int limit, const std::string& user)
{
    Builder b;
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
    if (!query.conditions.empty()) {
        std::string all = "m.file IS NOT NULL";
        for (const SearchQuery::Condition& c : query.conditions)
            all += " AND " + conditionSql(b, c);
        terms.push_back(all);
    }
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
    SearchSql out;
    out.sql = postgresColumns(who);
    for (size_t i = 0; i < terms.size(); ++i)
        out.sql += (i == 0 ? " WHERE " : " AND ") + terms[i];
    out.sql += " ORDER BY " + orderSql(order) + " LIMIT " + b.integer(limit < 0 ? 0 : limit);
    out.values = std::move(b.values);
    return out;
}

std::string postgresColumns(const std::string& who)
{
    return "SELECT f.id, d.root, r.name, d.path, f.name, f.size, f.modified, f.format, f.channels, f.bits, f.rate,"
           " f.seconds, m.loudness, m.peak, m.tempo, m.pitch, m.key, m.decoded, m.file IS NOT NULL, f.missing,"
           " r.state, EXISTS (SELECT 1 FROM marks k JOIN favourites v ON v.mark = k.id WHERE k.file = f.id AND"
           " v.who = " +
           who +
           "), f.loops, f.description FROM files f JOIN folders d ON d.id = f.folder JOIN roots r ON"
           " r.id = d.root LEFT JOIN measures m ON m.file = f.id";
}

} // namespace library
