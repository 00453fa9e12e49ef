#pragma once

#include "config/mixPanel.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

class AnalyticsEvents;

// Crash handling.
//
// An exception that escapes a background task is caught at the task's boundary
// (RunAtTaskBoundary): it is reported (a line on stderr, and the "Crash Report" event) and the
// application goes on without that task.
//
// A fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) cannot be survived safely: its
// handler writes a short crash report into the report folder, with async-signal-safe calls
// only, and lets the process end as the signal would have ended it. The next start takes the
// report (TakeCrashReports) and sends it as "Crash Report". SIGPIPE is ignored, so that writing
// to a closed pipe or socket is an error return rather than the end of the process.

// Reports handled in this process (task boundaries and signals); after the tenth, further
// failures are still caught but no longer reported.
extern std::atomic<std::int32_t> UncaughtExceptionCount;
inline constexpr std::int32_t UncaughtExceptionMaximum = 10;
// Frames skipped at the top of a call stack, and frames kept.
inline constexpr int UncaughtExceptionHandlerSkipAddressCount = 4;
inline constexpr int UncaughtExceptionHandlerReportAddressCount = 5;
// The name of the report of a fatal signal.
inline constexpr const char* UncaughtExceptionHandlerSignalExceptionName =
    "UncaughtExceptionHandlerSignalExceptionName";

// Installs the handlers, once per process, before anything else runs; the crash reports go
// into the folder (created now, private). Installing again only changes the folder. False, with
// a line on stderr, when the folder cannot be made (the handlers are installed all the same).
bool InstallUncaughtExceptionHandler(const std::string& reportDirectory);
// The same with the application's state folder (AppPaths::stateDirectory()).
bool InstallUncaughtExceptionHandler();

// The crash reports that earlier runs left in the folder, oldest first; each is removed as it
// is taken, so it is taken once. None when there are none or the folder cannot be read.
std::vector<CrashReport> TakeCrashReports(const std::string& reportDirectory);

// The symbolised lines of the calling thread's call stack, the first frames skipped.
std::vector<std::string> CallStackLines();

// The report of an exception caught at the boundary of a task.
CrashReport CrashReportFor(const std::string& task, std::exception_ptr error);
// Reports an exception caught at the boundary of a task: a line on stderr and, while fewer than
// UncaughtExceptionMaximum have been reported, the "Crash Report" event (when analytics are
// given).
void HandleException(const std::string& task, std::exception_ptr error, AnalyticsEvents* analytics);

// Runs the work of a task; an exception that escapes it is reported (HandleException) and goes
// no further, so the task ends and the application goes on.
template <class Work>
void RunAtTaskBoundary(const std::string& task, AnalyticsEvents* analytics, Work&& work) noexcept {
    try {
        work();
    } catch (...) {
        HandleException(task, std::current_exception(), analytics);
    }
}
