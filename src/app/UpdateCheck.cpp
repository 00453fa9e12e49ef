#include "app/UpdateCheck.h"

#include "app/CrashHandling.h"
#include "app/MainThreadDispatcher.h"
#include "app/MainWindow.h"
#include "common/Reachability.h"
#include "config/ApplicationConfig.h"
#include "config/HttpGet.h"
#include "config/LanguageConfig.h"
#include "config/XMLParser.h"
#include "records/BrimleyAppDelegate.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::vector<std::string> Parts(const std::string& version) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = version.find('.', start);
        parts.push_back(version.substr(start, dot == std::string::npos ? dot : dot - start));
        if (dot == std::string::npos) return parts;
        start = dot + 1;
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One part: runs of digits by their value (any length), other characters by their codes.
int ComparePart(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            while (i + 1 < endA && a[i] == '0') ++i;
            while (j + 1 < endB && b[j] == '0') ++j;
            if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
            if (const int c = a.compare(i, endA - i, b, j, endB - j); c != 0) return c < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

// A part that is missing, or all zeros, counts as 0.
bool IsZeroPart(const std::string& part) {
    return part.find_first_not_of('0') == std::string::npos;
}

}  // namespace

UpdateCheck::UpdateCheck(BrimleyAppDelegate& record, MainWindowActions& window,
                         MainThreadDispatcher& dispatcher, UpdateUser& user,
                         PublishedVersion publishedVersion, DownloadPage downloadPage)
    : record_(record),
      window_(window),
      dispatcher_(dispatcher),
      user_(user),
      publishedVersion_(std::move(publishedVersion)),
      downloadPage_(std::move(downloadPage)) {}

UpdateCheck::~UpdateCheck() {
    std::jthread check;
    {
        std::lock_guard lock(menuMutex_);
        check = std::move(menuCheck_);
    }
    if (check.joinable()) {
        check.request_stop();
        check.join();
    }
}

int UpdateCheck::compareVersions(const std::string& a, const std::string& b) {
    const std::vector<std::string> partsA = Parts(Trimmed(a));
    const std::vector<std::string> partsB = Parts(Trimmed(b));
    const std::size_t count = std::max(partsA.size(), partsB.size());
    for (std::size_t k = 0; k < count; ++k) {
        const std::string pa = k < partsA.size() ? partsA[k] : "0";
        const std::string pb = k < partsB.size() ? partsB[k] : "0";
        if (IsZeroPart(pa) && IsZeroPart(pb)) continue;
        if (const int c = ComparePart(pa, pb); c != 0) return c;
    }
    return 0;
}

bool UpdateCheck::isNewerVersion(const std::string& published, const std::string& running) {
    if (Trimmed(published).empty() || Trimmed(running).empty()) return false;
    return compareVersions(published, running) > 0;
}

std::string UpdateCheck::runningVersion(const OptString& versionLabel) {
    if (!versionLabel) return "";
    std::istringstream words(*versionLabel);
    std::string word;
    if (!(words >> word) || !(words >> word)) return "";
    std::erase(word, 'v');
    return word;
}

std::string UpdateCheck::currentRunningVersion() const {
    return runningVersion(record_.Version.get());
}

std::string UpdateCheck::publishedVersion(std::stop_token stop) {
    if (publishedVersion_) return publishedVersion_(stop);
    return XMLParser::getCurrentVersionFromWeb(stop);
}

OptString UpdateCheck::downloadPage() {
    if (downloadPage_) return downloadPage_();
    return ApplicationConfig::sharedObject().updaterAppUrl;
}

void UpdateCheck::checkForAutoUpdate(std::stop_token stop) {
    const std::string published = publishedVersion(stop);
    if (stop.stop_requested()) return;
    if (!isNewerVersion(published, currentRunningVersion())) return;
    const OptString page = downloadPage();
    dispatcher_.post([&user = user_, version = Trimmed(published), page] {
        user.newVersionAvailable(version, page);
    });
}

void UpdateCheck::OnUpdateClick() {
    std::lock_guard lock(menuMutex_);
    if (menuRunning_) return;
    if (menuCheck_.joinable()) menuCheck_.join();
    menuRunning_ = true;
    menuCheck_ = std::jthread([this](std::stop_token stop) {
        RunAtTaskBoundary("the update check", nullptr, [&] { checkUpdate(stop); });
        std::lock_guard done(menuMutex_);
        menuRunning_ = false;
    });
}

namespace {

// A message of the update check in the chosen language; the English text without one.
std::string Said(LanguageKey key, const char* english) {
    return LanguageConfig::sharedObject().text(key).value_or(english);
}

// Whether the configured feed's server can be reached. Without a usable address, or with a
// placeholder one, there is no server to reach.
bool FeedServerReachable() {
    const OptString address = ApplicationConfig::sharedObject().updateUrl;
    const auto parts = address ? ParseWebAddress(*address) : std::nullopt;
    if (!parts || parts->host.empty() || IsPlaceholderAddress(*address)) return false;
    return Reachability::IsReachable(*address);
}

}  // namespace

void UpdateCheck::checkUpdate(std::stop_token stop) {
    const auto before = static_cast<ScreenState>(record_.PresentScreen.load());
    window_.showScreen(ScreenState::ScreenInitialLoading);
    window_.updateStatus(3, Said(LanguageKey::UpdateChecking, kChecking));

    const std::string published = publishedVersion(stop);
    if (stop.stop_requested()) return;
    if (Trimmed(published).empty()) {
        const bool online = connected ? connected() : FeedServerReachable();
        const std::string message = online ? Said(LanguageKey::UpdateServerBusy, kServerBusy)
                                           : Said(LanguageKey::UpdateNoConnection, kNoConnection);
        dispatcher_.postAndWait([this, &message] { user_.showAlert(message); });
    } else if (isNewerVersion(published, currentRunningVersion())) {
        // The question stays until the download page has opened or the user cancels.
        const std::string question = Said(LanguageKey::UpdateNewVersion, kNewVersion);
        dispatcher_.postAndWait([this, &question] {
            while (user_.askToUpdate(question))
                if (OnMasterUpdate()) break;
        });
    } else {
        const std::string message = Said(LanguageKey::UpdateUpToDate, kUpToDate);
        dispatcher_.postAndWait([this, &message] { user_.showAlert(message); });
    }
    window_.showScreen(before);
}

bool UpdateCheck::OnMasterUpdate() {
    const OptString page = downloadPage();
    const auto parts = page ? ParseWebAddress(*page) : std::nullopt;
    if (!parts || (parts->scheme != "https" && parts->scheme != "http")) {
        std::cerr << "update check: no download page to open"
                  << (page ? " (" + *page + " is not a web address)" : std::string()) << '\n';
        return false;
    }
    dispatcher_.postAndWait([this, address = *page] { user_.openInBrowser(address); });
    return true;
}
