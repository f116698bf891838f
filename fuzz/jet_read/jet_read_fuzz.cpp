// Any bytes as a database: open, read the catalog, every table, long value
// and index. Only dorvane::Error may come out.

#include <cstdint>

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/format/page_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        (void)dorvane::jet::CheckDatabase(dorvane::jet::PageFile::FromMemory(dorvane::jet::Bytes(data, data + size)));
    } catch (const dorvane::Error&) {
        // damaged input is expected; it must only be reported
    }
    return 0;
}
