// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records what reaches the test sound server's null sink (its monitor, through parec) so tests
// can check what was heard: when sound starts and ends, and which tone it was.
// Header-only: only the tests that listen pay for it.

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sys/resource.h>
#include <thread>
#include <utility>
#include <vector>

namespace testing_support {

class SoundMonitor {
public:
    static constexpr int kRate = 16000;
    static constexpr int kWindow = kRate / 100; // 10 ms analysis windows
    static constexpr double kLoud = 300.0;      // RMS above this (of 32767) counts as sound

    ~SoundMonitor() { stopRecording(); }

    /// Whether a test server is configured at all (the test command starts one).
    static bool serverConfigured() { return !qEnvironmentVariableIsEmpty("PULSE_SERVER"); }

    /// Starts recording the test sink's monitor, or another source, and returns once samples flow
    /// (false when they never do).
    bool start(const QString& device = "tonfolio_null.monitor")
    {
        // Where allowed, the recorder runs ahead of the build jobs that share the machine: starved, it
        // loses or delays pieces of what was played, and the recording then has seams the sound lacks.
        proc_.setChildProcessModifier([] { ::setpriority(PRIO_PROCESS, 0, kRecorderNice); });
        proc_.start("parec", {"--device=" + device, "--raw", "--format=s16le", "--channels=1",
                              QString("--rate=%1").arg(kRate), "--latency-msec=10"});
        if (!proc_.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (samples_.size() < std::size_t(kRate / 20) && t.elapsed() < 10000)
            pump(20);
        return samples_.size() >= std::size_t(kRate / 20);
    }

    /// Collects what arrives during `ms` milliseconds.
    void pump(int ms)
    {
        QElapsedTimer t;
        t.start();
        do {
            proc_.waitForReadyRead(std::max(1, int(ms - t.elapsed())));
            take();
        } while (t.elapsed() < ms);
    }

    /// Collects until sound is heard after sample `from`; returns its position or -1.
    long waitForSound(long from, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            pump(20);
            long at = firstLoud(from);
            if (at >= 0)
                return at;
        }
        return -1;
    }

    /// Number of samples recorded so far (after taking what is ready).
    long mark()
    {
        proc_.waitForReadyRead(0);
        take();
        return long(samples_.size());
    }

    static double ms(long samples) { return samples * 1000.0 / kRate; }
    static long samplesOf(double ms) { return long(ms * kRate / 1000.0); }

    double windowRms(long at) const
    {
        double sum = 0;
        for (long i = at; i < at + kWindow; ++i)
            sum += double(samples_[std::size_t(i)]) * samples_[std::size_t(i)];
        return std::sqrt(sum / kWindow);
    }

    /// Start of the first loud window at or after `from`, or -1.
    long firstLoud(long from) const
    {
        for (long at = from; at + kWindow <= long(samples_.size()); at += kWindow)
            if (windowRms(at) > kLoud)
                return at;
        return -1;
    }

    /// End of the last loud window in [from, to), or -1.
    long lastLoud(long from, long to = -1) const
    {
        long end = to < 0 ? long(samples_.size()) : std::min<long>(to, long(samples_.size()));
        long last = -1;
        for (long at = from; at + kWindow <= end; at += kWindow)
            if (windowRms(at) > kLoud)
                last = at + kWindow;
        return last;
    }

    /// Milliseconds of loud windows in [from, to).
    double loudMs(long from, long to = -1) const
    {
        long end = to < 0 ? long(samples_.size()) : std::min<long>(to, long(samples_.size()));
        int loud = 0;
        for (long at = from; at + kWindow <= end; at += kWindow)
            loud += windowRms(at) > kLoud;
        return loud * 10.0;
    }

    /// Share of the signal's energy in [from, to) that lies at `hz`, 0 to about 1. It is judged in
    /// stretches of 50 ms (Goertzel in each, weighted by their energy): a seam in the recording, where the
    /// tone's phase jumps, then spoils one stretch instead of the whole, while any other sound, noise or
    /// silence weighs as much as before.
    double toneShare(long from, long to, double hz) const
    {
        to = std::min<long>(to, long(samples_.size()));
        if (to - from < kWindow)
            return 0;
        const long stretches = std::max(1L, (to - from) / kShareStretch);
        double tone = 0, energy = 0;
        for (long k = 0; k < stretches; ++k) {
            const long begin = from + (to - from) * k / stretches, end = from + (to - from) * (k + 1) / stretches;
            const auto [power, e] = goertzel(begin, end, hz);
            tone += 2 * power / double(end - begin);
            energy += e;
        }
        return energy > 0 ? tone / energy : 0;
    }

