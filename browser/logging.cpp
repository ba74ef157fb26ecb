// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/logging.h"

namespace browser {

Q_LOGGING_CATEGORY(lcBrowser, "tonfolio.browser", QtWarningMsg)

} // namespace browser
