// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveFilterModel.h"

#include "dirtree/DirTree.h"

#include <QCollator>
#include <QHash>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Values of the sort column arriving (measures) order the rows again at most this often.
constexpr int kResortMs = 200;

/// A row's value in a column as the sort compares it, part by part; none for a row without one.
struct SortKey {
    bool none = false;
    double a = 0, b = 0, c = 0;
};

SortKey measureKey(const WaveRow& row, double value)
{
    SortKey k;
    k.none = !row.analysed || std::isnan(value);
    k.a = value;
    return k;
}

/// The texts of the Type or Folder column in the list's caption order, as ranks: few texts, however
/// many rows.
QHash<QString, int> textRanks(const WaveListModel& rows, int column)
{
    QHash<QString, int> ranks;
    for (int r = 0; r < rows.rowCount(); ++r)
        ranks.insert(column == WaveListModel::ColFolder        ? rows.row(r).folderText
                     : column == WaveListModel::ColDescription ? rows.row(r).description
                                                               : rows.row(r).texts[WaveListModel::ColType - 1],
                     0);
    QStringList names = ranks.keys();
    const QCollator& collator = dirtree::nameCollator(Qt::CaseSensitive);
    std::sort(names.begin(), names.end(), [&](const QString& x, const QString& y) {
        const int c = collator.compare(x, y);
        return c != 0 ? c < 0 : x < y;
    });
    for (int i = 0; i < names.size(); ++i)
        ranks[names[i]] = i;
    return ranks;
}

SortKey sortKey(const WaveRow& row, int column, const QHash<QString, int>& types)
{
    SortKey k;
    switch (column) {
    case WaveListModel::ColFormat:
        k = {!row.headerRead, double(row.rate), double(row.bits), double(row.channels)};
        break;
    case WaveListModel::ColLength:
        k = {!row.headerRead, row.seconds, 0, 0};
        break;
    case WaveListModel::ColSize:
        k.a = double(row.bytes);
        break;
    case WaveListModel::ColType:
        k.a = types.value(row.texts[WaveListModel::ColType - 1]);
        break;
    case WaveListModel::ColFolder:
        k.a = types.value(row.folderText);
        break;
    case WaveListModel::ColDescription: // files without one last, whichever the direction
        k.none = row.description.isEmpty();
        k.a = types.value(row.description);
        break;
    case WaveListModel::ColLoop:
        k.none = row.loops == 0;
        k.a = row.loops;
        break;
    case WaveListModel::ColFavourite:
        k.a = row.favourite ? 0 : 1; // favourites first
        break;
    case WaveListModel::ColSimilarity:
        k.none = !row.similarity;
        k.a = row.similarity.value_or(0);
        break;
    case WaveListModel::ColLoudness:
        return measureKey(row, row.measures.loudness);
    case WaveListModel::ColPeak:
        return measureKey(row, row.measures.peak);
    case WaveListModel::ColTempo:
        return measureKey(row, row.measures.tempo);
    case WaveListModel::ColPitch:
        return measureKey(row, row.measures.pitch);
    case WaveListModel::ColKey: {
        // Around the Camelot wheel (1A 1B 2A ...), where neighbours mix well.
        const auto& key = row.measures.key;
        k = measureKey(row, key ? 2.0 * std::stoi(key->camelot()) + (key->minor ? 0 : 1) : std::nan(""));
        break;
    }
    default:
        break;
    }
    return k;
}

int compareKeys(const SortKey& x, const SortKey& y)
{
    for (const auto& [p, q] : {std::pair(x.a, y.a), std::pair(x.b, y.b), std::pair(x.c, y.c)})
        if (p != q)
            return p < q ? -1 : 1;
    return 0;
}

} // namespace

