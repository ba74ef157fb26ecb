// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the wave header reader as a file on a temporary drive C:, and renders the
// row texts of whatever it read.
#include "fuzz/scratchdrive.h"
#include "waves/W32Waves.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzzing::ScratchDrive& drive = fuzzing::ScratchDrive::get("tonfolio-fuzz-wave-");
    drive.writeInput(data, size);
    TWaveInfo w;
    const bool valid = ReadWaveInfo(fuzzing::ScratchDrive::kInput, w);
    drive.removeInput();
    if (valid != w.Valid || (!valid && (w.DataSize != 0 || w.Length != 0)))
        std::abort();
    if (w.Length < 0)
        std::abort();
    const QString row = WaveFormatText(w) + WaveLengthText(w) + FileSizeText(qint64(size)) + WaveTypeText(w);
    if (row.isEmpty())
        std::abort();
    return 0;
}
