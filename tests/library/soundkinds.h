// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sounds of known kinds for finding sounds alike: drums, notes of several timbres, speech-like noise
// and sweeps, each in as many variants as asked (drawn pitches, lengths, filters, levels).

#include "labelledsounds.h"

namespace labelled {

enum class SoundKind { Kick, Snare, Hat, Clap, Sine, Saw, Square, Pluck, Pad, Piano, Speech, Sweep };
constexpr int kSoundKinds = 12;

const char* soundKindName(SoundKind kind);
/// The `variant`th sound of a kind, mono at `rate`; the same arguments give the same sound.
Sound renderKind(SoundKind kind, int variant, int rate = 44100);

} // namespace labelled
