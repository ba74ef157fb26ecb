// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/backgroundwork.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// From linux/ioprio.h, which not every system's headers carry.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;
constexpr int kNiceness = 10;

} // namespace

void lowerThreadPriority()
{
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    // On Linux both apply to the one thread named; failing leaves it as it was, which is no harm.
    ::setpriority(PRIO_PROCESS, thread, kNiceness);
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, int(thread), kIoprioClassIdle << kIoprioClassShift);
}

} // namespace platform
