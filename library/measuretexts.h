// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sound's measures as the property window shows them, beside the details of its header.

#include <QString>
#include <string>
#include <vector>

namespace library {

/// The labels of the measures' rows: loudness, peak, tempo, key and pitch.
std::vector<QString> measureLabels();

/// The texts of a file's measures, in the order of measureLabels(): from the measures cache, else measured
/// now (and then kept). Empty when the file cannot be measured. Slow: call it away from the window.
std::vector<QString> measureTexts(const std::string& native);

} // namespace library
