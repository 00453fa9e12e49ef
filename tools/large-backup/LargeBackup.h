#pragma once

#include <cstdint>
#include <filesystem>

// A backup with one big messages database, the kind a phone used for years holds: for measuring
// a scan, not for trying the program out. The iOS 9 message table with its handles, chats and
// joins, rows of realistic length and mix (short replies, long texts, non-ASCII, codes), then
// about a quarter of the messages deleted, scattered and in runs, the way they leave freeblocks
// and free pages behind. The same options give the same file.
namespace largebackup {

struct LargeBackupOptions {
    // The messages written before the deletions; 300,000 make a database of about 110 MB.
    std::int64_t messages = 300000;
    std::int32_t partners = 400;
    // Deletes every other message (the even row ids) in place of the scattered ones and the
    // runs: half the file's cells become freeblocks, the hardest case for the carving's memory.
    bool deleteEveryOther = false;
};

struct LargeBackupContents {
    std::filesystem::path folder;
    std::filesystem::path messagesDatabase;
    std::int64_t existing = 0;
    std::int64_t deleted = 0;
};

// Writes the backup into `folder` (created when missing; a messages database there is replaced).
LargeBackupContents WriteLargeBackup(const std::filesystem::path& folder,
                                     const LargeBackupOptions& options = {});

}  // namespace largebackup
