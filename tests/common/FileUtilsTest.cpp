#include "common/AppPaths.h"
#include "common/ApplicationDetailsUtil.h"
#include "common/FileUtils.h"
#include "common/VideoUtils.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "torvane-fileutils-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string str() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets or clears one environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const OptString& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    OptString old_;
};

void resetAppPaths() {
    AppPaths::setDocumentsDirectory(std::nullopt);
    AppPaths::setConfigDirectory(std::nullopt);
    AppPaths::setDataDirectory(std::nullopt);
    AppPaths::setCacheDirectory(std::nullopt);
    AppPaths::setResourcesDirectory(std::nullopt);
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

std::uint64_t ownSize(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) throw std::runtime_error("lstat " + path);
    return static_cast<std::uint64_t>(info.st_size);
}

// Points the documents, cache and resources folders into a temporary folder.
class FileUtilsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(documents());
        fs::create_directory(resources());
        AppPaths::setDocumentsDirectory(documents());
        AppPaths::setCacheDirectory(tmp / "cache");
        AppPaths::setResourcesDirectory(resources());
    }
    void TearDown() override { resetAppPaths(); }

    std::string documents() const { return tmp / "docs"; }
    std::string resources() const { return tmp / "res"; }

    TempDir tmp;
};

}  // namespace

// ---- names and listings ----

