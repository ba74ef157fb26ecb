// SPDX-License-Identifier: GPL-3.0-or-later
#include "waves/W32Waves.h"

#include "waves/WaveForm.h"

#include "platform/sound/mmio.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

using namespace platform;

quint16 le16(const unsigned char* p)
{
    return quint16(p[0] | p[1] << 8);
}
quint32 le32(const unsigned char* p)
{
    return quint32(le16(p)) | quint32(le16(p + 2)) << 16;
}

// The format header is taken as 20 bytes whatever the chunk declares; bytes 16 to 19 are not used.
constexpr LONG kFormatBytes = 20;

// Samples in the data chunk. 64 bits: DataSize * 8 leaves the 32-bit signed range from 256 MiB on
// and would give a wrong time.
quint64 sampleCount(const TWaveInfo& w)
{
    return quint64(w.DataSize) * 8 / w.BitsPerSample;
}

long double playingTime(const TWaveInfo& w)
{
    return static_cast<long double>(sampleCount(w)) / w.Channels / w.SamplesPerSec;
}

// The playing time in whole milliseconds, truncated. A binary fraction is seldom exact: 1.057 s is
// stored just below 1.057, and truncating that would read 1.056. A record as the reader fills it
// holds the whole numbers the time came from, so those give the milliseconds exactly; a time set
// otherwise counts as a whole millisecond when it lies a rounding error below one.
qint64 wholeMilliseconds(const TWaveInfo& w, long double t)
{
    if (w.Channels != 0 && w.SamplesPerSec != 0 && w.BitsPerSample != 0 && playingTime(w) == t)
        return qint64(sampleCount(w) * 1000 / (quint64(w.Channels) * w.SamplesPerSec));
    const long double ms = t * 1000;
    const long double nearest = std::ceil(ms);
    if (nearest - ms < 1e-9L * std::max(1.0L, ms))
        return qint64(nearest);
    return qint64(ms);
}

// RF64, the RIFF of recordings of 4 GB and more: its 32-bit sizes read 0xFFFFFFFF and the real
// ones stand in a "ds64" chunk right after the form type.
constexpr DWORD kSizeInDs64 = 0xFFFFFFFF;

