// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveListModel.h"

#include "dirtree/DirTree.h"
#include "dirtree/FileRoutines.h"
#include "library/measuretexts.h"
#include "platform/utf8.h"

#include <QCollator>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>

namespace {

const char* const kHeaders[WaveListModel::AllColumnCount] = {
    "Filename", "Format", "Length",      "Size", "Type",   "Loudness",  "Peak",      "Tempo",
    "Pitch",    "Key",    "Description", "Loop", "Folder", "Favourite", "Similarity"};
// The star the Favourite column shows.
const QString kStar = QStringLiteral("\u2605");

const QCollator& collator()
{
    return dirtree::nameCollator(Qt::CaseSensitive);
}

} // namespace

QString measureText(const WaveRow& row, int column)
{
    if (!row.analysed)
        return {};
    switch (column) {
    case WaveListModel::ColLoudness:
        return library::measureText(row.measures, library::Measure::Loudness);
    case WaveListModel::ColPeak:
        return library::measureText(row.measures, library::Measure::Peak);
    case WaveListModel::ColTempo:
        return library::measureText(row.measures, library::Measure::Tempo);
    case WaveListModel::ColPitch:
        return library::measureText(row.measures, library::Measure::Pitch);
    case WaveListModel::ColKey:
        return library::measureText(row.measures, library::Measure::Key);
    default:
        return {};
    }
}

const QString kPendingMeasureMark = QStringLiteral("\u2026");

QString measureToolTip(const WaveRow& row, int column)
{
    if (!row.analysed)
        return QStringLiteral("Not measured yet");
    const library::SoundAnalysis& m = row.measures;
    if (column == WaveListModel::ColLoudness && m.wholeSoundLoudness)
        return QStringLiteral("Loudness of the whole sound: too short or quiet for an integrated loudness");
    if (column == WaveListModel::ColKey && m.key)
        return QStringLiteral("%1, Camelot %2")
            .arg(QString::fromStdString(m.key->name()), QString::fromStdString(m.key->camelot()));
    return {};
}

QString waveCaptionText(const std::string& name)
{
    return platform::displayText(name);
}

WaveListModel::WaveListModel(QObject* parent) : QAbstractTableModel(parent) {}

bool WaveListModel::lessThan(const WaveRow& a, const WaveRow& b) const
{
    const int c = collator().compare(a.caption, b.caption);
    return c != 0 ? c < 0 : a.name < b.name;
}

void WaveListModel::setRows(std::vector<WaveRow> rows)
{
    // One sort key per row makes 10,000 captions cheap to order.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(rows.size());
    for (const auto& r : rows)
        keys.push_back(collator().sortKey(r.caption));
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = keys[a].compare(keys[b]);
        return c != 0 ? c < 0 : rows[a].name < rows[b].name;
    });
    std::vector<WaveRow> sorted;
    sorted.reserve(rows.size());
    for (size_t i : order)
        sorted.push_back(std::move(rows[i]));
    beginResetModel();
    rows_ = std::move(sorted);
    rowOfFile_.clear();
    ++captionsVersion_;
    endResetModel();
}

void WaveListModel::clear()
{
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    rowOfFile_.clear();
    ++captionsVersion_;
    endResetModel();
}

int WaveListModel::setCaption(int row, const std::string& name)
{
    if (row < 0 || row >= rowCount())
        return -1;
    WaveRow r = rows_[size_t(row)];
    r.name = name;
    r.caption = waveCaptionText(name);
    rowOfFile_.clear();
    ++captionsVersion_;
    // The place the row belongs at among the others.
    int target = 0;
    for (int i = 0; i < rowCount(); ++i)
        if (i != row && lessThan(rows_[size_t(i)], r))
            ++target;
    rows_[size_t(row)] = r;
    emit dataChanged(index(row, 0), index(row, AllColumnCount - 1));
    if (target != row) {
        // Qt wants the destination as the index before which the row goes, counted before the move.
        const int dest = target > row ? target + 1 : target;
        beginMoveRows({}, row, row, {}, dest);
        WaveRow moving = std::move(rows_[size_t(row)]);
        rows_.erase(rows_.begin() + row);
        rows_.insert(rows_.begin() + target, std::move(moving));
        ++captionsVersion_;
        endMoveRows();
    }
    return target;
}

void WaveListModel::setMeasures(int row, const library::SoundAnalysis& measures)
{
    if (row < 0 || row >= rowCount())
        return;
    rows_[size_t(row)].measures = measures;
    rows_[size_t(row)].analysed = true;
    emit dataChanged(index(row, ColumnCount), index(row, AllColumnCount - 1));
}

void WaveListModel::setMeasuresOf(const std::vector<std::pair<std::string, library::SoundAnalysis>>& results)
{
    if (rowOfFile_.empty() && !rows_.empty()) {
        rowOfFile_.reserve(rows_.size());
        for (size_t i = 0; i < rows_.size(); ++i)
            rowOfFile_.emplace(rows_[i].fileName, int(i));
    }
    int first = rowCount(), last = -1;
    for (const auto& [file, measures] : results) {
        const auto it = rowOfFile_.find(file);
        if (it == rowOfFile_.end())
            continue;
        WaveRow& r = rows_[size_t(it->second)];
        r.measures = measures;
        r.analysed = true;
        first = std::min(first, it->second);
        last = std::max(last, it->second);
    }
    if (last >= 0)
        emit dataChanged(index(first, ColumnCount), index(last, AllColumnCount - 1));
}

