// torvane-damage-survey: damages the demo backup's databases in many ways drawn from fixed
// seeds, scans each damaged copy with torvane-scan and counts the live rows that the scan lists
// as deleted. A live row must never be listed as deleted, however damaged its file.
//
// Each seed changes from 1 to 100 bytes of one database at offsets and to values drawn from it;
// every fourth seed also cuts the file at a length drawn from it. A row counts as live when the
// demo backup was built with it and did not delete it (its key, the text that shows it in the
// exported file, is no deleted row's too); "cell intact" when, besides, none of the bytes of one
// of its cells, nor its page's header and cell pointers, were changed or cut off; "cut off" when
// they are unchanged but lie beyond the cut; "also listed as existing" when the scan read the
// row from the damaged file as well, so that it lists the same row twice.
//
// A scan that does not end with status 0 or 8 (damage reported), that a signal ends, that runs
// past the time limit or whose report lacks the row of its data type fails the survey.

#include "carving/SQLiteHeader.h"
#include "damage-survey/DamagedFiles.h"
#include "demo-backup/DemoBackup.h"
#include "support/BackupBuilder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

#ifndef TORVANE_SCAN_BINARY
#define TORVANE_SCAN_BINARY "torvane-scan"
#endif

namespace {

namespace fs = std::filesystem;
using damaged::CellsOfRows;
using damaged::DamageFile;
using damaged::Mutation;
using damaged::ReadCsv;
using damaged::RowCell;
using damaged::SqlStrings;

// One database of the demo backup that the survey damages, and how its rows show in the scan.
struct SurveyedDatabase {
    const char* name;           // the name --database takes
    const char* typeWord;       // torvane-scan's --type
    const char* reportCaption;  // the report's row
    const char* domain;
    const char* path;
    // The tables whose cells hold a row, the first its main table; the others keep the row
    // under the same row id (the address book's full-text copy of a person).
    std::vector<const char*> tables;
    const char* keySql;  // the key of a row of the main table, as SQL over it
    const char* file;    // the exported file
    // The exported columns whose texts, joined by one blank, are a row's key.
    std::vector<std::size_t> keyColumns;
    std::vector<demo::DemoRow> demo::DemoBackupContents::*rows;
};

const std::vector<SurveyedDatabase>& Databases() {
    static const std::vector<SurveyedDatabase> databases = {
        {"messages", "messages", "Messages", "HomeDomain", "Library/SMS/sms.db", {"message"},
         "text", "SMS.csv", {2}, &demo::DemoBackupContents::messages},
        {"contacts", "contacts", "Contacts", "HomeDomain",
         "Library/AddressBook/AddressBook.sqlitedb",
         {"ABPerson", "ABPersonFullTextSearch_content"}, "First || ' ' || Last",
         "Addressbook.csv", {2, 4}, &demo::DemoBackupContents::contacts},
        {"calls", "calls", "Calls", "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
         {"ZCALLRECORD"}, "ZADDRESS", "Call history.csv", {3}, &demo::DemoBackupContents::calls},
        {"notes", "notes", "Notes", "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
         {"ZICCLOUDSYNCINGOBJECT"}, "ZTITLE1", "Notes.csv", {2},
         &demo::DemoBackupContents::notes},
        {"old-notes", "notes", "Notes", "HomeDomain", "Library/Notes/notes.sqlite", {"ZNOTE"},
         "ZTITLE", "Notes.csv", {2}, &demo::DemoBackupContents::notes},
        {"calendar", "calendar", "Calendar", "HomeDomain", "Library/Calendar/Calendar.sqlitedb",
         {"CalendarItem"}, "summary", "Calendar.csv", {1}, &demo::DemoBackupContents::events},
        {"whatsapp", "whatsapp", "WhatsApp", "AppDomain-net.whatsapp.WhatsApp",
         "Documents/ChatStorage.sqlite", {"ZWAMESSAGE"}, "ZTEXT", "WhatsApp.csv", {2},
         &demo::DemoBackupContents::whatsAppMessages},
    };
    return databases;
}

constexpr int kDefaultTimeLimit = 300;

void Usage() {
    std::cout << "Usage: torvane-damage-survey [--database NAME] [--runs N] [--first-seed S]\n"
                 "                             [--scanner PATH] [--time-limit SECONDS]\n"
                 "                             [--work FOLDER] [--list] [--keep]\n"
                 "\n"
                 "Damages a database of the demo backup N times (default 400), from seeds S,\n"
                 "S+1, ... (default 1), scans each copy and counts the live rows listed as\n"
                 "deleted. NAME is one of messages (the default), contacts, calls, notes,\n"
                 "old-notes, calendar, whatsapp, or all for each of them in turn. --list prints\n"
                 "every seed that lists one. A scan that fails, crashes or runs longer than\n"
                 "SECONDS (default "
              << kDefaultTimeLimit
              << ") fails the survey and is named. Its files go into a new folder\n"
                 "below FOLDER (default: the system's temporary folder), removed at the end\n"
                 "unless --keep is given (it then holds the last damaged backup and its scan).\n"
                 "The survey ends with 0 when no live row was listed and every scan ended\n"
                 "normally, 1 otherwise, 2 for a command line it does not understand and 3 when\n"
                 "it cannot run.\n";
}

// How a scan ended.
struct ScanEnd {
    int status = 0;       // its exit status, when it exited
    int signal = 0;       // the signal that ended it, when one did
    bool timedOut = false;  // it ran past the time limit and was killed

