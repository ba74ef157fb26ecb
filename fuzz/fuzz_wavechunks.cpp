// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the metadata reader of wave files and checks what it keeps: loops and
// markers inside the sound, texts of bounded length.
#include "waves/WaveMetadata.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const WaveMetadata m = readWaveMetadata(reinterpret_cast<const char*>(data), size);
    for (const WaveLoop& l : m.loops)
        if (!m.framesKnown || l.start > l.end || l.end >= m.frames)
            std::abort();
    for (const WaveCue& c : m.cues)
        if (!m.framesKnown || c.offset > m.frames)
            std::abort();
    // Texts are trimmed, never empty in the property list, and never longer than the bytes they came from.
    for (const auto& named : m.namedTexts()) {
        const QString& text = named.second;
        if (text.isEmpty() || text != text.trimmed())
            std::abort();
        if (named.first != QLatin1String("Markers") && named.first != QLatin1String("Loops") && text.size() > qsizetype(size))
            std::abort();
    }
    if (m.descriptionText().size() > qsizetype(size))
        std::abort();
    return 0;
}
