// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/soundchannel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

namespace platform::sound_detail {

namespace {

// The server holds a tenth of a second: enough that a busy machine does not starve the sound, and
// no cost to the start (the first request is filled at once) nor to the stop (which drops it).
constexpr pa_usec_t kTargetLatency = 100 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kRequestSize = 10 * PA_USEC_PER_MSEC;
// How long a silent or unreachable server may keep a sound pending before it is dropped.
constexpr pa_usec_t kConnectTimeout = 2 * PA_USEC_PER_SEC;
// A waiting caller is let go this long after its sound should have ended, whatever the server does.
constexpr double kWaitGraceSeconds = 5.0;
// A sound that replaces another fades in over this while the other fades out, so the two join
// without a click; the join lies this far past what the server has already taken. The server's
// reading is only known as of its last report and the sink takes blocks at a time: a join closer than
// that can fall where the sink has already read, and the old sound then stops dead.
constexpr pa_usec_t kCrossFade = 5 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kJoinMargin = 20 * PA_USEC_PER_MSEC;
// How much of what was written is kept for such a join: more than the server ever holds.
constexpr pa_usec_t kHistory = 250 * PA_USEC_PER_MSEC;
// While someone listens for outputs, a lost server is looked for again this often.
constexpr pa_usec_t kReconnectInterval = 3 * PA_USEC_PER_SEC;

} // namespace

Channel::Channel()
{
    loop_ = pa_threaded_mainloop_new();
    if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
}

Channel::~Channel()
{
    if (!loop_)
        return;
    {
        Lock lock(loop_);
        finishCurrent();
        if (connectTimer_)
            pa_threaded_mainloop_get_api(loop_)->time_free(connectTimer_);
        connectTimer_ = nullptr;
        if (reconnectTimer_)
            pa_threaded_mainloop_get_api(loop_)->time_free(reconnectTimer_);
        reconnectTimer_ = nullptr;
        outputsChanged_ = nullptr;
        if (context_) {
            pa_context_set_subscribe_callback(context_, nullptr, nullptr);
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

BOOL Channel::play(std::unique_ptr<Decoder> decoder, bool loop, bool wait, bool noStop, double startSeconds)
{
    if (!loop_)
        return FALSE_;
    Lock lock(loop_);
    if (noStop && currentId_ != 0)
        return FALSE_;
    // A waiting call that looped would never return.
    const bool looping = loop && !wait;
    // A sound of the same rate and channels takes over the running stream without a gap; another
    // one lets the running sound fade out while its own stream starts.
    const bool joined = joinInStream(decoder, looping);
    if (!joined) {
        fadeOutAndRetire();
        finishCurrent();
        decoder_ = std::move(decoder);
    } else if (waitTimer_) {
        pa_threaded_mainloop_get_api(loop_)->time_free(waitTimer_);
        waitTimer_ = nullptr;
    }
    startSeconds_ = startSeconds;
    looping_ = looping;
    const std::uint64_t id = currentId_ = nextId_++;
    // A caller waiting for the sound replaced may go now.
    pa_threaded_mainloop_signal(loop_, 0);
    if (!joined) {
        if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY)
            startStream();
        else
            connect();
    }
    if (wait && currentId_ == id) {
        // A server that stops taking data must not hold the caller for ever.
        timeval tv{};
        pa_gettimeofday(&tv);
        pa_timeval_add(&tv, pa_usec_t((std::min(decoder_->seconds(), 86400.0) + kWaitGraceSeconds) * PA_USEC_PER_SEC));
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
        waitTimer_ = api->time_new(api, &tv, &Channel::onWaitTimeout, this);
    }
    while (wait && currentId_ == id)
        pa_threaded_mainloop_wait(loop_);
    return TRUE_;
}

bool Channel::stop(bool noStop)
{
    if (!loop_)
        return true;
    Lock lock(loop_);
    if (noStop && currentId_ != 0)
        return false;
    finishCurrent();
    return true;
}

bool Channel::busy()
{
    if (!loop_)
        return false;
    Lock lock(loop_);
    return currentId_ != 0;
}

void Channel::finishCurrent()
{
    if (stream_) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        if (pa_stream_get_state(stream_) == PA_STREAM_CREATING) {
            // The server has not answered yet and would refuse a disconnect now, keeping a silent
            // stream for ever; let it go as soon as the answer comes.
            pa_stream_set_state_callback(stream_, &Channel::onRetiredState, nullptr);
        } else {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            // Leaving the server drops what it still buffers for this stream, so the sound ends now.
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        stream_ = nullptr;
    }
    draining_ = false;
    if (waitTimer_) {
        pa_threaded_mainloop_get_api(loop_)->time_free(waitTimer_);
        waitTimer_ = nullptr;
    }
    decoder_.reset();
    currentId_ = 0;
    pa_threaded_mainloop_signal(loop_, 0);
}

void Channel::connect()
{
    // One attempt per request, made on the event thread so the caller never waits for it.
    if (connectRequested_ || context_)
        return;
    connectRequested_ = true;
    pa_mainloop_api_once(pa_threaded_mainloop_get_api(loop_), &Channel::onConnectRequest, this);
}

void Channel::onConnectRequest(pa_mainloop_api* api, void* p)
{
    auto* self = static_cast<Channel*>(p);
    self->connectRequested_ = false;
    if (self->context_ || (self->currentId_ == 0 && !self->outputsChanged_))
        return;
    self->context_ = pa_context_new(api, "Tonfolio");
    if (!self->context_) {
        self->finishCurrent();
        return;
    }
    pa_context_set_state_callback(self->context_, &Channel::onContextState, self);
    // A failure may already have been reported through onContextState, which dropped the context.
    if (pa_context_connect(self->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        if (self->context_)
            self->dropContext();
        return;
    }
    if (!self->context_)
        return;
    timeval tv{};
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, kConnectTimeout);
    self->connectTimer_ = api->time_new(api, &tv, &Channel::onConnectTimeout, self);
}

void Channel::onConnectTimeout(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* p)
{
    auto* self = static_cast<Channel*>(p);
    api->time_free(e);
    self->connectTimer_ = nullptr;
    if (self->context_ && pa_context_get_state(self->context_) != PA_CONTEXT_READY)
        pa_context_disconnect(self->context_); // ends in onContextState as failed
}

void Channel::onWaitTimeout(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* p)
{
    auto* self = static_cast<Channel*>(p);
    api->time_free(e);
    self->waitTimer_ = nullptr;
    self->finishCurrent();
}

void Channel::onContextState(pa_context* c, void* p)
{
    auto* self = static_cast<Channel*>(p);
    if (c != self->context_)
        return;
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY:
        if (self->connectTimer_) {
            pa_threaded_mainloop_get_api(self->loop_)->time_free(self->connectTimer_);
            self->connectTimer_ = nullptr;
        }
        if (self->currentId_ != 0 && !self->stream_)
            self->startStream();
        pa_context_set_subscribe_callback(c, &Channel::onSubscription, self);
        if (pa_operation* op = pa_context_subscribe(
                c, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER), nullptr, nullptr))
            pa_operation_unref(op);
        self->listOutputs();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        self->dropContext();
        break;
    default:
        break;
    }
}

void Channel::dropContext()
{
    if (connectTimer_) {
        pa_threaded_mainloop_get_api(loop_)->time_free(connectTimer_);
        connectTimer_ = nullptr;
    }
    // Nothing can play without a server: drop the sound; the next request connects anew.
    finishCurrent();
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    listingBusy_ = listAgain_ = false;
    listing_.clear();
    const bool hadOutputs = outputsKnown_;
    outputs_.clear();
    defaultOutput_.clear();
    outputsKnown_ = false;
    if (hadOutputs)
        publishOutputs();
    // Someone waits for the outputs: look for the server again in a while (it may be restarting).
    if (outputsChanged_ && !reconnectTimer_) {
        timeval tv{};
        pa_gettimeofday(&tv);
        pa_timeval_add(&tv, kReconnectInterval);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
        reconnectTimer_ = api->time_new(api, &tv, &Channel::onReconnect, this);
    }
}

void Channel::onReconnect(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* p)
{
    auto* self = static_cast<Channel*>(p);
    api->time_free(e);
    self->reconnectTimer_ = nullptr;
    if (self->outputsChanged_)
        self->connect();
}

void Channel::startStream(bool onDefaultOutput)
{
    pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32NE, std::uint32_t(decoder_->rate()), std::uint8_t(decoder_->channels())};
    pa_channel_map map{};
    pa_channel_map_init_extend(&map, sampleSpec.channels, PA_CHANNEL_MAP_WAVEEX);
    stream_ = pa_stream_new(context_, "Sound", &sampleSpec, &map);
    writtenFrames_ = 0;
    soundStartFrame_ = 0;
    history_.assign(std::size_t(pa_usec_to_bytes(kHistory, &sampleSpec) / sizeof(float)), 0.0f);
    if (!stream_) {
        finishCurrent();
        return;
    }
    pa_stream_set_state_callback(stream_, &Channel::onStreamState, this);
    pa_stream_set_write_callback(stream_, &Channel::onWrite, this);
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(pa_usec_to_bytes(kTargetLatency, &sampleSpec));
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(pa_usec_to_bytes(kRequestSize, &sampleSpec));
    attr.fragsize = std::uint32_t(-1);
    const char* device = onDefaultOutput ? nullptr : deviceForStream();
    streamDevice_ = device ? device : "";
    // The program's own volume travels with the stream, so the first sample already has it.
    pa_cvolume volume;
    pa_cvolume_set(&volume, sampleSpec.channels, streamVolume());
    const auto flags =
        pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream_, device, &attr, flags, &volume, nullptr) < 0)
        finishCurrent();
}

