// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/logging.h"

namespace components {

Q_LOGGING_CATEGORY(lcComponents, "tonfolio.components", QtWarningMsg)

} // namespace components
