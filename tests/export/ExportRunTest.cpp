#include "export/ExportRun.h"
#include "export/MediaExporter.h"

#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/DeviceInfo.h"
#include "records/MapHistory.h"
#include "records/Photo.h"
#include "records/SMS.h"
#include "records/Video.h"
#include "records/WhatsApp.h"
#include "support/FixtureDatabase.h"

#include <gmock/gmock.h>
#include "app/DataTypes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAre;
using testsupport::TempDir;

namespace {

// 6 May 2014, 15:04 in Berlin (summer time).
const Date kExportTime = std::chrono::sys_days{std::chrono::year{2014} / 5 / 6} +
                         std::chrono::hours{13} + std::chrono::minutes{4};

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::vector<std::string> NamesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FileNames(const std::vector<ExportEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(fs::path(e.path).filename().string());
    return names;
}

// Collects what an export reports; can hold the export at its first step.
class RecordingListener : public ExportListener {
public:
    void exportProgress(const ExportProgress& p) override {
        {
            std::lock_guard lock(mutex_);
            if (p.item == 0) steps.push_back(p.name);
        }
        if (holdFirstStep && !held_) {
            held_ = true;
            entered.set_value();
            release.get_future().wait();
        }
    }
    void exportFinished(const ExportReport& r) override {
        std::lock_guard lock(mutex_);
        report = r;
        ++finishedCount;
    }

    bool holdFirstStep = false;
    std::promise<void> entered, release;
    std::vector<std::string> steps;
    ExportReport report;
    int finishedCount = 0;

private:
    std::mutex mutex_;
    bool held_ = false;
};

// The shared state after a scan of a device with a hostile name: a few records of several
// types, some ticked, and one photo and one video in the working folder.
class ExportRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto device = std::make_shared<DeviceInfo>();
        device->setDeviceName("../Eva's iPhone/\n");
        device->setSerialNumber("F17ABC");
        state.deviceInfo.set(device);

        auto sms = std::make_shared<SMS>();
        sms->setLocalTime("2015-03-07 18:05:09");
        sms->setMessage("hello");
        state.SMSContent.append(sms);
        auto deleted = std::make_shared<SMS>();
        deleted->setMessage("ticked, deleted");
        deleted->setIsChecked(1);
        state.DeletedSMS.append(deleted);

        auto contact = std::make_shared<Contact>();
        contact->setFirstName("Eva");
        state.ContactContent.append(contact);

        auto map = std::make_shared<MapHistory>();
        map->setSlNo(1);
        map->setQuery("coffee");
        state.MapContent.append(map);

        for (int ticked : {0, 1}) {
            auto w = std::make_shared<WhatsApp>();
            w->setZText(ticked ? "ticked" : "not ticked");
            w->setIsChecked(ticked);
            state.WhatsAppContent.append(w);
        }

        WriteFile(work / "photo-source", "JPEG bytes");
        auto photo = std::make_shared<Photo>();
        photo->setPhotoUrl((work / "photo-source").string());
        photo->setPhotoName("IMG_0001.JPG");
        state.Photos.append(photo);
        WriteFile(work / "video-source", "MOV bytes");
        auto video = std::make_shared<Video>();
        video->setVideoUrl((work / "video-source").string());
        video->setVideoName("IMG_0002.MOV");
        state.Videos.append(video);
    }

    ExportRequest Request(ExportScope scope) const {
        return ExportRequest{scope, location.path().string(), ".csv", 0};
    }

    const std::string folderName = "_._Eva's iPhone__ - 2014-05-06 03.04 PM";
    const std::string infoName = "_._Eva's iPhone___info.csv";
    Clock::ScopedTimeZone zone{"Europe/Berlin"};
    Clock::ScopedNow now{kExportTime};
    BrimleyAppDelegate state;
    TempDir work, location;
};

}  // namespace

