// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logging category of the sound library, "tonfolio.library". Quiet by default: warnings of real failures
// only; QT_LOGGING_RULES="tonfolio.library.debug=true" shows what it does as well.

#include <QLoggingCategory>

namespace library {

Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

} // namespace library