WaveFilterModel::WaveFilterModel(QObject* parent) : QAbstractProxyModel(parent), resort_(new QTimer(this))
{
    resort_->setSingleShot(true);
    resort_->setInterval(kResortMs);
    connect(resort_, &QTimer::timeout, this, [this] {
        const std::vector<int> before = order_;
        makeOrder();
        if (order_ == before)
            return;
        beginRemap();
        mapPlaces();
        endRemap();
        emit reordered();
    });
}

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
            makeOrder();
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
                    makeOrder();
                    mapPlaces();
                    endRemap();
                });
        // The list model adds or takes rows only by a reset; any other change of rows is judged anew.
        for (auto signal : {&QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsAboutToBeRemoved})
            connect(source, signal, this, [this] { beginResetModel(); });
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(source, signal, this, [this] {
                judgeAll();
                makeOrder();
                mapPlaces();
                endResetModel();
            });
    }
    judgeAll();
    makeOrder();
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
    if (!filter_.words.empty() && folded_.version != source->captionsVersion())
        folded_.make(*source);
    accepted_ = filter_.words.empty() ? std::vector<char>(count, 1) : folded_.rowsContainingAll(filter_.words);
    if (filter_.usesConditions())
        for (size_t r = 0; r < accepted_.size(); ++r)
            if (accepted_[r])
                accepted_[r] = filter_.matchesConditions(source->row(int(r))) ? 1 : 0;
}

void WaveFilterModel::makeOrder()
{
    const WaveListModel* source = rows();
    const int count = source ? source->rowCount() : 0;
    order_.resize(size_t(count));
    std::iota(order_.begin(), order_.end(), 0);
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    if (sortColumn_ != WaveListModel::ColFilename && count > 0) {
        const QHash<QString, int> types =
            sortColumn_ == WaveListModel::ColType || sortColumn_ == WaveListModel::ColFolder ||
                    sortColumn_ == WaveListModel::ColDescription
                ? textRanks(*source, sortColumn_)
                : QHash<QString, int>();
        std::vector<SortKey> keys;
        keys.reserve(size_t(count));
        for (int r = 0; r < count; ++r)
            keys.push_back(sortKey(source->row(r), sortColumn_, types));
        std::sort(order_.begin(), order_.end(), [&](int x, int y) {
            const SortKey& p = keys[size_t(x)];
            const SortKey& q = keys[size_t(y)];
            if (p.none != q.none)
                return q.none;
            const int c = p.none ? 0 : compareKeys(p, q);
            if (c != 0)
                return descending ? c > 0 : c < 0;
            return x < y; // the caption order
        });
    } else if (descending) {
        std::reverse(order_.begin(), order_.end());
    }
    rankOf_.resize(order_.size());
    for (size_t i = 0; i < order_.size(); ++i)
        rankOf_[size_t(order_[i])] = int(i);
}

void WaveFilterModel::mapPlaces()
{
    places_.clear();
    placeOf_.assign(accepted_.size(), -1);
    for (const int r : order_)
        if (accepted_[size_t(r)]) {
            placeOf_[size_t(r)] = int(places_.size());
            places_.push_back(r);
        }
}

void WaveFilterModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= WaveListModel::AllColumnCount)
        column = WaveListModel::ColFilename;
    if (column == sortColumn_ && order == sortOrder_)
        return;
    sortColumn_ = column;
    sortOrder_ = order;
    resort_->stop();
    beginRemap();
    makeOrder();
    mapPlaces();
    endRemap();
    emit reordered();
}

int WaveFilterModel::placeBefore(int sourceRow) const
{
    if (sourceRow < 0 || size_t(sourceRow) >= rankOf_.size())
        return int(places_.size());
    const int rank = rankOf_[size_t(sourceRow)];
    // The shown rows keep the order, so their ranks rise from place to place.
    const auto at = std::lower_bound(places_.begin(), places_.end(), rank,
                                     [this](int row, int r) { return rankOf_[size_t(row)] < r; });
    return int(at - places_.begin());
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
    // A caption, a measure or a mark changed: the rows are judged again, as a change may show or hide them.
    const bool judged = !filter_.isEmpty() && ((!filter_.words.empty() && topLeft.column() == WaveListModel::ColFilename) ||
                                               (filter_.usesConditions() && bottomRight.column() >= WaveListModel::ColumnCount));
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
    // New values of the sort column: the rows are ordered again a moment later, once for a batch.
    const bool sortValues = topLeft.column() <= sortColumn_ && sortColumn_ <= bottomRight.column();
    if (sortColumn_ != WaveListModel::ColFilename && sortValues && !resort_->isActive())
        resort_->start();
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