    bool exited() const { return signal == 0 && !timedOut; }
    std::string describe(int timeLimit) const {
        if (timedOut) return "did not end within " + std::to_string(timeLimit) + " s";
        if (signal != 0)
            return "was ended by signal " + std::to_string(signal) + " (" +
                   std::string(::strsignal(signal)) + ")";
        return "ended with status " + std::to_string(status);
    }
};

// Runs the scanner in a process group of its own with its output into `log`; a scan that runs
// longer than timeLimit seconds is killed with its group.
ScanEnd RunScanner(const std::string& scanner, const std::vector<std::string>& arguments,
                   const fs::path& cache, const fs::path& log, int timeLimit) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
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
        posix_spawn(&pid, scanner.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + scanner + ": " + ::strerror(spawned));

    ScanEnd end;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimit);
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) throw std::runtime_error("cannot wait for the scan");
        if (std::chrono::steady_clock::now() >= deadline) {
            end.timedOut = true;
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return end;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // What the scanner left running in its group goes with it.
    ::kill(-pid, SIGKILL);
    if (WIFEXITED(status))
        end.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        end.signal = WTERMSIG(status);
    return end;
}

// The report's count of existing rows of a data type; none when the report has no such row.
std::optional<int> ExistingRows(const fs::path& log, const std::string& reportCaption) {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string caption;
        int deleted = 0;
        int existing = 0;
        if (words >> caption >> deleted >> existing && caption == reportCaption) return existing;
    }
    return std::nullopt;
}

// The key of an exported record: its key columns joined by one blank.
std::string KeyOf(const std::vector<std::string>& record, const std::vector<std::size_t>& columns) {
    std::string key;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) key += ' ';
        if (columns[i] < record.size()) key += record[columns[i]];
    }
    return key;
}

// The keys of the records the export lists as deleted (those after the existing ones) and of
// those it lists as existing.
struct ExportedKeys {
    std::vector<std::string> deleted;
    std::set<std::string> existing;
};

ExportedKeys ExportKeys(const fs::path& exportFolder, const SurveyedDatabase& database,
                        int existing) {
    ExportedKeys keys;
    if (!fs::exists(exportFolder)) return keys;
    for (const auto& entry : fs::directory_iterator(exportFolder)) {
        const fs::path file = entry.path() / database.file;
        if (!entry.is_directory() || !fs::exists(file)) continue;
        const auto records = ReadCsv(file);
        const auto live = std::min(static_cast<std::size_t>(std::max(existing, 0)), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            std::string key = KeyOf(records[i], database.keyColumns);
            if (i < live)
                keys.existing.insert(std::move(key));
            else
                keys.deleted.push_back(std::move(key));
        }
    }
    return keys;
}

// The figures of one database's survey.
struct Figures {
    int files = 0;
    int rows = 0;
    int intact = 0;
    int cutOff = 0;
    int alsoExisting = 0;  // listed as deleted although the scan lists them as existing too
    std::vector<std::string> failedScans;
};