    long size() const { return long(samples_.size()); }
    /// Adds samples as if recorded, to check the judging itself.
    void append(const std::vector<std::int16_t>& samples) { samples_.insert(samples_.end(), samples.begin(), samples.end()); }

    /// The weakest 2 ms stretch in [from, to) against the typical one (0 for a gap), and the largest
    /// step from one sample to the next against the loudest sample (a click). Meant for tones of
    /// 500 Hz and above, whose periods fit 2 ms.
    struct Seams {
        double weakest = 0;
        double largestStep = 0;
    };
    Seams seams(long from, long to) const
    {
        to = std::min<long>(to, long(samples_.size()));
        constexpr long piece = kRate / 500;
        std::vector<double> levels;
        for (long at = from; at + piece <= to; at += piece) {
            double sum = 0;
            for (long i = at; i < at + piece; ++i)
                sum += double(samples_[std::size_t(i)]) * samples_[std::size_t(i)];
            levels.push_back(std::sqrt(sum / piece));
        }
        Seams s;
        if (levels.size() < 3)
            return s;
        std::vector<double> sorted = levels;
        std::sort(sorted.begin(), sorted.end());
        s.weakest = sorted.front() / sorted[sorted.size() / 2];
        double peak = 0, step = 0;
        for (long i = from + 1; i < to; ++i) {
            peak = std::max(peak, std::abs(double(samples_[std::size_t(i)])));
            step = std::max(step, std::abs(double(samples_[std::size_t(i)]) - samples_[std::size_t(i - 1)]));
        }
        s.largestStep = peak > 0 ? step / peak : 0;
        return s;
    }

    /// RMS of the samples in [from, to).
    double rms(long from, long to) const
    {
        to = std::min<long>(to, long(samples_.size()));
        double sum = 0;
        for (long i = from; i < to; ++i)
            sum += double(samples_[std::size_t(i)]) * samples_[std::size_t(i)];
        return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
    }

    void stopRecording()
    {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(5000);
        }
    }

private:
    static constexpr long kShareStretch = kRate / 20;
    // Raised above the default 0, as far as the system lets a test raise itself (root may; others keep 0).
    static constexpr int kRecorderNice = -10;

    /// The power at `hz` and the energy of [from, to).
    std::pair<double, double> goertzel(long from, long to, double hz) const
    {
        const double w = 2 * M_PI * hz / kRate, c = 2 * std::cos(w);
        double s1 = 0, s2 = 0, energy = 0;
        for (long i = from; i < to; ++i) {
            const double x = samples_[std::size_t(i)];
            energy += x * x;
            const double s0 = x + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return {s1 * s1 + s2 * s2 - c * s1 * s2, energy};
    }

    void take()
    {
        pending_ += proc_.readAllStandardOutput();
        const qsizetype n = pending_.size() / 2;
        if (n == 0)
            return;
        const std::size_t old = samples_.size();
        samples_.resize(old + std::size_t(n));
        std::memcpy(samples_.data() + old, pending_.constData(), std::size_t(n) * 2);
        pending_.remove(0, n * 2);
    }

    QProcess proc_;
    QByteArray pending_;
    std::vector<std::int16_t> samples_;
};

/// The longest time this process went without running, as seen by a thread that wakes every 2 ms.
/// A machine that stops for longer than the sound server holds (shared test machines do, now and
/// then, for 70-90 ms) lets the sound run dry whatever the player did; a listening test discounts
/// what it heard while that happened.
class StallWatch {
public:
    static constexpr int kStarvingMs = 30;

    StallWatch() : thread_([this] { watch(); }) {}
    ~StallWatch()
    {
        stop_ = true;
        thread_.join();
    }
    void reset() { longestUs_ = 0; }
    bool stalled() const { return longestUs_ > kStarvingMs * 1000; }
    double longestMs() const { return longestUs_ / 1000.0; }

private:
    void watch()
    {
        auto last = std::chrono::steady_clock::now();
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const auto now = std::chrono::steady_clock::now();
            const long us = long(std::chrono::duration_cast<std::chrono::microseconds>(now - last).count());
            if (us > longestUs_)
                longestUs_ = us;
            last = now;
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<long> longestUs_{0};
    std::thread thread_;
};

} // namespace testing_support
