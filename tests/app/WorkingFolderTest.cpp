#include "app/WorkingFolder.h"
#include "common/AppPaths.h"

#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
