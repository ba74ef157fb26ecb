// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the sound call: the process's one channel to the sound server, for sound.cpp and the files
// that define its members by concern (soundchannel.cpp: connection, streams and joins;
// soundoutputs.cpp: volume and outputs).

#include "platform/sound/sound.h"
#include "platform/sound/sounddecoder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop-api.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <string>
#include <vector>

namespace platform::sound_detail {

/// The one channel of the process. Its state lives on the sound server's event thread and is
/// guarded by that thread's lock; callers only hand over a sound or a stop and go on.
class Channel {
public:
    static Channel& instance()
    {
        static Channel channel;
        return channel;
    }

    BOOL play(std::unique_ptr<Decoder> decoder, bool loop, bool wait, bool noStop, double startSeconds = 0);
    /// Stops the running sound, unless `noStop` is set and one runs. Returns false then.
    bool stop(bool noStop);
    bool busy();
    double position();
    void setVolume(double volume);
    double volume();
    void setGain(double decibels);
    void setOutput(const std::string& name);
    std::string output();
    std::vector<SoundOutput> outputs();
    void watchOutputs(std::function<void()> changed);

private:
    Channel();
    ~Channel();

    void finishCurrent();
    void connect();
    void dropContext();
    void startStream(bool onDefaultOutput = false);
    void fill(pa_stream* s, std::size_t bytes);
    void endOfSound(pa_stream* s);
    bool joinInStream(std::unique_ptr<Decoder>& next, bool loop);
    bool fadeOutAndRetire();
    std::int64_t joinFrame(const pa_sample_spec& streamFormat);
    void runningSamples(std::int64_t from, float* out, std::size_t frames);
    void writeAt(std::int64_t frame, const float* data, std::size_t frames);
    void listOutputs();
    void publishOutputs();
    const char* deviceForStream() const;
    void applyVolume();
    void moveToOutput();

    static void onConnectRequest(pa_mainloop_api*, void* self);
    static void onContextState(pa_context* c, void* self);
    static void onConnectTimeout(pa_mainloop_api*, pa_time_event* e, const struct timeval*, void* self);
    static void onWaitTimeout(pa_mainloop_api*, pa_time_event* e, const struct timeval*, void* self);
    static void onStreamState(pa_stream* s, void* self);
    static void onRetiredState(pa_stream* s, void*);
    static void onWrite(pa_stream* s, std::size_t bytes, void* self);
    static void onDrained(pa_stream* s, int success, void* self);
    static void onRetiredDrained(pa_stream* s, int success, void*);
    static void onSubscription(pa_context* c, pa_subscription_event_type_t type, std::uint32_t index, void* self);
    static void onServerInfo(pa_context* c, const pa_server_info* info, void* self);
    static void onSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* self);
    static void onReconnect(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool connectRequested_ = false;
    pa_time_event* connectTimer_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool draining_ = false;
    pa_time_event* waitTimer_ = nullptr;

    std::unique_ptr<Decoder> decoder_; // the current sound; it holds the image alive
    bool looping_ = false;
    std::uint64_t currentId_ = 0; // 0: the channel is idle
    std::uint64_t nextId_ = 1;
    std::vector<float> scratch_;
    double startSeconds_ = 0; // where in its file the current sound began
    // The stream's last samples by their frame index in it, and the index of the next frame.
    std::vector<float> history_;
    std::int64_t writtenFrames_ = 0;
    std::int64_t soundStartFrame_ = 0; // where in the stream the current sound begins
    std::string streamDevice_;         // the output the stream was sent to, empty for the default

    double volume_ = 1.0;
    double gainDb_ = 0.0; // on top of the volume
    /// The volume and the gain as the server takes them.
    unsigned streamVolume() const;
    std::string output_; // the chosen output, empty for the server's default
    std::string defaultOutput_;
    std::vector<SoundOutput> outputs_;
    std::vector<SoundOutput> listing_; // a list of outputs the server is still sending
    bool outputsKnown_ = false;
    bool listingBusy_ = false;
    bool listAgain_ = false;
    std::function<void()> outputsChanged_;
    pa_time_event* reconnectTimer_ = nullptr;
};

class Lock {
public:
    explicit Lock(pa_threaded_mainloop* m) : m_(m) { pa_threaded_mainloop_lock(m_); }
    ~Lock() { pa_threaded_mainloop_unlock(m_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    pa_threaded_mainloop* m_;
};

} // namespace platform::sound_detail
