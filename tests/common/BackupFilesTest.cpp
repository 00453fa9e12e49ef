#include "common/BackupFiles.h"

#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using testsupport::TempDir;

// Reading a backup never leaves it: a file reached through a link that leads out of the backup
// folder (the file itself, or its two-digit sub-folder) is not the backup's; a link that stays
// inside is followed.
TEST(BackupFiles, ALinkOutOfTheBackupIsNotFollowed) {
    TempDir dir;
    const fs::path backup = dir / "backup";
    const fs::path outside = dir / "outside";
    fs::create_directories(backup);
    fs::create_directories(outside / "cc");
    const std::string plain(40, 'a'), linkedOut(40, 'b'), linkedIn(40, 'd'),
        shardOut = "cc" + std::string(38, 'c');
    std::ofstream(backup / plain) << "mine";
    std::ofstream(outside / "secret") << "not the backup's";
    std::ofstream(outside / "cc" / shardOut) << "not the backup's";
    std::ofstream(backup / "real") << "mine too";
    fs::create_symlink(outside / "secret", backup / linkedOut);
    fs::create_symlink("real", backup / linkedIn);
    fs::create_directory_symlink(outside / "cc", backup / "cc");

    const std::string folder = backup.string();
    EXPECT_EQ(BackupFiles::locate(folder, plain), (backup / plain).string());
    EXPECT_EQ(BackupFiles::locate(folder, linkedIn), (backup / linkedIn).string());
    EXPECT_EQ(BackupFiles::locate(folder, linkedOut), std::nullopt);
    EXPECT_EQ(BackupFiles::locate(folder, shardOut), std::nullopt);
    EXPECT_FALSE(BackupFiles::holdsNonEmpty(folder, linkedOut));
    EXPECT_FALSE(BackupFiles::staysInside(folder, (outside / "secret").string()));
    EXPECT_FALSE(BackupFiles::staysInside(folder, (backup / "missing").string()));
}
