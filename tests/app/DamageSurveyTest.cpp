// The damage survey itself: a scan that fails, crashes or does not end fails the survey and is
// named, and the survey's work folder goes however it ends.

#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef TORVANE_DAMAGE_SURVEY_BINARY
#error "TORVANE_DAMAGE_SURVEY_BINARY names the torvane-damage-survey program"
#endif

namespace {

namespace fs = std::filesystem;

struct Ended {
    int status = -1;
    std::string out;
};

// Runs the survey with its output (both streams) read back.
Ended RunSurvey(const std::string& arguments) {
    Ended ended;
    const std::string command = std::string("'") + TORVANE_DAMAGE_SURVEY_BINARY + "' " +
                                arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return ended;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        ended.out.append(buffer, n);
    const int status = ::pclose(pipe);
    ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ended;
}

// A stand-in scanner: a shell script.
fs::path Scanner(const fs::path& folder, const std::string& body) {
    const fs::path path = folder / "scanner";
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0700);
    return path;
}

}  // namespace

TEST(DamageSurvey, AScanThatFailsFailsTheSurveyAndIsNamed) {
    const struct {
        const char* label;
        const char* script;
        const char* named;
    } cases[] = {
        {"exits 1", "exit 1", "contacts seed 7: the scan ended with status 1"},
        {"crashes", "kill -SEGV $$", "contacts seed 7: the scan was ended by signal 11"},
        {"never ends", "exec sleep 600", "contacts seed 7: the scan did not end within 1 s"},
        {"reports nothing", "exit 0", "contacts seed 7: the scan's report has no Contacts row"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        testsupport::TempDir dir;
        const fs::path work = dir.path() / "work";
        fs::create_directories(work);
        const Ended ended = RunSurvey("--database contacts --runs 1 --first-seed 7 --time-limit 1 "
                                      "--scanner '" + Scanner(dir.path(), c.script).string() +
                                      "' --work '" + work.string() + "'");
        EXPECT_EQ(ended.status, 1) << ended.out;
        EXPECT_NE(ended.out.find(c.named), std::string::npos) << ended.out;
        EXPECT_NE(ended.out.find("contacts: failed scans: 1"), std::string::npos) << ended.out;
        EXPECT_TRUE(fs::is_empty(work)) << "the work folder was left behind";
    }
}

TEST(DamageSurvey, AScannerThatCannotStartLeavesNoWorkFolder) {
    testsupport::TempDir dir;
    const fs::path work = dir.path() / "work";
    fs::create_directories(work);
    const Ended ended = RunSurvey("--runs 1 --scanner '" + (dir.path() / "missing").string() +
                                  "' --work '" + work.string() + "'");
    EXPECT_EQ(ended.status, 3) << ended.out;
    EXPECT_NE(ended.out.find("cannot start"), std::string::npos) << ended.out;
    EXPECT_TRUE(fs::is_empty(work)) << "the work folder was left behind";
}
