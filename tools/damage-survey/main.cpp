// torvane-damage-survey: damages the demo backup's messages database in many ways drawn from
// fixed seeds, scans each damaged copy with torvane-scan and counts the live messages that the
// scan lists as deleted. A live row must never be listed as deleted, however damaged its file.
//
// Each seed changes from 1 to 100 bytes of the file at offsets and to values drawn from it; every
// fourth seed also cuts the file at a length drawn from it. A message counts as live when its
// text is that of a row the undamaged file holds; "cell intact" when, besides, none of its cell's
// bytes, nor its page's header and cell pointers, were changed or cut off; "cut off" when they
// are unchanged but lie beyond the cut.

#include "carving/SQLiteHeader.h"
#include "damage-survey/DamagedFiles.h"
#include "demo-backup/DemoBackup.h"
#include "support/BackupBuilder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

#ifndef TORVANE_SCAN_BINARY
#define TORVANE_SCAN_BINARY "torvane-scan"
#endif

namespace {

namespace fs = std::filesystem;
using damaged::CellsOfRows;
using damaged::ReadCsv;
using damaged::RowCell;
using damaged::SqlStrings;

void Usage() {
    std::cout << "Usage: torvane-damage-survey [--runs N] [--first-seed S] [--scanner PATH]\n"
                 "                             [--work FOLDER] [--list] [--keep]\n"
                 "\n"
                 "Damages the demo backup's messages database N times (default 400), from seeds\n"
                 "S, S+1, ... (default 1), scans each copy and counts the live messages listed\n"
                 "as deleted. --list prints every seed that lists one. Its files go into a new\n"
                 "folder below FOLDER (default: the system's temporary folder), removed at the end\n"
                 "unless --keep is given (it then holds the last damaged backup and its scan).\n";
}

// What one seed did to the file: the offsets changed and the length it was cut to.
struct Mutation {
    std::set<std::int64_t> changed;
    std::int64_t length = 0;

    // Whether the cell's bytes are unchanged and still in the file; with evenCut, whether they
    // are unchanged, in the file or in the part cut off.
    bool keeps(const RowCell& cell, std::int64_t pageSize, bool evenCut = false) const {
        return cell.keptBy(changed, pageSize) && (evenCut || cell.within(length, pageSize));
    }
};

Mutation Damage(const std::vector<char>& pristine, const fs::path& into, std::uint32_t seed) {
    std::vector<char> bytes = pristine;
    Mutation mutation;
    std::mt19937 random(seed);
    const std::uint32_t count = 1 + random() % 100;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = random() % bytes.size();
        bytes[at] = static_cast<char>(random() % 256);
        mutation.changed.insert(static_cast<std::int64_t>(at));
    }
    if (seed % 4 == 0) bytes.resize(512 + random() % (bytes.size() - 512));
    mutation.length = static_cast<std::int64_t>(bytes.size());
    std::ofstream out(into, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + into.string());
    return mutation;
}

// Runs the scanner with its output into `log`; answers its exit status.
int RunScanner(const std::string& scanner, const std::vector<std::string>& arguments,
               const fs::path& cache, const fs::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<std::string> args = {scanner};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"XDG_CACHE_HOME=" + cache.string(),
                                    "XDG_CONFIG_HOME=" + (cache / "config").string(),
                                    "XDG_STATE_HOME=" + (cache / "state").string(),
                                    "TORVANE_NO_ANALYTICS=1"};
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("XDG_", 0) != 0 && entry.rfind("TORVANE_NO_ANALYTICS=", 0) != 0)
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, scanner.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + scanner);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The report's count of existing messages; -1 when there is none.
int ExistingMessages(const fs::path& log) {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string caption;
        int deleted = 0;
        int existing = 0;
        if (words >> caption >> deleted >> existing && caption == "Messages") return existing;
    }
    return -1;
}

// The texts of the messages the export lists as deleted (those after the existing ones).
std::vector<std::string> DeletedTexts(const fs::path& exportFolder, int existing) {
    std::vector<std::string> texts;
    if (!fs::exists(exportFolder)) return texts;
    for (const auto& entry : fs::directory_iterator(exportFolder)) {
        const fs::path file = entry.path() / "SMS.csv";
        if (!entry.is_directory() || !fs::exists(file)) continue;
        const auto records = ReadCsv(file);
        for (std::size_t i = static_cast<std::size_t>(std::max(existing, 0)); i < records.size();
             ++i)
            if (records[i].size() > 2) texts.push_back(records[i][2]);
    }
    return texts;
}

