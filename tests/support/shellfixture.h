// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A test drive C: with scripted dialogs and a private trash: deletions with undo land in a temporary
// $XDG_DATA_HOME, never in the user's own trash.

#include "platform/shell/dialogs.h"
#include "platform/shell/shell.h"
#include "support/tempdrive.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace testing_support {

/// Joins names into a NUL-separated list ending in two NULs.
std::string nulList(const std::vector<std::string>& names);

/// Sets the FS_IMMUTABLE_FL flag of a path for its lifetime, so that even root cannot change it.
class Immutable {
public:
    explicit Immutable(const std::string& native);
    ~Immutable();
    Immutable(const Immutable&) = delete;
    Immutable& operator=(const Immutable&) = delete;
    bool ok() const { return ok_; }

private:
    std::string path_;
    bool ok_ = false;
};

/// Points $XDG_DATA_HOME at a temporary folder for its lifetime, so that deletions with undo land in a
/// private trash. Every test that deletes through the shell needs one (or ShellFixture).
class PrivateTrash {
public:
    PrivateTrash();
    ~PrivateTrash();
    PrivateTrash(const PrivateTrash&) = delete;
    PrivateTrash& operator=(const PrivateTrash&) = delete;
    /// Native path of the trash folder (files/ and info/ below it).
    std::string dir() const;

private:
    QTemporaryDir data_;
    QByteArray oldData_;
    bool hadData_ = false;
};

class ShellFixture : public ::testing::Test {
protected:
    ShellFixture();
    ~ShellFixture() override;

    /// Runs one file operation; the request is kept in last.
    int run(platform::UINT func, const std::vector<std::string>& from, const std::vector<std::string>& to,
            platform::WORD flags, const std::string& title = {});
    /// Native path of the private home trash.
    std::string trashDir() const;

    TempDrive drive;
    PrivateTrash trash;
    platform::ScopedScriptedDialogs dialogs;
    platform::SHFILEOPSTRUCT last;
};

} // namespace testing_support
