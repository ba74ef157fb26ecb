// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/measuretexts.h"

#include "library/analysiscache.h"
#include "library/musicalkey.h"
#include "library/soundanalysis.h"
#include "platform/files/fileidentity.h"
#include "platform/files/nativepath.h"

#include <cmath>

namespace library {

namespace {

QString decibelText(double v, const char* unit)
{
    if (std::isnan(v))
        return "None";
    return std::isinf(v) ? QString("-inf %1").arg(unit) : QString("%1 %2").arg(v, 0, 'f', 1).arg(unit);
}

/// The measures of a file as the cache holds them, else as measuring finds them (and then kept).
std::optional<SoundAnalysis> measuresOf(const std::string& drivePath)
{
    const auto id = platform::fileIdentity(drivePath);
    if (!id)
        return std::nullopt;
    AnalysisCache cache;
    if (auto known = cache.find({*id}).front())
        return known;
    auto measured = analyseSound(drivePath);
    if (measured)
        cache.store({{*id, *measured}});
    return measured;
}

} // namespace

std::vector<QString> measureLabels()
{
    return {"Loudness", "Peak", "Tempo", "Key", "Pitch"};
}

std::vector<QString> measureTexts(const std::string& native)
{
    const std::string drivePath = platform::drivePathOf(native);
    const auto m = drivePath.empty() ? std::nullopt : measuresOf(drivePath);
    if (!m)
        return {};
    std::vector<QString> texts(5, "None");
    texts[0] = decibelText(m->loudness, "LUFS");
    if (m->wholeSoundLoudness)
        texts[0] += " (whole sound)";
    texts[1] = decibelText(m->peak, "dBFS");
    if (!std::isnan(m->tempo))
        texts[2] = QString("%1 BPM").arg(m->tempo, 0, 'f', 1);
    if (m->key)
        texts[3] = QString("%1 (%2)").arg(QString::fromStdString(m->key->name()), QString::fromStdString(m->key->camelot()));
    if (!std::isnan(m->pitch))
        texts[4] = QString::fromStdString(pitchName(m->pitch));
    return texts;
}

} // namespace library
