#pragma once
// The filter of the wave list: the text a caption must contain, ignoring case and accents, and
// conditions on the analysis measures ("bpm:120-130", "lufs:<-20", "pitch:A4").

#include "browser/WaveListModel.h"

#include <QSortFilterProxyModel>
#include <QString>
#include <vector>

/// A text as the filter compares it: accents and other combining marks removed, case folded.
QString searchFolded(const QString& text);

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
    QString text; ///< folded; empty matches every caption
    std::vector<Condition> conditions;

    /// Words of the form measure:range become conditions, the rest is the text. A word that looks like
    /// a condition but cannot be read stays text, so nothing typed is silently dropped.
    static WaveFilter parse(const QString& typed);
    bool isEmpty() const { return text.isEmpty() && conditions.empty(); }
    bool usesMeasures() const { return !conditions.empty(); }
    bool matches(const WaveRow& row) const;
};

/// The rows of the list that pass the filter, in the list's order.
class WaveFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit WaveFilterModel(QObject* parent = nullptr);
    void setFilter(const QString& typed);
    QString typed() const { return typed_; }
    const WaveFilter& filter() const { return filter_; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString typed_;
    WaveFilter filter_;
};
