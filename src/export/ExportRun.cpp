#include "export/ExportRun.h"

#include "common/FileName.h"
#include "common/FileUtils.h"
#include "common/SafeFiles.h"
#include "export/ExportDates.h"
#include "export/MediaExporter.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/Photo.h"
#include "records/Video.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <span>

namespace {

// Which photos or videos a copy takes.
enum class MediaChoice {
    All,          // every item, the folder made even when there is none
    Ticked,       // isChecked 1, no folder without one
    NotUnticked,  // isChecked other than 0, the folder made even when there is none
};

// The photos or videos an export copies: every one the scan found, existing and deleted,
// whatever the photo browser shows at the moment.
template <class Record, class Source, class Name>
std::vector<MediaExporter::Item> MediaItems(const SharedList<Record>& existing,
                                            const SharedList<Record>& deleted, MediaChoice choice,
                                            Source source, Name name) {
    std::vector<MediaExporter::Item> items;
    for (const SharedList<Record>* list : {&existing, &deleted})
        for (const auto& record : list->snapshot()) {
            if (!record) continue;
            const std::int32_t tick = record->isChecked();
            if (choice == MediaChoice::Ticked && tick != 1) continue;
            if (choice == MediaChoice::NotUnticked && tick == 0) continue;
            items.push_back({((*record).*source)(), ((*record).*name)()});
        }
    return items;
}

std::vector<MediaExporter::Item> PhotoItems(const BrimleyAppDelegate& state, MediaChoice choice) {
    return MediaItems(state.Photos, state.DeletedPhotos, choice, &Photo::PhotoUrl, &Photo::PhotoName);
}

std::vector<MediaExporter::Item> VideoItems(const BrimleyAppDelegate& state, MediaChoice choice) {
    return MediaItems(state.Videos, state.DeletedVideos, choice, &Video::VideoUrl, &Video::VideoName);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

// Runs the steps of one export and keeps the report, the progress and the stop request.
class StepRunner {
public:
    StepRunner(ExportReport& report, std::size_t steps, std::stop_token stop,
               ExportListener* listener)
        : report_(report), steps_(steps), stop_(std::move(stop)), listener_(listener) {}

    // False, and the report marked cancelled, when a stop was asked for before this step.
    bool begin(const std::string& name) {
        if (stop_.stop_requested()) {
            report_.cancelled = true;
            return false;
        }
        name_ = name;
        ++step_;
        progress(0, 0);
        return true;
    }

    void add(ExportEntry entry) { report_.entries.push_back(std::move(entry)); }

    void copyMedia(const std::string& folder, const std::vector<MediaExporter::Item>& items,
                   bool createWhenEmpty) {
        auto copied =
            MediaExporter::CopyInto(folder, name_, items, createWhenEmpty, stop_,
                                    [&](std::size_t done) { progress(done, items.size()); });
        if (copied.stopped) report_.cancelled = true;
        for (auto& e : copied.entries) add(std::move(e));
    }

private:
    void progress(std::size_t item, std::size_t items) {
        if (listener_) listener_->exportProgress({step_, steps_, name_, item, items});
    }

    ExportReport& report_;
    std::size_t step_ = 0;
    std::size_t steps_;
    std::stop_token stop_;
    ExportListener* listener_;
    std::string name_;
};

}  // namespace

std::size_t ExportReport::written() const {
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(),
                      [](const ExportEntry& e) { return e.status == ExportStatus::Written; }));
}

std::vector<ExportEntry> ExportReport::failures() const {
    std::vector<ExportEntry> failed;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(failed),
                 [](const ExportEntry& e) { return e.status == ExportStatus::Failed; });
    return failed;
}

ExportRun::ExportRun(BrimleyAppDelegate& state, std::vector<ExportFile> files)
    : state_(state), exporter_(state), files_(std::move(files)) {}

const ExportFile* ExportRun::fileOfTab(std::int32_t tab) const {
    for (const auto& file : files_)
        if (file.tab == tab) return &file;
    return nullptr;
}

