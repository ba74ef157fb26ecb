// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// W32Waves: what kind of wave a file holds and how long it plays, read from its RIFF header
// without touching the sample data, and the texts of one wave list row made from that.

#include <QString>
#include <QtGlobal>
#include <string>

/// The description of one wave file. A plain value: the reader fills it, callers own it.
struct TWaveInfo {
    quint16 FormatTag = 0; ///< format tag of the "fmt " chunk (1 = PCM)
    quint16 Channels = 0;
    quint32 SamplesPerSec = 0; ///< hertz, as the header's unsigned field holds it
    quint16 BitsPerSample = 0;
    quint32 DataSize = 0;   ///< declared size of the "data" chunk, not checked against the file
    long double Length = 0; ///< playing time in seconds
    bool Valid = false;     ///< the header was read; the texts choose a placeholder otherwise
};

/// Reads the header of a file named by its drive-letter path (or, as the library's walks name the files
/// they found, by its absolute Linux path). Fills every field on every call
/// and returns Valid. Never reads the sample data, never blocks on something that is not a file.
bool ReadWaveInfo(const std::string& FileName, TWaveInfo& WaveInfo);

/// "22.05 kHz, 16 Bit, Stereo", or "Unknown" when the header was not read.
QString WaveFormatText(const TWaveInfo& WaveInfo);

/// Playing time as "mm:ss.mmm" (truncated, never rounded), or "--:--.---" when not read.
QString WaveLengthText(const TWaveInfo& WaveInfo);

/// A file size in kilobytes, rounded, with the locale's thousands separator: "1,500 KB".
QString FileSizeText(qint64 Size);

/// The name of the compression type of FormatTag; empty for tags without a name.
QString WaveTypeText(const TWaveInfo& WaveInfo);
