// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A 16-bit PCM wave file for a timing program to fill with libsndfile.
#include <sndfile.h>

#include <string>

/// The file made for writing, or null when it cannot be.
inline SNDFILE* createWave16(const std::string& path, int rate, int channels)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    return sf_open(path.c_str(), SFM_WRITE, &info);
}