const char* Channel::deviceForStream() const
{
    if (output_.empty())
        return nullptr;
    // An output that has gone plays on the default one; one not yet listed is tried all the same.
    if (outputsKnown_ &&
        std::none_of(outputs_.begin(), outputs_.end(), [this](const SoundOutput& o) { return o.name == output_; }))
        return nullptr;
    return output_.c_str();
}

void Channel::onStreamState(pa_stream* s, void* p)
{
    auto* self = static_cast<Channel*>(p);
    if (s != self->stream_)
        return;
    pa_stream_state_t st = pa_stream_get_state(s);
    if (st == PA_STREAM_FAILED && !self->streamDevice_.empty() && self->decoder_) {
        // The chosen output went away before the stream reached it: the default one plays instead.
        pa_stream_set_state_callback(s, nullptr, nullptr);
        pa_stream_set_write_callback(s, nullptr, nullptr);
        pa_stream_unref(s);
        self->stream_ = nullptr;
        self->startStream(true);
    } else if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED) {
        self->finishCurrent();
    }
}

void Channel::onRetiredState(pa_stream* s, void*)
{
    switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY:
        pa_stream_disconnect(s); // comes back here as terminated
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        pa_stream_set_state_callback(s, nullptr, nullptr);
        pa_stream_unref(s);
        break;
    default:
        break;
    }
}

