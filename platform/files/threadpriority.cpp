// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/threadpriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace platform {

void lowerThreadPriority()
{
    // A niceness of 10: the thread still gets a fair share of an idle machine.
    ::setpriority(PRIO_PROCESS, ::gettid(), 10);
}

} // namespace platform
