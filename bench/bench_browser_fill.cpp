// Filling the wave list with 10,000 waves through the real window, against the floor of reading the
// first 64 bytes of each file by its real name; and switching the list's view style on those rows.
#include "browser/main.h"
#include "platform/drives.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QScrollBar>
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
    s.append(size_t(frames) * 2, '\0');
    return s;
}

/// A name with mixed letter case, e.g. "Snare_0042_Take.WAV".
std::string mixedName(int i)
{
    static const char* const stems[] = {"Snare", "kick", "HiHat", "pad", "Vox", "bass", "FX", "loop"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%04d_%s.%s", stems[i % 8], i, (i % 3) ? "Take" : "tAKE",
                  (i % 2) ? "WAV" : "wav");
    return buf;
}

double floorRead(const std::string& dir, const std::vector<std::string>& names)
{
    char buf[64];
    const auto t0 = Clock::now();
    for (const auto& n : names) {
        const int fd = ::open((dir + "/" + n).c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        if (::read(fd, buf, sizeof buf) < 0)
            std::perror("read");
        ::close(fd);
    }
    return msSince(t0);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir root, config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);

    const int count = 10000;
    const std::string dir = root.path().toStdString() + "/Waves";
    ::mkdir(dir.c_str(), 0755);
    std::vector<std::string> names;
    const std::string bytes = waveBytes(2205);
    for (int i = 0; i < count; ++i) {
        names.push_back(mixedName(i));
        const int fd = ::open((dir + "/" + names.back()).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            if (::write(fd, bytes.data(), bytes.size()) < 0)
                std::perror("write");
            ::close(fd);
        }
    }
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = root.path().toStdString();
    platform::setDriveTable({c});

    TForm1 form;
    form.show();
    form.DirTree1->SelectPath("C:\\WAVES\\");
    QApplication::processEvents();
    if (form.WaveList->rowCount() != count)
        std::printf("warning: %d rows listed, %d expected\n", form.WaveList->rowCount(), count);

    double fill = 1e9, floor = 1e9;
    for (int round = 0; round < 3; ++round) {
        floor = std::min(floor, floorRead(dir, names));
        const auto t0 = Clock::now();
        form.FillWaveList();
        fill = std::min(fill, msSince(t0));
    }
    std::printf("fill of %d waves: %.1f ms, floor of reading 64 bytes each: %.1f ms\n", count, fill, floor);
    std::printf("ratio %.2f (target <= 3.0)\n", fill / floor);

    double worst = 0;
    for (int round = 0; round < 2; ++round) {
        for (QAction* button : {form.DetailBtn, form.SmallBtn, form.ListBtn, form.LargeBtn}) {
            const auto t0 = Clock::now();
            button->trigger();
            QApplication::processEvents();
            form.WaveList->currentView()->viewport()->repaint();
            const double ms = msSince(t0);
            worst = std::max(worst, ms);
            std::printf("switch to %s: %.1f ms\n", qPrintable(button->objectName()), ms);
        }
    }
    std::printf("view style switch, worst: %.1f ms (target well under 100 ms)\n", worst);

    // Scrolling from the top to the end of the rows and back, in each style, once laid out.
    double worstScroll = 0;
    for (QAction* button : {form.DetailBtn, form.SmallBtn, form.ListBtn, form.LargeBtn}) {
        button->trigger();
        for (int i = 0; i < 50; ++i)
            QApplication::processEvents();
        QAbstractItemView* view = form.WaveList->currentView();
        for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()}) {
            const auto t0 = Clock::now();
            bar->setValue(bar->maximum());
            view->viewport()->repaint();
            bar->setValue(bar->minimum());
            view->viewport()->repaint();
            worstScroll = std::max(worstScroll, msSince(t0) / 2);
        }
    }
    std::printf("scroll by a whole list, worst: %.1f ms (no visible pause)\n", worstScroll);
    return 0;
}