void Channel::onWrite(pa_stream* s, std::size_t bytes, void* p)
{
    auto* self = static_cast<Channel*>(p);
    if (s == self->stream_ && !self->draining_)
        self->fill(s, bytes);
}

void Channel::fill(pa_stream* s, std::size_t bytes)
{
    const std::size_t frameFloats = std::size_t(decoder_->channels());
    const std::size_t frames = bytes / (frameFloats * sizeof(float));
    if (frames == 0)
        return;
    scratch_.resize(frames * frameFloats);
    const std::size_t got = decoder_->read(scratch_.data(), frames, looping_);
    if (got > 0)
        writeAt(writtenFrames_, scratch_.data(), got);
    if (got < frames)
        endOfSound(s);
}

void Channel::endOfSound(pa_stream* s)
{
    // Let the server play out what it holds, then the channel is idle.
    draining_ = true;
    if (pa_operation* op = pa_stream_drain(s, &Channel::onDrained, this))
        pa_operation_unref(op);
    else
        finishCurrent();
}

void Channel::writeAt(std::int64_t frame, const float* data, std::size_t frames)
{
    const pa_sample_spec* streamFormat = pa_stream_get_sample_spec(stream_);
    const std::size_t channels = streamFormat->channels;
    const std::int64_t bytes = std::int64_t(frames * channels * sizeof(float));
    if (frame == writtenFrames_)
        pa_stream_write(stream_, data, std::size_t(bytes), nullptr, 0, PA_SEEK_RELATIVE);
    else
        pa_stream_write(stream_, data, std::size_t(bytes), nullptr, frame * std::int64_t(channels * sizeof(float)),
                        PA_SEEK_ABSOLUTE);
    const std::size_t kept = history_.size() / channels;
    for (std::size_t i = 0; kept > 0 && i < frames; ++i)
        std::memcpy(&history_[std::size_t((frame + std::int64_t(i)) % std::int64_t(kept)) * channels],
                    data + i * channels, channels * sizeof(float));
    writtenFrames_ = frame + std::int64_t(frames);
}

std::int64_t Channel::joinFrame(const pa_sample_spec& streamFormat)
{
    // What the server still holds of the stream lies between its read and its write index; the
    // latency counts the sink's own buffer on top of that.
    pa_usec_t latency = 0;
    int negative = 0;
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (!timing || pa_stream_get_latency(stream_, &latency, &negative) < 0)
        return -1;
    const pa_usec_t queued = negative || latency < timing->sink_usec ? 0 : latency - timing->sink_usec;
    const auto framesOf = [&streamFormat](pa_usec_t usec) { return std::int64_t(usec * streamFormat.rate / PA_USEC_PER_SEC); };
    const std::int64_t join = writtenFrames_ - framesOf(queued) + framesOf(kJoinMargin);
    return std::clamp<std::int64_t>(join, 0, writtenFrames_);
}

