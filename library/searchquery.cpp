// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/searchquery.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace library {

namespace {

/// The whole text folded: compatibility decomposition splits "é" into "e" and its accent, and "ﬁ"
/// into "fi"; the marks go, then the case.
std::string foldedSlowly(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_Enclosing)
            out.append(c);
    return out.toCaseFolded().toStdString();
}

// Below this, a character folds alone as it does within a text (no mark combines with a letter here,
// no letter's case depends on its neighbours), so its folding is looked up.
constexpr char16_t kFoldTableEnd = 0x250;

const std::vector<std::string>& foldTable()
{
    static const std::vector<std::string> table = [] {
        std::vector<std::string> t(kFoldTableEnd);
        for (char16_t c = 0; c < kFoldTableEnd; ++c)
            t[c] = foldedSlowly(QString(QChar(c)));
        return t;
    }();
    return table;
}

} // namespace

void appendFolded(const QString& text, std::string& out)
{
    const size_t start = out.size();
    const std::vector<std::string>* table = nullptr;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            out.push_back(u >= 'A' && u <= 'Z' ? char(u - 'A' + 'a') : char(u));
        } else if (u < kFoldTableEnd) {
            if (!table)
                table = &foldTable();
            out += (*table)[u];
        } else {
            out.resize(start);
            out += foldedSlowly(text);
            return;
        }
    }
}

std::string searchFolded(const QString& text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    appendFolded(text, out);
    return out;
}

std::vector<TagText> tagTexts(const QStringList& typed)
{
    std::vector<TagText> out;
    for (const QString& part : typed.join(QLatin1Char(',')).split(QLatin1Char(','))) {
        const QString tag = part.trimmed();
        std::string folded = searchFolded(tag);
        if (!folded.empty() &&
            std::none_of(out.begin(), out.end(), [&](const TagText& t) { return t.folded == folded; }))
            out.push_back({std::move(folded), tag});
    }
    return out;
}

std::string fileWords(const std::string& name, const QString& texts)
{
    // Each text ends with a line break: every pair of characters then starts a trigram, so that a word
    // of two characters is found among the trigrams that start with it.
    std::string words = searchFoldedBytes(name);
    words.push_back('\n');
    if (!texts.isEmpty()) {
        appendFolded(texts, words);
        words.push_back('\n');
    }
    return words;
}

std::string searchFoldedBytes(const std::string& bytes)
{
    // Most names are ASCII: folded byte by byte, without making a QString.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string out = bytes;
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        return out;
    }
    return searchFolded(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
}