ExportRun::~ExportRun() = default;

bool ExportRun::start(ExportRequest request, std::shared_ptr<ExportListener> listener) {
    std::lock_guard lock(startMutex_);
    if (running_.load()) return false;
    // The previous thread has finished its work; collect it before replacing it.
    if (thread_.joinable()) thread_.join();
    running_.store(true);
    thread_ = std::jthread(
        [this, request = std::move(request), listener = std::move(listener)](std::stop_token stop) {
            const ExportReport report = run(request, stop, listener.get());
            if (listener) listener->exportFinished(report);
            running_.store(false);
            running_.notify_all();
        });
    return true;
}

void ExportRun::cancel() {
    std::lock_guard lock(startMutex_);
    thread_.request_stop();
}

void ExportRun::wait() {
    // Not from the listener: the export counts as running until its listener has returned.
    while (running_.load()) running_.wait(true);
}

ExportReport ExportRun::run(const ExportRequest& request, std::stop_token stop,
                            ExportListener* listener) const {
    if (request.location.empty()) {
        // Never fall back to the file system's root or the current folder.
        std::cerr << "Export: no location chosen\n";
        return ExportReport{{}, {{request.location, ExportStatus::Failed, 0}}, false};
    }
    if (request.scope == ExportScope::CurrentTab) return runCurrentTab(request, stop, listener);
    return runInFolder(request, stop, listener);
}

std::size_t ExportRun::filesToWrite(const ExportFile& file, bool onlyTicked) const {
    const MediaChoice media = onlyTicked ? MediaChoice::Ticked : MediaChoice::All;
    switch (file.kind) {
        case ExportFile::Kind::Photos:
            return PhotoItems(state_, media).size();
        case ExportFile::Kind::Videos:
            return VideoItems(state_, media).size();
        case ExportFile::Kind::DeviceInfo:
            return state_.deviceInfo.get() ? 1 : 0;
        case ExportFile::Kind::Records:
            return file.write && exporter_.RecordsToWrite(file.write, onlyTicked) > 0 ? 1 : 0;
    }
    return 0;
}

ExportReport ExportRun::runInFolder(const ExportRequest& request, std::stop_token stop,
                                    ExportListener* listener) const {
    const bool onlyTicked = request.scope == ExportScope::TickedRecords;
    std::vector<const ExportFile*> order;
    for (const auto& file : files_)
        if (!onlyTicked || file.tickable) order.push_back(&file);
    const std::shared_ptr<DeviceInfo> device = state_.deviceInfo.get();

    ExportReport report;
    for (const ExportFile* file : order) report.planned += filesToWrite(*file, onlyTicked);
    const OptString deviceName = device ? device->DeviceName() : OptString();
    const Date now = Clock::Now();
    // The chosen location, with its missing parents, is the user's; the dated folder inside it
    // is always made anew.
    std::error_code ignored;
    std::filesystem::create_directories(request.location, ignored);
    std::string why;
    const OptString folder = SafeFiles::CreateFreshFolder(
        request.location, [&](int copy) { return ExportFolderName(deviceName, now, copy); }, &why);
    if (!folder) {
        report.folder = Join(request.location, ExportFolderName(deviceName, now));
        std::cerr << "Export: cannot create the folder " << why << '\n';
        report.entries.push_back({report.folder, ExportStatus::Failed, 0});
        return report;
    }
    report.folder = *folder;
    report.folderMade = true;

    // Inside the new folder nothing is ever replaced.
    const Exporter exporter(state_, CsvWriter::Placement::NewFileOnly);
    StepRunner steps(report, order.size(), stop, listener);
    const MediaChoice media = onlyTicked ? MediaChoice::Ticked : MediaChoice::All;
    for (const ExportFile* file : order) {
        if (file->kind == ExportFile::Kind::Photos) {
            if (!steps.begin("Photos")) break;
            steps.copyMedia(
                report.folder,
                PhotoItems(state_, media),
                !onlyTicked);
        } else if (file->kind == ExportFile::Kind::Videos) {
            if (!steps.begin("Videos")) break;
            steps.copyMedia(
                report.folder,
                VideoItems(state_, media),
                !onlyTicked);
        } else if (file->kind == ExportFile::Kind::DeviceInfo) {
            const std::string name = device ? device->InfoFileName() : DeviceInfo().InfoFileName();
            if (!steps.begin(name)) break;
            const std::string path = Join(report.folder, name);
            if (!device)
                steps.add({path, ExportStatus::NothingToWrite, 0});
            else if (device->exportDeviceInfo(path, CsvWriter::Placement::NewFileOnly))
                steps.add({path, ExportStatus::Written, 9});
            else
                steps.add({path, ExportStatus::Failed, 0});
        } else if (file->write) {
            const std::string name =
                FitFileName(MakeSafeFileName(std::string(file->folderName) + request.extension));
            if (!steps.begin(name)) break;
            steps.add((exporter.*(file->write))(Join(report.folder, name), onlyTicked));
        }
    }
    // Written, or stopped part-way: the folder is now an ordinary folder of the user's.
    SafeFiles::OpenUpFolder(report.folder);
    return report;
}

