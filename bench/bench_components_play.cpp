// SPDX-License-Identifier: GPL-3.0-or-later
// The wave player against the sound server: time from the play call to the first loud sample at
// the null sink's monitor for a 1 s file, a 500 MB file, a 2 GB file and a 4.5 GB RF64 file, each
// with the file evicted from the page cache first and warm; the same for paplay on the same files
// in the same run (from its process start); time from StopWave to silence; and the memory the 2 GB
// file costs while it plays. The big files are sparse, with tone at their start.
// Needs the test sound server: source scripts/pulse.sh; start_pulse.
#include "components/WavePlay.h"
#include "platform/files/drives.h"
#include "platform/sound/sound.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr int kRate = 44100;
constexpr int kRounds = 5;
constexpr double kStartTarget = 50, kStopTarget = 20, kMemoryTargetMb = 32;
constexpr int kToneSeconds = 3; // tone at the start of the big files; the rest is a hole

void put(std::string& s, unsigned v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(char((v >> (8 * i)) & 0xFF));
}

// One second of a 440 Hz stereo tone: exactly 440 periods, so seconds repeat without a seam.
std::string toneSecond()
{
    std::string s;
    for (int i = 0; i < kRate; ++i) {
        auto v = unsigned(std::lround(12000 * std::sin(2 * M_PI * 440.0 * i / kRate))) & 0xFFFF;
        put(s, v, 2);
        put(s, v, 2);
    }
    return s;
}

std::string header(unsigned dataSize)
{
    std::string s = "RIFF";
    put(s, 36 + dataSize, 4);
    s += "WAVEfmt ";
    put(s, 16, 4);
    put(s, 1, 2);
    put(s, 2, 2);
    put(s, kRate, 4);
    put(s, kRate * 4, 4);
    put(s, 4, 2);
    put(s, 16, 2);
    s += "data";
    put(s, dataSize, 4);
    return s;
}

void writeWave(const std::string& path, int seconds)
{
    const std::string second = toneSecond();
    std::ofstream out(path, std::ios::binary);
    out << header(unsigned(second.size()) * unsigned(seconds));
    for (int i = 0; i < seconds; ++i)
        out << second;
}

/// A wave of `bytes` in all, tone at its start and a hole after; RF64 where asked (or needed).
void writeSparseWave(const std::string& path, std::uint64_t bytes, bool rf64)
{
    const std::string second = toneSecond();
    std::string head;
    std::uint64_t dataSize;
    if (rf64) {
        dataSize = (bytes - 80) / 4 * 4;
        head = "RF64";
        put(head, 0xFFFFFFFFu, 4);
        head += "WAVEds64";
        put(head, 28, 4);
        const std::uint64_t riffSize = dataSize + 72;
        put(head, unsigned(riffSize), 4);
        put(head, unsigned(riffSize >> 32), 4);
        put(head, unsigned(dataSize), 4);
        put(head, unsigned(dataSize >> 32), 4);
        put(head, unsigned(dataSize / 4), 4);
        put(head, unsigned((dataSize / 4) >> 32), 4);
        put(head, 0, 4);
        head += header(0).substr(12, 24); // the format chunk
        head += "data";
        put(head, 0xFFFFFFFFu, 4);
    } else {
        dataSize = (bytes - 44) / 4 * 4;
        head = header(unsigned(dataSize));
    }
    {
        std::ofstream out(path, std::ios::binary);
        out << head;
        for (int i = 0; i < kToneSeconds; ++i)
            out << second;
    }
    if (::truncate(path.c_str(), off_t(head.size() + dataSize)) != 0)
        std::perror("truncate");
}

/// Drops the file's pages from the page cache, so the next read goes to the disk.
void evict(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4096;
}

/// A connection of the benchmark's own to the sound server, beside the one the player uses.
class Server {
public:
    bool connect()
    {
        loop_ = pa_threaded_mainloop_new();
        if (!loop_ || pa_threaded_mainloop_start(loop_) < 0)
            return false;
        pa_threaded_mainloop_lock(loop_);
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "bench");
        pa_context_set_state_callback(
            context_,
            [](pa_context*, void* m) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(m), 0); }, loop_);
        pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        pa_context_state_t st;
        while ((st = pa_context_get_state(context_)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(st))
            pa_threaded_mainloop_wait(loop_);
        pa_threaded_mainloop_unlock(loop_);
        return st == PA_CONTEXT_READY;
    }
    ~Server()
    {
        if (!loop_)
            return;
        pa_threaded_mainloop_stop(loop_);
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        pa_threaded_mainloop_free(loop_);
    }
    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }

    /// Connects a stream and waits until the server has it.
    bool ready(pa_stream* s)
    {
        pa_stream_set_state_callback(
            s, [](pa_stream*, void* m) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(m), 0); },
            loop_);
        pa_stream_state_t st;
        while ((st = pa_stream_get_state(s)) != PA_STREAM_READY && PA_STREAM_IS_GOOD(st))
            pa_threaded_mainloop_wait(loop_);
        return st == PA_STREAM_READY;
    }

private:
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