TEST_F(FileUtilsTest, SequentialNamesTakeTheFirstFreeNumber) {
    struct Case {
        std::vector<std::string> files;
        std::vector<std::string> folders;
        const char* expected;
    };
    const Case cases[] = {
        {{}, {}, "IMG.JPG"},
        {{"IMG.JPG", "IMG1.JPG"}, {}, "IMG2.JPG"},
        {{"IMG1.JPG"}, {}, "IMG.JPG"},
        {{"IMG.JPG", "IMG2.JPG"}, {}, "IMG1.JPG"},
        {{"img.jpg", "IMG.jpg"}, {}, "IMG.JPG"},  // case counts
        {{}, {"IMG.JPG"}, "IMG1.JPG"},            // folders count too
        {{"IMG.JPG", "IMG1.JPG", "IMG2.JPG", "IMG3.JPG", "IMG4.JPG", "IMG5.JPG", "IMG6.JPG",
          "IMG7.JPG", "IMG8.JPG", "IMG9.JPG", "IMG10.JPG"},
         {},
         "IMG11.JPG"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string folder = tmp / ("case" + std::to_string(n++));
        fs::create_directory(folder);
        for (const auto& name : c.files) writeText(folder + "/" + name, "x");
        for (const auto& name : c.folders) fs::create_directory(folder + "/" + name);
        EXPECT_EQ(FileUtils::nextSequentialFileName("IMG", "JPG", folder), c.expected) << folder;
    }
}

TEST_F(FileUtilsTest, SequentialNameNeedsAListableFolder) {
    writeText(tmp / "plain", "x");
    EXPECT_FALSE(FileUtils::nextSequentialFileName("IMG", "JPG", tmp / "missing").has_value());
    EXPECT_FALSE(FileUtils::nextSequentialFileName("IMG", "JPG", tmp / "plain").has_value());
}

TEST_F(FileUtilsTest, ListingGivesTheNamesDirectlyInsideSorted) {
    const std::string folder = tmp / "list";
    fs::create_directories(folder + "/sub/deeper");
    writeText(folder + "/b.txt", "b");
    writeText(folder + "/.hidden", "h");
    writeText(folder + "/A.txt", "a");
    writeText(folder + "/sub/inner.txt", "i");

    EXPECT_EQ(FileUtils::getContentsofDirectory(folder),
              (std::vector<std::string>{".hidden", "A.txt", "b.txt", "sub"}));
    fs::create_directory(tmp / "empty");
    EXPECT_EQ(FileUtils::getContentsofDirectory(tmp / "empty"), std::vector<std::string>{});
    EXPECT_FALSE(FileUtils::getContentsofDirectory(tmp / "missing").has_value());
    EXPECT_FALSE(FileUtils::getContentsofDirectory(folder + "/b.txt").has_value());
}

TEST_F(FileUtilsTest, SubdirectoriesAreTestedInsideTheListedFolder) {
    // The names exist only inside the folder, never in the working directory of the test.
    const std::string folder = tmp / "parent";
    fs::create_directories(folder + "/zz-photos-7f3a");
    fs::create_directories(folder + "/aa-videos-7f3a");
    writeText(folder + "/mm-file-7f3a", "x");
    fs::create_directory_symlink(folder + "/aa-videos-7f3a", folder + "/link-to-folder-7f3a");
    fs::create_symlink(folder + "/nowhere", folder + "/dangling-7f3a");

    EXPECT_EQ(
        FileUtils::allSubdirectoriesofDirectory(folder),
        (std::vector<std::string>{"aa-videos-7f3a", "link-to-folder-7f3a", "zz-photos-7f3a"}));
    EXPECT_TRUE(FileUtils::allSubdirectoriesofDirectory(tmp / "missing").empty());
    EXPECT_TRUE(FileUtils::allSubdirectoriesofDirectory(folder + "/mm-file-7f3a").empty());
}

TEST_F(FileUtilsTest, ExistenceTestsFollowLinks) {
    writeText(tmp / "file", "x");
    fs::create_directory(tmp / "dir");
    fs::create_symlink(tmp / "file", tmp / "link-file");
    fs::create_directory_symlink(tmp / "dir", tmp / "link-dir");
    fs::create_symlink(tmp / "gone", tmp / "dangling");
    struct Case {
        const char* name;
        bool exists;
        bool isDirectory;
    };
    const Case cases[] = {
        {"file", true, false},      {"dir", true, true},      {"missing", false, false},
        {"link-file", true, false}, {"link-dir", true, true}, {"dangling", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileUtils::fileExistsAtPath(tmp / c.name), c.exists) << c.name;
        EXPECT_EQ(FileUtils::fileExistsAtPath(tmp.str(), c.name), c.exists) << c.name;
        EXPECT_EQ(FileUtils::directoryExistsAtPath(tmp / c.name), c.isDirectory) << c.name;
    }
    EXPECT_FALSE(FileUtils::fileExistsAtPath(""));
    EXPECT_TRUE(
        FileUtils::fileExistsAtPath(tmp.str() + "/", "/file"));  // one "/" between the parts
}

// ---- writing ----

TEST_F(FileUtilsTest, WritesUnderSequentialNamesWithoutLeavingTemporaryFiles) {
    const std::string folder = tmp / "out";
    fs::create_directory(folder);
    EXPECT_TRUE(FileUtils::writeFileToAnyDirectory(bytesOf("first"), "IMG", "JPG", folder));
    EXPECT_TRUE(FileUtils::writeFileToAnyDirectory(bytesOf("second"), "IMG", "JPG", folder));
    EXPECT_TRUE(FileUtils::writeFileToAnyDirectory(Bytes{}, "IMG", "JPG", folder));

    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"IMG.JPG", "IMG1.JPG", "IMG2.JPG"}));
    EXPECT_EQ(readText(folder + "/IMG.JPG"), "first");
    EXPECT_EQ(readText(folder + "/IMG1.JPG"), "second");
    EXPECT_EQ(readText(folder + "/IMG2.JPG"), "");
}

TEST_F(FileUtilsTest, WritingIntoAMissingFolderFails) {
    EXPECT_FALSE(FileUtils::writeFileToAnyDirectory(bytesOf("x"), "IMG", "JPG", tmp / "missing"));
    EXPECT_FALSE(fs::exists(tmp / "missing"));
}

