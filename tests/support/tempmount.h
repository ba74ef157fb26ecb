// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh tmpfs mounted on a temporary folder: a second file system that a test can also unmount.

#include <QTemporaryDir>
#include <string>

namespace testing_support {

class TempMount {
public:
    /// Mounting needs privileges; mounted() tells whether it worked.
    TempMount();
    /// Unmounts (detaching, if something still holds it) and removes the folder.
    ~TempMount();
    TempMount(const TempMount&) = delete;
    TempMount& operator=(const TempMount&) = delete;

    bool mounted() const { return mounted_; }
    /// The mount point (no trailing '/').
    std::string path() const;
    /// Unmounts now, as a user's umount would: fails (errno EBUSY) while anything is held open on it.
    bool unmount();

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

} // namespace testing_support