void Channel::runningSamples(std::int64_t from, float* out, std::size_t frames)
{
    // What was written comes from the history, what follows from the running sound itself.
    const std::size_t channels = std::size_t(decoder_->channels());
    const std::size_t kept = history_.size() / channels;
    std::size_t i = 0;
    for (; i < frames && from + std::int64_t(i) < writtenFrames_; ++i) {
        const std::int64_t at = from + std::int64_t(i);
        if (kept > 0 && writtenFrames_ - at <= std::int64_t(kept))
            std::memcpy(out + i * channels, &history_[std::size_t(at % std::int64_t(kept)) * channels],
                        channels * sizeof(float));
        else
            std::fill(out + i * channels, out + (i + 1) * channels, 0.0f);
    }
    if (i < frames) {
        const std::size_t got = decoder_->read(out + i * channels, frames - i, looping_);
        std::fill(out + (i + got) * channels, out + frames * channels, 0.0f);
    }
}

bool Channel::joinInStream(std::unique_ptr<Decoder>& next, bool loop)
{
    if (!next || !stream_ || !decoder_ || draining_ || pa_stream_get_state(stream_) != PA_STREAM_READY)
        return false;
    const pa_sample_spec streamFormat = *pa_stream_get_sample_spec(stream_);
    if (int(streamFormat.rate) != next->rate() || int(streamFormat.channels) != next->channels())
        return false;
    const std::int64_t join = joinFrame(streamFormat);
    if (join < 0)
        return false;
    const std::size_t channels = streamFormat.channels;
    const auto fade = std::size_t(std::max<std::uint64_t>(1, kCrossFade * streamFormat.rate / PA_USEC_PER_SEC));
    // Everything the server holds past the join is written over, so nothing of the old sound is left.
    const std::size_t count = std::max(fade, std::size_t(writtenFrames_ - join));
    std::vector<float> out(count * channels, 0.0f);
    const std::size_t got = next->read(out.data(), count, loop);
    std::vector<float> old(fade * channels);
    runningSamples(join, old.data(), fade);
    for (std::size_t i = 0; i < fade; ++i) {
        const float in = float((double(i) + 0.5) / double(fade));
        for (std::size_t c = 0; c < channels; ++c)
            out[i * channels + c] = old[i * channels + c] * (1.0f - in) + out[i * channels + c] * in;
    }
    writeAt(join, out.data(), count);
    decoder_ = std::move(next);
    soundStartFrame_ = join;
    if (got < count)
        endOfSound(stream_);
    return true;
}

bool Channel::fadeOutAndRetire()
{
    if (!stream_ || !decoder_ || draining_ || pa_stream_get_state(stream_) != PA_STREAM_READY)
        return false;
    const pa_sample_spec streamFormat = *pa_stream_get_sample_spec(stream_);
    const std::int64_t join = joinFrame(streamFormat);
    if (join < 0)
        return false;
    const std::size_t channels = streamFormat.channels;
    const auto fade = std::size_t(std::max<std::uint64_t>(1, kCrossFade * streamFormat.rate / PA_USEC_PER_SEC));
    const std::size_t count = std::max(fade, std::size_t(writtenFrames_ - join));
    std::vector<float> out(count * channels, 0.0f);
    runningSamples(join, out.data(), fade);
    for (std::size_t i = 0; i < fade; ++i) {
        const float left = float(1.0 - (double(i) + 0.5) / double(fade));
        for (std::size_t c = 0; c < channels; ++c)
            out[i * channels + c] *= left;
    }
    std::fill(out.begin() + std::ptrdiff_t(fade * channels), out.end(), 0.0f);
    writeAt(join, out.data(), count);
    // The stream leaves the channel and goes once the server has played the fade.
    pa_stream* s = stream_;
    stream_ = nullptr;
    pa_stream_set_write_callback(s, nullptr, nullptr);
    pa_stream_set_state_callback(s, &Channel::onRetiredState, nullptr);
    if (pa_operation* op = pa_stream_drain(s, &Channel::onRetiredDrained, nullptr))
        pa_operation_unref(op);
    else
        pa_stream_disconnect(s);
    return true;
}

void Channel::onRetiredDrained(pa_stream* s, int, void*)
{
    pa_stream_disconnect(s); // comes back to onRetiredState as terminated
}

void Channel::onDrained(pa_stream* s, int, void* p)
{
    auto* self = static_cast<Channel*>(p);
    if (s == self->stream_)
        self->finishCurrent();
}

double Channel::position()
{
    if (!loop_)
        return -1;
    Lock lock(loop_);
    if (currentId_ == 0 || !decoder_)
        return -1;
    double heard = 0;
    pa_usec_t played = 0;
    // The stream's time is what the listener hears now: the server's buffers are already counted.
    // A sound that took over a running stream is heard from where it joined it.
    if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY && pa_stream_get_time(stream_, &played) == 0)
        heard = std::max(0.0, double(played) / PA_USEC_PER_SEC - double(soundStartFrame_) / decoder_->rate());
    return decoder_->placeAfter(startSeconds_, heard, looping_);
}

} // namespace platform::sound_detail
