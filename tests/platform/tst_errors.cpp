// SPDX-License-Identifier: GPL-3.0-or-later
// Error codes and the words a user reads for them.
#include "platform/types.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(ErrorText, EveryFailureOfTheSystemHasItsOwnWords)
{
    // What the file calls meet on Linux, and the text each is told with.
    const struct {
        int err;
        const char* text;
    } cases[] = {
        {ENOENT, "The system cannot find the file specified."},
        {ENOTDIR, "The system cannot find the path specified."},
        {EACCES, "Access is denied."},
        {EROFS, "The media is write protected."},
        {EEXIST, "Cannot create a file when that file already exists."},
        {ENOTEMPTY, "The directory is not empty."},
        {EXDEV, "The system cannot move the file to a different disk drive."},
        {ENOSPC, "There is not enough space on the disk."},
        {EDQUOT, "There is not enough space on the disk."},
        {ENAMETOOLONG, "The filename or extension is too long."},
        {ENOMEM, "Not enough memory is available to complete this operation."},
        {EBUSY, "The file is being used by another process."},
        {EINVAL, "The parameter is incorrect."},
        {ENOMEDIUM, "The device is not ready."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        EXPECT_EQ(errorText(errorFromErrno(c.err)), c.text);
    }
    // A code without words of its own still tells which it is.
    EXPECT_EQ(errorText(4242), "An unexpected error occurred (code 4242).");
}

} // namespace
