// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target of the favourites and tags file read by --import-tags: any bytes give records or problems
// with line numbers that only grow, and each record read is written back as it was read.
#include "library/tagscsv.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    library::TagsCsvReader reader(text);
    library::TagsCsvLine line;
    int last = 0;
    while (reader.next(line)) {
        if (line.line < last || (line.file.has_value() == !line.problem.isEmpty()))
            std::abort();
        last = line.line;
        if (!line.file)
            continue;
        // What was read reads back the same.
        const std::string again = library::tagsCsvRecord(*line.file);
        library::TagsCsvReader echo(again);
        library::TagsCsvLine back;
        if (!echo.next(back) || !back.file || back.file->path != line.file->path ||
            back.file->marks.favourite != line.file->marks.favourite || back.file->marks.tags != line.file->marks.tags)
            std::abort();
    }
    return 0;
}
