// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logging category of the player and the file operation, "tonfolio.components". Quiet by
// default: warnings of real failures only; QT_LOGGING_RULES="tonfolio.components.debug=true" shows
// what they do as well.

#include <QLoggingCategory>

namespace components {

Q_DECLARE_LOGGING_CATEGORY(lcComponents)

} // namespace components
