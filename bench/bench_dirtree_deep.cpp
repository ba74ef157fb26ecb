// SPDX-License-Identifier: GPL-3.0-or-later
// Selecting a folder deep down a chain of folders, as a symlink loop builds such paths a click at a
// time: the tree reads every level on the way and the folder's waves are searched, as the window does
// for a selection. The time per level at depth 1,000 is printed against the time per level at depth 100.
// The system's own part grows with depth: the kernel walks a path's every name for each call, so one
// stat() per level is measured in the same run, and the target is on the cost per level counted in
// such stat()s: at depth 1,000 at most 3x what it is at depth 100 (a walk from the drive's root for
// every level, as before, gives about 10, its listing reads on top about 100).
#include "bench/benchdrive.h"
#include "dirtree/DirTree.h"
#include "platform/files/files.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A chain of `depth` folders below the drive root, each holding the next and a wave-named file.
std::string makeChain(const QString& root, const QString& top, int depth)
{
    std::string path = "C:\\" + top.toStdString() + "\\";
    QString native = root + "/" + top;
    QDir().mkpath(native);
    for (int i = 1; i < depth; ++i) {
        native += "/d";
        path += "d\\";
    }
    QDir().mkpath(native);
    return path;
}

// Selects the deepest folder in a freshly loaded tree, as a start on a stored folder does, and lists
// its waves as the window does; the fastest of several runs.
double selectDeepest(const std::string& path, int runs)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QWidget owner;
        auto* tree = new TDirTree(&owner);
        tree->setInitialDirectory("c:");
        tree->Loaded();
        const Clock::time_point start = Clock::now();
        tree->SelectPath(path);
        platform::WIN32_FIND_DATA entry;
        const platform::HANDLE find = platform::FindFirstFile(tree->SelectedPath() + "*.wav", &entry);
        if (find != platform::INVALID_HANDLE_VALUE)
            platform::FindClose(find);
        times.push_back(since(start));
        if (tree->SelectedPath() != dirtree::upperPath(path))
            std::printf("selected %zu of %zu characters\n", tree->SelectedPath().size(), path.size());
    }
    return *std::min_element(times.begin(), times.end());
}

// The system's own share: one stat() of each folder on the way down, by its full path, as any program
// that names folders by path pays it.
double statEachLevel(const QString& root, const QString& top, int depth, int runs)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        std::string native = (root + "/" + top).toStdString();
        struct stat st;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < depth; ++i) {
            ::stat(native.c_str(), &st);
            native += "/d";
        }
        times.push_back(since(start));
    }
    return *std::min_element(times.begin(), times.end());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/bench-deep-XXXXXX")
                                                 : QDir::tempPath() + QStringLiteral("/bench-deep-XXXXXX"));
    useAsOnlyDrive(root.path().toStdString());
    const std::string shallow = makeChain(root.path(), "Shallow", 100);
    const std::string deep = makeChain(root.path(), "Deep", 1000);

    selectDeepest(shallow, 1); // warm the system's caches
    const double s = selectDeepest(shallow, 7);
    const double d = selectDeepest(deep, 3);
    std::printf("selecting a folder at depth 100:   %.1f ms (%.1f us per level)\n", s * 1e3, s / 100 * 1e6);
    std::printf("selecting a folder at depth 1,000: %.1f ms (%.1f us per level)\n", d * 1e3, d / 1000 * 1e6);
    const double fs = statEachLevel(root.path(), "Shallow", 100, 7), fd = statEachLevel(root.path(), "Deep", 1000, 3);
    std::printf("per level, depth 1,000 against depth 100: ratio %.2f\n", (d / 1000) / (s / 100));
    std::printf("stat() of each level, depth 100: %.2f ms, depth 1,000: %.2f ms: per level ratio %.2f\n", fs * 1e3,
                fd * 1e3, (fd / 1000) / (fs / 100));
    const double inStatsShallow = s / fs, inStatsDeep = d / fd;
    std::printf(
        "per level in stat()s of that depth: %.1f at depth 100, %.1f at depth 1,000: ratio %.2f (target <= 3.0)\n",
        inStatsShallow, inStatsDeep, inStatsDeep / inStatsShallow);
    return 0;
}