TEST_F(FileUtilsTest, DocumentsAndTemporaryWritesLandInTheirFolders) {
    EXPECT_TRUE(FileUtils::writeFileToDocuemntsDirectory(bytesOf("doc"), "report", "csv"));
    EXPECT_EQ(readText(documents() + "/report.csv"), "doc");

    EXPECT_TRUE(FileUtils::writeFileToTemporaryDirectory(bytesOf("tmp"), "scratch", "bin"));
    EXPECT_TRUE(FileUtils::writeFileToTemporaryDirectory(bytesOf("tmp2"), "scratch", "bin"));
    EXPECT_EQ(readText(FileUtils::temporaryDirectoryPathForResource("scratch.bin")), "tmp");
    EXPECT_EQ(readText(FileUtils::temporaryDirectoryPathForResource("scratch1.bin")), "tmp2");
}

TEST_F(FileUtilsTest, CreateFileReplacesContentsInOneStep) {
    const FileUtils files;
    const std::string path = tmp / "data.bin";
    EXPECT_TRUE(files.CreateFile(bytesOf("old contents, longer"), path));
    EXPECT_TRUE(files.CreateFile(bytesOf("new"), path));
    EXPECT_EQ(readText(path), "new");
    EXPECT_EQ(namesIn(tmp.str()), (std::vector<std::string>{"data.bin", "docs", "res"}));
}

TEST_F(FileUtilsTest, FailedCreateFileLeavesNothingBehind) {
    const FileUtils files;
    // A folder in the way: the rename fails after the data was written to a temporary name.
    fs::create_directory(tmp / "occupied");
    writeText(tmp / "occupied/keep.txt", "keep");
    EXPECT_FALSE(files.CreateFile(bytesOf("data"), tmp / "occupied"));
    EXPECT_EQ(readText(tmp / "occupied/keep.txt"), "keep");

    EXPECT_FALSE(files.CreateFile(bytesOf("data"), tmp / "missing/data.bin"));
    EXPECT_FALSE(files.CreateFile(bytesOf("data"), tmp.str() + "/"));
    EXPECT_EQ(namesIn(tmp.str()), (std::vector<std::string>{"docs", "occupied", "res"}));
}

// ---- folders ----

TEST_F(FileUtilsTest, CreatesFoldersWithTheirParents) {
    writeText(tmp / "file", "x");
    fs::create_directory(tmp / "existing");
    struct Case {
        const char* name;
        bool created;
    };
    const Case cases[] = {
        {"new", true},         {"a/b/c", true},
        {"existing", true},    {"file", false},  // a file stands there
        {"file/below", false},                   // a file stands in the way
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileUtils::createNewDirectoryAtPath(tmp.str(), c.name), c.created) << c.name;
        EXPECT_EQ(fs::is_directory(tmp / c.name), c.created) << c.name;
    }
}

TEST_F(FileUtilsTest, RemovesFilesFoldersAndLinksButNotLinkTargets) {
    writeText(tmp / "file", "x");
    fs::create_directories(tmp / "tree/a/b");
    writeText(tmp / "tree/a/b/leaf", "x");
    fs::create_directories(tmp / "target");
    writeText(tmp / "target/kept", "kept");
    fs::create_directory_symlink(tmp / "target", tmp / "link");

    EXPECT_TRUE(FileUtils::removeFileFromPath(tmp / "file"));
    EXPECT_TRUE(FileUtils::removeFileFromPath(tmp / "tree"));
    EXPECT_TRUE(FileUtils::removeFileFromPath(tmp / "link"));
    EXPECT_FALSE(FileUtils::removeFileFromPath(tmp / "missing"));
    EXPECT_FALSE(FileUtils::removeFileFromPath(""));

    EXPECT_EQ(namesIn(tmp.str()), (std::vector<std::string>{"docs", "res", "target"}));
    EXPECT_EQ(readText(tmp / "target/kept"), "kept");
}

// ---- sizes ----

