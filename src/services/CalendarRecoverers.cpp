#include "services/CalendarRecoverers.h"

#include "common/DateUtils.h"
#include "common/StringUtils.h"
#include "database/GenerateCalendarObject.h"
#include "database/QueryDates.h"
#include "records/Appointment.h"
#include "records/Calendar.h"
#include "records/RecordKey.h"
#include "services/LiveTableReader.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <optional>

namespace {

// Two carved events are one find when their identifiers agree, or, without identifiers, when
// everything the list shows of them agrees.
OptString CarvedEventKey(const Calendar& event) {
    if (event.UniqueIdentifier())
        return "I" + AppointmentsSQLiteRecovery::IdentifierKey(*event.UniqueIdentifier(), false);
    return "C" + RecordKey()
                     .add(event.Summary())
                     .add(event.Description())
                     .add(event.StartDate())
                     .add(event.EndDate())
                     .take();
}

// A live event is known by its title and start, when it has both.
OptString TitleAndStartKey(const Calendar& event) {
    if (!event.Summary() || !event.StartDate()) return std::nullopt;
    return RecordKey().add(event.Summary()).add(event.StartDate()).take();
}

std::int32_t IndexOf(ByteView bytes, std::uint8_t byte) {
    const auto it = std::find(bytes.begin(), bytes.end(), byte);
    return it == bytes.end() ? -1 : static_cast<std::int32_t>(it - bytes.begin());
}

}  // namespace

AppointmentsSQLiteRecovery::AppointmentsSQLiteRecovery(ScanContext context)
    : ScanRecoverer(std::move(context)) {}

AppointmentsSQLiteRecovery::~AppointmentsSQLiteRecovery() = default;

std::string AppointmentsSQLiteRecovery::IdentifierKey(const std::string& identifier,
                                                      bool lowerCase) {
    std::string key;
    for (char c : identifier)
        if (c != '-' && c != ' ') key += c;
    if (!lowerCase) return key;
    std::string lowered;
    icu::UnicodeString::fromUTF8(key).toLower(icu::Locale::getRoot()).toUTF8String(lowered);
    return lowered;
}

void AppointmentsSQLiteRecovery::setSignature(const std::string&) {
    const auto catalogue = context().signatures;
    if (!catalogue ||
        !setPatternsFromSignature("HomeDomain", "Calendar.sqlite", "CalendarItem", catalogue.get()))
        setTablePatterns(std::vector<TablePattern>{});
}

void AppointmentsSQLiteRecovery::readLiveEvents(const std::string& path) {
    liveIdentifiers_.clear();
    liveTitlesAndStarts_.clear();
    for (const auto& event : results().AllCalendarContent.snapshot())
        if (event->UniqueIdentifier())
            liveIdentifiers_.insert(IdentifierKey(*event->UniqueIdentifier(), true));

    // Items live in CalendarItem, before iOS 5 in Event.
    const LiveTableReader file(path);
    // Where the schema no longer names the table, the rows of its width stand for its rows.
    const LiveTableReader::Layout layout = LiveTableReader::LayoutOf(tablePatterns());
    liveRowIds_.reset(path, eventTable(), layout);
    LiveTableReader::Rows rows;
    bool named = false;
    for (const char* table : {"CalendarItem", "Event"}) {
        if (!file.hasTable(table)) continue;
        rows = file.rows(table, {"summary", "start_date", "unique_identifier"});
        named = true;
        break;
    }
    if (!named) rows = file.rows(eventTable(), {"summary", "start_date", "unique_identifier"}, &layout);
    for (const auto& row : rows.rows) {
        if (OptString identifier = row[2].toText())
            liveIdentifiers_.insert(IdentifierKey(*identifier, true));
        if (OptString summary = row[0].toText())
            liveTitlesAndStarts_.emplace(
                *summary, DisplayTextOfDate(
                              row[1].isNull() ? OptDate()
                                              : DateUtils::DoubleToIOSDateTime(row[1].asDouble())));
    }
}

void AppointmentsSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setSignature(path);
    readLiveEvents(path);
    // The places of the carved events come from the file carved.
    generator_.reset();
    if (LiveTableReader(path).isOpen())
        generator_ = std::make_unique<CalendarObjectGenerator>(path, context());
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    generator_.reset();
    filterMessages(path);
}

void AppointmentsSQLiteRecovery::filterMessages(const std::string& path) {
    const std::string head = std::string("SELECT summary FROM ") + eventTable() + " WHERE summary = ? AND ";
    KeepRecordsNotLive(*this, path, [&](const baseRecoveryObject& record) -> std::optional<LiveStatement> {
        const auto* item = RecordOf<Appointment>(record);
        if (!item || StringUtils::IsNullOrEmpty(item->Summary())) return std::nullopt;
        LiveStatement statement{head, {ColumnValue(*item->Summary())}};
        if (item->StartTime()) {
            // Stored as Apple seconds; the carved time keeps milliseconds.
            const double seconds =
                static_cast<double>(item->StartTime()->time_since_epoch().count()) / 1000.0 -
                static_cast<double>(DateUtils::kAppleEpochOffsetSeconds);
            statement.sql += "ABS(start_date - ?) < 0.001";
            statement.args.emplace_back(seconds);
        } else {
            statement.sql += "start_date IS NULL";
        }
        return statement;
    });
}

bool AppointmentsSQLiteRecovery::hasLiveTitleAndStart(const Calendar& event) const {
    return event.Summary() && event.StartDate() &&
           liveTitlesAndStarts_.count({*event.Summary(), *event.StartDate()}) != 0;
}

bool AppointmentsSQLiteRecovery::alreadyInDB(const Calendar& event) const {
    if (event.UniqueIdentifier() &&
        liveIdentifiers_.count(IdentifierKey(*event.UniqueIdentifier(), true)) != 0)
        return true;
    if (hasLiveTitleAndStart(event)) return true;
    const OptString key = TitleAndStartKey(event);
    return key && results().AllCalendarContent.containsKey(*key, &TitleAndStartKey);
}

std::shared_ptr<baseRecoveryObject> AppointmentsSQLiteRecovery::GetNewRecoveryObject() {
    currentDamaged_ = false;
    field_.clear();
    return std::make_shared<Appointment>();
}

