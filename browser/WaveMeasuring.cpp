// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveMeasuring.h"

#include "browser/WaveListWidget.h"
#include "library/measuretexts.h"
#include "library/soundanalyser.h"
#include "platform/shell/propertywindow.h"
#include "waves/WaveMetadata.h"

#include <QTimer>
#include <algorithm>

using library::SoundAnalyser;

namespace {

// Scrolling settles this long before the rows on screen move ahead of the others.
constexpr int kPreferDelayMs = 100;

} // namespace

WaveMeasuring::WaveMeasuring(WaveListWidget& list, std::function<std::string()> folder, QObject* parent)
    : QObject(parent), list_(list), folder_(std::move(folder)), preferTimer_(new QTimer(this))
{
    preferTimer_->setSingleShot(true);
    preferTimer_->setInterval(kPreferDelayMs);
    connect(preferTimer_, &QTimer::timeout, this, &WaveMeasuring::preferRowsOnScreen);
    connect(&list_, &WaveListWidget::scrolled, preferTimer_, qOverload<>(&QTimer::start));
    connect(&list_, &WaveListWidget::shownMeasuresChanged, this, &WaveMeasuring::start);
    connect(list_.model(), &QAbstractItemModel::modelReset, this, &WaveMeasuring::rowsReplaced);
    // The property window of a wave file shows its measures too, and what its chunks say of it.
    platform::setSoundDetails({library::measureLabels(), library::measureTexts});
    platform::setFileTexts([](const std::string& native) {
        const auto named = readWaveMetadata(native).namedTexts();
        return std::vector<std::pair<QString, QString>>(named.begin(), named.end());
    });
}

bool WaveMeasuring::wanted() const
{
    return wantedElsewhere_ || list_.shownMeasures() != 0 || list_.filterModel()->filter().usesMeasures();
}

void WaveMeasuring::setWanted(bool wanted)
{
    wantedElsewhere_ = wanted;
    if (wanted)
        start();
}

bool WaveMeasuring::allMeasured() const
{
    const WaveListModel* rows = list_.model();
    for (int r = 0; r < rows->rowCount(); ++r)
        if (!rows->row(r).analysed)
            return false;
    return analyser_ && analyser_->isIdle();
}

void WaveMeasuring::rowsReplaced()
{
    // New rows: the job of the old ones ends, and the new ones are measured once the list shows them.
    if (fillMeasuring_) {
        // The job already runs for these rows; those on screen go first once they are laid out.
        fillMeasuring_ = false;
        preferTimer_->start();
        return;
    }
    measuring_ = false;
    setProgress(0, 0);
    if (analyser_)
        analyser_->setFiles(++job_, {});
    QTimer::singleShot(0, this, &WaveMeasuring::start);
}

void WaveMeasuring::start()
{
    if (measuring_ || !wanted())
        return;
    WaveListModel* rows = list_.model();
    std::vector<int> order;
    std::vector<char> queued(size_t(rows->rowCount()), 0);
    auto add = [&](int row) {
        if (row >= 0 && row < rows->rowCount() && !queued[size_t(row)] && !rows->row(row).analysed) {
            queued[size_t(row)] = 1;
            order.push_back(row);
        }
    };
    // Nearest the rows on screen first: those, then the shown rows after them, then those before, then
    // the rows the filter hides.
    const std::vector<int> onScreen = list_.rowsOnScreen();
    for (int row : onScreen)
        add(row);
    const int shown = list_.visibleRowCount();
    const int firstPlace = onScreen.empty() ? 0 : std::max(0, list_.placeOfRow(onScreen.front()));
    for (int place = firstPlace; place < shown; ++place)
        add(list_.visibleRow(place));
    for (int place = firstPlace - 1; place >= 0; --place)
        add(list_.visibleRow(place));
    for (int row = 0; row < rows->rowCount(); ++row)
        add(row);
    if (order.empty())
        return;
    std::vector<std::string> names;
    names.reserve(order.size());
    for (int row : order)
        names.push_back(rows->fileName(row));
    measure(folder_(), names);
}

void WaveMeasuring::cancel()
{
    if (!measuring_)
        return;
    ++job_;
    analyser_->setFiles(job_, {});
    measuring_ = false;
    setProgress(0, 0);
}

void WaveMeasuring::startForFill(const std::string& diskFolder, const std::vector<WaveRow>& rows,
                                 std::vector<std::optional<platform::FileIdentity>> identities)
{
    std::vector<std::string> names;
    names.reserve(rows.size());
    for (const WaveRow& row : rows)
        names.push_back(row.fileName);
    measure(diskFolder, names, std::move(identities));
    fillMeasuring_ = measuring_;
}

void WaveMeasuring::measure(const std::string& diskFolder, const std::vector<std::string>& fileNames,
                            std::vector<std::optional<platform::FileIdentity>> identities)
{
    if (diskFolder == "?" || fileNames.empty())
        return;
    if (!analyser_) {
        analyser_ = new SoundAnalyser(this);
        analyser_->setSoundPlaying(soundPlaying_);
        connect(analyser_, &SoundAnalyser::measured, this, &WaveMeasuring::measured);
        connect(analyser_, &SoundAnalyser::finished, this, [this](quint64 job) {
            if (job != job_)
                return;
            measuring_ = false;
            setProgress(0, 0);
        });
        connect(analyser_, &SoundAnalyser::notice, this, &WaveMeasuring::notice);
    }
    // The files as the disk spells them: of two names differing in case each is measured.
    jobFolder_ = diskFolder;
    if (jobFolder_.empty() || jobFolder_.back() != '\\')
        jobFolder_ += '\\';
    std::vector<std::string> paths;
    paths.reserve(fileNames.size());
    for (const std::string& name : fileNames)
        paths.push_back(jobFolder_ + name);
    measuring_ = true;
    setProgress(0, int(paths.size()));
    analyser_->setFiles(++job_, std::move(paths), std::move(identities));
}

void WaveMeasuring::setSoundPlaying(bool playing)
{
    soundPlaying_ = playing;
    if (analyser_)
        analyser_->setSoundPlaying(playing);
}

void WaveMeasuring::preferRowsOnScreen()
{
    if (!measuring_ || !analyser_)
        return;
    std::vector<std::string> paths;
    for (int row : list_.rowsOnScreen())
        if (!list_.model()->row(row).analysed)
            paths.push_back(jobFolder_ + list_.model()->fileName(row));
    analyser_->prefer(paths);
}

void WaveMeasuring::measured(quint64 job, const std::vector<std::pair<std::string, library::SoundAnalysis>>& results)
{
    // A job that was replaced (other rows, another folder) delivers into rows that are not its own.
    if (job != job_)
        return;
    std::vector<std::pair<std::string, library::SoundAnalysis>> byFile;
    byFile.reserve(results.size());
    for (const auto& [path, measures] : results)
        if (path.compare(0, jobFolder_.size(), jobFolder_) == 0)
            byFile.emplace_back(path.substr(jobFolder_.size()), measures);
    list_.model()->setMeasuresOf(byFile);
    setProgress(jobDone_ + int(results.size()), jobFiles_);
}

void WaveMeasuring::setProgress(int done, int total)
{
    const bool was = jobFiles_ > 0 && jobDone_ < jobFiles_;
    jobDone_ = std::min(done, total);
    jobFiles_ = total;
    // Known measures come back at once: only a job with files left to measure is told of.
    if (total > 0 && done < total)
        emit progressChanged(QStringLiteral("Measuring %1 of %2").arg(done + 1).arg(total));
    else if (was)
        emit progressChanged(QString());
}
