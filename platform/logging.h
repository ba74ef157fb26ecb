// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A logging category per room of the system layer. Quiet by default: only warnings, of real failures
// that the program goes on from; QT_LOGGING_RULES="tonfolio.platform.files.debug=true" (or
// "tonfolio.*.debug=true") shows what a room does as well.

#include <QLoggingCategory>
#include <exception>
#include <string>

namespace platform {

Q_DECLARE_LOGGING_CATEGORY(lcFiles)    ///< tonfolio.platform.files
Q_DECLARE_LOGGING_CATEGORY(lcShell)    ///< tonfolio.platform.shell
Q_DECLARE_LOGGING_CATEGORY(lcSound)    ///< tonfolio.platform.sound
Q_DECLARE_LOGGING_CATEGORY(lcSettings) ///< tonfolio.platform.settings
Q_DECLARE_LOGGING_CATEGORY(lcVersion)  ///< tonfolio.platform.version

/// What a caught exception says, for a log: its what(), or that it was no std::exception.
std::string exceptionText(const std::exception_ptr& caught);

} // namespace platform
