// SPDX-License-Identifier: GPL-3.0-or-later
#include "dirtree/logging.h"

namespace dirtree {

Q_LOGGING_CATEGORY(lcDirTree, "tonfolio.dirtree", QtWarningMsg)

} // namespace dirtree
