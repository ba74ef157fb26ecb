// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filter of the wave list: the text a caption must contain, ignoring case and accents, and
// conditions on the analysis measures ("bpm:120-130", "lufs:<-20", "pitch:A4").

#include "browser/WaveListModel.h"

#include <QAbstractProxyModel>
#include <QPersistentModelIndex>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

/// A text as the filter compares it (UTF-8): accents and other combining marks removed, case folded.
std::string searchFolded(const QString& text);

struct WaveFilter {
    enum class Measure { Loudness, Peak, Tempo, Pitch };
    /// A measure within [low, high]; a pitch condition may instead name a note ("A", "A4", "C#3").
    struct Condition {
        Measure measure = Measure::Loudness;
        double low = 0;
        double high = 0;
        int pitchClass = -1; ///< 0 = C ... 11 = B when a note is named
        int octave = -100;   ///< with the note, when named too
    };
    std::string text; ///< folded; empty matches every caption
    std::vector<Condition> conditions;

    /// Words of the form measure:range become conditions, the rest is the text. A word that looks like
    /// a condition but cannot be read stays text, so nothing typed is silently dropped.
    static WaveFilter parse(const QString& typed);
    bool isEmpty() const { return text.empty() && conditions.empty(); }
    bool usesMeasures() const { return !conditions.empty(); }
    bool matches(const WaveRow& row) const;
    bool matchesMeasures(const WaveRow& row) const;
};

/// Every row's caption folded, one after another, each followed by a zero byte: one search through it
/// finds the rows holding a text far quicker than a search of each caption.
struct FoldedCaptions {
    std::string text;
    std::vector<uint32_t> starts; ///< where each row's caption begins, and the end of the last
    quint64 version = ~quint64(0); ///< the model's captionsVersion it was made from

    void make(const WaveListModel& rows);
    /// 1 for each row whose folded caption contains the folded text.
    std::vector<char> rowsContaining(const std::string& folded) const;
};

/// The rows of the list that pass the filter, in the list's order. A flat list of places, so the views'
/// walks over 100,000 rows cost little per row, and a new filter is found in one search of the folded
/// captions.
class WaveFilterModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit WaveFilterModel(QObject* parent = nullptr);
    void setSourceModel(QAbstractItemModel* source) override;
    void setFilter(const QString& typed);
    QString typed() const { return typed_; }
    const WaveFilter& filter() const { return filter_; }

    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

private:
    const WaveListModel* rows() const { return static_cast<const WaveListModel*>(sourceModel()); }
    /// accepted_ for every row under the present filter.
    void judgeAll();
    /// places_ and placeOf_ from accepted_.
    void mapPlaces();
    /// Announces a change of the shown rows; the views' marked rows follow their source rows.
    void beginRemap();
    void endRemap();
    void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);

    QString typed_;
    WaveFilter filter_;
    FoldedCaptions folded_;
    std::vector<char> accepted_; ///< per source row
    std::vector<int> places_;    ///< source row of each shown place
    std::vector<int> placeOf_;   ///< shown place of each source row; -1 when hidden
    QModelIndexList remapFrom_;
    QList<QPersistentModelIndex> remapSources_;
};