// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simple sound call: one process-wide channel that plays a RIFF/WAVE image or a named
// wave file through the desktop's sound server, asynchronously or waiting, once or looped.

#include "platform/types.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

constexpr UINT SND_SYNC = 0x0000;
constexpr UINT SND_ASYNC = 0x0001;
constexpr UINT SND_NODEFAULT = 0x0002;
constexpr UINT SND_MEMORY = 0x0004;
constexpr UINT SND_LOOP = 0x0008;
constexpr UINT SND_NOSTOP = 0x0010;

/// A wave image whose ownership the channel shares while it plays, so the holder may drop
/// or replace its own reference at any time without freeing bytes that are still sounding.
struct SoundImage {
    std::shared_ptr<const char[]> bytes;
    std::size_t size = 0;
};

/// A stretch of a sound's frames, [start, end), that a looping sound repeats after it has played
/// up to `end` once: a sampler's sustain loop. Empty (the default): the whole sound repeats.
struct SoundLoop {
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool empty() const { return end <= start; }
};

/// Plays `sound`: with SND_MEMORY the address of a RIFF/WAVE image (its length taken from the
/// RIFF header; the bytes are copied), otherwise a drive-letter file path. A null sound stops
/// the channel. A name or image that cannot be played gives the default sound, or nothing
/// with SND_NODEFAULT (the running sound is stopped either way). SND_NOSTOP refuses while a
/// sound plays. SND_LOOP repeats only asynchronous sounds. Returns whether the sound started.
BOOL sndPlaySound(const char* sound, UINT flags);

/// The same for an image whose length is known: nothing is copied, the channel shares it.
/// SND_MEMORY is implied; an image without bytes stops the channel.
/// With SND_LOOP and a `loop` stretch, the sound plays once up to the stretch's end and then repeats
/// the stretch, sample for sample.
BOOL sndPlaySound(const SoundImage& image, UINT flags, const SoundLoop& loop = {});

/// Plays a drive-letter wave file starting `startSeconds` into it (flags as sndPlaySound; SND_MEMORY not
/// allowed; `loop` as for an image).
BOOL sndPlaySoundFrom(const char* path, UINT flags, double startSeconds, const SoundLoop& loop = {});

/// Where in its file the sound now heard is, in seconds, corrected for the server's latency; negative when nothing
/// plays.
double soundPositionSeconds();

/// The volume of the program's own sound stream (never the system's), 0 to 1 on the server's volume
/// scale, where 1 leaves the sound as it is; the running sound follows at once.
void setSoundVolume(double volume);
double soundVolume();
/// A gain in decibels on top of the volume, for the running sound and those that follow (a sound's
/// loudness matched to others'); 0 leaves the sound as it is.
void setSoundGain(double decibels);

/// One output of the sound server.
struct SoundOutput {
    std::string name;        ///< the server's name for it, stable across runs
    std::string description; ///< what a user calls it
};

/// The server's outputs as last heard from it; empty before it answered or without a server.
/// Start listening with watchSoundOutputs.
std::vector<SoundOutput> soundOutputs();

/// Sends sounds (the running one too) to the output of that name; empty means the server's default.
/// A name the server does not know plays on the default output.
void setSoundOutput(const std::string& name);
std::string soundOutput();

/// Listens to the server for outputs that come and go and calls `changed` after each change of
/// soundOutputs(), on the sound server's thread: post it on to your own. Null stops the calls.
void watchSoundOutputs(std::function<void()> changed);

/// Whether the channel has a sound that has not ended yet (it may still be waiting for the
/// sound server). Meant for tests and diagnostics.
bool soundIsPlaying();

} // namespace platform
