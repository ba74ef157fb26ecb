// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the wave readers: entering the RIFF or RF64 form of an open file, shared by the header
// reader and the metadata reader so that both walk the chunks the same way.

#include "platform/sound/mmio.h"
#include "waves/W32Waves.h"

#include <QtGlobal>

namespace waves_detail {

/// Closes the file on every way out of a reader.
class MmioCloser {
public:
    explicit MmioCloser(platform::HMMIO mmio) : mmio_(mmio) {}
    ~MmioCloser() { platform::mmioClose(mmio_, 0); }
    MmioCloser(const MmioCloser&) = delete;
    MmioCloser& operator=(const MmioCloser&) = delete;

private:
    platform::HMMIO mmio_;
};

/// Enters the RIFF/WAVE or RF64/WAVE form from the start of the file (where it seeks first): the
/// file then stands at the form's first chunk. rf64DataSize is the ds64 size of an RF64 data chunk
/// (0 otherwise). False for any other file.
bool enterWaveForm(platform::HMMIO mmio, platform::MMCKINFO& form, bool& rf64, quint64& rf64DataSize);

/// ReadWaveInfo on a file already open.
bool readWaveInfoFrom(platform::HMMIO mmio, TWaveInfo& info);

} // namespace waves_detail
