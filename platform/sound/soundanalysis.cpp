// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/soundanalysis.h"

#include "platform/sound/sounddecoder.h"

#include <aubio/aubio.h>
#include <ebur128.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace platform {

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

} // namespace

std::optional<SoundMeasures> analyseSound(const std::string& path)
{
    auto decoder = sound_detail::Decoder::open(sound_detail::fileSource(path));
    if (!decoder || decoder->channels() <= 0 || decoder->rate() <= 0)
        return std::nullopt;
    const int channels = decoder->channels();
    const int rate = decoder->rate();
    std::unique_ptr<ebur128_state, Ebur128Deleter> loudness(
        ebur128_init(unsigned(channels), unsigned(rate), EBUR128_MODE_I));
    if (!loudness)
        return std::nullopt;

    // Whole input frames averaged into one analysis sample.
    const int step = std::max(1, (rate + kAnalysisRate / 2) / kAnalysisRate);
    const unsigned analysisRate = unsigned(std::max(1, rate / step));
    std::unique_ptr<aubio_tempo_t, TempoDeleter> tempo(
        new_aubio_tempo("default", kTempoWindow, kTempoHop, analysisRate));
    std::unique_ptr<aubio_pitch_t, PitchDeleter> pitch(
        new_aubio_pitch("yinfast", kPitchWindow, kPitchHop, analysisRate));
    if (!tempo || !pitch)
        return std::nullopt;
    aubio_pitch_set_unit(pitch.get(), "midi");
    aubio_pitch_set_silence(pitch.get(), kPitchSilenceDb);
    Fvec tempoIn(new_fvec(kTempoHop)), tempoOut(new_fvec(2)), pitchIn(new_fvec(kPitchHop)), pitchOut(new_fvec(1));

    std::vector<double> beats;
    std::vector<double> notes;
    size_t soundingFrames = 0;
    float peak = 0.f;
    unsigned tempoFill = 0, pitchFill = 0;
    double sum = 0;
    int summed = 0;

    constexpr size_t kChunk = 4096;
    std::vector<float> buffer(kChunk * size_t(channels));
    for (;;) {
        const size_t frames = decoder->read(buffer.data(), kChunk, false);
        if (frames == 0)
            break;
        ebur128_add_frames_float(loudness.get(), buffer.data(), frames);
        const float* p = buffer.data();
        for (size_t f = 0; f < frames; ++f) {
            float mix = 0.f;
            for (int c = 0; c < channels; ++c, ++p) {
                const float a = std::abs(*p);
                peak = std::max(peak, a);
                mix += *p;
            }
            sum += mix;
            if (++summed < step)
                continue;
            const float sample = float(sum / (double(summed) * channels));
            sum = 0;
            summed = 0;
            tempoIn->data[tempoFill++] = sample;
            if (tempoFill == kTempoHop) {
                tempoFill = 0;
                aubio_tempo_do(tempo.get(), tempoIn.get(), tempoOut.get());
                if (tempoOut->data[0] != 0)
                    beats.push_back(aubio_tempo_get_last_s(tempo.get()));
            }
            pitchIn->data[pitchFill++] = sample;
            if (pitchFill == kPitchHop) {
                pitchFill = 0;
                aubio_pitch_do(pitch.get(), pitchIn.get(), pitchOut.get());
                const float note = pitchOut->data[0];
                if (aubio_db_spl(pitchIn.get()) > kPitchSilenceDb) {
                    ++soundingFrames;
                    if (note > 0 && aubio_pitch_get_confidence(pitch.get()) >= kPitchConfidence)
                        notes.push_back(note);
                }
            }
        }
        if (frames < kChunk)
            break;
    }

    SoundMeasures m;
    double lufs = 0;
    m.loudness = ebur128_loudness_global(loudness.get(), &lufs) == EBUR128_SUCCESS ? lufs : std::nan("");
    m.peak = peak > 0 ? 20.0 * std::log10(double(peak)) : -HUGE_VAL;
    m.tempo = steadyTempo(beats);
    m.pitch = tonalPitch(std::move(notes), soundingFrames);
    return m;
}

} // namespace platform
