// Carving speed on generated message databases and, when TORVANE_BENCH_DB names a SQLite file,
// on that file (--benchmark_filter=CarveFile runs it alone).

#include "carving/AbstractSQLiteRecoveryFullSearch.h"
#include "carving/AbstractSqLiteRecovery.h"
#include "carving/SqLiteTableSignatures.h"
#include "support/FixtureDatabase.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// The fields of a carved message that the message recoverer fills.
constexpr const char* kFields[] = {"guid",           "text",         "handle_id", "service",
                                   "account",        "account_guid", "date",      "date_read",
                                   "date_delivered", "is_from_me"};
constexpr std::size_t kFieldCount = std::size(kFields);

class BenchRecord : public baseRecoveryObject {
public:
    std::array<ColumnValue, kFieldCount> fields;
};

// Fills records the way a message recoverer does (a pattern's mappings resolved to fields once)
// and counts the ones it would keep.
template <class Engine>
class CountingRecoverer : public Engine {
public:
    std::int64_t records = 0;

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override {
        return std::make_shared<BenchRecord>();
    }
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& pattern) override {
        if (&pattern != slotsOf_) {
            slotsOf_ = &pattern;
            slots_.clear();
            for (const auto& mapping : pattern.AttributesMapping()) {
                if (mapping.Column() < 0 || mapping.Column() > 4096 || !mapping.Name()) continue;
                if (static_cast<std::size_t>(mapping.Column()) >= slots_.size())
                    slots_.resize(static_cast<std::size_t>(mapping.Column()) + 1, -1);
                for (std::size_t f = 0; f < kFieldCount; ++f)
                    if (*mapping.Name() == kFields[f] &&
                        slots_[static_cast<std::size_t>(mapping.Column())] < 0)
                        slots_[static_cast<std::size_t>(mapping.Column())] = static_cast<int>(f);
            }
        }
        if (column < 0 || static_cast<std::size_t>(column) >= slots_.size()) return;
        const int slot = slots_[static_cast<std::size_t>(column)];
        if (slot < 0) return;
        this->markCurrentMapped();
        static_cast<BenchRecord*>(this->currentRecord().get())
            ->fields[static_cast<std::size_t>(slot)] = object;
    }
    std::int32_t verifyDataPosition(ByteView) override {
        return AbstractSqLiteRecovery::kKeepPosition;
    }
    void addRecoveredObject() override {
        if (this->currentWasMapped()) ++records;
    }

private:
    const TablePattern* slotsOf_ = nullptr;
    std::vector<int> slots_;
};

const std::shared_ptr<const CompiledTablePatterns>& MessagePatterns() {
    static const std::shared_ptr<const CompiledTablePatterns> patterns = [] {
        SqLiteTableSignatures catalogue;
        if (!catalogue.LoadSignaturesFile(SqLiteTableSignatures::ResourcePath()))
            throw std::runtime_error("cannot load the signature file");
        const SQLiteSignature* signature = catalogue.Find("HomeDomain", "sms.db", "MESSAGE");
        if (!signature) throw std::runtime_error("no message signature");
        return CompiledTablePatterns::Compile(signature->TablePatterns());
    }();
    return patterns;
}

