// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempmount.h"

#include <sys/mount.h>

namespace testing_support {

TempMount::TempMount()
{
    mounted_ = dir_.isValid() &&
               ::mount("tonfolio-test", path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16m,mode=0755") == 0;
}

TempMount::~TempMount()
{
    if (mounted_)
        ::umount2(path().c_str(), MNT_DETACH);
}

std::string TempMount::path() const
{
    return dir_.path().toStdString();
}

bool TempMount::unmount()
{
    if (!mounted_ || ::umount2(path().c_str(), 0) != 0)
        return false;
    mounted_ = false;
    return true;
}

} // namespace testing_support
