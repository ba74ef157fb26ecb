// SPDX-License-Identifier: GPL-3.0-or-later
// Finding sounds: each keystroke typed into the filter on 100,000 rows (target under 30 ms, in every
// view style), against one search of the folded captions; and the second visit to a measured
// folder of 10,000 waves showing all measure columns, against the fill without measures (target 1.2x).
#include "browser/WaveFilter.h"
#include "bench/benchwindow.h"
#include "library/soundanalyser.h"
#include "library/analysiscache.h"
#include "platform/files/drives.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::string waveBytes(int frames)
{
    std::string s;
    auto put = [&](unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            s.push_back(char((v >> (8 * i)) & 0xFF));
    };
    s += "RIFF";
    put(36 + unsigned(frames) * 2, 4);
    s += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(22050, 4);
    put(44100, 4);
    put(2, 2);
    put(16, 2);
    s += "data";
    put(unsigned(frames) * 2, 4);
    for (int i = 0; i < frames; ++i) {
        const int v = (i / 25) % 2 ? 8000 : -8000; // a 441 Hz square
        put(unsigned(v) & 0xFFFF, 2);
    }
    return s;
}

std::string name(int i)
{
    static const char* const stems[] = {"Snare", "kick", "HiHat", "pad", "Vox", "bass", "FX", "loop", "Café", "Écho"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%05d_%s.wav", stems[i % 10], i, (i % 3) ? "take" : "room");
    return buf;
}

void typing(BrowserWindow& form)
{
    const WindowControls c(form);
    const int count = 100000;
    std::vector<WaveRow> rows(count);
    for (int i = 0; i < count; ++i) {
        rows[size_t(i)].name = name(i);
        rows[size_t(i)].caption = waveCaptionText(rows[size_t(i)].name);
    }
    c.WaveList->model()->setRows(std::move(rows));
    QApplication::processEvents();
    // The floor: one search of the folded captions for a text; and what folding them all costs, which
    // the first keystroke after a fill pays.
    FoldedCaptions folded;
    auto t0 = Clock::now();
    folded.make(*c.WaveList->model());
    const double folding = msSince(t0);
    const WaveFilter probe = WaveFilter::parse("kick_0");
    t0 = Clock::now();
    const std::vector<char> found = folded.rowsContainingAll(probe.words);
    const double floor = msSince(t0);
    std::printf("folding %d captions: %.2f ms; one search of them: %.2f ms (%d match)\n", count, folding, floor,
                int(std::count(found.begin(), found.end(), 1)));
    const char* const typed[] = {"k", "ki", "kic", "kick", "kick_", "kick_0", "kick_00", "kick_0", "kick_",
                                 "kick", "kic", "ki", "k", "", "é", "éc", "écho", "", "bpm:120-130", ""};
    for (QAction* button : {c.DetailBtn, c.SmallBtn, c.ListBtn, c.LargeBtn}) {
        button->trigger();
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents();
        double worst = 0, sum = 0;
        for (const char* text : typed) {
            if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
                std::printf("  typing \"%s\"\n", text);
            t0 = Clock::now();
            c.FilterBox->setText(QString::fromUtf8(text));
            const double set = msSince(t0);
            QApplication::processEvents();
            const double events = msSince(t0);
            c.WaveList->currentView()->viewport()->repaint();
            const double ms = msSince(t0);
            if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
                std::printf("    %.1f ms: filter %.1f, events %.1f, paint %.1f\n", ms, set, events - set, ms - events);
            worst = std::max(worst, ms);
            sum += ms;
        }
        std::printf("%s: keystroke on %d rows, mean %.1f ms, worst %.1f ms (target < 30 ms), worst/floor %.1f\n",
                    qPrintable(button->objectName()), count, sum / std::size(typed), worst, worst / floor);
    }
    c.FilterBox->clear();
    c.WaveList->model()->clear();
}

constexpr int kVisitCount = 10000;

/// The folder of the second visit, made before the window reads the drive.
void makeVisitFolder(const std::string& root)
{
    const std::string dir = root + "/Waves";
    ::mkdir(dir.c_str(), 0755);
    const std::string bytes = waveBytes(2205);
    for (int i = 0; i < kVisitCount; ++i) {
        const int fd = ::open((dir + "/" + name(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            if (::write(fd, bytes.data(), bytes.size()) < 0)
                std::perror("write");
            ::close(fd);
        }
    }
}

void secondVisit(BrowserWindow& form)
{
    const WindowControls c(form);
    const int count = kVisitCount;
    c.WaveList->setShownMeasures(0);
    c.FolderTree->SelectPath("C:\\WAVES\\");
    QApplication::processEvents();
    auto allMeasured = [&] {
        const WaveListModel* m = c.WaveList->model();
        for (int r = m->rowCount() - 1; r >= 0; --r)
            if (!m->row(r).analysed)
                return false;
        return m->rowCount() == count;
    };
    auto waitMeasured = [&] {
        auto shown = Clock::now();
        while (!allMeasured()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (qEnvironmentVariableIsSet("BENCH_VERBOSE") && msSince(shown) > 1000) {
                shown = Clock::now();
                int done = 0;
                for (int r = 0; r < c.WaveList->model()->rowCount(); ++r)
                    done += c.WaveList->model()->row(r).analysed ? 1 : 0;
                std::printf("  %d of %d measured\n", done, c.WaveList->model()->rowCount());
            }
        }
    };
    double plain = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto t0 = Clock::now();
        form.FillWaveList();
        QApplication::processEvents();
        plain = std::min(plain, msSince(t0));
    }
    // The first visit measures every file.
    auto t0 = Clock::now();
    c.WaveList->setShownMeasures(0xF);
    waitMeasured();
    std::printf("first visit, measuring %d short waves: %.0f ms\n", count, msSince(t0));
    double cached = 1e9;
    for (int round = 0; round < 3; ++round) {
        t0 = Clock::now();
        form.FillWaveList();
        QApplication::processEvents();
        waitMeasured();
        cached = std::min(cached, msSince(t0));
    }
    if (qEnvironmentVariableIsSet("BENCH_VERBOSE")) {
        std::vector<platform::FileIdentity> ids;
        t0 = Clock::now();
        for (int r = 0; r < c.WaveList->model()->rowCount(); ++r)
            if (auto id = platform::fileIdentity("C:\\Waves\\" + c.WaveList->model()->fileName(r)))
                ids.push_back(*id);
        std::printf("  identities one by one %.1f ms\n", msSince(t0));
        std::vector<std::string> names;
        for (int r = 0; r < c.WaveList->model()->rowCount(); ++r)
            names.push_back(c.WaveList->model()->fileName(r));
        t0 = Clock::now();
        const auto together = platform::fileIdentitiesIn("C:\\Waves\\", names);
        std::printf("  identities of the folder %.1f ms\n", msSince(t0));
        library::AnalysisCache cache;
        t0 = Clock::now();
        const auto found = cache.find(ids);
        std::printf("  cache lookups %.1f ms\n", msSince(t0));
        t0 = Clock::now();
        form.FillWaveList();
        const double filled = msSince(t0);
        QApplication::processEvents();
        const double started = msSince(t0);
        waitMeasured();
        std::printf("  fill %.1f ms, events after it %.1f ms, measures in %.1f ms\n", filled, started - filled,
                    msSince(t0) - started);
    }
    std::printf("second visit of %d waves: fill %.1f ms, fill with all measures from the cache %.1f ms, ratio %.2f "
                "(target <= 1.2)\n",
                count, plain, cached, cached / plain);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir root, config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_CACHE_HOME", (config.path() + "/cache").toUtf8());
    QApplication app(argc, argv);
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = root.path().toStdString();
    platform::setDriveTable({c});
    if (!qEnvironmentVariableIsSet("BENCH_SKIP_VISIT"))
        makeVisitFolder(root.path().toStdString());
    BrowserWindow form;
    form.resize(1000, 700);
    form.show();
    QApplication::processEvents();
    if (!qEnvironmentVariableIsSet("BENCH_SKIP_TYPING"))
        typing(form);
    if (!qEnvironmentVariableIsSet("BENCH_SKIP_VISIT"))
        secondVisit(form);
    return 0;
}
