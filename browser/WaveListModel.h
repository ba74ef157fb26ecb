// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of the wave list: one per wave entry of the listed folder, kept in caption order.

#include "library/soundanalysis.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

/// One row: the entry's name as bytes (its caption) and the four texts computed when it was added.
struct WaveRow {
    std::string name;             ///< caption bytes, as the file is named by the list
    std::string fileName;         ///< the entry's name as its folder holds it: the file the row acts on
    QString caption;              ///< the caption as shown (odd bytes escaped)
    std::array<QString, 4> texts; ///< Format, Length, Size, Type
    // What the Format, Length and Size columns sort by: the values their texts show.
    bool headerRead = false; ///< the header was read: rate, bits, channels and seconds hold its values
    quint16 channels = 0;
    quint16 bits = 0;
    quint32 rate = 0;
    double seconds = 0;
    qint64 bytes = 0;
    // What the file's own chunks say of it.
    QString description; ///< the Description column
    quint32 loops = 0;   ///< loops of its sampler chunk, the Loop column
    QString fileTexts;   ///< every text of its chunks, searched by words like the caption
    library::SoundAnalysis measures; ///< meaningful once `analysed`
    bool analysed = false;
    /// A result of a library search: its folder's drive path with a trailing separator, as the row
    /// acts on it, and as shown in the Folder column. Empty for a row of the listed folder.
    std::string folder;
    QString folderText;
    /// The user's star and tags of the file.
    bool favourite = false;
    QStringList tags;
    /// How alike it sounds to the sound searched by (0..1); only in a list of sounds most like one.
    std::optional<double> similarity;
};

class WaveListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// ColumnCount counts the columns every list shows; the measure columns and the file's own texts
    /// follow them, shown by choice.
    enum Column {
        ColFilename,
        ColFormat,
        ColLength,
        ColSize,
        ColType,
        ColumnCount,
        ColLoudness = ColumnCount,
        ColPeak,
        ColTempo,
        ColPitch,
        ColKey,
        ColDescription,
        ColLoop,
        ColFolder,     ///< shown while the list holds the results of a library search
        ColFavourite,  ///< a star for the user's favourites
        ColSimilarity, ///< shown while the list holds the sounds most like one
        AllColumnCount
    };
    /// The number a sort column is stored by (`SortColumn`), and back: columns added later take the next
    /// numbers wherever they stand, so a stored number keeps its meaning. -1 (or a column past the
    /// known) for none.
    static int storedSortNumber(int column);
    static int sortColumnOfStored(int number);
    /// The columns shown by choice: the measures, Description and Loop.
    static constexpr int kMeasureColumns = ColFolder - ColumnCount;
    static constexpr bool isMeasureColumn(int column) { return column >= ColLoudness && column <= ColKey; }

    explicit WaveListModel(QObject* parent = nullptr);

    /// Replaces all rows; they are sorted once here, not row by row.
    void setRows(std::vector<WaveRow> rows);
    void clear();
    /// Gives a row a new caption and moves it to its place in the order; returns its new index.
    int setCaption(int row, const std::string& name);

    const std::string& name(int row) const { return rows_[size_t(row)].name; }
    const std::string& fileName(int row) const { return rows_[size_t(row)].fileName; }
    /// After the row's file was renamed on disk: the row acts on it under its new name.
    void setFileName(int row, const std::string& fileName)
    {
        rows_[size_t(row)].fileName = fileName;
        rowOfFile_.clear();
    }
    const WaveRow& row(int index) const { return rows_[size_t(index)]; }
    /// The row of a file name, letter case ignored: the row of its name with A to Z lowered, else the
    /// first whose name folds to the same; -1 when none.
    int rowNamed(const std::string& name) const;
    /// Changes whenever a caption or the order of the rows does, so what is made of the captions can be
    /// kept until then.
    quint64 captionsVersion() const { return captionsVersion_; }
    /// Gives a row its analysis results.
    void setMeasures(int row, const library::SoundAnalysis& measures);
    /// Gives the rows of these file names (as their folder holds them) their results, with one change signal for them all.
    void setMeasuresOf(const std::vector<std::pair<std::string, library::SoundAnalysis>>& results);
    /// Gives the rows of these file names (as their folder holds them) the user's star and tags; the
    /// rows not named have none.
    void setMarksOf(const std::map<std::string, std::pair<bool, QStringList>>& marks);
    /// Gives one row a star and tags.
    void setMarks(int row, bool favourite, const QStringList& tags);
    /// Gives each row its likeness (by row; none where the vector ends), with one change signal.
    void setSimilarities(const std::vector<std::optional<double>>& byRow);
    /// The icon every row shows.
    void setIcon(const QIcon& icon);
    QIcon icon() const { return icon_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    /// Caption order: the user's collation, where case decides only between otherwise equal texts;
    /// texts the collation holds equal are ordered by their bytes so the order never depends on chance.
    bool lessThan(const WaveRow& a, const WaveRow& b) const;

signals:
    /// An in-place edit of a caption was accepted with this text (UTF-8).
    void captionEdited(int row, const std::string& text);

private:
    std::vector<WaveRow> rows_;
    QIcon icon_;
    /// Row of each name, made when results first arrive for the rows as they are.
    std::unordered_map<std::string, int> rowOfFile_;
    quint64 captionsVersion_ = 0;
};

/// The text of a measure column for a row; empty while not measured and where the sound has no such
/// measure.
QString measureText(const WaveRow& row, int column);
/// What a measure cell shows while its row waits to be measured: unlike an empty cell (no such
/// measure), it says the value is still to come.
extern const QString kPendingMeasureMark;
/// The tooltip of a measure cell: what the value means where the text alone does not say it.
QString measureToolTip(const WaveRow& row, int column);

/// The caption shown for a name's bytes: UTF-8 as is, other bytes as \xNN.
QString waveCaptionText(const std::string& name);
