#include "database/GenerateCalendarObject.h"

#include "records/Appointment.h"
#include "records/Calendar.h"

namespace {

std::shared_ptr<FMDBUtils> OpenedHandle(const std::string& path) {
    auto handle = std::make_shared<FMDBUtils>(path);
    handle->openDatabase();
    return handle;
}

}  // namespace

OptString ShownCalendarTimeZone(OptString zone) {
    if (zone && *zone == "_float") return std::string();
    return zone;
}

CalendarObjectGenerator::CalendarObjectGenerator(const ScanContext& context)
    : CalendarObjectGenerator(context.databasePath(DatabaseRole::Calendar), context) {}

CalendarObjectGenerator::CalendarObjectGenerator(const std::string& calendarDatabasePath,
                                                 const ScanContext& context)
    : daos_(OpenedHandle(calendarDatabasePath), context) {}

std::shared_ptr<Calendar> CalendarObjectGenerator::generateCalendarObject(
    const Appointment& appointment) {
    auto event = std::make_shared<Calendar>();
    event->setSlNo(0);
    event->setSummary(appointment.Summary());
    event->setLocation(daos_.getLocationFromLocationID(appointment.LocationId()));
    event->setDescription(appointment.Description());
    event->setStartDate(appointment.StartDateText());
    // As the live rows show them: no floating zone, and no original date (the item tables
    // keep none that the lists show; the start is the start).
    event->setStart_TimeZone(ShownCalendarTimeZone(appointment.StartTimeZone()));
    event->setEndDate(appointment.EndDateText());
    event->setAllDay(appointment.AppointmentAllDayLabel());
    event->setPriority(appointment.PrivacyLevel());
    event->setIsChecked(0);
    event->setUniqueIdentifier(appointment.UniqueIdentifier());
    return event;
}

std::shared_ptr<Calendar> generateCalendarObject(const Appointment& appointment,
                                                 const ScanContext& context) {
    return CalendarObjectGenerator(context).generateCalendarObject(appointment);
}