Figures SurveyDatabase(const SurveyedDatabase& database, const demo::DemoBackupContents& contents,
                       int runs, std::uint32_t firstSeed, const std::string& scanner,
                       const fs::path& work, int timeLimit, bool list, bool restore) {
    const fs::path backup = work / "backup";
    const fs::path file =
        backup / testsupport::BackupBuilder::BackupName(database.domain, database.path);
    const fs::path pristinePath = work / "pristine.db";
    fs::copy_file(file, pristinePath, fs::copy_options::overwrite_existing);
    std::ifstream in(pristinePath, std::ios::binary);
    const std::vector<char> pristine((std::istreambuf_iterator<char>(in)), {});
    in.close();

    SQLiteHeader header;
    if (!header.ReadSQLiteDatabaseHeader(pristinePath.string()))
        throw std::runtime_error(std::string("the demo's ") + database.path + " is no database");
    const std::int64_t pageSize = header.PageSize();
    // The cells of each row id, in every table that keeps the row.
    std::map<std::int64_t, std::vector<RowCell>> cellsOfRows;
    for (const char* table : database.tables) {
        const auto roots = SqlStrings(
            pristinePath,
            std::string("SELECT rootpage FROM sqlite_master WHERE name = '") + table + "'");
        if (roots.size() != 1)
            throw std::runtime_error(std::string("the demo's ") + database.path +
                                     " has no table " + table);
        for (const auto& [rowId, cell] : CellsOfRows(pristinePath, std::stoll(roots.front())))
            cellsOfRows[rowId].push_back(cell);
    }
    // The live rows: keys of rows the demo kept and no deleted row shares.
    std::set<std::string> live, deleted;
    for (const demo::DemoRow& row : contents.*database.rows)
        (row.deleted ? deleted : live).insert(row.key);
    for (const std::string& key : deleted) live.erase(key);
    std::multimap<std::string, RowCell> cells;
    const std::string mainTable = database.tables.front();
    const auto rowIds = SqlStrings(pristinePath, "SELECT rowid FROM " + mainTable);
    const auto keys =
        SqlStrings(pristinePath, std::string("SELECT ") + database.keySql + " FROM " + mainTable);
    for (std::size_t i = 0; i < rowIds.size() && i < keys.size(); ++i) {
        const auto found = cellsOfRows.find(std::stoll(rowIds[i]));
        if (found == cellsOfRows.end() || !live.count(keys[i])) continue;
        for (const RowCell& cell : found->second) cells.emplace(keys[i], cell);
    }

    Figures figures;
    for (int run = 0; run < runs; ++run) {
        const std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(run);
        const Mutation mutation = DamageFile(pristine, file, seed);
        const fs::path exportFolder = work / "export";
        fs::remove_all(exportFolder);
        const fs::path log = work / "scan.txt";
        const ScanEnd end = RunScanner(scanner,
                                       {backup.string(), "--type", database.typeWord, "--fast",
                                        "--export", exportFolder.string()},
                                       work / "cache", log, timeLimit);
        const std::optional<int> existing = ExistingRows(log, database.reportCaption);
        std::string failure;
        if (!end.exited() || (end.status != 0 && end.status != 8))
            failure = "the scan " + end.describe(timeLimit);
        else if (!existing)
            failure = std::string("the scan's report has no ") + database.reportCaption + " row";
        if (!failure.empty()) {
            const std::string named =
                std::string(database.name) + " seed " + std::to_string(seed) + ": " + failure;
            std::cout << named << "\n";
            figures.failedScans.push_back(named);
            continue;
        }
        int listed = 0;
        int kept = 0;
        int lost = 0;
        int twice = 0;
        const ExportedKeys exported = ExportKeys(exportFolder, database, *existing);
        for (const std::string& key : exported.deleted) {
            if (!live.count(key)) continue;
            ++listed;
            twice += exported.existing.count(key) > 0;
            const auto [from, to] = cells.equal_range(key);
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
            ++figures.files;
            figures.rows += listed;
            figures.intact += kept;
            figures.cutOff += lost;
            figures.alsoExisting += twice;
            if (list)
                std::cout << database.name << " seed " << seed << ": " << listed
                          << " live rows listed as deleted (" << kept
                          << " with their cell intact, " << lost << " cut off, " << twice
                          << " also listed as existing), "
                          << mutation.changed.size() << " bytes changed"
                          << (mutation.length < static_cast<std::int64_t>(pristine.size())
                                  ? ", cut at " + std::to_string(mutation.length)
                                  : std::string())
                          << ", scan status " << end.status << "\n";
        }
    }
    // The next database is damaged in a backup whose other files are whole; the last damaged
    // copy stays for --keep.
    if (restore) {
        std::ofstream whole(file, std::ios::binary | std::ios::trunc);
        whole.write(pristine.data(), static_cast<std::streamsize>(pristine.size()));
        if (!whole) throw std::runtime_error("cannot write " + file.string());
    }
    std::cout << database.name << ": damaged files: " << runs << " (seeds " << firstSeed << " to "
              << firstSeed + static_cast<std::uint32_t>(runs) - 1 << ")\n"
              << database.name << ": files listing live rows as deleted: " << figures.files << "\n"
              << database.name << ": live rows listed as deleted: " << figures.rows << " ("
              << figures.intact << " with their cell intact, " << figures.cutOff
              << " with their cell cut off, " << figures.alsoExisting
              << " also listed as existing)\n"
              << database.name << ": failed scans: " << figures.failedScans.size() << "\n";
    return figures;
}

