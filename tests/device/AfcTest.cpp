#include "device/AFCDirectoryAccess.h"
#include "device/AMDevice.h"
#include "device/DeviceNotificationCenter.h"
#include "device/DeviceTestSupport.h"
#include "device/MobileDeviceAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kUdid = "c0ffee00c0ffee00c0ffee00c0ffee00c0ffee00";

std::string ReadLocal(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteLocal(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Notes the copy notifications in order: "begin", "progress <Done>", "done".
class CopyLog {
public:
    CopyLog() {
        auto& center = DeviceNotificationCenter::defaultCenter();
        for (const char* name : {"AFCFileCopyBegin", "AFCFileCopyProgress", "AFCFileCopyDone"})
            tokens_.push_back(center.addObserver(name, [this](const std::string& n, const void*, const PlistValue& info) {
                if (n == "AFCFileCopyBegin") entries.push_back("begin " + std::to_string(info.get("Size").asInteger().value_or(-1)));
                if (n == "AFCFileCopyProgress") entries.push_back("progress " + std::to_string(info.get("Done").asInteger().value_or(-1)));
                if (n == "AFCFileCopyDone") entries.push_back("done");
            }));
    }
    ~CopyLog() {
        for (auto token : tokens_) DeviceNotificationCenter::defaultCenter().removeObserver(token);
    }
    std::vector<std::string> entries;

private:
    std::vector<std::uint64_t> tokens_;
};

class AfcTest : public ::testing::Test {
protected:
    void SetUp() override {
        simulator.setEnvironment();
        local = std::filesystem::temp_directory_path() /
                ("torvane-afc-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(local);
        std::filesystem::create_directories(local);
        SimulatedDevice phone = TestPhone(kUdid);
        phone.media.addFile("/a/b", "bee");
        phone.media.addFile("/a/c/d", "dee");
        phone.media.addFile("/top/.profile", "p");
        phone.media.addFile("/top/..data", "x");
        phone.media.addFile("/big.bin", std::string(30000, 'z'));
        phone.apps["com.example.reader"].info = {{"CFBundleIdentifier", "com.example.reader"}};
        phone.apps["com.example.reader"].container.addFile("/Documents/inbox.txt", "hello");
        access.setListener(&listener, loop.poster());
        simulator.attach(std::move(phone));
        ASSERT_TRUE(loop.runUntil([&] { return !access.devices().empty(); }));
        device = access.devices().front();
        media = device->newAFCMediaDirectory();
        ASSERT_TRUE(media);
    }
    void TearDown() override { std::filesystem::remove_all(local); }

    std::string remote(const std::string& path) {
        std::string contents;
        simulator.withDevice(kUdid, [&](SimulatedDevice& d) { contents = d.media.contents(path); });
        return contents;
    }

    DeviceSimulator simulator;
    TestLoop loop;
    MobileDeviceAccessListener listener;
    MobileDeviceAccess access;
    std::shared_ptr<AMDevice> device;
    std::unique_ptr<AFCMediaDirectory> media;
    std::filesystem::path local;
};

TEST_F(AfcTest, ListsFoldersFlatAndRecursively) {
    const auto all = media->recursiveDirectoryContents("/a");
    ASSERT_TRUE(all);
    EXPECT_EQ(*all, (std::vector<std::string>{"/a/", "/a/b", "/a/c/", "/a/c/d"}));
    const auto top = media->directoryContents("/top");
    ASSERT_TRUE(top);
    EXPECT_EQ(*top, (std::vector<std::string>{".profile", "..data"}));
    EXPECT_FALSE(media->directoryContents("/missing"));
    EXPECT_EQ(media->lasterror(), "AFCDirectoryOpen failed: Return code = 0x0008");
}

TEST_F(AfcTest, FileInformationHasNumbersTextsAndDates) {
    const PlistValue info = media->getFileInfo("/big.bin");
    EXPECT_EQ(info.get("st_size").asInteger(), 30000);
    EXPECT_EQ(info.stringFor("st_ifmt"), "S_IFREG");
    EXPECT_EQ(info.stringFor("path"), "/big.bin");
    EXPECT_EQ(info.get("st_mtime").kind(), PlistValue::Kind::Date);
    EXPECT_TRUE(media->fileExistsAtPath("/a/c"));
    EXPECT_FALSE(media->fileExistsAtPath("/a/z"));
    EXPECT_EQ(media->deviceInfo().stringFor("Model"), "iPhone8,1");
    EXPECT_EQ(media->deviceInfo().get("FSBlockSize").asInteger(), 4096);
}

TEST_F(AfcTest, WritesReadsSeeksAndChangesTheTree) {
    {
        auto file = media->openForWrite("/notes/new.txt");
        EXPECT_FALSE(file) << "no folder /notes yet";
    }
    ASSERT_TRUE(media->mkdir("/notes"));
    {
        auto file = media->openForWrite("/notes/new.txt");
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->writeNSData({'h', 'e', 'l', 'l', 'o'}));
        EXPECT_TRUE(file->writeN(0, nullptr));
        std::uint64_t at = 0;
        EXPECT_TRUE(file->tell(&at));
        EXPECT_EQ(at, 5u);
        EXPECT_TRUE(file->closeFile());
        EXPECT_FALSE(file->closeFile());
        EXPECT_EQ(file->lasterror(), "File is not open");
    }
    EXPECT_EQ(remote("/notes/new.txt"), "hello");
    auto file = media->openForRead("/notes/new.txt");
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->seek(1, SEEK_SET));
    char buffer[16] = {};
    EXPECT_EQ(file->readN(sizeof buffer, buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "ello");
    EXPECT_EQ(file->readN(sizeof buffer, buffer), 0u);
    file.reset();

    EXPECT_TRUE(media->rename("/notes/new.txt", "/notes/renamed.txt"));
    EXPECT_TRUE(media->symlink("/notes/link", "/notes/renamed.txt"));
    EXPECT_EQ(media->getFileInfo("/notes/link").stringFor("st_ifmt"), "S_IFLNK");
    EXPECT_TRUE(media->unlink("/notes/link"));
    EXPECT_FALSE(media->rename("", "/x"));
    EXPECT_EQ(media->lasterror(), "Old path is nil");
    EXPECT_FALSE(media->setmodtime("/notes/renamed.txt", 0));
    EXPECT_EQ(media->lasterror(), "AFCOperationCreateSetModTime() failed");
}

TEST_F(AfcTest, PathsThatLeaveTheRootAreRefused) {
    for (const char* path : {"/a/../..", "../etc/passwd", "/a/c/../../../x", ".."}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(media->directoryContents(path));
        EXPECT_EQ(media->lasterror(), "AFCDirectoryOpen failed: Return code = 0x0007");
        EXPECT_FALSE(media->openForRead(path));
        EXPECT_FALSE(media->mkdir(path));
    }
    EXPECT_FALSE(media->rename("/a/b", "/../b"));
    EXPECT_FALSE(media->symlink("/a/link", "../../etc/passwd"));
    EXPECT_TRUE(media->fileExistsAtPath("/a/b"));
}

TEST_F(AfcTest, CopiesALocalFileWithProgress) {
    WriteLocal(local / "photo.jpg", std::string(25000, 'q'));
    CopyLog log;
    ASSERT_TRUE(media->copyLocalFile((local / "photo.jpg").string(), "/photo.jpg"));
    EXPECT_EQ(log.entries, (std::vector<std::string>{"begin 25000", "progress 0", "progress 10240",
                                                     "progress 20480", "progress 25000", "done"}));
    EXPECT_EQ(remote("/photo.jpg"), std::string(25000, 'q'));
}

TEST_F(AfcTest, AnEmptyFileGivesOneProgressAndAnExistingTargetNone) {
    WriteLocal(local / "empty", "");
    CopyLog log;
    ASSERT_TRUE(media->copyLocalFile((local / "empty").string(), "/empty"));
    EXPECT_EQ(log.entries, (std::vector<std::string>{"begin 0", "progress 0", "done"}));
    log.entries.clear();
    EXPECT_FALSE(media->copyLocalFile((local / "empty").string(), "/a/b"));
    EXPECT_EQ(media->lasterror(), "Won't overwrite existing file");
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(remote("/a/b"), "bee");
}

TEST_F(AfcTest, CopiesTreesBothWays) {
    std::filesystem::create_directories(local / "album" / "2016");
    WriteLocal(local / "album" / "2016" / "one.jpg", "1");
    WriteLocal(local / "album" / "cover.jpg", "cover");
    std::filesystem::create_symlink("cover.jpg", local / "album" / "latest");
    ASSERT_TRUE(media->copyLocalFileToRemoteDir((local / "album").string(), "/a"));
    EXPECT_EQ(remote("/a/album/2016/one.jpg"), "1");
    EXPECT_EQ(remote("/a/album/cover.jpg"), "cover");
    EXPECT_EQ(media->getFileInfo("/a/album/latest").stringFor("LinkTarget"), "cover.jpg");
    EXPECT_FALSE(media->copyLocalFileToRemoteDir((local / "missing").string(), "/a"));

    ASSERT_TRUE(media->copyRemoteFile("/big.bin", (local / "big.bin").string()));
    EXPECT_EQ(ReadLocal(local / "big.bin"), std::string(30000, 'z'));
    EXPECT_FALSE(media->copyRemoteFile("/a/b", (local / "big.bin").string()));
    EXPECT_EQ(media->lasterror(), "Won't overwrite existing file");
}

TEST_F(AfcTest, AConnectionDroppedInTheMiddleOfAReadEndsTheRead) {
    simulator.withDevice(kUdid, [](SimulatedDevice& d) { d.dropDuringRead = true; });
    auto file = media->openForRead("/big.bin");
    ASSERT_TRUE(file);
    std::vector<char> buffer(30000);
    EXPECT_EQ(file->readN(static_cast<std::uint32_t>(buffer.size()), buffer.data()), 0u);
    EXPECT_TRUE(file->lasterror());
    EXPECT_EQ(file->readN(16, buffer.data()), 0u);
    EXPECT_FALSE(media->directoryContents("/a"));
}

TEST_F(AfcTest, ACopyFromTheDeviceCutOffInTheMiddleFailsWithTheReadError) {
    simulator.withDevice(kUdid, [](SimulatedDevice& d) { d.dropDuringRead = true; });
    EXPECT_FALSE(media->copyRemoteFile("/big.bin", (local / "big.bin").string()));
    ASSERT_TRUE(media->lasterror());
    EXPECT_EQ(media->lasterror()->rfind("AFCFileRefRead failed: ", 0), 0u) << *media->lasterror();
    // No half file is left behind.
    EXPECT_FALSE(std::filesystem::exists(local / "big.bin"));
}

struct OperationCase {
    const char* name;
    const char* makeDirectory;  // or
    const char* removePath;
    bool succeeds;
    const char* lasterror;  // nullptr: none
};

TEST_F(AfcTest, ProcessedOperationsGiveTheDevicesAnswer) {
    const OperationCase cases[] = {
        {"NewFolder", "/made/deep", nullptr, true, nullptr},
        {"MissingPath", nullptr, "/nowhere", false, "No such file or folder"},
        {"FolderNotEmpty", nullptr, "/a", false, "Error 1 occurred, no message"},
    };
    for (const OperationCase& c : cases) {
        AFCOperation* operation = c.makeDirectory ? AFCOperationCreateMakeDirectory(c.makeDirectory)
                                                  : AFCOperationCreateRemovePath(c.removePath);
        ASSERT_TRUE(operation) << c.name;
        EXPECT_EQ(media->processOp(operation, "ignored"), c.succeeds) << c.name;
        EXPECT_EQ(media->lasterror(), c.lasterror ? OptString(c.lasterror) : OptString()) << c.name;
    }
    EXPECT_TRUE(media->fileExistsAtPath("/made/deep"));
    EXPECT_FALSE(AFCOperationCreateRemovePath("/a/../.."));

    // A connection that has ended fails the processing itself.
    simulator.withDevice(kUdid, [](SimulatedDevice& d) { d.dropDuringRead = true; });
    auto file = media->openForRead("/big.bin");
    ASSERT_TRUE(file);
    char buffer[64];
    EXPECT_EQ(file->readN(sizeof buffer, buffer), 0u);
    EXPECT_FALSE(media->processOp(AFCOperationCreateMakeDirectory("/later"), "ignored"));
    EXPECT_EQ(media->lasterror(), "AFCConnectionProcessOperation failed: Return code = 0x000B");
}

TEST_F(AfcTest, AConnectionWaitsNoLongerThanItsIOTimeout) {
    ASSERT_TRUE(device->deviceConnect());
    ASSERT_TRUE(device->startSession());
    const AMServiceSocket quiet = device->_startService("com.apple.afc");
    const AMServiceSocket usual = device->_startService("com.apple.afc");
    device->stopSession();
    device->deviceDisconnect();
    ASSERT_TRUE(quiet && usual);

    AFCConnection* defaults = nullptr;
    ASSERT_EQ(AFCConnectionOpen(usual, 0, &defaults), 0);
    EXPECT_EQ(AFCConnectionGetIOTimeout(defaults), kDeviceReadTimeoutMs);
    EXPECT_FALSE(AFCConnectionCopyLastErrorInfo(defaults));
    AFCConnectionClose(defaults);

    simulator.withDevice(kUdid, [](SimulatedDevice& d) { d.afcSilent = true; });
    AFCConnection* afc = nullptr;
    ASSERT_EQ(AFCConnectionOpen(quiet, 200, &afc), 0);
    EXPECT_EQ(AFCConnectionGetIOTimeout(afc), 200u);
    EXPECT_EQ(AFCDirectoryCreate(afc, "/silent"), kAFCTimeout);
    const PlistValue info = AFCConnectionCopyLastErrorInfo(afc);
    EXPECT_EQ(info.get("Code").asInteger(), kAFCTimeout);
    EXPECT_EQ(info.stringFor("NSLocalizedDescription"), "The device did not answer in time");
    // The answer may still come: the connection is out of step and refuses further calls.
    AFCOperation* operation = AFCOperationCreateMakeDirectory("/silent");
    EXPECT_EQ(AFCConnectionProcessOperation(afc, operation, 100), kAFCNotConnected);
    EXPECT_EQ(AFCOperationGetResultStatus(operation), kAFCNotConnected);
    AFCOperationRelease(operation);
    AFCConnectionClose(afc);
}

TEST_F(AfcTest, AnApplicationContainerOpensOnlyForAnInstalledApplication) {
    auto container = device->newAFCApplicationDirectory("com.example.reader");
    ASSERT_TRUE(container);
    const auto documents = container->directoryContents("/Documents");
    ASSERT_TRUE(documents);
    EXPECT_EQ(*documents, std::vector<std::string>{"inbox.txt"});
    EXPECT_FALSE(device->newAFCApplicationDirectory("com.example.missing"));
    EXPECT_EQ(simulator.openSessions(), 0);
}

TEST_F(AfcTest, AClosedConnectionRefusesEveryOperation) {
    auto file = media->openForRead("/a/b");
    ASSERT_TRUE(file);
    media->close();
    EXPECT_FALSE(media->fileExistsAtPath("/a/b"));
    EXPECT_FALSE(media->mkdir("/x"));
    EXPECT_EQ(media->lasterror(), "Connection is not open");
    char buffer[4];
    EXPECT_EQ(file->readN(sizeof buffer, buffer), 0u);
}

}  // namespace
