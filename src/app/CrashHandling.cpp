#include "app/CrashHandling.h"

#include "app/AnalyticsEvents.h"
#include "common/AppPaths.h"
#include "common/FileUtils.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <typeinfo>

std::atomic<std::int32_t> UncaughtExceptionCount{0};

namespace {

constexpr int kFatalSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS};
constexpr std::int32_t kMaxReportBytes = 64 * 1024;
constexpr const char* kReportPrefix = "crash-";
constexpr const char* kReportSuffix = ".txt";

// Everything the signal handler needs is prepared here beforehand: it only copies and writes.
// A folder that changes later is swapped in whole through the pointer.
struct ReportFolder {
    char path[PATH_MAX];
};
std::atomic<const ReportFolder*> gFolder{nullptr};
// Every folder ever set stays, since a handler may be reading an earlier one.
std::mutex gFoldersMutex;
std::vector<std::unique_ptr<ReportFolder>> gFolders;
// The text of an uncaught exception, noted by the terminate handler before it aborts.
char gUncaught[1024];
std::atomic<bool> gUncaughtNoted{false};
std::atomic<bool> gCrashing{false};
struct sigaction gPrevious[sizeof kFatalSignals / sizeof kFatalSignals[0]];
std::once_flag gInstallOnce;

// ---- Async-signal-safe helpers ----

std::size_t Length(const char* text) {
    std::size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

// Appends text to buffer[at..size-1], always leaving it NUL-terminated.
void Append(char* buffer, std::size_t size, std::size_t& at, const char* text) {
    for (std::size_t i = 0; text[i] != '\0' && at + 1 < size; ++i) buffer[at++] = text[i];
    buffer[at] = '\0';
}

void AppendNumber(char* buffer, std::size_t size, std::size_t& at, long long value) {
    char digits[24];
    std::size_t n = 0;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 && n < sizeof digits);
    if (value < 0) Append(buffer, size, at, "-");
    char text[24];
    for (std::size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    text[n] = '\0';
    Append(buffer, size, at, text);
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGABRT:
            return "SIGABRT";
        case SIGILL:
            return "SIGILL";
        case SIGSEGV:
            return "SIGSEGV";
        case SIGFPE:
            return "SIGFPE";
        case SIGBUS:
            return "SIGBUS";
        default:
            return "signal";
    }
}

void WriteAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

void WriteCrashReport(int signal) {
    const ReportFolder* folder = gFolder.load();
    if (folder == nullptr || folder->path[0] == '\0') return;
    const int savedErrno = errno;
    const long long pid = ::getpid();
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);

    char partial[PATH_MAX + 64];
    std::size_t at = 0;
    Append(partial, sizeof partial, at, folder->path);
    Append(partial, sizeof partial, at, "/.crash-");
    AppendNumber(partial, sizeof partial, at, pid);
    Append(partial, sizeof partial, at, ".partial");

    char target[PATH_MAX + 64];
    at = 0;
    Append(target, sizeof target, at, folder->path);
    Append(target, sizeof target, at, "/");
    Append(target, sizeof target, at, kReportPrefix);
    AppendNumber(target, sizeof target, at, static_cast<long long>(now.tv_sec));
    Append(target, sizeof target, at, "-");
    AppendNumber(target, sizeof target, at, pid);
    Append(target, sizeof target, at, kReportSuffix);

    char text[2048];
    at = 0;
    Append(text, sizeof text, at, "Torvane ended on a fatal signal.\nsignal: ");
    AppendNumber(text, sizeof text, at, signal);
    Append(text, sizeof text, at, " (");
    Append(text, sizeof text, at, SignalName(signal));
    Append(text, sizeof text, at, ")\nprocess: ");
    AppendNumber(text, sizeof text, at, pid);
    Append(text, sizeof text, at, "\ntime: ");
    AppendNumber(text, sizeof text, at, static_cast<long long>(now.tv_sec));
    Append(text, sizeof text, at, "\n");
    if (gUncaughtNoted.load()) {
        Append(text, sizeof text, at, "uncaught exception: ");
        Append(text, sizeof text, at, gUncaught);
        Append(text, sizeof text, at, "\n");
    }

    const int fd = ::open(partial, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        WriteAll(fd, text, Length(text));
        ::fsync(fd);
        ::close(fd);
        ::rename(partial, target);
    }
    static const char kLine[] = "Torvane: fatal signal; a crash report was written\n";
    WriteAll(STDERR_FILENO, kLine, sizeof kLine - 1);
    errno = savedErrno;
}

void OnFatalSignal(int signal) {
    // One report per process: a second failing thread waits for the first to end it.
    if (gCrashing.exchange(true)) {
        for (;;) ::pause();
    }
    if (UncaughtExceptionCount.fetch_add(1) + 1 <= UncaughtExceptionMaximum)
        WriteCrashReport(signal);
    // Hand the signal on as if nothing had been installed (or to the handler before ours).
    for (std::size_t i = 0; i < sizeof kFatalSignals / sizeof kFatalSignals[0]; ++i)
        if (kFatalSignals[i] == signal) ::sigaction(signal, &gPrevious[i], nullptr);
    ::raise(signal);
}

// ---- Outside any signal ----

std::string TypeName(const std::type_info* type) {
    if (type == nullptr) return "unknown exception";
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type->name());
}