void WaveListModel::setMarksOf(const std::map<std::string, std::pair<bool, QStringList>>& marks)
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        const auto it = marks.find(rows_[i].fileName);
        rows_[i].favourite = it != marks.end() && it->second.first;
        rows_[i].tags = it != marks.end() ? it->second.second : QStringList();
    }
    if (!rows_.empty())
        emit dataChanged(index(0, ColFavourite), index(rowCount() - 1, ColFavourite));
}

void WaveListModel::setMarks(int row, bool favourite, const QStringList& tags)
{
    if (row < 0 || row >= rowCount())
        return;
    rows_[size_t(row)].favourite = favourite;
    rows_[size_t(row)].tags = tags;
    emit dataChanged(index(row, ColFavourite), index(row, ColFavourite));
}

void WaveListModel::setSimilarities(const std::vector<std::optional<double>>& byRow)
{
    for (size_t i = 0; i < rows_.size(); ++i)
        rows_[i].similarity = i < byRow.size() ? byRow[i] : std::nullopt;
    if (!rows_.empty())
        emit dataChanged(index(0, ColSimilarity), index(rowCount() - 1, ColSimilarity));
}

void WaveListModel::setIcon(const QIcon& icon)
{
    icon_ = icon;
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

int WaveListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int WaveListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : AllColumnCount;
}

QVariant WaveListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const WaveRow& r = rows_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (index.column() == ColFolder)
            return r.folderText;
        if (index.column() == ColDescription)
            return r.description;
        if (index.column() == ColLoop)
            return r.loops > 0 ? QString::number(r.loops) : QString();
        if (index.column() == ColFavourite)
            return r.favourite ? kStar : QString();
        if (index.column() == ColSimilarity)
            return r.similarity ? QStringLiteral("%1%").arg(std::lround(*r.similarity * 100)) : QString();
        if (index.column() >= ColumnCount)
            return r.analysed ? measureText(r, index.column()) : kPendingMeasureMark;
        return index.column() == ColFilename ? r.caption : r.texts[size_t(index.column() - 1)];
    case Qt::ToolTipRole:
        if (index.column() == ColFolder)
            return r.folderText;
        if (index.column() == ColFavourite) {
            QStringList lines;
            if (r.favourite)
                lines << QStringLiteral("Favourite");
            if (!r.tags.isEmpty())
                lines << QStringLiteral("Tags: ") + r.tags.join(QStringLiteral(", "));
            return lines.join(QLatin1Char('\n'));
        }
        if (index.column() == ColDescription)
            return r.description;
        if (index.column() == ColLoop)
            return r.loops == 0 ? QString() : r.loops == 1 ? QStringLiteral("1 loop") : QStringLiteral("%1 loops").arg(r.loops);
        if (isMeasureColumn(index.column()))
            return measureToolTip(r, index.column());
        return {};
    case Qt::DecorationRole:
        if (index.column() == ColFilename)
            return icon_;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == ColFavourite)
            return int(Qt::AlignCenter);
        if (index.column() == ColSize || index.column() == ColLength ||
            (index.column() >= ColumnCount && index.column() != ColFolder && index.column() != ColDescription))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant WaveListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < AllColumnCount)
        return QString::fromLatin1(kHeaders[section]);
    return {};
}

Qt::ItemFlags WaveListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == ColFilename)
        f |= Qt::ItemIsEditable;
    return f;
}

bool WaveListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() != ColFilename)
        return false;
    // The window decides what an accepted edit does to the row and the file.
    const QByteArray text = value.toString().toUtf8();
    emit captionEdited(index.row(), std::string(text.constData(), size_t(text.size())));
    return true;
}

int WaveListModel::rowNamed(const std::string& name) const
{
    const auto caseFolded = [](const std::string& text) {
        return QString::fromUtf8(text.data(), qsizetype(text.size())).toCaseFolded();
    };
    // Rows carry their names with A to Z lowered; a name typed in another case still finds its row.
    const std::string lowered = lowerAscii(name);
    const QString folded = caseFolded(name);
    int loose = -1;
    for (int row = 0; row < rowCount(); ++row) {
        if (rows_[size_t(row)].name == lowered)
            return row;
        if (loose < 0 && caseFolded(rows_[size_t(row)].name) == folded)
            loose = row;
    }
    return loose;
}

namespace {

// In the order the columns came: 10 was Folder before Favourite, Description and Loop were added.
constexpr int kStoredSortColumns[] = {
    WaveListModel::ColFilename,    WaveListModel::ColFormat,   WaveListModel::ColLength,    WaveListModel::ColSize,
    WaveListModel::ColType,        WaveListModel::ColLoudness, WaveListModel::ColPeak,      WaveListModel::ColTempo,
    WaveListModel::ColPitch,       WaveListModel::ColKey,      WaveListModel::ColFolder,    WaveListModel::ColFavourite,
    WaveListModel::ColDescription, WaveListModel::ColLoop,     WaveListModel::ColSimilarity};

} // namespace

int WaveListModel::storedSortNumber(int column)
{
    for (int n = 0; n < int(std::size(kStoredSortColumns)); ++n)
        if (kStoredSortColumns[n] == column)
            return n;
    return -1;
}

int WaveListModel::sortColumnOfStored(int number)
{
    return number >= 0 && number < int(std::size(kStoredSortColumns)) ? kStoredSortColumns[number] : -1;
}