size_t characterCount(const std::string& utf8)
{
    // Every byte but the continuation bytes (10xxxxxx) starts a character.
    return size_t(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool readNumber(const QString& s, double& out)
{
    bool ok = false;
    out = s.toDouble(&ok);
    return ok && std::isfinite(out);
}

} // namespace

bool readNote(const QString& s, int& pitchClass, int& octave)
{
    static const QRegularExpression note(QStringLiteral("^([a-gA-G])([#b]?)(-?\\d+)?$"));
    const auto m = note.match(s);
    if (!m.hasMatch())
        return false;
    static const int classes[] = {9, 11, 0, 2, 4, 5, 7}; // a b c d e f g
    int pc = classes[m.captured(1).toLower().at(0).unicode() - 'a'];
    if (m.captured(2) == QLatin1String("#"))
        pc += 1;
    else if (m.captured(2) == QLatin1String("b"))
        pc += 11;
    pitchClass = pc % 12;
    octave = m.captured(3).isEmpty() ? -100 : m.captured(3).toInt();
    return true;
}

bool readRange(const QString& s, double& low, double& high)
{
    double v = 0;
    for (const char* op : {"<=", ">=", "<", ">"}) {
        const QString prefix = QString::fromLatin1(op);
        if (s.startsWith(prefix)) {
            if (!readNumber(s.mid(prefix.size()), v))
                return false;
            if (op[0] == '<') {
                low = -kInf;
                high = v;
            } else {
                low = v;
                high = kInf;
            }
            return true;
        }
    }
    if (readNumber(s, v)) {
        // The values that show as the number typed, to its last digit: 120 is 119.5 to 120.5, -9.7 is
        // -9.75 to -9.65.
        const int point = int(s.indexOf(QLatin1Char('.')));
        int decimals = 0;
        while (point >= 0 && point + 1 + decimals < s.size() && s.at(point + 1 + decimals).isDigit())
            ++decimals;
        const double half = 0.5 * std::pow(10.0, -decimals);
        low = v - half;
        high = v + half;
        return true;
    }
    // The dash between the ends is the first one after the first character (which may be a minus).
    const int dash = int(s.indexOf(QLatin1Char('-'), 1));
    if (dash < 0)
        return false;
    double a = 0, b = 0;
    if (!readNumber(s.left(dash), a) || !readNumber(s.mid(dash + 1), b))
        return false;
    low = std::min(a, b);
    high = std::max(a, b);
    return true;
}

namespace {

enum class Reading { NotACondition, Read, Mark, Unreadable };

/// "Am", "F#", "8A", and with "~" after it (or before it) the keys that mix with it.
bool readKeys(const QString& s, std::vector<MusicalKey>& keys)
{
    const bool before = s.startsWith(QLatin1Char('~'));
    const bool after = !before && s.endsWith(QLatin1Char('~'));
    const bool compatible = before || after;
    const auto key = MusicalKey::parse(s.mid(before ? 1 : 0, s.size() - (compatible ? 1 : 0)).toStdString());
    if (!key)
        return false;
    keys = compatible ? key->compatibleKeys() : std::vector<MusicalKey>{*key};
    return true;
}

/// "loop:" with a value: loop: stands alone.
bool isReservedName(const QString& name)
{
    return name == QLatin1String("loop");
}

/// "tag:kick" and "fav:": the user's marks a file must carry.
Reading readMark(const QString& word, const QString& name, const QString& value, SearchQuery& query, QString& problem)
{
    if (name == QLatin1String("fav")) {
        if (value.isEmpty()) {
            query.favourites = true;
            return Reading::Mark;
        }
        problem = QStringLiteral("%1: fav: takes no value; it finds the favourites").arg(word);
        return Reading::Unreadable;
    }
    const std::string folded = searchFolded(value);
    if (folded.empty()) {
        problem = QStringLiteral("%1 needs a tag such as tag:kick").arg(word);
        return Reading::Unreadable;
    }
    query.tags.push_back(folded);
    return Reading::Mark;
}

/// The reason a condition's value cannot be read, for the user.
QString problemOf(const QString& word, const QString& value, Measure measure)
{
    const QString ranges = QStringLiteral("a number or range such as 120, 120-130, <120 or >=120");
    if (value.isEmpty()) {
        const QString needed = measure == Measure::Pitch ? QStringLiteral("a note such as A4")
                               : measure == Measure::Key ? QStringLiteral("a key such as Am, F# or 8A")
                                                         : ranges;
        return QStringLiteral("%1 needs %2").arg(word, needed);
    }
    if (measure == Measure::Pitch)
        return QStringLiteral("%1: \"%2\" is not a note (A to G, # or b, an octave: A4, C#3, Db)").arg(word, value);
    if (measure == Measure::Key)
        return QStringLiteral("%1: \"%2\" is not a key (Am, F#, Db major as Db, 8A; ~ after it for the keys "
                              "that mix with it)")
            .arg(word, value);
    return QStringLiteral("%1: \"%2\" is not %3").arg(word, value, ranges);
}

/// A word naming a measure ("bpm:", "lufs:", ...) is a condition; why its range cannot be read goes to
/// problem.
Reading readCondition(const QString& word, SearchQuery& query, SearchQuery::Condition& c, QString& problem)
{
    const int colon = int(word.indexOf(QLatin1Char(':')));
    if (colon <= 0)
        return Reading::NotACondition;
    const QString name = word.left(colon).toLower();
    const QString value = word.mid(colon + 1);
    using M = Measure;
    if (name == QLatin1String("tag") || name == QLatin1String("fav"))
        return readMark(word, name, value, query, problem);
    if (name == QLatin1String("lufs") || name == QLatin1String("loudness"))
        c.measure = M::Loudness;
    else if (name == QLatin1String("peak") || name == QLatin1String("db"))
        c.measure = M::Peak;
    else if (name == QLatin1String("bpm") || name == QLatin1String("tempo"))
        c.measure = M::Tempo;
    else if (name == QLatin1String("pitch") || name == QLatin1String("note"))
        c.measure = M::Pitch;
    else if (name == QLatin1String("key"))
        c.measure = M::Key;
    else if (isReservedName(name)) {
        problem = QStringLiteral("%1: loop: takes no value; it finds the files with loop points").arg(word);
        return Reading::Unreadable;
    } else
        return Reading::NotACondition;
    if (c.measure == M::Key
            ? readKeys(value, c.keys)
            : (c.measure == M::Pitch && readNote(value, c.pitchClass, c.octave)) || readRange(value, c.low, c.high))
        return Reading::Read;
    problem = problemOf(word, value, c.measure);
    return Reading::Unreadable;
}

} // namespace

bool SearchQuery::Condition::holdsFor(double value, const std::optional<MusicalKey>& key) const
{
    if (measure == Measure::Key)
        return key && std::find(keys.begin(), keys.end(), *key) != keys.end();
    // A sound without the measure is not known to match.
    if (std::isnan(value))
        return false;
    if (pitchClass >= 0) {
        const long note = std::lround(value);
        if ((note % 12 + 12) % 12 != pitchClass)
            return false;
        return octave == -100 || note / 12 - 1 == octave;
    }
    return value >= low && value <= high;
}

bool SearchQuery::marksMatch(bool favourite, const std::vector<std::string>& foldedTags) const
{
    if (favourites && !favourite)
        return false;
    for (const std::string& tag : tags)
        if (std::find(foldedTags.begin(), foldedTags.end(), tag) == foldedTags.end())
            return false;
    return true;
}

bool SearchQuery::measuresMatch(double loudness, double peak, double tempo, double pitch,
                                const std::optional<MusicalKey>& key) const
{
    for (const Condition& c : conditions) {
        const double value = c.measure == Measure::Loudness ? loudness
                             : c.measure == Measure::Peak   ? peak
                             : c.measure == Measure::Tempo  ? tempo
                                                            : pitch;
        if (!c.holdsFor(value, key))
            return false;
    }
    return true;
}

SearchQuery SearchQuery::parse(const QString& typed)
{
    SearchQuery f;
    // No name holds a NUL (and the full-text index refuses one): it parts words like a space.
    QString text = typed;
    text.replace(QChar(0), QLatin1Char(' '));
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (word.compare(QLatin1String("loop:"), Qt::CaseInsensitive) == 0) {
            f.loops = true;
            continue;
        }
        Condition c;
        QString problem;
        switch (readCondition(word, f, c, problem)) {
        case Reading::Read:
            f.conditions.push_back(c);
            break;
        case Reading::Mark:
            break;
        case Reading::Unreadable:
            f.problems << problem;
            break;
        case Reading::NotACondition:
            f.words.push_back(searchFolded(word));
            break;
        }
    }
    return f;
}

} // namespace library