/// Enters an RF64/WAVE file that starts at the current position (the start of the file) and reads
/// its 64-bit data size. False for any other file.
bool descendRf64(HMMIO mmio, MMCKINFO& rf64, quint64& dataSize)
{
    unsigned char head[12];
    if (mmioRead(mmio, reinterpret_cast<char*>(head), 12) != 12 || std::memcmp(head, "RF64", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    rf64.ckid = mmioFOURCC('R', 'F', '6', '4');
    rf64.cksize = le32(head + 4);
    rf64.fccType = mmioStringToFOURCC("WAVE", 0);
    rf64.dwDataOffset = 8;
    MMCKINFO ds64{};
    ds64.ckid = mmioStringToFOURCC("ds64", 0);
    unsigned char sizes[16];
    if (mmioDescend(mmio, &ds64, &rf64, MMIO_FINDCHUNK) != MMSYSERR_NOERROR ||
        mmioRead(mmio, reinterpret_cast<char*>(sizes), 16) != 16)
        return false;
    dataSize = quint64(le32(sizes + 8)) | quint64(le32(sizes + 12)) << 32;
    mmioAscend(mmio, &ds64, 0);
    return true;
}

} // namespace

namespace waves_detail {

bool enterWaveForm(HMMIO mmio, MMCKINFO& form, bool& rf64, quint64& rf64DataSize)
{
    form = MMCKINFO{};
    form.fccType = mmioStringToFOURCC("WAVE", MMIO_TOUPPER);
    rf64DataSize = 0;
    rf64 = false;
    if (mmioSeek(mmio, 0, SEEK_SET) != 0)
        return false;
    if (mmioDescend(mmio, &form, nullptr, MMIO_FINDRIFF) == MMSYSERR_NOERROR)
        return true;
    // A failed search leaves the file at its start, where an RF64 header would stand.
    rf64 = descendRf64(mmio, form, rf64DataSize);
    return rf64;
}

bool readWaveInfoFrom(HMMIO mmio, TWaveInfo& WaveInfo)
{
    WaveInfo = TWaveInfo{};
    MMCKINFO riff{};
    quint64 rf64DataSize = 0;
    bool rf64 = false;
    if (!enterWaveForm(mmio, riff, rf64, rf64DataSize))
        return false;
    MMCKINFO chunk{};
    chunk.ckid = mmioStringToFOURCC("fmt ", 0);
    if (mmioDescend(mmio, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return false;
    unsigned char header[kFormatBytes];
    if (mmioRead(mmio, reinterpret_cast<char*>(header), kFormatBytes) != kFormatBytes)
        return false;
    WaveInfo.FormatTag = le16(header);
    WaveInfo.Channels = le16(header + 2);
    WaveInfo.SamplesPerSec = le32(header + 4);
    WaveInfo.BitsPerSample = le16(header + 14);
    mmioAscend(mmio, &chunk, 0);

    // Searching on from the end of the format chunk: a "data" chunk before it does not count.
    chunk.ckid = mmioStringToFOURCC("data", 0);
    if (mmioDescend(mmio, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return false;
    WaveInfo.DataSize = chunk.cksize;

    if (WaveInfo.Channels == 0 || WaveInfo.SamplesPerSec == 0 || WaveInfo.BitsPerSample == 0) {
        WaveInfo = TWaveInfo{};
    } else {
        // An RF64 data chunk declares its size in the ds64 chunk; the time follows from that one.
        const quint64 bytes = rf64 && WaveInfo.DataSize == kSizeInDs64 ? rf64DataSize : WaveInfo.DataSize;
        const quint64 samples = bytes * 8 / WaveInfo.BitsPerSample;
        WaveInfo.Length = static_cast<long double>(samples) / WaveInfo.Channels / WaveInfo.SamplesPerSec;
    }
    WaveInfo.Valid = true;
    return true;
}

} // namespace waves_detail

bool ReadWaveInfo(const std::string& FileName, TWaveInfo& WaveInfo)
{
    WaveInfo = TWaveInfo{};
    HMMIO mmio = mmioOpen(FileName.c_str(), nullptr, MMIO_READ);
    if (!mmio)
        return false;
    const waves_detail::MmioCloser closer(mmio);
    return waves_detail::readWaveInfoFrom(mmio, WaveInfo);
}

QString WaveFormatText(const TWaveInfo& WaveInfo)
{
    if (!WaveInfo.Valid)
        return QStringLiteral("Unknown");
    // The rate is a whole number of hertz, so three decimals show it exactly.
    QString rate = QString::number(WaveInfo.SamplesPerSec / 1000);
    const quint32 hertz = WaveInfo.SamplesPerSec % 1000;
    if (hertz != 0) {
        QString decimals = QStringLiteral("%1").arg(hertz, 3, 10, QLatin1Char('0'));
        while (decimals.endsWith(QLatin1Char('0')))
            decimals.chop(1);
        rate += QLatin1Char('.') + decimals;
    }
    return rate + QStringLiteral(" kHz, ") + QString::number(WaveInfo.BitsPerSample) + QStringLiteral(" Bit, ") +
           (WaveInfo.Channels == 1 ? QStringLiteral("Mono") : QStringLiteral("Stereo"));
}

QString WaveLengthText(const TWaveInfo& WaveInfo)
{
    if (!WaveInfo.Valid)
        return QStringLiteral("--:--.---");
    long double t = WaveInfo.Length;
    // A record filled by hand may hold anything; the reader's times are never negative and far below this.
    if (!(t >= 0 && t < 1e15L))
        t = 0;
    // Every step truncates: 1.9999 s reads 00:01.999. Truncating the whole milliseconds step by step
    // gives the same minutes, seconds and milliseconds as truncating the time itself.
    const qint64 total = wholeMilliseconds(WaveInfo, t);
    const qint64 minutes = total / 60000;
    const qint64 seconds = total / 1000 % 60;
    const qint64 millis = total % 1000;
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2.%3").arg(minutes, 2, 10, zero).arg(seconds, 2, 10, zero).arg(millis, 3, 10, zero);
}

QString FileSizeText(qint64 Size)
{
    if (Size < 0)
        Size = 0;
    // Kilobytes rounded half up, in integers so that sizes beyond 2 GiB keep every digit.
    const qint64 kilobytes = Size / 1024 + (Size % 1024 >= 512 ? 1 : 0);
    return QLocale().toString(kilobytes) + QStringLiteral(" KB");
}

QString WaveTypeText(const TWaveInfo& WaveInfo)
{
    const char* name = "";
    switch (WaveInfo.FormatTag) {
    case 0x0000:
        name = "Unknown";
        break;
    case 0x0001:
        name = "Microsoft PCM";
        break;
    case 0x0002:
        name = "Microsoft ADPCM";
        break;
    case 0x0005:
        name = "IBM wave";
        break;
    case 0x0006:
        name = "Microsoft ALAW";
        break;
    case 0x0007:
        name = "Microsoft MULAW";
        break;
    case 0x0010:
        name = "OKI ADPCM";
        break;
    case 0x0011:
        name = "Intel ADPCM";
        break;
    case 0x0012:
        name = "Videologic ADPCM";
        break;
    case 0x0013:
        name = "Sierra ADPCM";
        break;
    case 0x0014:
        name = "Antex ADPCM";
        break;
    case 0x0015:
        name = "DSP wave";
        break;
    case 0x0016:
        name = "DSP wave";
        break;
    case 0x0020:
        name = "Yamaha ADPCM";
        break;
    case 0x0021:
        name = "Speech Compression";
        break;
    case 0x0022:
        name = "DSP Truespeech";
        break;
    case 0x0023:
        name = "Echo Speech wave";
        break;
    case 0x0024:
        name = "Audiofile 36 wave";
        break;
    case 0x0025:
        name = "APT wave";
        break;
    case 0x0026:
        name = "Audiofile 10 wave";
        break;
    case 0x0030:
        name = "Dolby AC2 wave";
        break;
    case 0x0031:
        name = "Microsoft GSM";
        break;
    case 0x0033:
        name = "Antex ADPCME";
        break;
    case 0x0034:
        name = "CRL wave";
        break;
    case 0x0035:
        name = "DSP wave";
        break;
    case 0x0036:
        name = "DSP ADPCM";
        break;
    case 0x0037:
        name = "CRL wave";
        break;
    case 0x0038:
        name = "NMS ADPCM";
        break;
    case 0x0040:
        name = "Antex ADPCM";
        break;
    case 0x0050:
        name = "Microsoft MPEG";
        break;
    case 0x0200:
        name = "Creative ADPCM";
        break;
    case 0x0300:
        name = "Fujitsu wave";
        break;
    case 0x1000:
    case 0x1001:
    case 0x1002:
    case 0x1003:
    case 0x1004:
        name = "Olivetti wave";
        break;
    default:
        break;
    }
    return QString::fromLatin1(name);
}
