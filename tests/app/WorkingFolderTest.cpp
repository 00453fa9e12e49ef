#include "app/WorkingFolder.h"
#include "common/AppPaths.h"

#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

unsigned Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

}  // namespace

TEST(WorkingFolder, IsAPrivateFolderOfItsOwnInTheCacheAndGoesAwayWithTheProgram) {
    TempDir cache;
    AppPaths::setCacheDirectory((cache / "torvane").string());
    std::string first, second;
    {
        WorkingFolder a;
        WorkingFolder b;
        first = a.path();
        second = b.path();
        ASSERT_TRUE(a.isUsable());
        EXPECT_EQ(fs::path(first).parent_path(), cache / "torvane" / "work");
        EXPECT_NE(first, second);  // two instances never share their copies
        EXPECT_EQ(Mode(first), 0700u);
        EXPECT_EQ(Mode(cache / "torvane" / "work"), 0700u);
    }
    AppPaths::setCacheDirectory(std::nullopt);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_TRUE(fs::exists(cache / "torvane" / "work"));
}

TEST(WorkingFolder, RecreateEmptiesItWithoutReachingOutside) {
    TempDir dir;
    fs::create_directories(dir / "outside");
    std::ofstream(dir / "outside" / "keep.txt") << "mine";

    WorkingFolder folder((dir / "work").string());
    ASSERT_TRUE(folder.recreate());
    std::ofstream(folder.photosDirectory() + "/IMG_1.JPG") << "old copy";
    fs::create_directory_symlink(dir / "outside", fs::path(folder.path()) / "link");

    ASSERT_TRUE(folder.recreate());
    EXPECT_FALSE(fs::exists(folder.photosDirectory() + "/IMG_1.JPG"));
    EXPECT_FALSE(fs::is_symlink(fs::path(folder.path()) / "link"));
    EXPECT_TRUE(fs::exists(dir / "outside" / "keep.txt"));  // the link went, not its target
    for (const std::string& sub :
         {folder.photosDirectory(), folder.videosDirectory(), folder.extractDirectory()}) {
        EXPECT_TRUE(fs::is_directory(sub)) << sub;
        EXPECT_EQ(Mode(sub), 0700u) << sub;
    }

    folder.clear();
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(WorkingFolder, AnUnusableBaseGivesAnUnusableFolder) {
    TempDir dir;
    std::ofstream(dir / "file") << "x";  // a file where the folder should be
    WorkingFolder folder((dir / "file").string());
    EXPECT_FALSE(folder.isUsable());
    EXPECT_FALSE(folder.recreate());
}

// Working folders of runs that ended without tidying up (killed, crashed) are removed when the
// next one is made; those of running processes stay, whoever they belong to.
TEST(WorkingFolder, LeftoversOfEndedRunsAreRemovedAtStart) {
    TempDir dir;
    const fs::path base = dir / "work";
    fs::create_directories(base);
    const auto folderWithCopy = [&](const std::string& name) {
        fs::create_directories(base / name / "Photos");
        std::ofstream(base / name / "Photos" / "IMG_1.JPG") << "copy";
        return base / name;
    };
    // An owner file that nobody holds: its run has ended.
    const fs::path ended = folderWithCopy("scan-1-endedA");
    std::ofstream(base / "scan-1-endedA.owner");
    // No owner file, and no process of that number.
    const fs::path gone = folderWithCopy("scan-2147483646-goneAA");
    // An owner file that a running process holds locked.
    const fs::path running = folderWithCopy("scan-3-alive1");
    const int held = ::open((base / "scan-3-alive1.owner").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // No owner file, but the process of that number is running (this one).
    const fs::path ours = folderWithCopy("scan-" + std::to_string(::getpid()) + "-oldAAA");
    // Not a working folder at all.
    const fs::path other = folderWithCopy("photos-of-mine");

    {
        WorkingFolder folder(base.string());
        ASSERT_TRUE(folder.isUsable());
        EXPECT_FALSE(fs::exists(ended));
        EXPECT_FALSE(fs::exists(base / "scan-1-endedA.owner"));
        EXPECT_FALSE(fs::exists(gone));
        EXPECT_TRUE(fs::exists(running / "Photos" / "IMG_1.JPG"));
        EXPECT_TRUE(fs::exists(ours / "Photos" / "IMG_1.JPG"));
        EXPECT_TRUE(fs::exists(other / "Photos" / "IMG_1.JPG"));
        // Its own owner file is held while it lives: another start leaves it alone.
        EXPECT_EQ(WorkingFolder::RemoveLeftovers(base.string()), 0);
        EXPECT_TRUE(fs::exists(folder.path()));
    }
    ::close(held);
    // The lock went with its holder.
    EXPECT_EQ(WorkingFolder::RemoveLeftovers(base.string()), 1);
    EXPECT_FALSE(fs::exists(running));
    EXPECT_TRUE(fs::exists(ours));
}
