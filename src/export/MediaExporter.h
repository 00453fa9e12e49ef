#pragma once

#include "common/Types.h"
#include "export/Exporter.h"

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

// Copies photo and video files out of the working folder into a sub-folder ("Photos",
// "Videos") of an export folder, each under the item's own file name (made safe to stand in
// that folder). A file of that name already there is the user's: it is left alone and the
// item is skipped. Each copy is written under a temporary name and then moved into place
// without replacing anything, so a failed or cancelled copy leaves no half file.
class MediaExporter {
public:
    struct Item {
        OptString sourcePath;
        OptString fileName;
    };

    // Called after each item with the number of items done so far.
    using ItemDone = std::function<void(std::size_t done)>;

    struct Result {
        // One per item copied or tried; a single Failed entry for the sub-folder when it
        // cannot be created (and then no copy).
        std::vector<ExportEntry> entries;
        // A stop request ended the copying before every item was tried.
        bool stopped = false;
    };

    // Creates folder/subfolder (with missing parents) and copies the items into it in order.
    // With no item, the sub-folder is created only when createWhenEmpty. A stop request ends
    // the copying between two items.
    static Result CopyInto(const std::string& folder, const std::string& subfolder,
                           const std::vector<Item>& items, bool createWhenEmpty,
                           std::stop_token stop = {}, const ItemDone& itemDone = {});

    // Copies one regular file to target unless something is there already: Written,
    // AlreadyThere, or Failed (source missing or not a regular file, write error).
    static ExportStatus CopyFileWithoutReplacing(const std::string& source,
                                                 const std::string& target);
};
