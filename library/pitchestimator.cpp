// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/pitchestimator.h"

#include <aubio/aubio.h>
#include <dsp/transforms/FFT.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace library {

namespace {

// A reading every 46 ms over 93 ms (at 44.1 kHz): two periods of the lowest bass notes.
constexpr unsigned kWindow = 4096, kHop = 2048;
// The partial's frequency: from the phase it turns between two frames of 2048 samples, 512 apart.
constexpr std::size_t kPhaseFrame = 2048, kPhaseStep = 512;
// Frames quieter than this carry no pitch.
constexpr float kSilenceDb = -50.f;
// How sure YIN must be of a frame, and how many of the sounding frames must be sure, and agree
// within half a semitone, for the sound to count as one note.
constexpr float kConfidence = 0.8f;
constexpr double kTonalShare = 0.6;
// Below this YIN's period is long enough to be exact to a cent.
constexpr double kRefineAboveHz = 400;
// A long sound is read at frames spread evenly over it, between this many and twice as many: the
// share of sounding frames that hold the note needs no more, and minutes cost what seconds do.
constexpr std::size_t kFewestReadings = 16;

struct PitchDeleter {
    void operator()(aubio_pitch_t* p) const { del_aubio_pitch(p); }
};
struct FvecDeleter {
    void operator()(fvec_t* v) const { del_fvec(v); }
};

double median(std::vector<double> v)
{
    const auto mid = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

double noteOfHz(double hz)
{
    return 69 + 12 * std::log2(hz / 440);
}

} // namespace

struct PitchEstimator::State {
    int rate = 0;
    std::unique_ptr<aubio_pitch_t, PitchDeleter> yin;
    // The last kWindow samples, YIN's frame; `fill` of its last hop are new.
    std::unique_ptr<fvec_t, FvecDeleter> in, out;
    unsigned fill = 0;
    std::unique_ptr<FFTReal> fft;
    std::vector<double> window, frame, re1, im1, re2, im2;
    // Frames read: every `stride`th, by number.
    std::size_t frameNumber = 0, stride = 1;
    struct Reading {
        std::size_t frame;
        double note; // NaN for a sounding frame without a sure pitch
    };
    std::vector<Reading> readings;
};

PitchEstimator::PitchEstimator(int rate) : d_(std::make_unique<State>())
{
    if (rate < 8000 || rate > 48000)
        return;
    d_->rate = rate;
    // The whole frame is handed over each time: only the frames read cost anything.
    d_->yin.reset(new_aubio_pitch("yinfast", kWindow, kWindow, unsigned(rate)));
    if (!d_->yin)
        return;
    aubio_pitch_set_unit(d_->yin.get(), "Hz");
    // Silence is judged on the newest hop (see analyseFrame): YIN's own test, on the whole frame,
    // must not drop a note starting in a frame that is half silence.
    aubio_pitch_set_silence(d_->yin.get(), kSilenceDb - 40);
    d_->in.reset(new_fvec(kWindow));
    d_->out.reset(new_fvec(1));
    d_->fft = std::make_unique<FFTReal>(int(kPhaseFrame));
    d_->window.resize(kPhaseFrame);
    for (std::size_t i = 0; i < kPhaseFrame; ++i)
        d_->window[i] = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(kPhaseFrame));
    for (auto* v : {&d_->frame, &d_->re1, &d_->im1, &d_->re2, &d_->im2})
        v->resize(kPhaseFrame);
}

PitchEstimator::~PitchEstimator() = default;

void PitchEstimator::add(const float* samples, std::size_t count)
{
    if (!d_->yin)
        return;
    float* frame = d_->in->data;
    while (count > 0) {
        const std::size_t n = std::min<std::size_t>(count, kHop - d_->fill);
        std::copy(samples, samples + n, frame + kWindow - kHop + d_->fill);
        samples += n;
        count -= n;
        d_->fill += unsigned(n);
        if (d_->fill == kHop) {
            if (d_->frameNumber % d_->stride == 0)
                analyseFrame();
            ++d_->frameNumber;
            std::copy(frame + kHop, frame + kWindow, frame);
            d_->fill = 0;
        }
    }
}

