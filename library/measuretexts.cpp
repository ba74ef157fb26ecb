// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/measuretexts.h"

#include "library/analysiscache.h"
#include "library/musicalkey.h"
#include "platform/files/fileidentity.h"
#include "platform/files/nativepath.h"

#include <cmath>

namespace library {

namespace {

QString decibels(double v, const char* unit)
{
    if (std::isinf(v))
        return QStringLiteral("-inf %1").arg(QLatin1String(unit));
    return QStringLiteral("%1 %2").arg(v, 0, 'f', 1).arg(QLatin1String(unit));
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

QString measureText(const SoundAnalysis& m, Measure which)
{
    switch (which) {
    case Measure::Loudness:
        return std::isnan(m.loudness) ? QString() : decibels(m.loudness, "LUFS");
    case Measure::Peak:
        return std::isnan(m.peak) ? QString() : decibels(m.peak, "dBFS");
    case Measure::Tempo:
        return std::isnan(m.tempo) ? QString() : QStringLiteral("%1 BPM").arg(m.tempo, 0, 'f', 1);
    case Measure::Pitch:
        return std::isnan(m.pitch) ? QString() : QString::fromStdString(pitchName(m.pitch));
    case Measure::Key:
        return m.key ? QString::fromStdString(m.key->name()) : QString();
    }
    return {};
}

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
    std::vector<QString> texts;
    for (const Measure which : {Measure::Loudness, Measure::Peak, Measure::Tempo, Measure::Key, Measure::Pitch}) {
        const QString text = measureText(*m, which);
        texts.push_back(text.isEmpty() ? QStringLiteral("None") : text);
    }
    if (m->wholeSoundLoudness)
        texts[0] += " (whole sound)";
    if (m->key)
        texts[3] += QStringLiteral(" (%1)").arg(QString::fromStdString(m->key->camelot()));
    return texts;
}

} // namespace library