/// Reads the null sink's monitor in small pieces and notes when each piece arrived and if it was loud.
class Recorder {
public:
    explicit Recorder(Server& server) : server_(server) {}
    bool start()
    {
        pa_threaded_mainloop_lock(server_.loop());
        pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, kRate, 1};
        stream_ = pa_stream_new(server_.context(), "monitor", &sampleSpec, nullptr);
        pa_stream_set_read_callback(stream_, &Recorder::onRead, this);
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.fragsize = kPiece * 2;
        pa_stream_connect_record(stream_, "tonfolio_null.monitor", &attr, PA_STREAM_ADJUST_LATENCY);
        const bool ok = server_.ready(stream_);
        pa_threaded_mainloop_unlock(server_.loop());
        // The sink lowers its latency only once the recorder asks; let that settle first.
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        return ok;
    }
    ~Recorder()
    {
        if (!stream_)
            return;
        pa_threaded_mainloop_lock(server_.loop());
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        pa_threaded_mainloop_unlock(server_.loop());
    }

    /// Arrival of the first loud piece after `t`, or a time point far away.
    Clock::time_point firstLoudAfter(Clock::time_point t, double timeoutMs)
    {
        return waitFor(
            t, timeoutMs, [](const Piece& p) { return p.loud; }, 1);
    }
    /// Arrival of the first piece of a 60 ms silent run after `t`.
    Clock::time_point silentAfter(Clock::time_point t, double timeoutMs)
    {
        return waitFor(
            t, timeoutMs, [](const Piece& p) { return !p.loud; }, 60 * kRate / 1000 / kPiece);
    }

