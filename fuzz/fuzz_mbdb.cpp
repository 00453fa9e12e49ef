// The reader of an older backup's file list (Manifest.mbdb) over fuzzed bytes: every record it
// accepts, with its properties and backup file name.

#include "legacy/ParseMbdb.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto records = ParseMbdb::ProcessMbdbData(FileBytes(data, size), &error);
    if (!records) {
        // A refused file always says why.
        if (error.empty()) std::abort();
        return 0;
    }
    std::size_t total = 0;
    for (const auto& record : *records) {
        if (record->strHash.size() != 40 || record->RecordType < 1 || record->RecordType > 6) std::abort();
        if (record->intStartOffset < 6 || static_cast<std::size_t>(record->intStartOffset) >= size) std::abort();
        total += record->Domain.size() + record->FileName.size() + record->strlinkTarget.size();
        if (record->dicProperties)
            for (const auto& [name, value] : *record->dicProperties) total += name.size() + value.size();
    }
    (void)total;
    return 0;
}
