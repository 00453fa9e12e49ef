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
// that folder and cut to fit a file name). Items of one copy that share a name are all copied,
// the later ones as "name (2).ext", "name (3).ext", ... A file of an item's name that was there
// before is the user's: it is left alone and the item is skipped. Each copy is written under
// a temporary name and then moved into place without replacing anything, so a failed or
// cancelled copy leaves no half file; no link is followed, neither in the sub-folder's place
// nor in a file's.
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
        // A stop request ended the copying before every item was copied.
        bool stopped = false;
    };

    // Creates folder/subfolder (with missing parents of the folder) unless it is a folder
    // already, and copies the items into it in order. A link in the sub-folder's place is no
    // folder: nothing is copied. With no item, the sub-folder is created only when
    // createWhenEmpty. A stop request ends the copying, also within a large file.
    static Result CopyInto(const std::string& folder, const std::string& subfolder,
                           const std::vector<Item>& items, bool createWhenEmpty,
                           std::stop_token stop = {}, const ItemDone& itemDone = {});

    // Copies one regular file to target unless something is there already: Written,
    // AlreadyThere, or Failed (source missing or not a regular file, write error, stopped).
    static ExportStatus CopyFileWithoutReplacing(const std::string& source,
                                                 const std::string& target,
                                                 std::stop_token stop = {});
};
