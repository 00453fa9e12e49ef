#include "app/HeadlessWindow.h"

#include "app/PhotoBrowserLists.h"
#include "app/ScanReport.h"
#include "app/StatusLine.h"
#include "common/TerminalText.h"
#include "records/BrimleyAppDelegate.h"

#include <cstdio>

namespace {

// Clears the line the cursor stands on (a carriage return, then "erase to end of line").
constexpr const char* kClearLine = "\r\x1b[K";

// The longest status line printed; a longer one is cut.
constexpr std::size_t kStatusLineBytes = 2000;

std::string Elapsed(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace

HeadlessWindow::HeadlessWindow(BrimleyAppDelegate& record, std::ostream& out, Options options)
    : record_(record), out_(out), options_(options) {}

HeadlessWindow::~HeadlessWindow() {
    stopProgress();
}

void HeadlessWindow::writeLines(const std::string& lines) {
    // Much of what is printed comes from the backup: no control character of it reaches the
    // terminal.
    const std::string clean = TerminalLines(lines);
    std::lock_guard lock(outMutex_);
    if (progressShown_) out_ << kClearLine;
    out_ << clean;
    if (progressShown_) out_ << progressText();
    out_.flush();
}

void HeadlessWindow::updateStatus(std::int32_t code, const std::string& message) {
    const OptString text = StatusLineText(code, message);
    if (!text) return;
    // One line, of a length a terminal shows.
    const std::string line = TerminalText(*text, kStatusLineBytes);
    {
        std::lock_guard lock(outMutex_);
        lastStatus_ = line;
    }
    writeLines(line + "\n");
}

void HeadlessWindow::newVersionAvailable(const std::string& version,
                                         const OptString& downloadPage) {
    writeLines("A newer version of Torvane is available: " + version +
               (downloadPage && !downloadPage->empty() ? " (" + *downloadPage + ")" : "") + "\n");
}

void HeadlessWindow::showAlert(const std::string& message) {
    writeLines(message + "\n");
}

bool HeadlessWindow::askToUpdate(const std::string& message) {
    writeLines(message + "\n");
    return false;
}

void HeadlessWindow::openInBrowser(const std::string& address) {
    writeLines("Download page: " + address + "\n");
}

void HeadlessWindow::updateDisplayName(const std::string& name) {
    if (!name.empty()) writeLines("Device: " + TerminalText(name) + "\n");
}

void HeadlessWindow::showScreen(ScreenState state) {
    if (state == ScreenState::ScreenResults) startProgress();
}

void HeadlessWindow::stopCountdown() {
    stopProgress();
}

void HeadlessWindow::OpenDashboard() {
    stopProgress();
    ScanReport report = ScanReport::fromRecord(record_);
    report.title = TerminalText(report.title);
    writeLines("\nScan completed\n" + report.text());
    ++reportsShown_;
}

void HeadlessWindow::updatePhotosUI() {
    PhotoBrowserLists::rebuild(record_);
}

void HeadlessWindow::runAlert(const AlertRequest& alert, std::function<void(std::size_t)> answered) {
    std::string buttons;
    for (const std::string& b : alert.buttons) buttons += (buttons.empty() ? "" : " / ") + b;
    AlertPolicy policy;
    {
        std::lock_guard lock(policyMutex_);
        policy = alertPolicy_;
    }
    const std::optional<std::size_t> answer = policy ? policy(alert) : std::nullopt;
    std::string lines = alert.message + " [" + buttons + "]\n";
    if (answer && *answer < alert.buttons.size()) lines += "  -> " + alert.buttons[*answer] + "\n";
    writeLines(lines);
    if (answer && *answer < alert.buttons.size()) answered(*answer);
}

void HeadlessWindow::setAlertPolicy(AlertPolicy policy) {
    std::lock_guard lock(policyMutex_);
    alertPolicy_ = std::move(policy);
}

void HeadlessWindow::updateDatasource() {
    PhotoBrowserLists::rebuild(record_);
}

std::string HeadlessWindow::progressLine() const {
    std::lock_guard lock(outMutex_);
    return progressText();
}

std::string HeadlessWindow::progressText() const {
    const BrimleyAppDelegate& r = record_;
    const long long existing = static_cast<long long>(r.SMSCount) + r.ContactCount +
                               r.CallLogCount + r.NoteCount + r.CalendarCount + r.WhatsAppCount +
                               r.InternetCount + r.PhotosCount + r.VideosCount;
    const long long deleted = static_cast<long long>(r.DeletedSMSCount) + r.DeletedContactCount +
                              r.DeletedCallLogCount + r.DeletedNoteCount + r.DeletedCalendarCount +
                              r.DeletedWhatsAppCount + r.DeletedPhotosCount + r.DeletedVideosCount;
    std::string line = "[" + Elapsed(std::chrono::steady_clock::now() - scanStarted_) + "] " +
                       std::to_string(existing) + " existing and " + std::to_string(deleted) +
                       " deleted records so far";
    if (!lastStatus_.empty()) line += " - " + lastStatus_;
    return line;
}

void HeadlessWindow::startProgress() {
    std::lock_guard ticker(tickerMutex_);
    if (ticker_.joinable()) return;  // already counting: a tab change does not restart it
    {
        std::lock_guard lock(outMutex_);
        scanStarted_ = std::chrono::steady_clock::now();
    }
    ticker_ = std::jthread([this](std::stop_token stop) { progressLoop(stop); });
}

void HeadlessWindow::stopProgress() {
    std::jthread ticker;
    {
        std::lock_guard lock(tickerMutex_);
        ticker = std::move(ticker_);
    }
    if (ticker.joinable()) {
        ticker.request_stop();
        ticker.join();
    }
    std::lock_guard lock(outMutex_);
    if (progressShown_) {
        out_ << kClearLine;
        out_.flush();
        progressShown_ = false;
    }
}

void HeadlessWindow::progressLoop(std::stop_token stop) {
    std::unique_lock wait(waitMutex_);
    // Sleeps one interval at a time; a stop request wakes it at once.
    while (!tick_.wait_for(wait, stop, options_.progressInterval, [] { return false; })) {
        if (stop.stop_requested()) return;
        std::lock_guard lock(outMutex_);
        if (options_.rewriteProgressLine) {
            out_ << kClearLine << progressText();
            progressShown_ = true;
        } else {
            out_ << progressText() << '\n';
        }
        out_.flush();
    }
}