void PitchEstimator::analyseFrame()
{
    const float* hop = d_->in->data + (kWindow - kHop);
    double power = 0;
    for (unsigned i = 0; i < kHop; ++i)
        power += double(hop[i]) * hop[i];
    if (!(10 * std::log10(power / kHop) > kSilenceDb))
        return;
    aubio_pitch_do(d_->yin.get(), d_->in.get(), d_->out.get());
    const double hz = d_->out->data[0];
    double note = std::nan("");
    if (hz > 0 && hz < d_->rate / 2 && aubio_pitch_get_confidence(d_->yin.get()) >= kConfidence)
        note = noteOfHz(hz > kRefineAboveHz ? refined(hz) : hz);
    d_->readings.push_back({d_->frameNumber, note});
    // Too many: keep every other of the frames read, and read half as often from here on.
    if (d_->readings.size() >= 2 * kFewestReadings) {
        d_->stride *= 2;
        const std::size_t stride = d_->stride;
        d_->readings.erase(std::remove_if(d_->readings.begin(), d_->readings.end(),
                                          [stride](const State::Reading& r) { return r.frame % stride != 0; }),
                           d_->readings.end());
    }
}

double PitchEstimator::refined(double hz)
{
    // Spectra of the two frames a step apart.
    const auto spectrum = [&](std::size_t offset, std::vector<double>& re, std::vector<double>& im) {
        // The last frame and step of YIN's frame.
        const float* recent = d_->in->data + (kWindow - kPhaseFrame - kPhaseStep);
        for (std::size_t i = 0; i < kPhaseFrame; ++i)
            d_->frame[i] = recent[offset + i] * d_->window[i];
        d_->fft->forward(d_->frame.data(), re.data(), im.data());
    };
    spectrum(0, d_->re1, d_->im1);
    spectrum(kPhaseStep, d_->re2, d_->im2);
    const double binHz = double(d_->rate) / kPhaseFrame;
    // The strongest of the first partials (the fundamental of a tone may be weak).
    std::size_t bin = 0;
    int partial = 0;
    double strongest = 0;
    for (int h = 1; h <= 4; ++h) {
        const double f = h * hz;
        if (f > 0.45 * d_->rate)
            break;
        const auto from = std::size_t(std::max(1.0, std::floor(f * 0.97 / binHz)));
        const auto to = std::min(kPhaseFrame / 2 - 1, std::size_t(std::ceil(f * 1.03 / binHz)));
        for (std::size_t k = from; k <= to; ++k) {
            const double m = std::hypot(d_->re2[k], d_->im2[k]);
            if (m > strongest) {
                strongest = m;
                bin = k;
                partial = h;
            }
        }
    }
    if (!partial)
        return hz;
    // The phase it turned beyond what the bin's own frequency turns, within half a turn.
    const double expected = 2 * M_PI * double(bin) * kPhaseStep / kPhaseFrame;
    double turned = std::atan2(d_->im2[bin], d_->re2[bin]) - std::atan2(d_->im1[bin], d_->re1[bin]) - expected;
    turned -= 2 * M_PI * std::round(turned / (2 * M_PI));
    const double partialHz = (double(bin) + turned * kPhaseFrame / (2 * M_PI * kPhaseStep)) * binHz;
    // A partial that is not where YIN put it is another sound's; keep YIN's reading then.
    return std::abs(partialHz / partial / hz - 1) < 0.03 ? partialHz / partial : hz;
}

double PitchEstimator::finish()
{
    std::vector<double> notes;
    for (const auto& r : d_->readings)
        if (!std::isnan(r.note))
            notes.push_back(r.note);
    const double sounding = double(d_->readings.size());
    if (notes.empty() || double(notes.size()) < kTonalShare * sounding)
        return std::nan("");
    const double typical = median(notes);
    std::size_t agreeing = 0;
    double sum = 0;
    for (double n : notes)
        if (std::abs(n - typical) <= 0.5) {
            ++agreeing;
            sum += n;
        }
    if (double(agreeing) < kTonalShare * sounding)
        return std::nan("");
    return sum / double(agreeing);
}

} // namespace library
