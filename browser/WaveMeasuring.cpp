// SPDX-License-Identifier: GPL-3.0-or-later
// BrowserWindow: the measures of the listed waves - loudness, peak, tempo, pitch - filled in the background.
#include "browser/BrowserWindow.h"
#include "components/SoundAnalyser.h"

#include <unordered_set>

namespace {

// Scrolling settles this long before the rows on screen move ahead of the others.
constexpr int kPreferDelayMs = 100;

} // namespace

void BrowserWindow::setupMeasuring()
{
    preferTimer_ = new QTimer(this);
    preferTimer_->setSingleShot(true);
    preferTimer_->setInterval(kPreferDelayMs);
    connect(preferTimer_, &QTimer::timeout, this, &BrowserWindow::PreferRowsOnScreen);
    connect(WaveList, &WaveListWidget::scrolled, preferTimer_, qOverload<>(&QTimer::start));
    connect(WaveList, &WaveListWidget::shownMeasuresChanged, this, &BrowserWindow::StartMeasuring);
    // New rows: the job of the old ones ends, and the new ones are measured once the list shows them.
    connect(WaveList->model(), &QAbstractItemModel::modelReset, this, [this] {
        if (fillMeasuring_) {
            // The job already runs for these rows; those on screen go first once they are laid out.
            fillMeasuring_ = false;
            preferTimer_->start();
            return;
        }
        measuring_ = false;
        if (Analyser)
            Analyser->setFiles(++measureJob_, {});
        QTimer::singleShot(0, this, &BrowserWindow::StartMeasuring);
    });
}

bool BrowserWindow::MeasuresWanted() const
{
    return WaveList->shownMeasures() != 0 || WaveList->filterModel()->filter().usesMeasures();
}

void BrowserWindow::StartMeasuring()
{
    if (measuring_ || !MeasuresWanted())
        return;
    WaveListModel* rows = WaveList->model();
    std::vector<int> order;
    std::vector<char> queued(size_t(rows->rowCount()), 0);
    auto add = [&](int row) {
        if (row >= 0 && row < rows->rowCount() && !queued[size_t(row)] && !rows->row(row).analysed) {
            queued[size_t(row)] = 1;
            order.push_back(row);
        }
    };
    // Nearest the rows on screen first: those, then the shown rows after them, then those before,
    // then the rows the filter hides.
    const std::vector<int> onScreen = WaveList->rowsOnScreen();
    for (int row : onScreen)
        add(row);
    const int shown = WaveList->visibleRowCount();
    const int firstPlace = onScreen.empty() ? 0 : std::max(0, WaveList->placeOfRow(onScreen.front()));
    for (int place = firstPlace; place < shown; ++place)
        add(WaveList->visibleRow(place));
    for (int place = firstPlace - 1; place >= 0; --place)
        add(WaveList->visibleRow(place));
    for (int row = 0; row < rows->rowCount(); ++row)
        add(row);
    if (order.empty())
        return;
    std::vector<std::string> names;
    names.reserve(order.size());
    for (int row : order)
        names.push_back(rows->fileName(row));
    MeasureListedFiles(FolderTree->SelectedDiskPath(), names);
}

void BrowserWindow::MeasureListedFiles(const std::string& diskFolder, const std::vector<std::string>& fileNames,
                                std::vector<std::optional<platform::FileIdentity>> identities)
{
    if (diskFolder == "?" || fileNames.empty())
        return;
    if (!Analyser) {
        Analyser = new SoundAnalyser(this);
        connect(Analyser, &SoundAnalyser::measured, this, &BrowserWindow::WavesMeasured);
        connect(Analyser, &SoundAnalyser::finished, this, [this](quint64 job) {
            if (job == measureJob_)
                measuring_ = false;
        });
        connect(Analyser, &SoundAnalyser::notice, this, &BrowserWindow::ShowNotice);
    }
    // The files as the disk spells them: of two names differing in case each is measured.
    measureFolder_ = diskFolder;
    if (measureFolder_.empty() || measureFolder_.back() != '\\')
        measureFolder_ += '\\';
    std::vector<std::string> paths;
    paths.reserve(fileNames.size());
    for (const std::string& name : fileNames)
        paths.push_back(measureFolder_ + name);
    measuring_ = true;
    Analyser->setFiles(++measureJob_, std::move(paths), std::move(identities));
}

void BrowserWindow::PreferRowsOnScreen()
{
    if (!measuring_ || !Analyser)
        return;
    std::vector<std::string> paths;
    for (int row : WaveList->rowsOnScreen())
        if (!WaveList->model()->row(row).analysed)
            paths.push_back(measureFolder_ + WaveList->model()->fileName(row));
    Analyser->prefer(paths);
}

void BrowserWindow::WavesMeasured(quint64 job, const std::vector<std::pair<std::string, platform::SoundMeasures>>& results)
{
    if (job != measureJob_)
        return;
    std::vector<std::pair<std::string, platform::SoundMeasures>> byFile;
    byFile.reserve(results.size());
        for (const auto& [path, measures] : results)
        if (path.compare(0, measureFolder_.size(), measureFolder_) == 0)
            byFile.emplace_back(path.substr(measureFolder_.size()), measures);
    WaveList->model()->setMeasuresOf(byFile);
}
