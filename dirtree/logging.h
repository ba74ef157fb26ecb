// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logging category of the folder tree, "tonfolio.dirtree". Quiet by default: warnings of real failures
// only; QT_LOGGING_RULES="tonfolio.dirtree.debug=true" shows what it does as well.

#include <QLoggingCategory>

namespace dirtree {

Q_DECLARE_LOGGING_CATEGORY(lcDirTree)

} // namespace dirtree
