// SPDX-License-Identifier: GPL-3.0-or-later
// Expanding a folder of 20,000 sub-folders in the running window's tree, against the floor of listing
// the folder and probing each sub-folder for a sub-folder of its own without any widget, measured in the
// same run. Warm: the system's caches hold the folders. Slow disk: every open of a folder costs 1 ms more
// (the system layer's open hook, standing for a network share or a waking USB disk), against the same
// listing and probing done by 16 threads with the same delay. Target: at most 3x in both.
#include "bench/benchdrive.h"
#include "bench/benchwindow.h"
#include "platform/files/files.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTreeWidgetItem>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
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

void delayOpen(const std::string&)
{
    if (slowOpens)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Mixed-case names, so that every lookup has to ignore case.
std::string folderName(int i)
{
    static const char* const stems[] = {"Drums", "bass", "VOCALS", "Loops", "fx"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%05d_Take", stems[i % 5], i);
    return buf;
}

// Every other sub-folder holds a folder of its own (after a few files, so the probe reads past them).
void makeFolders(const std::string& parent, int count)
{
    ::mkdir(parent.c_str(), 0755);
    for (int i = 0; i < count; ++i) {
        const std::string dir = parent + "/" + folderName(i);
        ::mkdir(dir.c_str(), 0755);
        if (i % 2 == 0)
            ::mkdir((dir + "/Inner").c_str(), 0755);
        else
            ::close(::open((dir + "/a.txt").c_str(), O_WRONLY | O_CREAT, 0644));
    }
}

// Whether a folder holds a sub-folder: read its entries until the first folder.
bool hasSubfolder(const std::string& dir)
{
    delayOpen(dir);
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    bool found = false;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2])))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// The floor: list the folder, then probe every sub-folder, on `threads` threads.
double floorExpand(const std::string& parent, int threads, int expected)
{
    const auto t0 = Clock::now();
    delayOpen(parent);
    std::vector<std::string> names;
    if (DIR* d = ::opendir(parent.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        ::closedir(d);
    }
    std::atomic<size_t> next{0};
    std::atomic<int> found{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (size_t i; (i = next++) < names.size();)
                found += hasSubfolder(parent + "/" + names[i]);
        });
    for (auto& t : pool)
        t.join();
    const double ms = msSince(t0);
    if (found != expected)
        std::printf("floor found %d folders with sub-folders, %d expected\n", found.load(), expected);
    return ms;
}

double windowExpand(BrowserWindow& form, int count)
{
    const WindowControls c(form);
    QTreeWidgetItem* node = c.FolderTree->FindNode("C:\\BIG\\");
    if (!node)
        return 0;
    node->setExpanded(false);
    c.FolderTree->RefreshNode(node); // forget what was read: the next expansion reads and probes again
    QApplication::processEvents();
    const auto t0 = Clock::now();
    node->setExpanded(true);
    QApplication::processEvents(); // the tree paints its new rows
    const double ms = msSince(t0);
    if (node->childCount() != count)
        std::printf("tree shows %d of %d folders\n", node->childCount(), count);
    int withButton = 0;
    for (int i = 0; i < node->childCount(); ++i)
        withButton += node->child(i)->childCount() > 0;
    if (withButton != count / 2)
        std::printf("%d folders show an expand button, %d expected\n", withButton, count / 2);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // In memory where possible: the slow disk is the open hook's delay, the same for both sides.
    QTemporaryDir root(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/bench-expand-XXXXXX")
                                                 : QDir::tempPath() + QStringLiteral("/bench-expand-XXXXXX"));
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);

    const int count = 20000;
    const std::string big = root.path().toStdString() + "/Big";
    makeFolders(big, count);
    useAsOnlyDrive(root.path().toStdString());
    platform::setOpenHook(delayOpen);

    BrowserWindow form;
    form.show();
    const WindowControls c(form);
    c.FolderTree->SelectPath("C:\\");
    c.FolderTree->FindNode("C:\\")->setExpanded(true);
    QApplication::processEvents();

    windowExpand(form, count); // warms the caches for both sides
    double floor = 1e9, window = 1e9;
    for (int round = 0; round < 3; ++round) {
        floor = std::min(floor, floorExpand(big, 1, count / 2));
        window = std::min(window, windowExpand(form, count));
    }
    std::printf("warm: window expanding %d sub-folders: %.1f ms, floor of listing and probing them: %.1f ms\n",
                count, window, floor);
    std::printf("warm ratio %.2f (target <= 3.0)\n", window / floor);

    slowOpens = true;
    double slowFloor = 1e9, slowWindow = 1e9;
    for (int round = 0; round < 2; ++round) {
        slowFloor = std::min(slowFloor, floorExpand(big, 16, count / 2));
        slowWindow = std::min(slowWindow, windowExpand(form, count));
    }
    slowOpens = false;
    std::printf("slow disk (1 ms per open): window %.1f ms, floor of 16 threads %.1f ms\n", slowWindow, slowFloor);
    std::printf("slow-disk ratio %.2f (target <= 3.0)\n", slowWindow / slowFloor);
    platform::setOpenHook(nullptr);
    return 0;
}
