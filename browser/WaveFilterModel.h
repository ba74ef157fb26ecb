// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows the wave list shows: those that pass the filter, in the order chosen by a column.

#include "browser/WaveFilter.h"
#include "browser/WaveListModel.h"

#include <QAbstractProxyModel>
#include <QPersistentModelIndex>
#include <QString>
#include <vector>

class QTimer;

/// The rows of the list that pass the filter, in the order shown: by a column, up or down, or by
/// default in the list's own caption order. A flat list of places, so the views' walks over 100,000
/// rows cost little per row, and a new filter is found in one search of the folded captions.
class WaveFilterModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit WaveFilterModel(QObject* parent = nullptr);
    void setSourceModel(QAbstractItemModel* source) override;
    void setFilter(const QString& typed);
    QString typed() const { return typed_; }
    const WaveFilter& filter() const { return filter_; }

    /// Orders the rows by a column: numbers, lengths, sizes and measures by their values (rows without
    /// one last either way), names as the list orders them; equal values keep the caption order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }
    /// The place a row of the source takes, or would take were it shown: how many shown rows come
    /// before it.
    int placeBefore(int sourceRow) const;

    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

signals:
    /// The rows shown took another order (a new sort, or values of the sort column arriving).
    void reordered();

private:
    const WaveListModel* rows() const { return static_cast<const WaveListModel*>(sourceModel()); }
    /// accepted_ for every row under the present filter.
    void judgeAll();
    /// order_ and rankOf_ from the rows and the sort.
    void makeOrder();
    /// places_ and placeOf_ from order_ and accepted_.
    void mapPlaces();
    /// Announces a change of the shown rows; the views' marked rows follow their source rows.
    void beginRemap();
    void endRemap();
    void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);

    QString typed_;
    WaveFilter filter_;
    FoldedCaptions folded_;
    int sortColumn_ = WaveListModel::ColFilename;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    QTimer* resort_ = nullptr;
    std::vector<char> accepted_; ///< per source row
    std::vector<int> order_;     ///< every source row in the order shown
    std::vector<int> rankOf_;    ///< place of each source row in order_
    std::vector<int> places_;    ///< source row of each shown place
    std::vector<int> placeOf_;   ///< shown place of each source row; -1 when hidden
    QModelIndexList remapFrom_;
    QList<QPersistentModelIndex> remapSources_;
};
