// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A temporary folder that serves as drive C: (and optionally more drives) for one test.

#include "platform/files/drives.h"

#include <QTemporaryDir>
#include <string>
#include <vector>

namespace testing_support {

class TempDrive {
public:
    /// Makes a fresh folder and installs it as drive C: (fixed, label "SYSTEM", serial 0x1234ABCD).
    TempDrive();
    /// Restores the system's drive table.
    ~TempDrive();

    /// Native path of the temporary root (no trailing '/').
    std::string root() const;
    /// Native path of a relative path below the root ("a/b.wav").
    std::string native(const std::string& rel) const;

    /// Creates folders (like mkdir -p) below the root.
    void mkdirs(const std::string& rel) const;
    /// Writes bytes to a file below the root, creating folders on the way.
    void write(const std::string& rel, const std::string& bytes) const;
    /// Reads a whole file below the root.
    std::string read(const std::string& rel) const;
    bool exists(const std::string& rel) const;

    /// Replaces the drive table with C: plus the given extra drives.
    void setDrives(const std::vector<platform::DriveInfo>& extra) const;

private:
    QTemporaryDir dir_;
};

/// Bytes of a canonical PCM WAV file with the given format and frame count (silence or a sine).
std::string makeWav(int channels, int rate, int bits, int frames, double toneHz = 0.0);
/// Bytes of a 16-bit PCM WAV file of interleaved samples (-1..1, clipped beyond).
std::string makeWavOf(const std::vector<float>& samples, int rate, int channels);

} // namespace testing_support
