#pragma once

#include "carving/AbstractSqLiteRecovery.h"
#include "carving/SqLiteTableSignatures.h"
#include "common/ColumnValue.h"
#include "records/MainWindowRefresh.h"
#include "support/FixtureDatabase.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace carvingtest {

// A carved row as a test sees it: the value of every mapped column, by mapping name.
class CarvedRow : public baseRecoveryObject {
public:
    std::map<std::string, ColumnValue> values;
    // Every value handed over, by column index, mapped or not.
    std::map<std::int64_t, ColumnValue> columns;
    const TablePattern* pattern = nullptr;
    // Whether the engine decoded the record whole.
    bool complete = true;
    // Whether its header lay inside a live cell of its page.
    bool inLiveCell = false;
};

// A recoverer that keeps every record of which at least one column was mapped, the way the
// real recoverers do.
class TestRecoverer : public AbstractSqLiteRecovery {
public:
    TestRecoverer() = default;
    explicit TestRecoverer(const TablePattern& pattern) { setTablePatterns({pattern}); }

    std::vector<std::shared_ptr<CarvedRow>> rows() const;
    // The kept rows of one mapped text value (for example by guid).
    std::map<std::string, std::shared_ptr<CarvedRow>> rowsBy(const std::string& name) const;

    // The answer of the position check; keeps every text where it is unless set.
    std::function<std::int32_t(ByteView)> verify;
    // Tell the window after each kept record, as the recoverers of most tables do.
    bool notifyWindow = false;
    // Records offered to addRecoveredObject, kept or not.
    int offered = 0;
    // Column indexes handed to FillModel, in order, for the last record.
    std::vector<std::int64_t> lastColumns;

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    std::int32_t verifyDataPosition(ByteView text) override;
    void addRecoveredObject() override;
};

// The window as the recovery threads see it, counting the refreshes it is asked for.
class CountingWindow : public MainWindowRefresh {
public:
    void updateUIfoundRecoveredData() override { ++found; }
    void updatePhotosUI() override { ++photos; }
    std::atomic<int> found{0};
    std::atomic<int> photos{0};
};

// A pattern from header text and (name, column) mappings.
TablePattern MakePattern(const std::string& header,
                         const std::vector<std::pair<std::string, std::int64_t>>& mappings = {});

// The catalogue of the application's own signature file, loaded once.
std::shared_ptr<const SqLiteTableSignatures> RealSignatures();
// The patterns of the message table signature.
std::vector<TablePattern> MessagePatterns();

// Realistic rows of the iOS 6+ message table: a GUID, short, long and non-ASCII texts, NULLs,
// handles, services, accounts, dates and attributed bodies. maxRecordBytes keeps a row small
// enough not to spill onto overflow pages.
struct MessageRowMaker {
    explicit MessageRowMaker(unsigned seed, int maxRecordBytes = 800)
        : random(seed), maxBytes(maxRecordBytes) {}
    testsupport::Row next(bool iOS9Columns = true);
    std::mt19937 random;
    int maxBytes;
    int counter = 0;
};

// The mapped values the message signature should carve back from a row, by mapping name.
std::map<std::string, ColumnValue> ExpectedMessageValues(const testsupport::Row& row);

// A text value of a row, or "" when absent.
std::string TextOf(const testsupport::Row& row, const std::string& column);

}  // namespace carvingtest
