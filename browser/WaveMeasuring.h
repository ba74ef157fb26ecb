// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The measures of the listed waves (loudness, peak, tempo, pitch), filled in the background.

#include "platform/files/fileidentity.h"
#include "library/soundanalysis.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QTimer;
namespace library {
class SoundAnalyser;
}
class WaveListWidget;
struct WaveRow;

/// Measures the rows of a wave list while a measure column or the filter needs them: those on screen
/// first, then the rows shown after them, those before, and the rows the filter hides. Each request is a
/// job with its own id; results of an older job (rows gone, another folder) are dropped when they arrive,
/// and known files come back from the analyser's cache.
class WaveMeasuring : public QObject {
    Q_OBJECT
public:
    /// `folder` gives the listed folder as the disk spells it ("?" when none).
    WaveMeasuring(WaveListWidget& list, std::function<std::string()> folder, QObject* parent = nullptr);

    /// Whether a shown column, the filter or another feature (setWanted) uses the measures.
    bool wanted() const;
    /// Another feature needs the measures of the rows listed (ranking them by likeness), or no longer.
    void setWanted(bool wanted);
    /// Starts measuring the rows not measured yet; nothing while a job runs or nothing wants them.
    void start();
    /// Drops the job under way: the rows it was for are gone (the list shows library results).
    void cancel();
    /// Starts measuring the files of a folder (as the disk spells it) while the list is still being filled
    /// with their rows, so their known measures are looked up while the headers are read.
    void startForFill(const std::string& diskFolder, const std::vector<WaveRow>& rows,
                      std::vector<std::optional<platform::FileIdentity>> identities);
    /// Whether every row has its measures and nothing more is on its way.
    bool allMeasured() const;
    /// While a sound plays, measuring leaves a core to the window and the sound.
    void setSoundPlaying(bool playing);
    /// The analyser, made when first needed.
    library::SoundAnalyser* analyser() const { return analyser_; }

signals:
    /// Something the user should read (the cache was set aside).
    void notice(const QString& text);
    /// How far the job is ("Measuring 37 of 200"); empty once it is done or dropped.
    void progressChanged(const QString& text);

private:
    void measure(const std::string& diskFolder, const std::vector<std::string>& fileNames,
                 std::vector<std::optional<platform::FileIdentity>> identities = {});
    void preferRowsOnScreen();
    void rowsReplaced();
    void measured(quint64 job, const std::vector<std::pair<std::string, library::SoundAnalysis>>& results);
    void setProgress(int done, int total);

    WaveListWidget& list_;
    std::function<std::string()> folder_;
    library::SoundAnalyser* analyser_ = nullptr;
    QTimer* preferTimer_;
    quint64 job_ = 0;
    std::string jobFolder_;
    bool measuring_ = false;
    bool soundPlaying_ = false;
    bool wantedElsewhere_ = false;
    /// Files of the job, and those whose results came.
    int jobFiles_ = 0;
    int jobDone_ = 0;
    /// The fill started the job for the rows it is about to show.
    bool fillMeasuring_ = false;
};
