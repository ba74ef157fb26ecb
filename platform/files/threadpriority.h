// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Background threads that read files for pictures or measures give way to the window's.

namespace platform {

/// Makes the calling thread give way to others, such as the window's, when processors are scarce.
void lowerThreadPriority();

} // namespace platform
