#pragma once

#include "records/BrimleyAppDelegate.h"
#include "services/LiveTableReader.h"
#include "services/ScanRecoverer.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

class Appointment;
class Calendar;
class CalendarObjectGenerator;

// Deleted calendar events of the calendar database: carves rows of CalendarItem (and of the
// Event table of iOS 4 files) into Appointment records, converts each to a Calendar display
// record (with its place from the same file) and lists it as a deleted event of the shared state
// record, telling the window of each.
//
// An event is not listed when it is a live event: its identifier (without "-" and blanks, in
// any letter case), or its title and start, equal those of a live event of the shared state
// record or of the file itself (free space holds stale copies of live rows). Nor when it was
// listed already: an event with the same identifier (letter case counts), or, for events
// without one, the same title, description, start and end.
class AppointmentsSQLiteRecovery : public ScanRecoverer<> {
public:
    explicit AppointmentsSQLiteRecovery(ScanContext context);
    ~AppointmentsSQLiteRecovery() override;

    // Takes the patterns, reads the live events, carves the file, then compares the events of
    // RecoveredData with the live ones (filterMessages).
    void DoRecoveryPath(const std::string& path) override;
    // Keeps in RecoveredFiltered the events of RecoveredData with a title that no live event of
    // the database at path has with the same start (or, for an event without one, without a
    // start). The calendar service reads them there.
    void filterMessages(const std::string& path);
    // The patterns of the calendar signature; none when the catalogue lacks it.
    void setSignature(const std::string& path);

    // Whether the event is one of the live events (see the class comment).
    virtual bool alreadyInDB(const Calendar& event) const;

    // The deleted-event count of the shared state record, set or raised; the new value.
    std::int32_t setRecoveryCount(std::int32_t count);
    std::int32_t incrementRecoveryCount();

    // The key by which identifiers are compared: without "-" and " ", lower-cased on request.
    static std::string IdentifierKey(const std::string& identifier, bool lowerCase);
    // The position check after a text of the field: after a title that begins with a zero
    // byte, 1 (decode one byte later); after an identifier whose GUID shape stands up to 6
    // bytes off its start, that many bytes; otherwise 0, or kKeepPosition for other fields.
    static std::int32_t PositionShift(std::string_view field, ByteView text);

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    // After a title that begins with a zero byte: decode one byte later. After an identifier
    // whose GUID shape stands up to 6 bytes off its start: decode that much later (or earlier).
    std::int32_t verifyDataPosition(ByteView text) override;
    void addRecoveredObject() override;

    // Whether the column name is one this recoverer fills (the iOS 4 variant has no identifier).
    virtual bool fillsName(const std::string& name) const;
    // The table of the live events.
    virtual const char* eventTable() const { return "CalendarItem"; }
    // Whether a live event of the carved file has the event's title and start.
    bool hasLiveTitleAndStart(const Calendar& event) const;

    // Whether the current record can be listed: decoded whole, and no text of it overwritten
    // (a text that is no valid UTF-8 reaches FillModel as no value).
    bool currentRecordIsSound() const { return currentRecordIsComplete() && !currentDamaged_; }
    // Whether the current record is a whole cell that carries a live event's row id: a copy of
    // that event, whatever its other bytes say.
    bool currentCellIsLive() const {
        const auto rowId = currentRecordRowId();
        return rowId && liveRowIds_.holds(*rowId);
    }
    LiveRowIds liveRowIds_;

    std::unique_ptr<CalendarObjectGenerator> generator_;
    bool currentDamaged_ = false;
    // The field FillModel is filling, for the position check.
    std::string field_;

private:
    void readLiveEvents(const std::string& path);

    // Identifier keys (lower-cased) of the live events of the carved file and of the shared
    // state record, and (title, start text) of those of the carved file.
    std::set<std::string> liveIdentifiers_;
    std::set<std::pair<std::string, std::string>> liveTitlesAndStarts_;
};

// The variant for the Event table of iOS 4: it fills no identifier, compares a new event by
// title and start with the live events of the shared state record's shown list (CalendarContent)
// and of the carved file, and lists deleted events in the shown list alone.
class AppointmentsIOS4SQLiteRecovery : public AppointmentsSQLiteRecovery {
public:
    using AppointmentsSQLiteRecovery::AppointmentsSQLiteRecovery;

    bool alreadyInDB(const Calendar& event) const override;

protected:
    std::int32_t verifyDataPosition(ByteView text) override;
    void addRecoveredObject() override;
    bool fillsName(const std::string& name) const override;
    const char* eventTable() const override { return "Event"; }
};