// The kind and the text of an exception.
std::pair<std::string, std::string> Describe(std::exception_ptr error) {
    if (!error) return {"unknown exception", ""};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return {TypeName(abi::__cxa_current_exception_type()), e.what()};
    } catch (...) {
        return {TypeName(abi::__cxa_current_exception_type()), ""};
    }
}

[[noreturn]] void OnTerminate() {
    if (const std::exception_ptr error = std::current_exception()) {
        const auto [name, reason] = Describe(error);
        const std::string text = name + (reason.empty() ? "" : ": " + reason);
        std::snprintf(gUncaught, sizeof gUncaught, "%s", text.c_str());
        gUncaughtNoted = true;
        std::fprintf(stderr, "Torvane: uncaught exception: %s\n", gUncaught);
    }
    std::abort();
}

void InstallAlternateStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;
    static constexpr std::size_t kSize = 64 * 1024;
    static char* stackMemory = new char[kSize];
    stack_t alternate{};
    alternate.ss_sp = stackMemory;
    alternate.ss_size = kSize;
    ::sigaltstack(&alternate, nullptr);
}

void InstallHandlers() {
    ::signal(SIGPIPE, SIG_IGN);
    InstallAlternateStack();
    std::set_terminate(OnTerminate);
    for (std::size_t i = 0; i < sizeof kFatalSignals / sizeof kFatalSignals[0]; ++i) {
        struct sigaction action {};
        action.sa_handler = OnFatalSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_ONSTACK;
        ::sigaction(kFatalSignals[i], &action, &gPrevious[i]);
    }
}

}  // namespace

bool InstallUncaughtExceptionHandler(const std::string& reportDirectory) {
    std::call_once(gInstallOnce, InstallHandlers);
    {
        auto folder = std::make_unique<ReportFolder>();
        std::snprintf(folder->path, sizeof folder->path, "%s", reportDirectory.c_str());
        std::lock_guard lock(gFoldersMutex);
        gFolder.store(folder.get());
        gFolders.push_back(std::move(folder));
    }
    if (reportDirectory.empty() || reportDirectory.size() >= sizeof(ReportFolder::path) ||
        !AppPaths::ensurePrivateDirectory(reportDirectory)) {
        std::cerr << "crash handling: no folder for crash reports at " << reportDirectory << '\n';
        return false;
    }
    return true;
}

bool InstallUncaughtExceptionHandler() {
    return InstallUncaughtExceptionHandler(AppPaths::stateDirectory());
}

std::vector<CrashReport> TakeCrashReports(const std::string& reportDirectory) {
    std::vector<CrashReport> reports;
    const auto names = FileUtils::getContentsofDirectory(reportDirectory);
    if (!names) return reports;
    for (const std::string& name : *names) {  // sorted: the time in the name orders them
        const std::string path = reportDirectory + "/" + name;
        // What a handler could not finish is of no use.
        if (name.rfind(".crash-", 0) == 0) {
            FileUtils::removeFileFromPath(path);
            continue;
        }
        const std::string suffix = kReportSuffix;
        if (name.rfind(kReportPrefix, 0) != 0 || name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const auto bytes = FileUtils::readStartofFile(path, kMaxReportBytes);
        FileUtils::removeFileFromPath(path);
        if (!bytes) continue;
        CrashReport report;
        report.exception.assign(bytes->begin(), bytes->end());
        report.name = UncaughtExceptionHandlerSignalExceptionName;
        int signal = 0;
        if (const auto at = report.exception.find("signal: "); at != std::string::npos)
            signal = std::atoi(report.exception.c_str() + at + 8);
        report.reason = "Signal " + std::to_string(signal) + " was raised.";
        reports.push_back(std::move(report));
    }
    return reports;
}

std::vector<std::string> CallStackLines() {
    constexpr int kDepth =
        UncaughtExceptionHandlerSkipAddressCount + UncaughtExceptionHandlerReportAddressCount;
    void* frames[kDepth];
    const int count = ::backtrace(frames, kDepth);
    std::vector<std::string> lines;
    if (count <= UncaughtExceptionHandlerSkipAddressCount) return lines;
    std::unique_ptr<char*, decltype(&std::free)> symbols(::backtrace_symbols(frames, count),
                                                         std::free);
    if (!symbols) return lines;
    for (int i = UncaughtExceptionHandlerSkipAddressCount; i < count; ++i)
        lines.emplace_back(symbols.get()[i]);
    return lines;
}

CrashReport CrashReportFor(const std::string& task, std::exception_ptr error) {
    const auto [name, reason] = Describe(error);
    CrashReport report;
    report.name = name;
    report.reason = reason;
    report.exception = name + (reason.empty() ? "" : ": " + reason) + " (in " + task + ")";
    for (const std::string& line : CallStackLines()) report.stack += line + "\n";
    return report;
}

void HandleException(const std::string& task, std::exception_ptr error,
                     AnalyticsEvents* analytics) {
    try {
        const CrashReport report = CrashReportFor(task, error);
        std::cerr << ("Torvane: " + task + " failed and was ended: " + report.exception + "\n");
        if (UncaughtExceptionCount.fetch_add(1) + 1 > UncaughtExceptionMaximum) return;
        if (analytics) analytics->sendCrashReport(report);
    } catch (...) {
        std::cerr << "Torvane: a task failed and was ended\n";
    }
}
