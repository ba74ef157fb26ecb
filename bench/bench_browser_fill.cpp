// SPDX-License-Identifier: GPL-3.0-or-later
// Filling the wave list through the real window, against floors measured in the same run:
// - 10,000 waves, warm page cache: against one thread opening each file and reading its first 1 KB.
// - the same, cold (every file evicted with posix_fadvise before the round): against that floor on one
//   thread and on 16 threads.
// - the same, cold, with 1 ms added to every open (the system layer's open hook, standing for a network
//   share): against the 16-thread floor with the same delay.
// - 100,000 waves: the fill, switching the view style and scrolling by the whole list, none of which may
//   pause longer than the fill; and the memory each row costs.
#include "bench/benchwindow.h"
#include "platform/files/drives.h"
#include "platform/files/files.h"

#include <QAbstractItemView>
#include <QDir>
#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::atomic<bool> slowOpens{false};

void delayOpen()
{
    if (slowOpens)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void delayOpenHook(const std::string&)
{
    delayOpen();
}

std::string waveBytes(int frames, int channels, int rate)
{
    std::string s;
    auto put = [&](unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            s.push_back(char((v >> (8 * i)) & 0xFF));
    };
    const unsigned data = unsigned(frames * channels) * 2;
    s += "RIFF";
    put(36 + data, 4);
    s += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(unsigned(channels), 2);
    put(unsigned(rate), 4);
    put(unsigned(rate * channels * 2), 4);
    put(unsigned(channels * 2), 2);
    put(16, 2);
    s += "data";
    put(data, 4);
    s.append(data, '\0');
    return s;
}

/// A name with mixed letter case, e.g. "Snare_0042_Take.WAV".
std::string mixedName(int i)
{
    static const char* const stems[] = {"Snare", "kick", "HiHat", "pad", "Vox", "bass", "FX", "loop"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%06d_%s.%s", stems[i % 8], i, (i % 3) ? "Take" : "tAKE",
                  (i % 2) ? "WAV" : "wav");
    return buf;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
        std::perror(path.c_str());
    if (fd >= 0)
        ::close(fd);
}

/// Drops the files' pages from the page cache, so the next read goes to the disk.
void evict(const std::string& dir, const std::vector<std::string>& names)
{
    for (const auto& n : names) {
        const int fd = ::open((dir + "/" + n).c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

/// The floor: open each file and read its first 1 KB, on `threads` threads.
double floorRead(const std::string& dir, const std::vector<std::string>& names, int threads)
{
    std::atomic<size_t> next{0};
    auto work = [&] {
        char buf[1024];
        for (size_t i; (i = next++) < names.size();) {
            delayOpen();
            const int fd = ::open((dir + "/" + names[i]).c_str(), O_RDONLY);
            if (fd < 0)
                continue;
            if (::read(fd, buf, sizeof buf) < 0)
                std::perror("read");
            ::close(fd);
        }
    };
    const auto t0 = Clock::now();
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (auto& t : pool)
        t.join();
    return msSince(t0);
}

double timedFill(BrowserWindow& form, int expected)
{
    const WindowControls c(form);
    const auto t0 = Clock::now();
    form.FillWaveList();
    const double ms = msSince(t0);
    if (c.WaveList->rowCount() != expected)
        std::printf("warning: %d rows listed, %d expected\n", c.WaveList->rowCount(), expected);
    return ms;
}

size_t heapInUse()
{
    malloc_trim(0);
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

void ratio(const char* what, double value, double base, double target)
{
    std::printf("%s: ratio %.2f (target <= %.1f)%s\n", what, value / base, target,
                value / base <= target ? "" : "  MISSED");
}

struct Pauses {
    double viewSwitch = 0;
    double scroll = 0;
};

/// The longest pauses of switching through the view styles twice, and of scrolling from the top to the
/// end of the rows and back in each style once laid out.
Pauses switchAndScroll(BrowserWindow& form)
{
    const WindowControls c(form);
    Pauses worst;
    for (int round = 0; round < 2; ++round) {
        for (QAction* button : {c.DetailBtn, c.SmallBtn, c.ListBtn, c.LargeBtn}) {
            const auto t0 = Clock::now();
            button->trigger();
            QApplication::processEvents();
            c.WaveList->currentView()->viewport()->repaint();
            worst.viewSwitch = std::max(worst.viewSwitch, msSince(t0));
        }
    }
    for (QAction* button : {c.DetailBtn, c.SmallBtn, c.ListBtn, c.LargeBtn}) {
        button->trigger();
        QApplication::processEvents();
        QAbstractItemView* view = c.WaveList->currentView();
        for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()}) {
            const auto t0 = Clock::now();
            bar->setValue(bar->maximum());
            view->viewport()->repaint();
            bar->setValue(bar->minimum());
            view->viewport()->repaint();
            worst.scroll = std::max(worst.scroll, msSince(t0) / 2);
        }
    }
    return worst;
}

/// 10,000 waves of the same format on the disk: warm, cold and slow fills against their floors.
void fillsAgainstFloors(BrowserWindow& form, const std::string& root)
{
    const WindowControls c(form);
    const int count = 10000;
    const std::string dir = root + "/Waves";
    ::mkdir(dir.c_str(), 0755);
    std::vector<std::string> names;
    const std::string bytes = waveBytes(2205, 1, 22050);
    for (int i = 0; i < count; ++i) {
        names.push_back(mixedName(i));
        writeFile(dir + "/" + names.back(), bytes);
    }
    // Dirty pages cannot be evicted: write them out first.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ::syncfs(dirFd);
    ::close(dirFd);

    c.FolderTree->Reload();
    c.FolderTree->SelectPath("C:\\WAVES\\");
    QApplication::processEvents();

    double warm = 1e9, warmFloor = 1e9;
    for (int round = 0; round < 5; ++round) {
        warmFloor = std::min(warmFloor, floorRead(dir, names, 1));
        warm = std::min(warm, timedFill(form, count));
    }
    // The fastest of several rounds: other work on the machine only ever adds time. The slow one-thread
    // floor is only there for comparison and gets fewer.
    double cold = 1e9, coldFloor1 = 1e9, coldFloor16 = 1e9;
    for (int round = 0; round < 5; ++round) {
        if (round < 2) {
            evict(dir, names);
            coldFloor1 = std::min(coldFloor1, floorRead(dir, names, 1));
        }
        evict(dir, names);
        coldFloor16 = std::min(coldFloor16, floorRead(dir, names, 16));
        evict(dir, names);
        cold = std::min(cold, timedFill(form, count));
    }
    slowOpens = true;
    double slow = 1e9, slowFloor16 = 1e9;
    for (int round = 0; round < 3; ++round) {
        evict(dir, names);
        slowFloor16 = std::min(slowFloor16, floorRead(dir, names, 16));
        evict(dir, names);
        slow = std::min(slow, timedFill(form, count));
    }
    slowOpens = false;

    std::printf("warm fill of %d waves: %.1f ms; one thread opening and reading 1 KB of each: %.1f ms\n", count, warm,
                warmFloor);
    ratio("warm fill / one-thread floor", warm, warmFloor, 3.0);
    std::printf("cold fill: %.1f ms; cold floor on one thread: %.1f ms, on 16 threads: %.1f ms\n", cold, coldFloor1,
                coldFloor16);
    std::printf("cold fill / one-thread floor: ratio %.2f\n", cold / coldFloor1);
    ratio("cold fill / 16-thread floor", cold, coldFloor16, 1.5);
    std::printf("cold fill with 1 ms per open: %.1f ms; 16-thread floor with the same delay: %.1f ms\n", slow,
                slowFloor16);
    ratio("slow fill / 16-thread slow floor", slow, slowFloor16, 1.5);
    const Pauses pauses = switchAndScroll(form);
    std::printf("%d rows: view style switch, worst: %.1f ms (target well under 100 ms); scroll, worst: %.1f ms\n",
                count, pauses.viewSwitch, pauses.scroll);
}

/// 100,000 waves (links to a few files of different formats), in memory where possible: fill, view
/// switches, scrolling, memory.
void hugeFolder(BrowserWindow& form, const std::string& root)
{
    const WindowControls c(form);
    const int count = 100000;
    const std::string dir = root + "/Huge";
    ::mkdir(dir.c_str(), 0755);
    std::vector<std::string> originals;
    ::mkdir((root + "/Originals").c_str(), 0755);
    for (int k = 0; k < 6; ++k) {
        originals.push_back(root + "/Originals/" + std::to_string(k) + ".wav");
        writeFile(originals.back(), waveBytes(1000 + 700 * k, 1 + k % 2, k < 3 ? 44100 : 22050));
    }
    for (int i = 0; i < count; ++i)
        if (::link(originals[size_t(i) % originals.size()].c_str(), (dir + "/" + mixedName(i)).c_str()) != 0)
            std::perror("link");

    c.DetailBtn->trigger();
    c.FolderTree->Reload();
    c.FolderTree->SelectPath("D:\\HUGE\\"); // the first fill fills the system layer's caches too
    QApplication::processEvents();
    c.WaveList->model()->clear();
    QApplication::processEvents();
    const size_t before = heapInUse();
    const double fill = timedFill(form, count);
    QApplication::processEvents();

    const Pauses pauses = switchAndScroll(form);
    const double perRow = double(heapInUse() - std::min(before, heapInUse())) / count;

    std::printf("fill of %d waves: %.1f ms\n", count, fill);
    std::printf("view style switch, worst: %.1f ms; scroll by the whole list, worst: %.1f ms\n", pauses.viewSwitch,
                pauses.scroll);
    ratio("worst view switch / fill", pauses.viewSwitch, fill, 1.0);
    ratio("worst scroll / fill", pauses.scroll, fill, 1.0);
    std::printf("memory per row, with every view laid out: %.0f bytes (target < 1024)%s\n", perRow,
                perRow < 1024 ? "" : "  MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The 10,000 waves on the disk, not in memory: the cold rounds must read from a device.
    QTemporaryDir root, config;
    QTemporaryDir memory(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/bench-fill-XXXXXX")
                                                   : QDir::tempPath() + QStringLiteral("/bench-fill-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);

    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = root.path().toStdString();
    platform::DriveInfo d;
    d.letter = 'D';
    d.directory = memory.path().toStdString();
    platform::setDriveTable({c, d});
    platform::setOpenHook(delayOpenHook);

    BrowserWindow form;
    form.show();
    fillsAgainstFloors(form, root.path().toStdString());
    hugeFolder(form, memory.path().toStdString());
    platform::setOpenHook(nullptr);
    return 0;
}
