// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WaveMetadata: what a wave file says about itself beside its sound: the broadcast-wave, INFO and
// iXML texts, the sampler's loops and the cue points with their labels. Read from the chunks of the
// RIFF (or RF64) form, bounded and forgiving: unknown and damaged chunks are skipped, never trusted.

#include "waves/W32Waves.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <string>
#include <vector>

/// One loop of a "smpl" chunk, in sample frames; end is the last frame played in the loop.
struct WaveLoop {
    quint32 start = 0;
    quint32 end = 0;
    quint32 type = 0;      ///< 0 forward, 1 alternating, 2 backward
    quint32 playCount = 0; ///< 0 loops for ever
    bool operator==(const WaveLoop& o) const
    {
        return start == o.start && end == o.end && type == o.type && playCount == o.playCount;
    }
};

/// One point of a "cue " chunk and the label and note an "adtl" list gives it.
struct WaveCue {
    quint32 id = 0;
    quint32 offset = 0; ///< sample frame of the point in the data
    QString label;
    QString note;
};

/// The texts, loops and cues of one wave file. A plain value: the readers fill it, callers own it.
struct WaveMetadata {
    // "bext"
    QString description, originator, originationDate, originationTime;
    quint64 timeReference = 0; ///< start time as samples since midnight
    bool hasTimeReference = false;
    // "LIST"/"INFO"
    QString title, artist, comment, created, genre, keywords, software; // INAM IART ICMT ICRD IGNR IKEY ISFT
    // "iXML"
    QString project, scene, take, note;
    // "smpl"
    std::vector<WaveLoop> loops; ///< only loops that lie inside the sound
    quint32 unityNote = 60;      ///< MIDI note the sound plays at its own pitch
    bool hasSampler = false;
    // "cue " with "LIST"/"adtl"
    std::vector<WaveCue> cues; ///< only points inside the sound, in the file's order
    // from "fmt " and "data", so that positions can be checked and shown as times
    quint32 sampleRate = 0;
    quint64 frames = 0;
    bool framesKnown = false;

    /// The one line that describes the file: bext Description, else INAM, else ICMT, else iXML NOTE.
    QString descriptionText() const;
    /// Every text present, as (caption, text) in a fixed order, for a property page.
    QList<QPair<QString, QString>> namedTexts() const;
    /// Every text joined by blanks, for a search by words.
    QString searchText() const;
    /// The start time of the time reference as "hh:mm:ss.mmm"; empty without one or without a rate.
    QString timeReferenceText() const;
};

/// Reads the metadata of a file named by its drive-letter (or absolute Linux) path. An unreadable
/// file or one that is no wave gives an empty record.
WaveMetadata readWaveMetadata(const std::string& fileName);

/// The same from bytes held in memory (a whole file or its start).
WaveMetadata readWaveMetadata(const char* bytes, std::size_t size);

/// ReadWaveInfo and readWaveMetadata with one open of the file: the chunks that stand in the first
/// bytes come from the same read, and the end of the file is read only when the form says that
/// chunks follow the sound. Returns ReadWaveInfo's result.
bool readWaveInfoAndMetadata(const std::string& fileName, TWaveInfo& info, WaveMetadata& metadata);
/// The same of a file already open for reading (its descriptor), which is closed after.
bool readWaveInfoAndMetadata(int openFile, TWaveInfo& info, WaveMetadata& metadata);

/// Decodes a text field: up to its first NUL, UTF-8 where the bytes are valid UTF-8 and Latin-1
/// otherwise, blanks trimmed.
QString waveText(const char* bytes, std::size_t size);
