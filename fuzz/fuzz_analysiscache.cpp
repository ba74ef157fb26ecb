// SPDX-License-Identifier: GPL-3.0-or-later
// The measures cache opening a file of any bytes: a damaged or foreign file is set aside and a new one
// made, and reading and storing never do harm, whatever the file held.
#include "library/analysiscache.h"

#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/analysis.sqlite";
    for (const char* suffix :
         {"", "-wal", "-shm", "-journal", ".damaged", ".damaged-wal", ".damaged-shm", ".damaged-journal"})
        std::remove((file + suffix).c_str());
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        if (size > 0)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    library::AnalysisCache cache(file, 4);
    // Either the file serves, or the user is told why not.
    if (!cache.isOpen() && cache.notice().empty())
        std::abort();
    const platform::FileIdentity a{1, 2, 3, 4}, b{1, 3, 3, 4}, far{2, ~std::uint64_t(0), 3, 4};
    (void)cache.find({a, b, far, a});
    library::SoundAnalysis m;
    m.loudness = -23;
    m.peak = -HUGE_VAL;
    cache.store({{a, m}, {far, m}});
    (void)cache.find({far, a});
    (void)cache.entryCount();
    return 0;
}