int Survey(int runs, std::uint32_t firstSeed, const std::string& scanner, const fs::path& work,
           bool list) {
    const fs::path backup = work / "backup";
    demo::WriteDemoBackup(backup);
    const fs::path database =
        backup / testsupport::BackupBuilder::BackupName("HomeDomain", "Library/SMS/sms.db");
    const fs::path pristinePath = work / "sms.db";
    fs::copy_file(database, pristinePath);
    std::ifstream in(pristinePath, std::ios::binary);
    const std::vector<char> pristine((std::istreambuf_iterator<char>(in)), {});

    const auto roots =
        SqlStrings(pristinePath, "SELECT rootpage FROM sqlite_master WHERE name = 'message'");
    SQLiteHeader header;
    if (roots.size() != 1 || !header.ReadSQLiteDatabaseHeader(pristinePath.string()))
        throw std::runtime_error("the demo's messages database has no message table");
    const std::int64_t pageSize = header.PageSize();
    const auto cells = CellsOfRows(pristinePath, std::stoll(roots.front()));
    const auto rowIds = SqlStrings(pristinePath, "SELECT rowid FROM message");
    const auto texts = SqlStrings(pristinePath, "SELECT text FROM message");
    std::multimap<std::string, RowCell> live;
    for (std::size_t i = 0; i < rowIds.size() && i < texts.size(); ++i) {
        const auto cell = cells.find(std::stoll(rowIds[i]));
        if (cell != cells.end()) live.emplace(texts[i], cell->second);
    }

    int files = 0;
    int rows = 0;
    int intact = 0;
    int cutOff = 0;
    for (int run = 0; run < runs; ++run) {
        const std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(run);
        const Mutation mutation = Damage(pristine, database, seed);
        const fs::path exportFolder = work / "export";
        fs::remove_all(exportFolder);
        const fs::path log = work / "scan.txt";
        const int status = RunScanner(
            scanner,
            {backup.string(), "--type", "messages", "--fast", "--export", exportFolder.string()},
            work / "cache", log);
        int listed = 0;
        int kept = 0;
        int lost = 0;
        for (const std::string& text : DeletedTexts(exportFolder, ExistingMessages(log))) {
            const auto [from, to] = live.equal_range(text);
            if (from == to) continue;
            ++listed;
            const auto anyKept = [&](bool evenCut) {
                return std::any_of(from, to, [&](const auto& row) {
                    return mutation.keeps(row.second, pageSize, evenCut);
                });
            };
            if (anyKept(false))
                ++kept;
            else if (anyKept(true))
                ++lost;
        }
        if (listed > 0) {
            ++files;
            rows += listed;
            intact += kept;
            cutOff += lost;
            if (list)
                std::cout << "seed " << seed << ": " << listed << " live rows listed as deleted ("
                          << kept << " with their cell intact, " << lost << " cut off), "
                          << mutation.changed.size() << " bytes changed"
                          << (mutation.length < static_cast<std::int64_t>(pristine.size())
                                  ? ", cut at " + std::to_string(mutation.length)
                                  : std::string())
                          << ", scan status " << status << "\n";
        }
        if (status >= 128) std::cout << "seed " << seed << ": the scan ended abnormally\n";
    }
    std::cout << "Damaged files: " << runs << " (seeds " << firstSeed << " to "
              << firstSeed + static_cast<std::uint32_t>(runs) - 1 << ")\n"
              << "Files listing live rows as deleted: " << files << "\n"
              << "Live rows listed as deleted: " << rows << " (" << intact
              << " with their cell intact, " << cutOff << " with their cell cut off)\n";
    return files == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 400;
    std::uint32_t firstSeed = 1;
    std::string scanner = TORVANE_SCAN_BINARY;
    fs::path work;
    bool list = false;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "-h" || argument == "--help") {
            Usage();
            return 0;
        } else if (argument == "--runs" && hasValue) {
            runs = std::atoi(argv[++i]);
        } else if (argument == "--first-seed" && hasValue) {
            firstSeed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (argument == "--scanner" && hasValue) {
            scanner = argv[++i];
        } else if (argument == "--work" && hasValue) {
            work = argv[++i];
        } else if (argument == "--list") {
            list = true;
        } else if (argument == "--keep") {
            keep = true;
        } else {
            Usage();
            return 2;
        }
    }
    if (runs < 1 || runs > 100000) {
        std::cerr << "torvane-damage-survey: --runs needs a number from 1 to 100000\n";
        return 2;
    }
    try {
        if (work.empty()) work = fs::temp_directory_path();
        std::string pattern = (work / "torvane-damage-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a work folder");
        work = pattern;
        const int status = Survey(runs, firstSeed, scanner, work, list);
        if (keep)
            std::cout << "Kept: " << work.string() << "\n";
        else
            fs::remove_all(work);
        return status;
    } catch (const std::exception& e) {
        std::cerr << "torvane-damage-survey: " << e.what() << "\n";
        return 3;
    }
}
