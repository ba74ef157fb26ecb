// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/logging.h"

namespace library {

Q_LOGGING_CATEGORY(lcLibrary, "tonfolio.library", QtWarningMsg)

} // namespace library