TEST_F(FileUtilsTest, ItemSizeIsTheItemsOwn) {
    writeText(tmp / "file", std::string(1234, 'x'));
    writeText(tmp / "empty", "");
    fs::create_symlink(tmp / "file", tmp / "link");
    EXPECT_EQ(FileUtils::fileSizeAtPath(tmp / "file"), 1234u);
    EXPECT_EQ(FileUtils::fileSizeAtPath(tmp / "empty"), 0u);
    EXPECT_EQ(FileUtils::fileSizeAtPath(tmp / "missing"), 0u);
    EXPECT_EQ(FileUtils::fileSizeAtPath(tmp / "link"),
              (tmp / "file").size());  // the link, not its target
}

TEST_F(FileUtilsTest, FolderSizeSumsEveryItemBelowIt) {
    const std::string root = tmp / "root";
    fs::create_directories(root + "/a/b");
    writeText(root + "/one", std::string(100, 'x'));
    writeText(root + "/a/two", std::string(2000, 'x'));
    writeText(root + "/a/b/three", std::string(30000, 'x'));
    writeText(tmp / "outside", std::string(50000, 'x'));
    fs::create_symlink(tmp / "outside", root + "/a/link");  // counted as a link, never followed
    const std::uint64_t expected = 100 + 2000 + 30000 + ownSize(root + "/a") +
                                   ownSize(root + "/a/b") + ownSize(root + "/a/link");

    std::error_code error;
    EXPECT_EQ(FileManagerUtil::sizeForFolderAtPath(root, &error), expected);
    EXPECT_FALSE(error);
    EXPECT_EQ(FileUtils::getDirectorySize(root), static_cast<std::int64_t>(expected));
    EXPECT_EQ(FileUtils::getDirectorySizeAsStringfromPath(root),
              FileUtils::formattedFileSizeStringFromSizeBytes(static_cast<std::int64_t>(expected)));

    fs::create_directory(tmp / "empty");
    for (const std::string& notAFolderWithContents :
         {tmp / "empty", tmp / "outside", tmp / "missing"}) {
        EXPECT_EQ(FileManagerUtil::sizeForFolderAtPath(notAFolderWithContents), 0u)
            << notAFolderWithContents;
        EXPECT_EQ(FileUtils::getDirectorySize(notAFolderWithContents), 0) << notAFolderWithContents;
        EXPECT_EQ(FileUtils::getDirectorySizeAsStringfromPath(notAFolderWithContents), "");
    }
}

TEST(FileUtils, SizeTextStepsUpOnlyAbove1024) {
    constexpr std::int64_t KiB = 1024;
    struct Case {
        std::int64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, ""},
        {-5, ""},
        {INT64_MIN, ""},
        {1, "1.0 bytes"},
        {999, "999.0 bytes"},
        {1024, "1024.0 bytes"},
        {1025, "1.0 KB"},
        {1536, "1.5 KB"},
        {KiB * KiB, "1024.0 KB"},
        {KiB * KiB + KiB * 103, "1.1 MB"},
        {3 * KiB * KiB * KiB, "3.0 GB"},
        {KiB * KiB * KiB * KiB * KiB, "1024.0 TB"},
        {4 * KiB * KiB * KiB * KiB * KiB, "4096.0 TB"},  // the units end at TB
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileUtils::formattedFileSizeStringFromSizeBytes(c.bytes), c.text) << c.bytes;
    EXPECT_NE(FileUtils::formattedFileSizeStringFromSizeBytes(INT64_MAX).find(" TB"),
              std::string::npos);
}

// ---- reading ----