int Survey(const std::vector<const SurveyedDatabase*>& databases, int runs,
           std::uint32_t firstSeed, const std::string& scanner, const fs::path& work,
           int timeLimit, bool list) {
    // A scanner that cannot be started fails the survey before anything is written.
    if (::access(scanner.c_str(), X_OK) != 0)
        throw std::runtime_error("cannot start " + scanner + ": " + ::strerror(errno));
    const auto contents = demo::WriteDemoBackup(work / "backup");
    bool clean = true;
    for (const SurveyedDatabase* database : databases) {
        const Figures figures = SurveyDatabase(*database, contents, runs, firstSeed, scanner, work,
                                               timeLimit, list, database != databases.back());
        clean = clean && figures.files == 0 && figures.failedScans.empty();
    }
    return clean ? 0 : 1;
}

// Removes the work folder when the survey ends, however it ends, unless it is to be kept.
class WorkFolder {
public:
    WorkFolder(fs::path path, bool keep) : path_(std::move(path)), keep_(keep) {}
    ~WorkFolder() {
        if (keep_) {
            std::cout << "Kept: " << path_.string() << "\n";
            return;
        }
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
    bool keep_;
};

}  // namespace

int main(int argc, char** argv) {
    int runs = 400;
    std::uint32_t firstSeed = 1;
    std::string scanner = TORVANE_SCAN_BINARY;
    std::string databaseName = "messages";
    int timeLimit = kDefaultTimeLimit;
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
        } else if (argument == "--database" && hasValue) {
            databaseName = argv[++i];
        } else if (argument == "--time-limit" && hasValue) {
            timeLimit = std::atoi(argv[++i]);
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
    if (timeLimit < 1 || timeLimit > 86400) {
        std::cerr << "torvane-damage-survey: --time-limit needs a number of seconds from 1 to "
                     "86400\n";
        return 2;
    }
    std::vector<const SurveyedDatabase*> databases;
    for (const SurveyedDatabase& database : Databases())
        if (databaseName == "all" || databaseName == database.name)
            databases.push_back(&database);
    if (databases.empty()) {
        std::cerr << "torvane-damage-survey: no database is named " << databaseName << "\n";
        return 2;
    }
    try {
        if (work.empty()) work = fs::temp_directory_path();
        std::string pattern = (work / "torvane-damage-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a work folder");
        // Removed also when the survey cannot go on (the folder goes before the message).
        const WorkFolder folder(pattern, keep);
        return Survey(databases, runs, firstSeed, scanner, folder.path(), timeLimit, list);
    } catch (const std::exception& e) {
        std::cerr << "torvane-damage-survey: " << e.what() << "\n";
        return 3;
    }
}
