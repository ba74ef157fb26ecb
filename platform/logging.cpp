// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/logging.h"

namespace platform {

Q_LOGGING_CATEGORY(lcFiles, "tonfolio.platform.files", QtWarningMsg)
Q_LOGGING_CATEGORY(lcShell, "tonfolio.platform.shell", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSound, "tonfolio.platform.sound", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "tonfolio.platform.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVersion, "tonfolio.platform.version", QtWarningMsg)

std::string exceptionText(const std::exception_ptr& caught)
{
    if (!caught)
        return "no exception";
    try {
        std::rethrow_exception(caught);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an exception that is no std::exception";
    }
}

} // namespace platform