ExportReport ExportRun::runCurrentTab(const ExportRequest& request, std::stop_token stop,
                                      ExportListener* listener) const {
    ExportReport report;
    StepRunner steps(report, 1, stop, listener);
    const ExportFile* file = fileOfTab(request.currentTab);
    if (!file) return report;
    // The tab's own export writes every record, and every photo or video not unticked.
    if (file->kind == ExportFile::Kind::Photos)
        report.planned = PhotoItems(state_, MediaChoice::NotUnticked).size();
    else if (file->kind == ExportFile::Kind::Videos)
        report.planned = VideoItems(state_, MediaChoice::NotUnticked).size();
    else
        report.planned = filesToWrite(*file, false);
    if (file->kind == ExportFile::Kind::Photos || file->kind == ExportFile::Kind::Videos) {
        const bool photos = file->kind == ExportFile::Kind::Photos;
        if (!steps.begin(photos ? "Photos" : "Videos")) return report;
        steps.copyMedia(request.location,
                        photos ? PhotoItems(state_, MediaChoice::NotUnticked)
                               : VideoItems(state_, MediaChoice::NotUnticked),
                        true);
    } else if (file->kind == ExportFile::Kind::DeviceInfo) {
        if (!steps.begin(request.location)) return report;
        const std::shared_ptr<DeviceInfo> device = state_.deviceInfo.get();
        if (!device)
            steps.add({request.location, ExportStatus::NothingToWrite, 0});
        else if (device->exportDeviceInfo(request.location))
            steps.add({request.location, ExportStatus::Written, 9});
        else
            steps.add({request.location, ExportStatus::Failed, 0});
    } else if (file->write) {
        // The tab's own export writes every record, ticked or not.
        if (!steps.begin(request.location)) return report;
        steps.add((exporter_.*(file->write))(request.location, false));
    }
    return report;
}

std::string ExportRun::ExportFolderName(const OptString& deviceName, Date when, int copy) {
    const std::string time = " - " + ExportDates::FolderTime(when);
    const std::string whole = MakeSafeFileName(deviceName.value_or("") + time);
    // The device's part is cut, never the time or the copy's number.
    const std::string device = whole.substr(0, whole.size() - time.size());
    const std::string tail = time + (copy > 1 ? " (" + std::to_string(copy) + ")" : "");
    return std::string(Utf8Prefix(device, kMaxFileNameBytes - tail.size())) + tail;
}

std::string ExportRun::ProposedFileName(std::int32_t tab, const std::string& extension,
                                        const DeviceInfo* device) const {
    const ExportFile* file = fileOfTab(tab);
    if (file && file->kind == ExportFile::Kind::DeviceInfo)
        return device ? device->InfoFileName() : DeviceInfo().InfoFileName();
    if (!file || *file->proposedName == '\0') return "";
    return MakeSafeFileName(std::string(file->proposedName) + extension);
}
