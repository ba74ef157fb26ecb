#include "browser/WaveFilter.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

QString searchFolded(const QString& text)
{
    bool ascii = true;
    for (const QChar c : text)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return text.toLower();
    // Compatibility decomposition splits "é" into "e" and its accent, and "ﬁ" into "fi".
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_Enclosing)
            out.append(c);
    return out.toCaseFolded();
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool readNumber(const QString& s, double& out)
{
    bool ok = false;
    out = s.toDouble(&ok);
    return ok && std::isfinite(out);
}

/// "A", "a4", "C#3", "Db2": the pitch class and, when given, the octave.
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

/// "120", "120-130", "<-20", ">=-14", "-30--20": the range a value must lie in. A single number
/// stands for the values shown as it.
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
        low = v - 0.5;
        high = v + 0.5;
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

bool readCondition(const QString& word, WaveFilter::Condition& c)
{
    const int colon = int(word.indexOf(QLatin1Char(':')));
    if (colon <= 0)
        return false;
    const QString key = word.left(colon).toLower();
    const QString value = word.mid(colon + 1);
    using M = WaveFilter::Measure;
    if (key == QLatin1String("lufs") || key == QLatin1String("loudness"))
        c.measure = M::Loudness;
    else if (key == QLatin1String("peak") || key == QLatin1String("db"))
        c.measure = M::Peak;
    else if (key == QLatin1String("bpm") || key == QLatin1String("tempo"))
        c.measure = M::Tempo;
    else if (key == QLatin1String("pitch") || key == QLatin1String("note")) {
        c.measure = M::Pitch;
        if (readNote(value, c.pitchClass, c.octave))
            return true;
    } else
        return false;
    return readRange(value, c.low, c.high);
}

double measureOf(const platform::SoundMeasures& m, WaveFilter::Measure which)
{
    switch (which) {
    case WaveFilter::Measure::Loudness:
        return m.loudness;
    case WaveFilter::Measure::Peak:
        return m.peak;
    case WaveFilter::Measure::Tempo:
        return m.tempo;
    case WaveFilter::Measure::Pitch:
        return m.pitch;
    }
    return std::nan("");
}

} // namespace

WaveFilter WaveFilter::parse(const QString& typed)
{
    WaveFilter f;
    QStringList rest;
    const QStringList words = typed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        Condition c;
        if (readCondition(word, c))
            f.conditions.push_back(c);
        else
            rest << word;
    }
    // Words keep one blank between them, as names have them.
    f.text = searchFolded(rest.join(QLatin1Char(' ')));
    return f;
}

bool WaveFilter::matches(const WaveRow& row) const
{
    if (!text.isEmpty()) {
        if (!row.searchKeyMade) {
            row.searchKey = searchFolded(row.caption);
            row.searchKeyMade = true;
        }
        if (!row.searchKey.contains(text))
            return false;
    }
    for (const Condition& c : conditions) {
        // A row not yet measured, or without the measure, is not known to match.
        if (!row.analysed)
            return false;
        const double v = measureOf(row.measures, c.measure);
        if (std::isnan(v))
            return false;
        if (c.pitchClass >= 0) {
            const int note = int(std::lround(v));
            if ((note % 12 + 12) % 12 != c.pitchClass)
                return false;
            if (c.octave != -100 && note / 12 - 1 != c.octave)
                return false;
        } else if (v < c.low || v > c.high) {
            return false;
        }
    }
    return true;
}

WaveFilterModel::WaveFilterModel(QObject* parent) : QSortFilterProxyModel(parent)
{
    // Rows whose measures arrive later join or leave the shown rows by themselves.
    setDynamicSortFilter(true);
}

void WaveFilterModel::setFilter(const QString& typed)
{
    if (typed == typed_)
        return;
    typed_ = typed;
    filter_ = WaveFilter::parse(typed);
    // One remapping of all rows: removing thousands of scattered rows one range at a time would cost
    // the views far more.
    invalidate();
}

bool WaveFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    if (filter_.isEmpty())
        return true;
    const auto* rows = static_cast<const WaveListModel*>(sourceModel());
    return filter_.matches(rows->row(sourceRow));
}
