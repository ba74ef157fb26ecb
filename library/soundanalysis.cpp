// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/soundanalysis.h"

#include "platform/sound/soundreader.h"

#include <aubio/aubio.h>
#include <ebur128.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace library {

namespace {

// Tempo and pitch are read from a mono mix at about this rate: beats and the fundamentals of notes
// lie far below it, and a quarter of the samples costs a quarter of the time.
constexpr int kAnalysisRate = 11025;
// Tempo: about 12 ms between onset readings, as at 512 samples and 44.1 kHz.
constexpr unsigned kTempoWindow = 512, kTempoHop = 128;
// Pitch: a reading every 46 ms over 93 ms, long enough for two periods of the lowest bass notes.
constexpr unsigned kPitchWindow = 1024, kPitchHop = 512;
// Frames quieter than this carry no pitch.
constexpr float kPitchSilenceDb = -50.f;
// How sure the pitch detector must be of a frame, and how many of the sounding frames must be sure,
// and agree within half a semitone, for the sound to count as tonal.
constexpr float kPitchConfidence = 0.8f;
constexpr double kTonalShare = 0.6;
// A steady beat: enough beats, whose gaps differ from their median by under this share.
constexpr size_t kMinBeats = 4;
constexpr double kSteadyGapSpread = 0.06;

// What the measuring libraries accept, from their own sources; a file outside gets no such measure.
// libebur128 (ebur128.c): ebur128_init takes 1 to 64 channels at 16 to 2,822,400 Hz; but its K-weighting
// is designed from a high shelf at 1681.97 Hz (tan(pi * f0 / rate)), which is a filter only below the
// Nyquist frequency, and at 16 and 17 Hz its 400 ms buffer is smaller than the first gating block it
// writes there. So loudness needs at least twice the shelf's frequency.
constexpr int kLoudnessMinRate = 3364;
constexpr int kLoudnessMaxRate = 2822400;
constexpr int kLoudnessMaxChannels = 64;
// aubio (tempo.c, pitch.c, fft.c): hop at least 1, window at least 2 and a power of two, hop no larger
// than the window, rate at least 1. The beat tracker (beattracking.c) keeps its preferred beat period,
// half a second in hops, as a whole number: under two hops a second it is 0 and nothing is tracked.
static_assert(kTempoHop >= 1 && kTempoHop <= kTempoWindow && (kTempoWindow & (kTempoWindow - 1)) == 0);
static_assert(kPitchHop >= 1 && kPitchHop <= kPitchWindow && (kPitchWindow & (kPitchWindow - 1)) == 0);
constexpr unsigned kTempoMinRate = 2 * kTempoHop;

struct Ebur128Deleter {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};
struct TempoDeleter {
    void operator()(aubio_tempo_t* t) const { del_aubio_tempo(t); }
};
struct PitchDeleter {
    void operator()(aubio_pitch_t* p) const { del_aubio_pitch(p); }
};
struct FvecDeleter {
    void operator()(fvec_t* v) const { del_fvec(v); }
};
using Fvec = std::unique_ptr<fvec_t, FvecDeleter>;

double median(std::vector<double> v)
{
    const auto mid = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

/// The tempo of the beats found, or NaN when they do not keep a steady pace.
double steadyTempo(const std::vector<double>& beats)
{
    if (beats.size() < kMinBeats)
        return std::nan("");
    std::vector<double> gaps;
    for (size_t i = 1; i < beats.size(); ++i)
        gaps.push_back(beats[i] - beats[i - 1]);
    const double typical = median(gaps);
    if (typical <= 0)
        return std::nan("");
    size_t steady = 0;
    double sum = 0;
    for (double g : gaps)
        if (std::abs(g - typical) <= kSteadyGapSpread * typical) {
            ++steady;
            sum += g;
        }
    // A beat or two may be missed or doubled at the start; the rest must keep time.
    if (double(steady) < 0.8 * double(gaps.size()) || steady + 1 < kMinBeats)
        return std::nan("");
    return 60.0 * double(steady) / sum;
}

/// The note of the sure frames, or NaN when too few frames are sure of one note.
double tonalPitch(std::vector<double> notes, size_t soundingFrames)
{
    if (notes.empty() || double(notes.size()) < kTonalShare * double(soundingFrames))
        return std::nan("");
    const double typical = median(notes);
    size_t agreeing = 0;
    double sum = 0;
    for (double n : notes)
        if (std::abs(n - typical) <= 0.5) {
            ++agreeing;
            sum += n;
        }
    if (double(agreeing) < kTonalShare * double(soundingFrames))
        return std::nan("");
    return sum / double(agreeing);
}

/// Integrated loudness of the samples given, when the rate and channels are within what libebur128 takes.
class IntegratedLoudness {
public:
    IntegratedLoudness(int rate, int channels)
    {
        if (rate >= kLoudnessMinRate && rate <= kLoudnessMaxRate && channels >= 1 && channels <= kLoudnessMaxChannels)
            state_.reset(ebur128_init(unsigned(channels), unsigned(rate), EBUR128_MODE_I));
    }
    void add(const float* frames, size_t count)
    {
        if (state_)
            ebur128_add_frames_float(state_.get(), frames, count);
    }
    /// LUFS; NaN where the file is outside the library's limits.
    double loudness() const
    {
        double lufs = std::nan("");
        if (!state_ || ebur128_loudness_global(state_.get(), &lufs) != EBUR128_SUCCESS)
            return std::nan("");
        return lufs;
    }

private:
    std::unique_ptr<ebur128_state, Ebur128Deleter> state_;
};

/// Tempo and pitch of a mono mix at about kAnalysisRate, fed one sample at a time in hops that aubio takes.
class MixAnalyser {
public:
    explicit MixAnalyser(unsigned rate)
    {
        // Every rate is one aubio takes; the tempo tracker needs more (see kTempoMinRate).
        if (rate >= kTempoMinRate)
            tempo_.reset(new_aubio_tempo("default", kTempoWindow, kTempoHop, rate));
        pitch_.reset(new_aubio_pitch("yinfast", kPitchWindow, kPitchHop, rate));
        if (pitch_) {
            aubio_pitch_set_unit(pitch_.get(), "midi");
            aubio_pitch_set_silence(pitch_.get(), kPitchSilenceDb);
        }
    }
    void add(float sample)
    {
        tempoIn_->data[tempoFill_++] = sample;
        if (tempoFill_ == kTempoHop) {
            tempoFill_ = 0;
            if (tempo_) {
                aubio_tempo_do(tempo_.get(), tempoIn_.get(), tempoOut_.get());
                if (tempoOut_->data[0] != 0)
                    beats_.push_back(aubio_tempo_get_last_s(tempo_.get()));
            }
        }
        pitchIn_->data[pitchFill_++] = sample;
        if (pitchFill_ == kPitchHop) {
            pitchFill_ = 0;
            if (pitch_)
                readPitch();
        }
    }
    double tempo() const { return steadyTempo(beats_); }
    double pitch() { return tonalPitch(std::move(notes_), soundingFrames_); }

private:
    void readPitch()
    {
        aubio_pitch_do(pitch_.get(), pitchIn_.get(), pitchOut_.get());
        const float note = pitchOut_->data[0];
        if (aubio_db_spl(pitchIn_.get()) > kPitchSilenceDb) {
            ++soundingFrames_;
            if (note > 0 && std::isfinite(note) && aubio_pitch_get_confidence(pitch_.get()) >= kPitchConfidence)
                notes_.push_back(note);
        }
    }

    std::unique_ptr<aubio_tempo_t, TempoDeleter> tempo_;
    std::unique_ptr<aubio_pitch_t, PitchDeleter> pitch_;
    Fvec tempoIn_{new_fvec(kTempoHop)}, tempoOut_{new_fvec(2)}, pitchIn_{new_fvec(kPitchHop)}, pitchOut_{new_fvec(1)};
    unsigned tempoFill_ = 0, pitchFill_ = 0;
    std::vector<double> beats_;
    std::vector<double> notes_;
    size_t soundingFrames_ = 0;
};

/// A measure as the window may show it: a number, or absent.
double finiteOrAbsent(double v)
{
    return std::isfinite(v) ? v : std::nan("");
}

} // namespace

bool measuresAreValid(const SoundAnalysis& m)
{
    auto finiteOrNan = [](double v) { return std::isfinite(v) || std::isnan(v); };
    // Only digital silence is silent: a loudness and a peak of minus infinity go together.
    const bool silent = m.peak == -HUGE_VAL;
    return (finiteOrNan(m.peak) || silent) && (finiteOrNan(m.loudness) || (silent && m.loudness == -HUGE_VAL)) &&
           finiteOrNan(m.tempo) && finiteOrNan(m.pitch);
}

std::optional<SoundAnalysis> analyseSound(const std::string& path)
{
    auto reader = platform::SoundReader::open(path);
    if (!reader || reader->channels() <= 0 || reader->rate() <= 0)
        return std::nullopt;
    const int channels = reader->channels();
    const int rate = reader->rate();
    IntegratedLoudness loudness(rate, channels);
    // Whole input frames averaged into one analysis sample.
    const int step = std::max(1, (rate + kAnalysisRate / 2) / kAnalysisRate);
    MixAnalyser mix(unsigned(std::max(1, rate / step)));

    float peak = 0.f;
    double sum = 0;
    int summed = 0;
    constexpr size_t kChunk = 4096;
    std::vector<float> buffer(kChunk * size_t(channels));
    for (;;) {
        const size_t frames = reader->read(buffer.data(), kChunk);
        if (frames == 0)
            break;
        loudness.add(buffer.data(), frames);
        const float* p = buffer.data();
        for (size_t f = 0; f < frames; ++f) {
            float frameSum = 0.f;
            for (int c = 0; c < channels; ++c, ++p) {
                peak = std::max(peak, std::abs(*p));
                frameSum += *p;
            }
            sum += frameSum;
            if (++summed < step)
                continue;
            mix.add(float(sum / (double(summed) * channels)));
            sum = 0;
            summed = 0;
        }
        if (frames < kChunk)
            break;
    }

    SoundAnalysis m;
    // The decoder's samples are finite and within [-1, 1], so the peak is a number or, for digital
    // silence, minus infinity; and silence is silent whatever the rate.
    m.peak = peak > 0 ? 20.0 * std::log10(double(peak)) : -HUGE_VAL;
    m.loudness = peak > 0 ? finiteOrAbsent(loudness.loudness()) : -HUGE_VAL;
    m.tempo = finiteOrAbsent(mix.tempo());
    m.pitch = finiteOrAbsent(mix.pitch());
    return m;
}

} // namespace library