private:
    static constexpr int kPiece = 64; // samples, 1.5 ms
    struct Piece {
        Clock::time_point arrived;
        bool loud;
    };

    static void onRead(pa_stream* s, std::size_t, void* p)
    {
        auto* self = static_cast<Recorder*>(p);
        const auto now = Clock::now();
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
            const auto* v = static_cast<const std::int16_t*>(data);
            std::lock_guard<std::mutex> lock(self->mutex_);
            for (std::size_t at = 0; at < bytes / 2; at += kPiece) {
                int peak = 0;
                for (std::size_t i = at; v && i < std::min(bytes / 2, at + kPiece); ++i)
                    peak = std::max(peak, std::abs(int(v[i])));
                self->pieces_.push_back({now, peak > 1000});
            }
            pa_stream_drop(s);
        }
    }

    template <typename Pred> Clock::time_point waitFor(Clock::time_point t, double timeoutMs, Pred pred, int run)
    {
        const auto deadline = Clock::now() + std::chrono::microseconds(long(timeoutMs * 1000));
        while (Clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                int count = 0;
                for (std::size_t i = 0; i < pieces_.size(); ++i) {
                    if (pieces_[i].arrived <= t)
                        continue;
                    count = pred(pieces_[i]) ? count + 1 : 0;
                    if (count == run)
                        return pieces_[i + 1 - std::size_t(run)].arrived;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return Clock::time_point::max();
    }

    Server& server_;
    pa_stream* stream_ = nullptr;
    std::mutex mutex_;
    std::vector<Piece> pieces_;
};

struct Timing {
    std::vector<double> starts, stops;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? NAN : v[v.size() / 2];
}

double worst(const std::vector<double>& v)
{
    return v.empty() ? NAN : *std::max_element(v.begin(), v.end());
}

double since(Clock::time_point from, Clock::time_point to)
{
    return to == Clock::time_point::max() ? 1e9 : Ms(to - from).count();
}

// Start and stop of the player's sound, several times over; `cold` evicts the file before each start.
// The play call is what a click on a row does: the file's name is handed over, then PlayWave.
Timing timePlayer(TWavePlayer& player, const std::string& drivePath, const std::string& nativePath, bool cold,
                  Recorder& rec)
{
    Timing t;
    for (int i = 0; i < kRounds; ++i) {
        rec.silentAfter(Clock::now(), 3000);
        if (cold)
            evict(nativePath);
        const auto play = Clock::now();
        player.setFileName(drivePath);
        player.PlayWave();
        t.starts.push_back(since(play, rec.firstLoudAfter(play, 3000)));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto stop = Clock::now();
        player.StopWave();
        t.stops.push_back(since(stop, rec.silentAfter(stop, 3000)));
    }
    return t;
}

// paplay on the same file: from the start of its process to its first loud sample.
std::vector<double> timePaplay(const std::string& nativePath, bool cold, Recorder& rec)
{
    std::vector<double> starts;
    for (int i = 0; i < kRounds; ++i) {
        rec.silentAfter(Clock::now(), 3000);
        if (cold)
            evict(nativePath);
        char* argv[] = {const_cast<char*>("paplay"), const_cast<char*>(nativePath.c_str()), nullptr};
        pid_t pid = 0;
        const auto play = Clock::now();
        if (posix_spawnp(&pid, "paplay", nullptr, nullptr, argv, environ) != 0) {
            std::printf("paplay cannot be started\n");
            return {};
        }
        starts.push_back(since(play, rec.firstLoudAfter(play, 5000)));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    return starts;
}

// The floor: a stream the benchmark opens itself and fills at once with the same tone.
std::vector<double> timeDirectStream(Server& server, Recorder& rec)
{
    const std::string second = toneSecond();
    std::vector<double> starts;
    for (int i = 0; i < kRounds; ++i) {
        rec.silentAfter(Clock::now(), 3000);
        const auto play = Clock::now();
        pa_threaded_mainloop_lock(server.loop());
        pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, kRate, 2};
        pa_buffer_attr attr{std::uint32_t(-1), std::uint32_t(pa_usec_to_bytes(40000, &sampleSpec)), std::uint32_t(-1),
                            std::uint32_t(-1), std::uint32_t(-1)};
        pa_stream* s = pa_stream_new(server.context(), "floor", &sampleSpec, nullptr);
        pa_stream_connect_playback(s, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
        if (server.ready(s))
            pa_stream_write(s, second.data(), second.size(), nullptr, 0, PA_SEEK_RELATIVE);
        pa_threaded_mainloop_unlock(server.loop());
        starts.push_back(since(play, rec.firstLoudAfter(play, 3000)));
        pa_threaded_mainloop_lock(server.loop());
        pa_stream_set_state_callback(s, nullptr, nullptr);
        pa_stream_disconnect(s);
        pa_stream_unref(s);
        pa_threaded_mainloop_unlock(server.loop());
    }
    return starts;
}

void report(const char* what, const std::vector<double>& v, double target, double floor)
{
    std::printf("%-28s median %7.1f ms, worst %7.1f ms (target < %.0f ms) ratio %.2f", what, median(v), worst(v),
                target, median(v) / target);
    if (floor > 0)
        std::printf(", %.1fx the direct stream", median(v) / floor);
    std::printf("\n");
}

} // namespace

int main()
{
    // On the disk, not in memory: a cold start must read from a device.
    QTemporaryDir dir(QDir::tempPath() + "/tonfolio-bench-XXXXXX");
    if (!dir.isValid())
        return 0;
    platform::DriveInfo c;
    c.letter = 'C';
    c.directory = dir.path().toStdString();
    platform::setDriveTable({c});

    Server server;
    if (!server.connect()) {
        std::printf("no sound server reachable; start one with scripts/pulse.sh\n");
        return 0;
    }
    Recorder rec(server);
    if (!rec.start())
        return 0;

    struct File {
        const char* label;
        const char* name;
        std::uint64_t bytes; // 0: a real 1 s file
        bool rf64;
    };
    const File files[] = {{"1 s", "SHORT.WAV", 0, false},
                          {"500 MB", "HALFGIG.WAV", 500ull << 20, false},
                          {"2 GB", "TWOGIG.WAV", 2000ull << 20, false},
                          {"4.5 GB RF64", "HUGE.WAV", 4500ull * 1000 * 1000, true}};
    for (const File& f : files) {
        const std::string native = dir.filePath(f.name).toStdString();
        if (f.bytes == 0)
            writeWave(native, 1);
        else
            writeSparseWave(native, f.bytes, f.rf64);
    }

    const double floor = median(timeDirectStream(server, rec));
    std::printf("direct stream (floor)        median %7.1f ms\n", floor);
    std::printf("%-12s %-5s %14s %14s %9s %11s %11s\n", "file", "cache", "player median", "paplay median", "ratio",
                "player worst", "stop median");
    TWavePlayer player;
    player.setForcePlay(true);
    bool met = true;
    std::vector<double> allStops;
    for (const File& f : files) {
        const std::string native = dir.filePath(f.name).toStdString();
        for (bool cold : {true, false}) {
            const Timing ours = timePlayer(player, std::string("C:\\") + f.name, native, cold, rec);
            const std::vector<double> theirs = timePaplay(native, cold, rec);
            const double ratio = median(ours.starts) / median(theirs);
            std::printf("%-12s %-5s %11.1f ms %11.1f ms %9.2f %8.1f ms %8.1f ms\n", f.label, cold ? "cold" : "warm",
                        median(ours.starts), median(theirs), ratio, worst(ours.starts), median(ours.stops));
            met = met && median(ours.starts) < kStartTarget && ratio <= 1.0;
            allStops.insert(allStops.end(), ours.stops.begin(), ours.stops.end());
        }
    }
    std::printf("start: target < %.0f ms for every size, cold and warm, and no slower than paplay (ratio <= 1): %s\n",
                kStartTarget, met ? "met" : "NOT met");
    report("stop to silence, all files", allStops, kStopTarget, 0);

    // Memory while the 2 GB file plays, above the idle process.
    player.StopWave();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long idle = residentBytes();
    player.setFileName("C:\\TWOGIG.WAV");
    player.PlayWave();
    long peak = 0;
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peak = std::max(peak, residentBytes());
    }
    player.StopWave();
    const double aboveMb = double(peak - idle) / 1048576.0;
    std::printf("memory while playing 2 GB    %.1f MB above idle (target < %.0f MB) ratio %.2f\n", aboveMb,
                kMemoryTargetMb, aboveMb / kMemoryTargetMb);
    return 0;
}
