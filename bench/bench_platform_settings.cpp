// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and saving a large settings file through the registry calls, against reading the file as
// lines (each line copied into a string of its own: the least any reader of a text file does), in the
// same run. Targets: open and save of 100,000 keys each within 20x of reading the file; the time per
// key grows from 10,000 to 100,000 keys by at most 1.5x beyond the growth of reading (linear, not
// quadratic).
#include "platform/settings/regfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using platform::HKEY;

const char* kKey = "Software\\Varnholt\\Tonfolio";

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Many other keys of one value each, and the program's own key in the middle with many values too.
std::string settingsText(int keys)
{
    std::string text = "REGEDIT4\n";
    char line[128];
    for (int i = 0; i < keys; ++i) {
        if (i == keys / 2) {
            text += "\n[HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio]\n";
            for (int v = 0; v < keys / 10; ++v) {
                std::snprintf(line, sizeof line, "\"Value%d\"=dword:%08x\n", v, v);
                text += line;
            }
        }
        std::snprintf(line, sizeof line, "\n[HKEY_CURRENT_USER\\Software\\Other\\Key%d]\n\"V\"=\"%d\"\n", i, i);
        text += line;
    }
    return text;
}

struct Result {
    double read = 1e9, open = 1e9, save = 1e9;
    size_t bytes = 0;
};

size_t readLines(const std::string& path)
{
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char buf[1 << 16];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        bytes.append(buf, size_t(n));
    ::close(fd);
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos)
            end = bytes.size();
        lines.emplace_back(bytes, pos, end - pos);
        pos = end + 1;
    }
    return lines.size();
}

Result measure(int keys)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    const std::string path = platform::settingsFilePath();
    QDir().mkpath(home.path() + "/tonfolio");
    const std::string text = settingsText(keys);
    Result best;
    best.bytes = text.size();
    for (int round = 0; round < 5; ++round) {
        QFile f(QString::fromStdString(path));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text.data(), qint64(text.size()));
        f.close();

        auto t0 = Clock::now();
        readLines(path);
        auto t2 = Clock::now();
        HKEY key = nullptr;
        platform::RegCreateKeyEx(platform::HKEY_CURRENT_USER, kKey, 0, nullptr, 0, platform::KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr);
        for (const char* name : {"Left", "Top", "Width", "Height", "Value7", "LastDir"})
            platform::regReadDword(key, name);
        auto t3 = Clock::now();
        for (int v = 0; v < 20; ++v)
            platform::regWriteDword(key, "Setting" + std::to_string(v), v);
        platform::RegCloseKey(key);
        auto t4 = Clock::now();
        if (round == 0) {
            const auto doc = platform::regfile::parse(text);
            if (doc.keys.size() != size_t(keys) + 1)
                std::printf("parsed %zu keys, expected %d\n", doc.keys.size(), keys + 1);
        }
        best.read = std::min(best.read, seconds(t0, t2));
        best.open = std::min(best.open, seconds(t2, t3));
        best.save = std::min(best.save, seconds(t3, t4));
    }
    return best;
}

} // namespace

int main()
{
    const Result small = measure(10000);
    const Result large = measure(100000);
    for (const auto& [keys, r] : {std::pair{10000, small}, std::pair{100000, large}})
        std::printf("%6d keys (%.1f MB): reading %.1f ms, open %.1f ms, save %.1f ms\n", keys, r.bytes / 1e6,
                    r.read * 1e3, r.open * 1e3, r.save * 1e3);
    std::printf("100,000 keys: open / reading %.2f, save / reading %.2f (target <= 20)\n", large.open / large.read,
                large.save / large.read);
    const double readGrowth = (large.read / large.bytes) / (small.read / small.bytes);
    std::printf("growth 10,000 -> 100,000 keys per byte beyond reading's own (%.2f): open %.2f, save %.2f "
                "(target <= 1.5)\n",
                readGrowth, (large.open / large.bytes) / (small.open / small.bytes) / readGrowth,
                (large.save / large.bytes) / (small.save / small.bytes) / readGrowth);
    return 0;
}