TEST(ExportFolderName, IsTheDeviceNameAndTimeMadeSafe) {
    Clock::ScopedTimeZone zone("Europe/Berlin");
    struct Case {
        OptString device;
        std::string folder;
    } cases[] = {
        {"Eva's iPhone", "Eva's iPhone - 2014-05-06 03.04 PM"},
        {"../../etc/passwd", "_._.._etc_passwd - 2014-05-06 03.04 PM"},
        {"..", "_. - 2014-05-06 03.04 PM"},
        {"tab\there\\back", "tab_here_back - 2014-05-06 03.04 PM"},
        {std::nullopt, " - 2014-05-06 03.04 PM"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExportRun::ExportFolderName(c.device, kExportTime), c.folder);
    // Morning hours on the 12-hour clock.
    EXPECT_EQ(ExportRun::ExportFolderName("X", kExportTime - std::chrono::hours{13}),
              "X - 2014-05-06 02.04 AM");
}

// A device name of any length gives a folder name that fits, cut between characters; the time
// and the copy's number are never cut.
TEST(ExportFolderName, FitsAFileNameWhateverTheDeviceName) {
    Clock::ScopedTimeZone zone("Europe/Berlin");
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "\xC3\xA9";  // "é", two bytes each
    for (int copy : {1, 12}) {
        const std::string tail = " - 2014-05-06 03.04 PM" +
                                 (copy > 1 ? " (" + std::to_string(copy) + ")" : std::string());
        const std::string name = ExportRun::ExportFolderName(longName, kExportTime, copy);
        EXPECT_LE(name.size(), 255u);
        ASSERT_GT(name.size(), tail.size());
        EXPECT_EQ(name.substr(name.size() - tail.size()), tail);
        const std::string device = name.substr(0, name.size() - tail.size());
        EXPECT_EQ(device.size() % 2, 0u) << "cut inside a character";
        EXPECT_EQ(device, longName.substr(0, device.size()));
    }
    EXPECT_EQ(ExportRun::ExportFolderName("X", kExportTime, 2), "X - 2014-05-06 03.04 PM (2)");
}

TEST(ExportProposedFileName, FollowsTheTab) {
    BrimleyAppDelegate state;
    const ExportRun run(state, ExportFiles());
    DeviceInfo device;
    device.setDeviceName("Eva/Phone");
    struct Case {
        std::int32_t tab;
        std::string name;
    } cases[] = {{100, "SMS.csv"},
                 {101, "Addressbook.csv"},
                 {102, "Call history.csv"},
                 {105, "Apps.csv"},
                 {106, "User Dictionary.csv"},
                 {109, "Map.csv"},
                 {111, "Internet History.csv"},
                 {112, "Eva_Phone_info.csv"},
                 {110, ""},
                 {113, ""},
                 {117, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(run.ProposedFileName(c.tab, ".csv", &device), c.name) << c.tab;
}

TEST_F(ExportRunTest, AllRecordsGoIntoADatedFolderInOrder) {
    ExportRun run(state, ExportFiles());
    RecordingListener listener;
    const ExportReport report = run.run(Request(ExportScope::AllRecords), {}, &listener);

    const fs::path folder = location / folderName;
    EXPECT_EQ(report.folder, folder.string());
    EXPECT_TRUE(report.ok());
    EXPECT_FALSE(report.cancelled);
    EXPECT_THAT(NamesIn(location.path()), ElementsAre(folderName));
    const std::vector<std::string> order = {
        "SMS.csv",      "Addressbook.csv", "Call history.csv",     "Notes.csv",
        "Calendar.csv", "Apps.csv",        "User dictionary.csv",  "Photos",
        "Videos",       "Map.csv",         "Internet history.csv", infoName,
        "WhatsApp.csv"};
    EXPECT_EQ(listener.steps, order);

    // Types without records give no file; photos and videos keep their own names.
    EXPECT_THAT(FileNames(report.entries),
                ElementsAreArray(std::vector<std::string>{
                    "SMS.csv", "Addressbook.csv", "Call history.csv", "Notes.csv", "Calendar.csv",
                    "Apps.csv", "User dictionary.csv", "IMG_0001.JPG", "IMG_0002.MOV", "Map.csv",
                    "Internet history.csv", infoName, "WhatsApp.csv"}));
    EXPECT_THAT(NamesIn(folder),
                UnorderedElementsAre("Addressbook.csv", infoName, "Map.csv", "Photos", "SMS.csv",
                                     "Videos", "WhatsApp.csv"));
    EXPECT_EQ(Slurp(folder / "SMS.csv"),
              "1,2015/03/07 06:05 PM,hello,,\n2,,\"ticked, deleted\",,\n");
    EXPECT_EQ(Slurp(folder / "WhatsApp.csv"), "1,,not ticked,,\n2,,ticked,,\n");
    EXPECT_EQ(Slurp(folder / "Photos" / "IMG_0001.JPG"), "JPEG bytes");
    EXPECT_EQ(Slurp(folder / "Videos" / "IMG_0002.MOV"), "MOV bytes");
    EXPECT_THAT(Slurp(folder / infoName),
                ::testing::StartsWith("Device Name,\"../Eva's iPhone/\n\""));
}

// The photo browser shows the deleted photos alone, and no video: the export of everything
// still copies every photo and video the scan found.
TEST_F(ExportRunTest, AllRecordsTakeEveryPhotoAndVideoWhateverTheBrowserShows) {
    WriteFile(work / "deleted-source", "deleted JPEG bytes");
    auto deleted = std::make_shared<Photo>();
    deleted->setPhotoUrl((work / "deleted-source").string());
    deleted->setPhotoName("IMG_0009.JPG");
    state.DeletedPhotos.append(deleted);
    state.AllPhotos.replace({deleted});
    state._AllVideos.clear();
    ExportRun run(state, ExportFiles());
    const ExportReport report = run.run(Request(ExportScope::AllRecords));
    EXPECT_TRUE(report.ok());
    const fs::path folder = location / folderName;
    EXPECT_THAT(NamesIn(folder / "Photos"), ElementsAre("IMG_0001.JPG", "IMG_0009.JPG"));
    EXPECT_THAT(NamesIn(folder / "Videos"), ElementsAre("IMG_0002.MOV"));
}

TEST_F(ExportRunTest, TickedRecordsSkipTheUntickableTypes) {
    ExportRun run(state, ExportFiles());
    RecordingListener listener;
    const ExportReport report = run.run(Request(ExportScope::TickedRecords), {}, &listener);

    EXPECT_TRUE(report.ok());
    EXPECT_EQ(listener.steps,
              (std::vector<std::string>{"SMS.csv", "Addressbook.csv", "Call history.csv",
                                        "Notes.csv", "Calendar.csv", "Photos", "Videos",
                                        "Internet history.csv", "WhatsApp.csv"}));
    // Nothing ticked among contacts, photos and videos: no file, no media folders.
    const fs::path folder = location / folderName;
    EXPECT_THAT(NamesIn(folder), ElementsAre("SMS.csv", "WhatsApp.csv"));
    EXPECT_EQ(Slurp(folder / "SMS.csv"), "1,,\"ticked, deleted\",,\n");
    EXPECT_EQ(Slurp(folder / "WhatsApp.csv"), "1,,ticked,,\n");

    // A second export within the same minute goes into a folder of its own.
    state.Photos.snapshot().front()->setIsChecked(1);
    const ExportReport again = run.run(Request(ExportScope::TickedRecords));
    const fs::path second = location / (folderName + " (2)");
    EXPECT_EQ(again.folder, second.string());
    EXPECT_EQ(Slurp(second / "Photos" / "IMG_0001.JPG"), "JPEG bytes");
    EXPECT_FALSE(fs::exists(second / "Videos"));
    EXPECT_THAT(NamesIn(folder), ElementsAre("SMS.csv", "WhatsApp.csv"));
}

TEST_F(ExportRunTest, CurrentTabWritesOneFileWithEveryRecord) {
    ExportRun run(state, ExportFiles());
    state.ContactContent.snapshot().front()->setIsChecked(0);
    const fs::path file = location / "chosen name.txt";
    ExportRequest request{ExportScope::CurrentTab, file.string(), ".csv", 101};
    const ExportReport report = run.run(request);
    ASSERT_EQ(report.entries.size(), 1u);
    EXPECT_EQ(report.entries[0].status, ExportStatus::Written);
    EXPECT_EQ(report.folder, "");
    EXPECT_THAT(NamesIn(location.path()), ElementsAre("chosen name.txt"));
    EXPECT_THAT(Slurp(file), ::testing::StartsWith("1,,Eva,"));

    // The photo and video tabs copy into the chosen folder, the folder made even when nothing
    // is ticked.
    request.location = location.path().string();
    request.currentTab = 108;
    EXPECT_TRUE(run.run(request).entries.empty());
    EXPECT_TRUE(fs::is_directory(location / "Videos"));
    EXPECT_TRUE(fs::is_empty(location / "Videos"));

    // A tab with no file of its own writes nothing.
    request.currentTab = 113;
    EXPECT_TRUE(run.run(request).entries.empty());
}

TEST_F(ExportRunTest, ReportsWhatCouldNotBeWritten) {
    ExportRun run(state, ExportFiles());

    // No location, and a file standing where the export folder's parent should be.
    WriteFile(location / "plain file", "x");
    for (const std::string& where : {std::string(), (location / "plain file").string()}) {
        ExportRequest request = Request(ExportScope::AllRecords);
        request.location = where;
        const ExportReport report = run.run(request);
        EXPECT_FALSE(report.ok());
        ASSERT_EQ(report.failures().size(), 1u);
        EXPECT_EQ(report.entries.size(), 1u);
    }

    // One file that cannot be written fails alone; the others are still written.
    fs::remove(work / "photo-source");
    const ExportReport report = run.run(Request(ExportScope::AllRecords));
    ASSERT_EQ(report.failures().size(), 1u);
    EXPECT_EQ(report.failures()[0].path,
              (location / folderName / "Photos" / "IMG_0001.JPG").string());
    EXPECT_TRUE(fs::exists(location / folderName / "WhatsApp.csv"));
    EXPECT_TRUE(fs::exists(location / folderName / "Videos" / "IMG_0002.MOV"));
}

// Whatever stands under the dated folder's name before the export (the user's own folder, a
// link someone planted, a file) stays as it was; the export makes a new folder of its own and
// writes everything there.
TEST_F(ExportRunTest, NeverWritesIntoOrThroughWhatWasThereBefore) {
    TempDir elsewhere;
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> plant;
        std::function<void(const fs::path&)> expectUnchanged;
    } cases[] = {
        {"the user's folder",
         [](const fs::path& p) {
             fs::create_directories(p);
             WriteFile(p / "SMS.csv", "mine");
         },
         [](const fs::path& p) {
             EXPECT_THAT(NamesIn(p), ElementsAre("SMS.csv"));
             EXPECT_EQ(Slurp(p / "SMS.csv"), "mine");
         }},
        {"a link to another folder",
         [&](const fs::path& p) { fs::create_directory_symlink(elsewhere.path(), p); },
         [&](const fs::path& p) { EXPECT_EQ(fs::read_symlink(p), elsewhere.path()); }},
        {"a dangling link",
         [&](const fs::path& p) { fs::create_symlink(elsewhere / "nothing", p); },
         [&](const fs::path& p) { EXPECT_EQ(fs::read_symlink(p), elsewhere / "nothing"); }},
        {"a file", [](const fs::path& p) { WriteFile(p, "a file"); },
         [](const fs::path& p) { EXPECT_EQ(Slurp(p), "a file"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir where;
        const fs::path planted = where / folderName;
        c.plant(planted);
        ExportRun run(state, ExportFiles());
        ExportRequest request = Request(ExportScope::AllRecords);
        request.location = where.path().string();
        const ExportReport report = run.run(request);

        const fs::path made = where / (folderName + " (2)");
        EXPECT_EQ(report.folder, made.string());
        EXPECT_TRUE(report.ok());
        EXPECT_EQ(report.written(), report.planned);
        EXPECT_EQ(report.planned, 7u);
        EXPECT_FALSE(fs::is_symlink(made));
        EXPECT_THAT(NamesIn(made),
                    UnorderedElementsAre("Addressbook.csv", infoName, "Map.csv", "Photos",
                                         "SMS.csv", "Videos", "WhatsApp.csv"));
        c.expectUnchanged(planted);
        EXPECT_TRUE(fs::is_empty(elsewhere.path()));
    }
}

// Photos (and videos) of one export that share a name are all copied, under distinct names.
TEST_F(ExportRunTest, PhotosThatShareANameAreAllExported) {
    for (const char* other : {"second camera folder", "third camera folder"}) {
        WriteFile(work / other, other);
        auto photo = std::make_shared<Photo>();
        photo->setPhotoUrl((work / other).string());
        photo->setPhotoName("IMG_0001.JPG");
        state.Photos.append(photo);
    }
    ExportRun run(state, ExportFiles());
    const ExportReport report = run.run(Request(ExportScope::AllRecords));
    EXPECT_TRUE(report.ok());
    const fs::path photos = location / folderName / "Photos";
    EXPECT_THAT(NamesIn(photos),
                ElementsAre("IMG_0001 (2).JPG", "IMG_0001 (3).JPG", "IMG_0001.JPG"));
    EXPECT_EQ(Slurp(photos / "IMG_0001.JPG"), "JPEG bytes");
    EXPECT_EQ(Slurp(photos / "IMG_0001 (2).JPG"), "second camera folder");
    EXPECT_EQ(Slurp(photos / "IMG_0001 (3).JPG"), "third camera folder");
}

// A device name longer than a file name may be still gives an export, its folder and its
// device file named by as much of it as fits.
TEST_F(ExportRunTest, ALongDeviceNameStillExports) {
    auto device = std::make_shared<DeviceInfo>(*state.deviceInfo.get());
    device->setDeviceName(std::string(300, 'n'));
    state.deviceInfo.set(device);
    ExportRun run(state, ExportFiles());
    const ExportReport report = run.run(Request(ExportScope::AllRecords));
    EXPECT_TRUE(report.ok());
    EXPECT_EQ(report.written(), report.planned);
    ASSERT_THAT(NamesIn(location.path()), ::testing::SizeIs(1));
    const std::string folder = NamesIn(location.path()).front();
    EXPECT_LE(folder.size(), 255u);
    EXPECT_EQ(folder.rfind(std::string(200, 'n'), 0), 0u);
    const std::string info = std::string(255 - 9, 'n') + "_info.csv";
    EXPECT_TRUE(fs::exists(location / folder / info));
}

// A link planted in the place of the media folder or of a picture is never followed.
TEST(MediaExporter, FollowsNoLinkPlantedInItsWay) {
    TempDir source, target, elsewhere;
    WriteFile(source / "a", "new A");
    const std::vector<MediaExporter::Item> items = {{(source / "a").string(), "IMG_A.JPG"}};

    fs::create_directory_symlink(elsewhere.path(), target / "Photos");
    const auto throughFolder =
        MediaExporter::CopyInto(target.path().string(), "Photos", items, true);
    ASSERT_EQ(throughFolder.entries.size(), 1u);
    EXPECT_EQ(throughFolder.entries[0].status, ExportStatus::Failed);
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));

    fs::remove(target / "Photos");
    fs::create_directories(target / "Photos");
    WriteFile(elsewhere / "victim", "keep");
    fs::create_symlink(elsewhere / "victim", target / "Photos" / "IMG_A.JPG");
    const auto throughFile = MediaExporter::CopyInto(target.path().string(), "Photos", items, true);
    ASSERT_EQ(throughFile.entries.size(), 1u);
    EXPECT_EQ(throughFile.entries[0].status, ExportStatus::AlreadyThere);
    EXPECT_EQ(Slurp(elsewhere / "victim"), "keep");
    EXPECT_THAT(NamesIn(target / "Photos"), ElementsAre("IMG_A.JPG"));
}

// A stop request ends a copy under way; nothing of it is left.
TEST(MediaExporter, AStoppedCopyLeavesNothing) {
    TempDir source, target;
    WriteFile(source / "big", std::string(1 << 20, 'x'));
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(MediaExporter::CopyFileWithoutReplacing(
                  (source / "big").string(), (target / "IMG.JPG").string(), stop.get_token()),
              ExportStatus::Failed);
    const auto result =
        MediaExporter::CopyInto(target.path().string(), "Photos",
                                {{(source / "big").string(), "IMG.JPG"}}, true, stop.get_token());
    EXPECT_TRUE(result.stopped);
    EXPECT_TRUE(result.entries.empty());
    EXPECT_THAT(NamesIn(target.path()), ElementsAre("Photos"));
    EXPECT_TRUE(fs::is_empty(target / "Photos"));
}

TEST(MediaExporter, LeavesFilesAlreadyThereAndCopiesTheRest) {
    TempDir source, target;
    WriteFile(source / "a", "new A");
    WriteFile(source / "b", "new B");
    ASSERT_EQ(::mkfifo((source / "fifo").c_str(), 0600), 0);
    fs::create_directories(target / "Photos");
    WriteFile(target / "Photos" / "IMG_A.JPG", "the user's own file");

    const std::vector<MediaExporter::Item> items = {
        {(source / "a").string(), "IMG_A.JPG"},
        {(source / "b").string(), "../IMG_B.JPG"},
        {(source / "missing").string(), "IMG_C.JPG"},
        {(source / "fifo").string(), "IMG_D.JPG"},  // must not hang the export
    };
    const auto result = MediaExporter::CopyInto(target.path().string(), "Photos", items, true);
    ASSERT_EQ(result.entries.size(), 4u);
    EXPECT_FALSE(result.stopped);
    const fs::path photos = target / "Photos";
    struct Expect {
        std::string name;
        ExportStatus status;
    } expected[] = {{"IMG_A.JPG", ExportStatus::AlreadyThere},
                    {"_._IMG_B.JPG", ExportStatus::Written},
                    {"IMG_C.JPG", ExportStatus::Failed},
                    {"IMG_D.JPG", ExportStatus::Failed}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(result.entries[i].path, (photos / expected[i].name).string());
        EXPECT_EQ(result.entries[i].status, expected[i].status) << expected[i].name;
    }
    EXPECT_EQ(Slurp(photos / "IMG_A.JPG"), "the user's own file");
    EXPECT_EQ(Slurp(photos / "_._IMG_B.JPG"), "new B");
    // Nothing half-written or temporary is left.
    EXPECT_THAT(NamesIn(photos), ElementsAre("IMG_A.JPG", "_._IMG_B.JPG"));

    // A second export into the same folder replaces nothing.
    WriteFile(source / "b", "changed B");
    const auto again = MediaExporter::CopyInto(target.path().string(), "Photos", items, true);
    EXPECT_EQ(again.entries[1].status, ExportStatus::AlreadyThere);
    EXPECT_EQ(Slurp(photos / "_._IMG_B.JPG"), "new B");

    // Without items and without createWhenEmpty no folder appears; a file in the folder's
    // place is a failure.
    EXPECT_TRUE(
        MediaExporter::CopyInto(target.path().string(), "Videos", {}, false).entries.empty());
    EXPECT_FALSE(fs::exists(target / "Videos"));
    WriteFile(target / "Videos", "in the way");
    const auto blocked = MediaExporter::CopyInto(target.path().string(), "Videos", items, true);
    ASSERT_EQ(blocked.entries.size(), 1u);
    EXPECT_EQ(blocked.entries[0].status, ExportStatus::Failed);
}

TEST_F(ExportRunTest, RunsOnItsOwnThreadOneAtATimeAndStopsWhenCancelled) {
    ExportRun run(state, ExportFiles());
    auto listener = std::make_shared<RecordingListener>();
    listener->holdFirstStep = true;
    ASSERT_TRUE(run.start(Request(ExportScope::AllRecords), listener));
    listener->entered.get_future().wait();
    EXPECT_TRUE(run.isRunning());
    EXPECT_FALSE(
        run.start(Request(ExportScope::AllRecords), std::make_shared<RecordingListener>()));

    run.cancel();
    listener->release.set_value();
    run.wait();
    EXPECT_FALSE(run.isRunning());
    EXPECT_EQ(listener->finishedCount, 1);
    EXPECT_TRUE(listener->report.cancelled);
    // The step under way when the stop came is finished; nothing after it is started.
    EXPECT_THAT(FileNames(listener->report.entries), ElementsAre("SMS.csv"));
    EXPECT_THAT(NamesIn(location / folderName), ElementsAre("SMS.csv"));
    EXPECT_EQ(listener->report.written(), 1u);
    EXPECT_EQ(listener->report.planned, 7u);

    auto second = std::make_shared<RecordingListener>();
    ASSERT_TRUE(run.start(Request(ExportScope::AllRecords), second));
    run.wait();
    EXPECT_FALSE(second->report.cancelled);
    EXPECT_EQ(second->report.entries.size(), 13u);
    EXPECT_EQ(second->report.written(), 7u);
}
