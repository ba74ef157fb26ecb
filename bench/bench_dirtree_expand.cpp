// SPDX-License-Identifier: GPL-3.0-or-later
// Expanding a folder of many sub-folders in the tree, against listing the same folder with QDir::entryList
// plus one stat of each sub-folder's child, measured in the same run. Target: at most 3x. The time per
// sub-folder must not grow with the folder's size (1,000 against 5,000 sub-folders).
#include "bench/benchdrive.h"
#include "dirtree/DirTree.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The fastest of several runs: other work on the machine only ever adds time.
double fastest(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

// Mixed-case names, so that every lookup has to ignore case.
QString folderName(int i)
{
    static const char* stems[] = {"Drums", "bass", "VOCALS", "Loops", "fx"};
    return QString("%1_%2_Take").arg(stems[i % 5]).arg(i, 5, 10, QLatin1Char('0'));
}

void makeFolders(const QString& parent, int count)
{
    for (int i = 0; i < count; ++i)
        QDir().mkpath(parent + "/" + folderName(i) + "/Inner");
}

double baseline(const QString& parent)
{
    const Clock::time_point start = Clock::now();
    const QStringList names = QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    struct stat st;
    int found = 0;
    for (const QString& name : names) {
        const QByteArray child = QFile::encodeName(parent + "/" + name + "/Inner");
        found += ::stat(child.constData(), &st) == 0;
    }
    const double t = since(start);
    if (found != names.size())
        std::printf("baseline missed children\n");
    return t;
}

double expand(TDirTree& tree, const std::string& path, int expected)
{
    QTreeWidgetItem* node = tree.FindNode(path);
    tree.RefreshNode(node); // forget what was read: the next expansion reads and probes again
    const Clock::time_point start = Clock::now();
    node->setExpanded(true);
    const double t = since(start);
    if (node->childCount() != expected)
        std::printf("tree shows %d of %d folders\n", node->childCount(), expected);
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // In memory where possible: the file system's own speed is not what is measured.
    QTemporaryDir root(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/bench-dirtree-XXXXXX")
                                                 : QDir::tempPath() + QStringLiteral("/bench-dirtree-XXXXXX"));
    useAsOnlyDrive(root.path().toStdString());
    makeFolders(root.path() + "/Big", 5000);
    makeFolders(root.path() + "/Small", 1000);

    QWidget owner;
    auto* tree = new TDirTree(&owner);
    tree->setInitialDirectory("c:");
    tree->Loaded();
    tree->FindNode("C:\\")->setExpanded(true);

    expand(*tree, "C:\\BIG\\", 5000); // warm the system's caches for both sides
    baseline(root.path() + "/Big");
    std::vector<double> base, tree5000, tree1000;
    for (int run = 0; run < 9; ++run) {
        base.push_back(baseline(root.path() + "/Big"));
        tree5000.push_back(expand(*tree, "C:\\BIG\\", 5000));
        tree1000.push_back(expand(*tree, "C:\\SMALL\\", 1000));
    }
    const double b = fastest(base), t = fastest(tree5000), s = fastest(tree1000);
    std::printf("entryList + stat of 5,000 children: %.1f ms\n", b * 1e3);
    std::printf("tree expanding 5,000 sub-folders:   %.1f ms\n", t * 1e3);
    std::printf("ratio %.2f (target <= 3.0)\n", t / b);
    std::printf(
        "per sub-folder: %.1f us at 1,000, %.1f us at 5,000: growth %.2f (target <= 1.5; a square law gives 5)\n",
        s / 1000 * 1e6, t / 5000 * 1e6, (t / 5000) / (s / 1000));
    return 0;
}