TEST_F(FileUtilsTest, StartOfFileGivesExactlyTheBytesRead) {
    std::string contents;
    for (int i = 0; i < 1500; ++i) contents.push_back(static_cast<char>('a' + i % 26));
    writeText(tmp / "file", contents);
    fs::create_directory(tmp / "dir");
    struct Case {
        const char* name;
        std::int32_t count;
        std::optional<std::size_t> length;
    };
    const Case cases[] = {
        {"file", 0, 0},
        {"file", 4, 4},
        {"file", 1024, 1024},
        {"file", 1500, 1500},
        {"file", 2000, 1500},       // a short read keeps only what the file holds
        {"file", INT32_MAX, 1500},  // no buffer of the asked size
        {"file", -1, std::nullopt},
        {"file", INT32_MIN, std::nullopt},
        {"missing", 10, std::nullopt},
        {"dir", 10, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.count));
        const std::optional<Bytes> data = FileUtils::readStartofFile(tmp / c.name, c.count);
        ASSERT_EQ(data.has_value(), c.length.has_value());
        if (data) {
            EXPECT_EQ(*data, bytesOf(std::string_view(contents).substr(0, *c.length)));
        }
    }
}

TEST_F(FileUtilsTest, WholeFileReadsOnlyRegularFiles) {
    const std::string big(300000, 'q');
    writeText(tmp / "big", big);
    writeText(tmp / "empty", "");
    fs::create_directory(tmp / "dir");
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);

    EXPECT_EQ(FileUtils::getDataFromPath(tmp / "big"), bytesOf(big));
    EXPECT_EQ(FileUtils::getDataFromPath(tmp / "empty"), Bytes{});
    EXPECT_FALSE(FileUtils::getDataFromPath(tmp / "missing").has_value());
    EXPECT_FALSE(FileUtils::getDataFromPath(tmp / "dir").has_value());
    EXPECT_FALSE(FileUtils::getDataFromPath(tmp / "fifo").has_value());  // refused, not waited on
    EXPECT_FALSE(FileUtils::readStartofFile(tmp / "fifo", 10).has_value());
}

// ---- documents, resources and the temporary folder ----

TEST_F(FileUtilsTest, DocumentsPathsJoinWithOneSlash) {
    EXPECT_EQ(FileUtils::documentsDirectoryPath(), documents());
    EXPECT_EQ(FileUtils::documentsDirectoryPathForResource("a.txt"), documents() + "/a.txt");
    AppPaths::setDocumentsDirectory(documents() + "/");
    EXPECT_EQ(FileUtils::documentsDirectoryPathForResource("a.txt"), documents() + "/a.txt");
}

TEST_F(FileUtilsTest, DeletesFromDocumentsOnlyWhatIsThere) {
    writeText(documents() + "/note.txt", "x");
    fs::create_directories(documents() + "/folder/inner");
    writeText(documents() + "/folder/inner/f", "x");

    EXPECT_FALSE(FileUtils::deleteFileFromDocumentsDirectory("missing.txt"));
    EXPECT_TRUE(FileUtils::deleteFileFromDocumentsDirectory("note.txt"));
    EXPECT_TRUE(FileUtils::deleteFileFromDocumentsDirectory("folder"));
    EXPECT_TRUE(namesIn(documents()).empty());
}

TEST_F(FileUtilsTest, CopiesResourcesThatAreNotThereYet) {
    writeText(resources() + "/manual.pdf", "manual");
    writeText(resources() + "/logo.png", "logo");
    writeText(resources() + "/photo.jpg", "photo");
    writeText(documents() + "/logo.png", "the user's own logo");

    FileUtils::copyResourcesToDocumentsDirectory({"manual.pdf", "logo.png", "absent.txt"});
    FileUtils::exportPhotosToDirectory({"photo.jpg"});

    EXPECT_EQ(readText(documents() + "/manual.pdf"), "manual");
    EXPECT_EQ(readText(documents() + "/logo.png"), "the user's own logo");  // never overwritten
    EXPECT_EQ(readText(documents() + "/photo.jpg"), "photo");
    EXPECT_EQ(namesIn(documents()),
              (std::vector<std::string>{"logo.png", "manual.pdf", "photo.jpg"}));
}

