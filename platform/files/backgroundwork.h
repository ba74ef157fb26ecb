// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work that yields to the user's: measuring a whole library must not make the window or the sound
// stutter, nor keep the disk from serving the file being played.

namespace platform {

/// Lowers the calling thread's processor priority (nice 10) and puts its disk requests in the idle
/// class, where the kernel serves them when nothing else asks. Only this thread is affected.
void lowerThreadPriority();

} // namespace platform
