// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveFilter.h"

#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

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

namespace {

/// Appends the folded text to out.
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

} // namespace

std::string searchFolded(const QString& text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    appendFolded(text, out);
    return out;
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
    if (!text.empty() && searchFolded(row.caption).find(text) == std::string::npos)
        return false;
    return matchesMeasures(row);
}

bool WaveFilter::matchesMeasures(const WaveRow& row) const
{
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

void FoldedCaptions::make(const WaveListModel& rows)
{
    text.clear();
    starts.clear();
    starts.reserve(size_t(rows.rowCount()) + 1);
    text.reserve(size_t(rows.rowCount()) * 24);
    for (int r = 0; r < rows.rowCount(); ++r) {
        starts.push_back(uint32_t(text.size()));
        appendFolded(rows.row(r).caption, text);
        text.push_back('\0');
    }
    starts.push_back(uint32_t(text.size()));
    version = rows.captionsVersion();
}

std::vector<char> FoldedCaptions::rowsContaining(const std::string& folded) const
{
    const size_t rowCount = starts.empty() ? 0 : starts.size() - 1;
    std::vector<char> found(rowCount, folded.empty() ? 1 : 0);
    // No caption holds a zero byte; such a text would otherwise match across two captions.
    if (folded.empty() || folded.find('\0') != std::string::npos)
        return found;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    auto row = starts.begin();
    for (const char* at = begin; at < end;) {
        const auto* hit = static_cast<const char*>(memmem(at, size_t(end - at), folded.data(), folded.size()));
        if (!hit)
            break;
        // The row the hit lies in; the search goes on at the next row.
        row = std::upper_bound(row, starts.end(), uint32_t(hit - begin)) - 1;
        found[size_t(row - starts.begin())] = 1;
        at = begin + *(row + 1);
    }
    return found;
}

WaveFilterModel::WaveFilterModel(QObject* parent) : QAbstractProxyModel(parent) {}

void WaveFilterModel::setSourceModel(QAbstractItemModel* source)
{
    beginResetModel();
    if (sourceModel())
        disconnect(sourceModel(), nullptr, this, nullptr);
    QAbstractProxyModel::setSourceModel(source);
    if (source) {
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
        connect(source, &QAbstractItemModel::modelReset, this, [this] {
            judgeAll();
            mapPlaces();
            endResetModel();
            // New rows are folded for searching once the window is idle, so the first keystroke finds
            // them ready.
            QTimer::singleShot(0, this, [this] {
                if (rows() && folded_.version != rows()->captionsVersion())
                    folded_.make(*rows());
            });
        });
        connect(source, &QAbstractItemModel::dataChanged, this, &WaveFilterModel::sourceDataChanged);
        connect(source, &QAbstractItemModel::rowsAboutToBeMoved, this, [this] { beginRemap(); });
        connect(source, &QAbstractItemModel::rowsMoved, this,
                [this](const QModelIndex&, int first, int last, const QModelIndex&, int dest) {
                    // The rows' judgements move with them.
                    std::vector<char> moving(accepted_.begin() + first, accepted_.begin() + last + 1);
                    accepted_.erase(accepted_.begin() + first, accepted_.begin() + last + 1);
                    const int at = dest > last ? dest - (last - first + 1) : dest;
                    accepted_.insert(accepted_.begin() + at, moving.begin(), moving.end());
                    mapPlaces();
                    endRemap();
                });
        // The list model adds or takes rows only by a reset; any other change of rows is judged anew.
        for (auto signal : {&QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsAboutToBeRemoved})
            connect(source, signal, this, [this] { beginResetModel(); });
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(source, signal, this, [this] {
                judgeAll();
                mapPlaces();
                endResetModel();
            });
    }
    judgeAll();
    mapPlaces();
    endResetModel();
}

void WaveFilterModel::judgeAll()
{
    const WaveListModel* source = rows();
    const size_t count = source ? size_t(source->rowCount()) : 0;
    if (filter_.isEmpty() || !source) {
        accepted_.assign(count, 1);
        return;
    }
    if (!filter_.text.empty() && folded_.version != source->captionsVersion())
        folded_.make(*source);
    accepted_ = filter_.text.empty() ? std::vector<char>(count, 1) : folded_.rowsContaining(filter_.text);
    if (filter_.usesMeasures())
        for (size_t r = 0; r < accepted_.size(); ++r)
            if (accepted_[r])
                accepted_[r] = filter_.matchesMeasures(source->row(int(r))) ? 1 : 0;
}

void WaveFilterModel::mapPlaces()
{
    places_.clear();
    placeOf_.assign(accepted_.size(), -1);
    for (size_t r = 0; r < accepted_.size(); ++r)
        if (accepted_[r]) {
            placeOf_[r] = int(places_.size());
            places_.push_back(int(r));
        }
}

void WaveFilterModel::beginRemap()
{
    emit layoutAboutToBeChanged();
    remapFrom_ = persistentIndexList();
    remapSources_.clear();
    remapSources_.reserve(remapFrom_.size());
    for (const QModelIndex& i : remapFrom_)
        remapSources_.append(QPersistentModelIndex(mapToSource(i)));
}

void WaveFilterModel::endRemap()
{
    QModelIndexList to;
    to.reserve(remapFrom_.size());
    for (const QPersistentModelIndex& source : remapSources_)
        to.append(mapFromSource(source)); // invalid for a row now hidden
    changePersistentIndexList(remapFrom_, to);
    remapFrom_.clear();
    remapSources_.clear();
    emit layoutChanged();
}

void WaveFilterModel::setFilter(const QString& typed)
{
    if (typed == typed_)
        return;
    typed_ = typed;
    filter_ = WaveFilter::parse(typed);
    std::vector<char> before = std::move(accepted_);
    judgeAll();
    if (accepted_ == before)
        return;
    // One remapping of all rows: removing thousands of scattered rows one range at a time would cost
    // the views far more.
    beginRemap();
    mapPlaces();
    endRemap();
}

void WaveFilterModel::sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                        const QList<int>& roles)
{
    const int first = topLeft.row(), last = bottomRight.row();
    if (first < 0 || size_t(last) >= accepted_.size())
        return;
    // A caption or a measure changed: the rows are judged again, as a change may show or hide them.
    const bool judged = !filter_.isEmpty() && ((!filter_.text.empty() && topLeft.column() == WaveListModel::ColFilename) ||
                                               (filter_.usesMeasures() && bottomRight.column() >= WaveListModel::ColumnCount));
    bool flipped = false;
    if (judged)
        for (int r = first; r <= last; ++r) {
            const char now = filter_.matches(rows()->row(r)) ? 1 : 0;
            flipped = flipped || now != accepted_[size_t(r)];
            accepted_[size_t(r)] = now;
        }
    if (flipped) {
        beginRemap();
        mapPlaces();
        endRemap();
    }
    // One signal for the shown rows of the range: the rows shown in between that did not change are
    // drawn again with them, which costs less than one signal per row.
    int firstPlace = -1, lastPlace = -1;
    for (int r = first; r <= last; ++r)
        if (placeOf_[size_t(r)] >= 0) {
            if (firstPlace < 0)
                firstPlace = placeOf_[size_t(r)];
            lastPlace = placeOf_[size_t(r)];
        }
    if (firstPlace >= 0)
        emit dataChanged(index(firstPlace, topLeft.column()), index(lastPlace, bottomRight.column()), roles);
}

QModelIndex WaveFilterModel::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this || size_t(proxyIndex.row()) >= places_.size() ||
        !sourceModel())
        return {};
    return sourceModel()->index(places_[size_t(proxyIndex.row())], proxyIndex.column());
}

QModelIndex WaveFilterModel::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != sourceModel() || size_t(sourceIndex.row()) >= placeOf_.size())
        return {};
    const int place = placeOf_[size_t(sourceIndex.row())];
    return place < 0 ? QModelIndex() : createIndex(place, sourceIndex.column());
}

QModelIndex WaveFilterModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || size_t(row) >= places_.size() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex WaveFilterModel::parent(const QModelIndex&) const
{
    return {};
}

QModelIndex WaveFilterModel::sibling(int row, int column, const QModelIndex&) const
{
    return index(row, column);
}

int WaveFilterModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(places_.size());
}

int WaveFilterModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->columnCount();
}

bool WaveFilterModel::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && !places_.empty();
}