// Message databases of about the given size, made once per run: realistic rows of the iOS 9
// message table, then about a third deleted, scattered, and a few whole conversations. The mix
// of rows and deletions is the same on every run.
std::filesystem::path MessageDatabase(std::int64_t megabytes) {
    static testsupport::TempDir dir;
    static std::map<std::int64_t, std::filesystem::path> made;
    if (auto it = made.find(megabytes); it != made.end()) return it->second;
    const auto path = dir / ("sms-" + std::to_string(megabytes) + "mb.db");
    auto db = testsupport::FixtureDatabase::FromSchema(path, "sms-ios9.sql",
                                                       {4096, testsupport::AutoVacuum::None});
    db.exec("BEGIN");
    // A GUID in the form the app writes, from a hash of the row number, so that every run makes
    // the same file.
    auto guid = [](const std::string& seed) {
        const std::string h = "printf('%08X%08X%08X%08X', (" + seed + ") % 4294967291, (" + seed +
                              " * 7919) % 4294967291, (" + seed + " * 104729) % 4294967291, (" +
                              seed + " * 15485863) % 4294967291)";
        return "substr(" + h + ",1,8)||'-'||substr(" + h + ",9,4)||'-'||substr(" + h +
               ",13,4)||'-'||substr(" + h + ",17,4)||'-'||substr(" + h + ",21,12)";
    };
    const std::int64_t rows = megabytes * 1024 * 1024 / 420;
    db.exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(rows) +
        "), r AS (SELECT i, (i * 2654435761) % 4294967291 AS x FROM n), "
        "m AS (SELECT i, x, CASE x % 7 WHEN 0 THEN NULL WHEN 1 THEN 'OK' "
        "WHEN 2 THEN 'Can you pick up milk on the way home? We are out and the shop closes at "
        "eight.' "
        "WHEN 3 THEN 'Grüße aus Köln! Das Wetter ist herrlich, wir sitzen am Rhein. 🎉' "
        "WHEN 4 THEN 'Your verification code is ' || (x % 1000000) || '. Do not share it.' "
        "ELSE substr('Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod "
        "tempor "
        "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud "
        "exercitation "
        "ullamco laboris nisi ut aliquip ex ea commodo consequat.', 1, 40 + x % 200) END AS t FROM "
        "r) "
        "INSERT INTO message (guid, text, handle_id, attributedBody, service, account, "
        "account_guid, date, "
        "date_read, date_delivered, is_delivered, is_finished, is_from_me, is_read, is_sent, "
        "country) "
        "SELECT " +
        guid("x") +
        ", t, x % 50, "
        // The archived attributed string the app keeps beside the text.
        "CASE WHEN x % 4 = 0 THEN NULL ELSE CAST(char(4, 11) || 'streamtyped' || char(129, 232, 3, "
        "132, 1, 64) || "
        "'NSAttributedString' || char(0, 132, 132) || 'NSObject' || char(0, 133, 146, 132, 132, "
        "132) || "
        "'NSString' || char(1, 149, 132, 1, 43) || coalesce(t, '') || char(134, 132, 2) || 'iI' || "
        "char(1, 5, 146, 132) AS BLOB) END, "
        "CASE WHEN x % 2 = 0 THEN 'iMessage' ELSE 'SMS' END, "
        "CASE WHEN x % 2 = 0 THEN 'e:anna.schmidt@example.com' ELSE 'p:+4915112345678' END, " +
        guid("x + 17") +
        ", "
        "400000000 + i * 60, CASE WHEN x % 3 = 0 THEN 0 ELSE 400000000 + i * 60 + 300 END, "
        "400000000 + i * 60 + 2, 1, 1, x % 2, (x / 2) % 2, (x / 4) % 2, CASE WHEN x % 5 = 0 THEN "
        "'de' END "
        "FROM m");
    db.exec("COMMIT");
    db.exec("DELETE FROM message WHERE (ROWID * 40503) % 65537 % 4 = 0");
    for (std::int64_t start = rows / 10; start < rows; start += rows / 5)
        db.exec("DELETE FROM message WHERE ROWID BETWEEN " + std::to_string(start) + " AND " +
                std::to_string(start + rows / 50));
    db.close();
    made[megabytes] = path;
    return path;
}

template <class Engine>
void Carve(benchmark::State& state, const std::filesystem::path& path) {
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    std::int64_t records = 0;
    for (auto _ : state) {
        CountingRecoverer<Engine> recoverer;
        recoverer.setTablePatterns(MessagePatterns());
        recoverer.DoRecoveryPath(path.string());
        records = recoverer.records;
        benchmark::DoNotOptimize(records);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["records"] = static_cast<double>(records);
    state.counters["file_MB"] = static_cast<double>(size) / (1024.0 * 1024.0);
}

void CarveMessages(benchmark::State& state) {
    Carve<AbstractSqLiteRecovery>(state, MessageDatabase(state.range(0)));
}
BENCHMARK(CarveMessages)->Arg(4)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

// Every page searched whole: the header matcher over every byte of the file.
void CarveWholePages(benchmark::State& state) {
    Carve<AbstractSQLiteRecoveryFullSearch>(state, MessageDatabase(state.range(0)));
}
BENCHMARK(CarveWholePages)->Arg(64)->Unit(benchmark::kMillisecond);

// A message database whose free pages are all zeros: 64 MB of deleted zero-filled blobs (what a
// database that once held large attachments, or was written over, leaves behind). Zero bytes
// read as NULL serial types everywhere, so the search must pass over them at memory speed.
std::filesystem::path ZeroFilledDatabase() {
    static testsupport::TempDir dir;
    static const std::filesystem::path path = [] {
        const auto file = dir / "zero-filled.db";
        auto db = testsupport::FixtureDatabase::FromSchema(file, "sms-ios9.sql");
        db.exec("CREATE TABLE filler(x)");
        db.exec("BEGIN");
        db.exec(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1100) "
            "INSERT INTO filler SELECT zeroblob(60000) FROM n");
        db.exec("COMMIT");
        db.exec("DELETE FROM filler");
        db.close();
        return file;
    }();
    return path;
}

void CarveZeroFilledFreePages(benchmark::State& state) {
    Carve<AbstractSqLiteRecovery>(state, ZeroFilledDatabase());
}
BENCHMARK(CarveZeroFilledFreePages)->Unit(benchmark::kMillisecond);

void CarveFile(benchmark::State& state, std::filesystem::path path) {
    Carve<AbstractSqLiteRecovery>(state, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* file = std::getenv("TORVANE_BENCH_DB"); file && *file) {
        if (std::filesystem::is_regular_file(file))
            benchmark::RegisterBenchmark("CarveFile", CarveFile, std::filesystem::path(file))
                ->Unit(benchmark::kMillisecond);
        else
            std::cerr << "TORVANE_BENCH_DB: no such file: " << file << "\n";
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
