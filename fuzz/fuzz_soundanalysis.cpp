// SPDX-License-Identifier: GPL-3.0-or-later
// Measures a wave file made from fuzzed format fields (rate, channels, encoding) and samples, or any
// RIFF or RF64 bytes: whatever the header says, measuring ends, and every measure is a number, absent,
// or minus infinity for digital silence.
#include "fuzz/scratchdrive.h"
#include "library/soundanalysis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzzing::ScratchDrive& drive = fuzzing::ScratchDrive::get("tonfolio-fuzz-soundanalysis-");
    const std::string wave = fuzzing::waveFromFields(data, size);
    drive.writeInput(wave.data(), wave.size());
    const auto measures = library::analyseSound(fuzzing::ScratchDrive::kInput);
    drive.removeInput();
    if (measures && !library::measuresAreValid(*measures))
        std::abort();
    return 0;
}
