// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sound's measures as text: as the wave list's cells show them, and as the property window shows them
// beside the details of its header.

#include "library/searchquery.h"
#include "library/soundanalysis.h"

#include <QString>
#include <string>
#include <vector>

namespace library {

/// One measure as a cell shows it ("-14.2 LUFS", "-inf dBFS", "120.0 BPM", "A4 +3", "A minor"); empty
/// when the sound has no such measure.
QString measureText(const SoundAnalysis& measures, Measure which);

/// The labels of the measures' rows: loudness, peak, tempo, key and pitch.
std::vector<QString> measureLabels();

/// The texts of a file's measures, in the order of measureLabels(): from the measures cache, else measured
/// now (and then kept). Empty when the file cannot be measured. Slow: call it away from the window.
std::vector<QString> measureTexts(const std::string& native);

} // namespace library