bool AppointmentsSQLiteRecovery::fillsName(const std::string& name) const {
    static const char* const kNames[] = {
        "summary",  "location_id", "description", "start_date",    "start_tz",
        "end_date", "all_day",     "calendar_id", "last_modified", "unique_identifier",
        "privacy_level"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

void AppointmentsSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                           const TablePattern& tablePattern) {
    // The position check looks at the field being filled; an unmapped column is none.
    field_.clear();
    if (object.isNull()) currentDamaged_ = true;
    const std::string* mapped = tablePattern.mappedName(column);
    auto* item = dynamic_cast<Appointment*>(currentRecord().get());
    if (!mapped || !item) return;
    markCurrentMapped();
    const std::string& name = *mapped;
    if (!fillsName(name)) return;
    field_ = name;
    if (name == "summary") {
        item->setSummary(getStringFromValue(object));
        item->setSubject(getStringFromValue(object));
    } else if (name == "location_id") {
        item->setLocationId(object.asInteger());
    } else if (name == "description") {
        item->setDescription(getStringFromValue(object));
    } else if (name == "start_date") {
        const auto seconds =
            object.isNumber() ? std::optional<double>(object.asDouble()) : std::nullopt;
        item->setStartTime(DateUtils::DoubleToIOSDateTime(seconds));
        item->setOriginalStartDate(DateUtils::doubleIOSDateTimeToString(seconds));
    } else if (name == "start_tz") {
        item->setStartTimeZone(getStringFromValue(object));
    } else if (name == "end_date") {
        const auto seconds =
            object.isNumber() ? std::optional<double>(object.asDouble()) : std::nullopt;
        item->setEndTime(DateUtils::DoubleToIOSDateTime(seconds));
    } else if (name == "all_day") {
        item->setAllDay(object.asInteger() != 0);
    } else if (name == "calendar_id") {
        item->setCalendarId(object.asInteger());
    } else if (name == "unique_identifier") {
        item->setUniqueIdentifier(getStringFromValue(object));
    } else if (name == "privacy_level") {
        // As the live list reads the column: its value as text ("0"), none for NULL.
        item->setPrivacyLevel(object.toText());
    }
    // "last_modified" fills nothing.
}

std::int32_t AppointmentsSQLiteRecovery::verifyDataPosition(ByteView text) {
    return PositionShift(field_, text);
}

std::int32_t AppointmentsSQLiteRecovery::PositionShift(std::string_view field, ByteView text) {
    if (field == "summary") return !text.empty() && text[0] == 0 ? 1 : 0;
    if (field != "unique_identifier") return kKeepPosition;
    std::int32_t at = IndexOf(text, '-');
    if (at < 0) at = IndexOf(text, ' ');
    if (at < 0) return 0;
    const std::int32_t shift = at - 8;
    // Only a GUID (hyphens 5 bytes apart from the first one on) that stands off its place by a
    // few bytes is realigned; any other identifier is taken as it was decoded.
    const auto size = static_cast<std::int32_t>(text.size());
    const bool guidShape = at + 15 < size && text[static_cast<std::size_t>(at)] == '-' &&
                           text[static_cast<std::size_t>(at + 5)] == '-' &&
                           text[static_cast<std::size_t>(at + 10)] == '-' &&
                           text[static_cast<std::size_t>(at + 15)] == '-';
    if (shift == 0 || !guidShape || shift < -6 || shift > 6) return 0;
    return shift;
}

void AppointmentsSQLiteRecovery::addRecoveredObject() {
    auto item = std::dynamic_pointer_cast<Appointment>(currentRecord());
    // A record cut short by the end of its area, or overwritten in part, holds wrong values.
    if (!currentWasMapped() || !item || !generator_ || !currentRecordIsSound()) return;
    if (currentCellIsLive()) return;
    std::shared_ptr<Calendar> event = generator_->generateCalendarObject(*item);
    if (alreadyInDB(*event)) return;
    const bool isNew = results().AllDeletedCalendar.appendUnlessKey(event, &CarvedEventKey);
    if (!isNew) return;
    ++results().DeletedCalendarCount;
    results().DeletedCalendar.append(event);
    results().updateUIfoundRecoveredData();
}

std::int32_t AppointmentsSQLiteRecovery::setRecoveryCount(std::int32_t count) {
    results().DeletedCalendarCount = count;
    return count;
}

std::int32_t AppointmentsSQLiteRecovery::incrementRecoveryCount() {
    return ++results().DeletedCalendarCount;
}

// ---- iOS 4 ----

bool AppointmentsIOS4SQLiteRecovery::fillsName(const std::string& name) const {
    return name != "unique_identifier" && AppointmentsSQLiteRecovery::fillsName(name);
}

std::int32_t AppointmentsIOS4SQLiteRecovery::verifyDataPosition(ByteView) {
    return kKeepPosition;
}

bool AppointmentsIOS4SQLiteRecovery::alreadyInDB(const Calendar& event) const {
    if (hasLiveTitleAndStart(event)) return true;
    const OptString key = TitleAndStartKey(event);
    return key && results().CalendarContent.containsKey(*key, &TitleAndStartKey);
}

void AppointmentsIOS4SQLiteRecovery::addRecoveredObject() {
    auto item = std::dynamic_pointer_cast<Appointment>(currentRecord());
    if (!currentWasMapped() || !item || !generator_ || !currentRecordIsSound()) return;
    if (currentCellIsLive()) return;
    std::shared_ptr<Calendar> event = generator_->generateCalendarObject(*item);
    if (alreadyInDB(*event)) return;
    const bool isNew = results().DeletedCalendar.appendUnlessKey(event, &CarvedEventKey);
    if (!isNew) return;
    ++results().DeletedCalendarCount;
    results().updateUIfoundRecoveredData();
}
