#include "app/ScanReport.h"

#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <algorithm>
#include <sstream>

ScanReport ScanReport::fromRecord(const BrimleyAppDelegate& record) {
    ScanReport report;
    const auto device = record.deviceInfo.get();
    report.title = "Scan report - " + (device ? device->DeviceName().value_or("") : std::string());
    report.rows = {
        {"Messages", record.DeletedSMSCount.load(), record.SMSCount.load()},
        {"WhatsApp", record.DeletedWhatsAppCount.load(), record.WhatsAppCount.load()},
        {"Contacts", record.DeletedContactCount.load(), record.ContactCount.load()},
        {"Calls", record.DeletedCallLogCount.load(), record.CallLogCount.load()},
        {"Calendar", record.DeletedCalendarCount.load(), record.CalendarCount.load()},
        {"Notes", record.DeletedNoteCount.load(), record.NoteCount.load()},
        {"Photos", record.DeletedPhotosCount.load(), record.PhotosCount.load()},
        {"Videos", record.DeletedVideosCount.load(), record.VideosCount.load()},
        // Browser history is read, never carved: its deleted count stays 0.
        {"Safari", record.DeletedInternetCount.load(), record.InternetCount.load()},
    };
    return report;
}

std::string ScanReport::text() const {
    std::ostringstream out;
    const auto cell = [&](const std::string& text, std::size_t width, bool right) {
        const std::string pad(width > text.size() ? width - text.size() : 0, ' ');
        out << (right ? pad + text : text + pad);
    };
    out << title << '\n';
    cell("Data found", 12, false);
    cell("Deleted", 10, true);
    cell("Existing", 10, true);
    out << '\n';
    for (const Row& row : rows) {
        cell(row.caption, 12, false);
        cell(std::to_string(row.deleted), 10, true);
        cell(std::to_string(row.existing), 10, true);
        out << '\n';
    }
    return out.str();
}
