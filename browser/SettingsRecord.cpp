// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/SettingsRecord.h"

#include "platform/settings/registry.h"

using namespace platform;

namespace {

const char* const kSettingsKey = "Software\\Varnholt\\Tonfolio";

std::optional<bool> readFlag(HKEY key, const char* name)
{
    const auto value = regReadDword(key, name);
    return value ? std::optional<bool>(*value != 0) : std::nullopt;
}

void writeDword(HKEY key, const char* name, const std::optional<std::int32_t>& value)
{
    if (value)
        regWriteDword(key, name, *value);
}

void writeFlag(HKEY key, const char* name, const std::optional<bool>& value)
{
    if (value)
        regWriteDword(key, name, *value ? 1 : 0);
}

void writeString(HKEY key, const char* name, const std::optional<std::string>& value)
{
    if (value)
        regWriteString(key, name, *value);
}

} // namespace

SettingsRecord SettingsRecord::load()
{
    const SettingsKey key(HKEY_CURRENT_USER, kSettingsKey);
    const HKEY k = key.get();
    SettingsRecord r;
    r.playLooped = readFlag(k, "PlayLooped");
    r.lastDir = regReadString(k, "LastDir");
    r.displayFiles = regReadDword(k, "DisplayFiles");
    r.playSingle = readFlag(k, "PlaySingle");
    r.left = regReadDword(k, "Left");
    r.top = regReadDword(k, "Top");
    r.height = regReadDword(k, "Height");
    r.width = regReadDword(k, "Width");
    r.measureColumns = regReadDword(k, "MeasureColumns");
    r.sortColumn = regReadDword(k, "SortColumn");
    r.sortDescending = readFlag(k, "SortDescending");
    r.previewVolume = regReadDword(k, "PreviewVolume");
    r.outputDevice = regReadString(k, "OutputDevice");
    r.playOnSelect = readFlag(k, "PlayOnSelect");
    r.matchLoudness = readFlag(k, "MatchLoudness");
    r.showWaveform = readFlag(k, "ShowWaveform");
    r.libraryScope = readFlag(k, "LibraryScope");
    r.waveformHeight = regReadDword(k, "WaveformHeight");
    r.likeTimbre = regReadDword(k, "LikeTimbre");
    r.likePitch = regReadDword(k, "LikePitch");
    r.likeEnvelope = regReadDword(k, "LikeEnvelope");
    r.likeScope = regReadDword(k, "LikeScope");
    return r;
}

void SettingsRecord::save() const
{
    const SettingsKey key(HKEY_CURRENT_USER, kSettingsKey);
    const HKEY k = key.get();
    writeFlag(k, "PlayLooped", playLooped);
    writeString(k, "LastDir", lastDir);
    writeFlag(k, "PlaySingle", playSingle);
    writeDword(k, "MeasureColumns", measureColumns);
    writeDword(k, "SortColumn", sortColumn);
    writeFlag(k, "SortDescending", sortDescending);
    writeDword(k, "Top", top);
    writeDword(k, "Left", left);
    writeDword(k, "Height", height);
    writeDword(k, "Width", width);
    writeDword(k, "DisplayFiles", displayFiles);
    writeDword(k, "PreviewVolume", previewVolume);
    writeString(k, "OutputDevice", outputDevice);
    writeFlag(k, "PlayOnSelect", playOnSelect);
    writeFlag(k, "MatchLoudness", matchLoudness);
    writeFlag(k, "ShowWaveform", showWaveform);
    writeFlag(k, "LibraryScope", libraryScope);
    writeDword(k, "WaveformHeight", waveformHeight);
    writeDword(k, "LikeTimbre", likeTimbre);
    writeDword(k, "LikePitch", likePitch);
    writeDword(k, "LikeEnvelope", likeEnvelope);
    writeDword(k, "LikeScope", likeScope);
}
