#pragma once

#include "records/BrimleyAppDelegate.h"
#include "records/CallHistory.h"
#include "services/LiveTableReader.h"
#include "services/ScanRecoverer.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

class CallHistory;

// Deleted calls of the older call database (call_history.db of iOS 4 to 7, table `call`): carves
// its rows into CallHistory records and lists each as a deleted call (CallLog) of the shared
// state record.
//
// Freeblocks are searched from their own start (no extra byte before a record's content). A
// carved call that is still a live call of the file (same other party, time and duration: a
// stale copy SQLite left when it moved the row; in the newer store also the same unique id,
// however the copy was decoded), or that is already listed, is not listed; nor is one whose
// bytes lie inside a live cell of its page (the engine leaves those out). The live calls come
// from the file's own pages where SQLite cannot read them.
class CallHistorySQLiteRecovery : public ScanRecoverer<> {
public:
    explicit CallHistorySQLiteRecovery(ScanContext context);

    // Takes the patterns, reads which calls of the file are live, then carves the file.
    void DoRecoveryPath(const std::string& path) override;
    // The patterns of the call signature that map this recoverer's column names: the call
    // signature serves both call stores, and a layout of the other store carves nothing here.
    void setSignature(const std::string& path);

    // The deleted-call count of the shared state record, set or raised; the new value.
    std::int32_t setRecoveryCount(std::int32_t count);
    std::int32_t incrementRecoveryCount();

    // Keeps in RecoveredFiltered the calls of RecoveredData that no live call of the database
    // at path matches in other party, time (as stored) and duration.
    void filterMessages(const std::string& path);

protected:
    // The statement that finds a live call like the carved one.
    virtual LiveStatement liveCallStatement(const CallHistory& call) const;
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    // Call texts are never realigned.
    std::int32_t verifyDataPosition(ByteView text) override;
    void addRecoveredObject() override;

    // What differs between the two stores.
    // Whether the mapping name is one of this recoverer's columns.
    virtual bool isOwnName(const std::string& name) const;
    // Fills one column of the call; the name is one of this recoverer's.
    virtual void fillCall(CallHistory& call, const std::string& name, const ColumnValue& value);
    // The table of the live calls, and its columns of the other party, the time and the
    // duration, in that order.
    virtual const char* liveCallsTable() const;
    virtual std::vector<std::string> liveCallsColumns() const;
    // The statement that reads the identifiers of the live calls (column "id"); none for a
    // table without them.
    virtual const char* liveUniqueIdsStatement() const;
    // Whether the window is told of each call listed.
    virtual bool refreshesWindow() const { return false; }

private:
    using CallKey = std::tuple<OptString, double, std::int64_t>;

    bool isLiveCall(const CallHistory& call) const;

    std::set<CallKey> liveCalls_;
    std::set<std::string> liveUniqueIds_;
    // A whole cell that carries a live call's row id is that call.
    LiveRowIds liveRowIds_;
    std::unique_ptr<ContactNamesByNumber> names_;
    bool currentHasDate_ = false;
    // The current record holds a text that is no valid UTF-8: its bytes were overwritten.
    bool currentDamaged_ = false;
};

// Deleted calls of the newer call store (CallHistory.storedata of iOS 8 on, table ZCALLRECORD).
// Lists like the older recoverer and tells the window of each call listed.
class CallHistoryIos8Recovery : public CallHistorySQLiteRecovery {
public:
    using CallHistorySQLiteRecovery::CallHistorySQLiteRecovery;

protected:
    LiveStatement liveCallStatement(const CallHistory& call) const override;
    bool isOwnName(const std::string& name) const override;
    void fillCall(CallHistory& call, const std::string& name, const ColumnValue& value) override;
    const char* liveCallsTable() const override;
    std::vector<std::string> liveCallsColumns() const override;
    const char* liveUniqueIdsStatement() const override;
    bool refreshesWindow() const override { return true; }
};
