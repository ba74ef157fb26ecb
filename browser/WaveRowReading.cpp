// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WaveRowReading.h"

#include "dirtree/FileRoutines.h"
#include "platform/shell/shellinfo.h"
#include "waves/WaveMetadata.h"

#include <map>
#include <tuple>
#include <utility>

namespace {

/// The format and type texts of a header. A folder holds few formats, so each text is made once per
/// thread and shared by the rows that show it: quicker, and a row costs less memory.
std::pair<QString, QString> formatAndType(const TWaveInfo& info)
{
    using Key = std::tuple<bool, quint16, quint16, quint32, quint16>;
    thread_local std::map<Key, std::pair<QString, QString>> made;
    const Key key{info.Valid, info.FormatTag, info.Channels, info.SamplesPerSec, info.BitsPerSample};
    auto it = made.find(key);
    if (it == made.end()) {
        if (made.size() >= 256) // a folder of odd files must not grow it without end
            made.clear();
        it = made.emplace(key, std::make_pair(WaveFormatText(info), WaveTypeText(info))).first;
    }
    return it->second;
}

} // namespace

HeaderTexts readHeaderTexts(const std::string& path)
{
    TWaveInfo info;
    WaveMetadata metadata;
    readWaveInfoAndMetadata(path, info, metadata);
    HeaderTexts h = headerTextsOf(info);
    h.description = metadata.descriptionText();
    h.loops = quint32(metadata.loops.size());
    h.fileTexts = metadata.searchText();
    return h;
}

HeaderTexts headerTextsOf(const TWaveInfo& info)
{
    auto [format, type] = formatAndType(info);
    HeaderTexts h;
    h.texts = {std::move(format), WaveLengthText(info), std::move(type)};
    h.info = info;
    return h;
}

WaveRow listedRow(const std::string& fileName, qint64 bytes)
{
    WaveRow row;
    row.fileName = fileName;
    row.name = lowerAscii(fileName);
    row.caption = waveCaptionText(row.name);
    row.bytes = bytes;
    row.texts[2] = FileSizeText(row.bytes);
    return row;
}

void takeHeader(WaveRow& row, HeaderTexts header)
{
    row.texts[0] = std::move(header.texts[0]);
    row.texts[1] = std::move(header.texts[1]);
    row.texts[3] = std::move(header.texts[2]);
    row.headerRead = header.info.Valid;
    row.channels = header.info.Channels;
    row.bits = header.info.BitsPerSample;
    row.rate = header.info.SamplesPerSec;
    row.seconds = double(header.info.Length);
    row.description = std::move(header.description);
    row.loops = header.loops;
    row.fileTexts = std::move(header.fileTexts);
}

QIcon waveFileIcon(const std::string& path)
{
    platform::SHFILEINFO info;
    if (platform::SHGetFileInfo(path, 0, &info, platform::SHGFI_ICON | platform::SHGFI_LARGEICON) &&
        !info.hIcon.isNull())
        return info.hIcon;
    // Without an icon from the desktop, the program's speaker stands for wave files.
    return QIcon(":/browser/allwaves.xpm");
}
