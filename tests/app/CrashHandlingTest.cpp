#include "RecordingAnalytics.h"
#include "app/CrashHandling.h"
#include "support/FixtureDatabase.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> ReportFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    return files;
}

// Runs `crash` in a child process with the handlers installed; answers how it ended.
int RunCrashingChild(const fs::path& folder, void (*crash)()) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        InstallUncaughtExceptionHandler(folder.string());
        crash();
        ::_exit(0);  // not reached when the crash ends the process
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

void RaiseSegv() {
    ::raise(SIGSEGV);
}
void UncaughtException() {
    // Nothing catches it: std::terminate, then abort.
    std::thread([] { throw std::runtime_error("boom"); }).join();
}

// A child that dies of a fatal signal leaves one report; the next start takes it once.
TEST(CrashHandlingTest, AFatalSignalLeavesAReportThatIsTakenOnce) {
    struct Row {
        const char* why;
        void (*crash)();
        int signal;
        const char* line;
    };
    for (const Row& row : {Row{"SIGSEGV", RaiseSegv, SIGSEGV, "signal: 11 (SIGSEGV)"},
                           Row{"uncaught exception", UncaughtException, SIGABRT,
                               "uncaught exception: std::runtime_error: boom"}}) {
        SCOPED_TRACE(row.why);
        testsupport::TempDir dir;
        const fs::path folder = dir / "state";
        const int status = RunCrashingChild(folder, row.crash);
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the process went on";
        const auto files = ReportFiles(folder);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].filename().string().rfind("crash-", 0), 0u);

        const std::vector<CrashReport> reports = TakeCrashReports(folder.string());
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].name, UncaughtExceptionHandlerSignalExceptionName);
        EXPECT_EQ(reports[0].reason, "Signal " + std::to_string(row.signal) + " was raised.");
        EXPECT_NE(reports[0].exception.find(row.line), std::string::npos) << reports[0].exception;
        EXPECT_TRUE(TakeCrashReports(folder.string()).empty());
        EXPECT_TRUE(ReportFiles(folder).empty());
    }
}

TEST(CrashHandlingTest, LeftoversAndOtherFilesOfTheFolder) {
    testsupport::TempDir dir;
    std::ofstream(dir / ".crash-12.partial") << "signal: 11";
    std::ofstream(dir / "notes.txt") << "kept";
    EXPECT_TRUE(TakeCrashReports(dir.path().string()).empty());
    EXPECT_FALSE(fs::exists(dir / ".crash-12.partial"));
    EXPECT_TRUE(fs::exists(dir / "notes.txt"));
    EXPECT_TRUE(TakeCrashReports((dir / "missing").string()).empty());
}

// An exception that escapes a task is reported and goes no further; after the tenth report
// the failures are still caught but no longer sent.
TEST(CrashHandlingTest, AnExceptionEndsItsTaskOnly) {
    NotingAnalytics analytics;
    UncaughtExceptionCount = 0;
    RunAtTaskBoundary("the test task", &analytics, [] { throw std::runtime_error("boom"); });
    RunAtTaskBoundary("the test task", &analytics, [] { throw 42; });
    const auto crashes = analytics.crashes();
    ASSERT_EQ(crashes.size(), 2u);
    EXPECT_EQ(crashes[0].name, "std::runtime_error");
    EXPECT_EQ(crashes[0].reason, "boom");
    EXPECT_NE(crashes[0].exception.find("the test task"), std::string::npos);
    EXPECT_EQ(crashes[1].name, "int");

    UncaughtExceptionCount = UncaughtExceptionMaximum;
    RunAtTaskBoundary("the test task", &analytics, [] { throw std::logic_error("late"); });
    EXPECT_EQ(analytics.crashes().size(), 2u);
    UncaughtExceptionCount = 0;
}

}  // namespace