TEST_F(FileUtilsTest, TemporaryFolderIsPrivateAndEndsWithASlash) {
    const std::string expected = tmp / "cache/work/";
    EXPECT_EQ(FileUtils::temporaryDirectoryPath(), expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(modeOf(tmp / "cache/work"), 0700u);
    EXPECT_EQ(modeOf(tmp / "cache"), 0700u);  // a parent it had to make is private too
    EXPECT_EQ(FileUtils::temporaryDirectoryPathForResource("x.db"), expected + "x.db");
}

// ---- application folders ----

TEST(AppPaths, FollowTheEnvironmentAndTheXdgDefaults) {
    resetAppPaths();
    struct Case {
        OptString xdg;  // the value of the XDG variable of each location
        const char* documents;
        const char* config;
        const char* data;
        const char* cache;
    };
    const Case cases[] = {
        {std::nullopt, "/home/tester/Documents", "/home/tester/.config/torvane",
         "/home/tester/.local/share/torvane", "/home/tester/.cache/torvane"},
        {std::string("/x"), "/x/docs", "/x/config/torvane", "/x/data/torvane", "/x/cache/torvane"},
        // Relative or empty values are not usable bases and fall back to the defaults.
        {std::string(""), "/home/tester/Documents", "/home/tester/.config/torvane",
         "/home/tester/.local/share/torvane", "/home/tester/.cache/torvane"},
        {std::string("relative"), "/home/tester/Documents", "/home/tester/.config/torvane",
         "/home/tester/.local/share/torvane", "/home/tester/.cache/torvane"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xdg.value_or("(unset)"));
        const auto under = [&](const char* leaf) -> OptString {
            if (!c.xdg || c.xdg->empty() || (*c.xdg)[0] != '/') return c.xdg;
            return *c.xdg + "/" + leaf + "/";  // trailing slashes are dropped
        };
        ScopedEnv home("HOME", std::string("/home/tester"));
        ScopedEnv documents("XDG_DOCUMENTS_DIR", under("docs"));
        ScopedEnv config("XDG_CONFIG_HOME", under("config"));
        ScopedEnv data("XDG_DATA_HOME", under("data"));
        ScopedEnv cache("XDG_CACHE_HOME", under("cache"));
        EXPECT_EQ(AppPaths::documentsDirectory(), c.documents);
        EXPECT_EQ(AppPaths::configDirectory(), c.config);
        EXPECT_EQ(AppPaths::dataDirectory(), c.data);
        EXPECT_EQ(AppPaths::cacheDirectory(), c.cache);
    }
}

TEST(AppPaths, ExplicitLocationsWinOverTheEnvironment) {
    ScopedEnv config("XDG_CONFIG_HOME", std::string("/env/config"));
    ScopedEnv resources("TORVANE_RESOURCES_DIR", std::string("/env/resources/"));
    EXPECT_EQ(AppPaths::resourcesDirectory(), "/env/resources");

    AppPaths::setConfigDirectory(std::string("/set/config/"));
    AppPaths::setDataDirectory(std::string("/set/data"));
    AppPaths::setCacheDirectory(std::string("/set/cache"));
    AppPaths::setDocumentsDirectory(std::string("/set/docs"));
    AppPaths::setResourcesDirectory(std::string("/set/resources"));
    EXPECT_EQ(AppPaths::configDirectory(), "/set/config");  // the folder itself, nothing appended
    EXPECT_EQ(AppPaths::dataDirectory(), "/set/data");
    EXPECT_EQ(AppPaths::cacheDirectory(), "/set/cache");
    EXPECT_EQ(AppPaths::documentsDirectory(), "/set/docs");
    EXPECT_EQ(AppPaths::resourcesDirectory(), "/set/resources");

    AppPaths::setConfigDirectory(std::nullopt);
    AppPaths::setResourcesDirectory(std::string(""));
    EXPECT_EQ(AppPaths::configDirectory(), "/env/config/torvane");
    EXPECT_EQ(AppPaths::resourcesDirectory(), "/env/resources");
    resetAppPaths();
}

TEST(AppPaths, ResourcesFallBackToTheBuiltInFolder) {
    resetAppPaths();
    ScopedEnv resources("TORVANE_RESOURCES_DIR", std::nullopt);
    const std::string folder = AppPaths::resourcesDirectory();
    EXPECT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
}

TEST(AppPaths, PrivateFoldersAreMadeOrTightenedButNeverThroughALink) {
    TempDir tmp;
    EXPECT_TRUE(AppPaths::ensurePrivateDirectory(tmp / "new/deeper/work/"));
    EXPECT_EQ(modeOf(tmp / "new"), 0700u);
    EXPECT_EQ(modeOf(tmp / "new/deeper/work"), 0700u);

    fs::create_directory(tmp / "loose");
    fs::permissions(tmp / "loose", fs::perms::owner_all | fs::perms::group_all |
                                       fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(AppPaths::ensurePrivateDirectory(tmp / "loose"));
    EXPECT_EQ(modeOf(tmp / "loose"), 0700u);

    fs::create_directory(tmp / "shared");
    fs::permissions(tmp / "shared", fs::perms::all);
    fs::create_directory_symlink(tmp / "shared", tmp / "link");
    writeText(tmp / "file", "x");
    EXPECT_FALSE(AppPaths::ensurePrivateDirectory(tmp / "link"));
    EXPECT_EQ(modeOf(tmp / "shared"), 0777u);  // the link's target is left alone
    EXPECT_FALSE(AppPaths::ensurePrivateDirectory(tmp / "file"));
    EXPECT_FALSE(AppPaths::ensurePrivateDirectory(tmp / "file/below"));
    EXPECT_FALSE(AppPaths::ensurePrivateDirectory(""));
}

// ---- video names ----

TEST(VideoUtils, KnowsVideoSuffixesInAnyCase) {
    struct Case {
        OptString name;
        bool video;
    };
    const Case cases[] = {
        {std::string("clip.MOV"), true},   {std::string("a.mpeg"), true},
        {std::string("a.mp4"), true},      {std::string("x.Mkv"), true},
        {std::string("y.rv"), true},       {std::string(".m4v"), true},
        {std::string("a.mp3"), false},     {std::string("mp4"), false},
        {std::string("a.mp4.txt"), false}, {std::string("amov"), false},
        {std::string(""), false},          {std::nullopt, false},
        {std::string("photo.jpg"), false}, {std::string("archive.rmv"), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VideoUtils::IsKnownVideoFormat(c.name), c.video) << c.name.value_or("(none)");
}

// ---- application details ----

TEST(ApplicationDetailsUtil, BuildNumberIsTheLeadingInteger) {
    struct Case {
        OptString text;
        const char* number;
    };
    const Case cases[] = {
        {std::string("10"), "10"},
        {std::string("1.2.3"), "1"},
        {std::nullopt, "0"},
        {std::string(""), "0"},
        {std::string("beta"), "0"},
        {std::string("  42b"), "42"},
        {std::string("-7"), "-7"},
        {std::string("+8"), "8"},
        {std::string("007"), "7"},
        {std::string("99999999999"), "2147483647"},
        {std::string("-99999999999"), "-2147483648"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApplicationDetailsUtil::buildNumberFromText(c.text), c.number)
            << c.text.value_or("(none)");
    }
}

TEST(ApplicationDetailsUtil, VersionAndBuildComeFromTheBuild) {
    const OptString version = ApplicationDetailsUtil::getApplicationVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_FALSE(version->empty());
    const std::string build = ApplicationDetailsUtil::getBuildNumber();
    EXPECT_EQ(ApplicationDetailsUtil::buildNumberFromText(build), build);
}
