#pragma once

#include "database/DAOs.h"
#include "records/BrimleyAppDelegate.h"

#include <memory>
#include <string>

class Appointment;
class Calendar;

// Turns carved calendar items into the event display records that join the deleted-events
// list, each with its place text from the backup's calendar database.
//
// The generator reads the calendar database through a connection of its own, so a carving
// thread never touches the handle or query object that the screens and other threads share.
class CalendarObjectGenerator {
public:
    // On the calendar database of the scan's backup.
    explicit CalendarObjectGenerator(const ScanContext& context);
    // On a calendar database of the caller's choice.
    CalendarObjectGenerator(const std::string& calendarDatabasePath, const ScanContext& context);

    std::shared_ptr<Calendar> generateCalendarObject(const Appointment& appointment);

private:
    DAOs daos_;
};

// A stored time zone as the lists show it: the floating zone ("_float") of items without a
// zone of their own is shown as no zone.
OptString ShownCalendarTimeZone(OptString zone);

// One item converted with a generator on the scan's calendar database.
std::shared_ptr<Calendar> generateCalendarObject(const Appointment& appointment,
                                                 const ScanContext& context);
