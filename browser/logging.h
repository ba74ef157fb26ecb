// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logging category of the main window, "tonfolio.browser". Quiet by default: warnings of real failures
// only; QT_LOGGING_RULES="tonfolio.browser.debug=true" shows what it does as well.

#include <QLoggingCategory>

namespace browser {

Q_DECLARE_LOGGING_CATEGORY(lcBrowser)

} // namespace browser
