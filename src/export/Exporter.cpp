#include "export/Exporter.h"

#include "common/CsvWriter.h"
#include "export/ExportDates.h"
#include "records/Account.h"
#include "records/Application.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/DynamicDictionary.h"
#include "records/InternetHistory.h"
#include "records/MapHistory.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

namespace {

enum class FirstColumn { RunningNumber, OwnSlNo };

// The lists an operation writes, one after the other: the existing records, then the deleted
// ones.
template <class Record>
using Lists = std::initializer_list<const SharedList<Record>*>;

// Whether an export keeps the record: every record, or the ticked ones where records carry a
// tick.
template <class Record>
bool IsKept(const Record& record, bool onlyTicked) {
    if constexpr (requires(const Record& r) { r.isChecked(); }) {
        if (onlyTicked) return record.isChecked() == 1;
    }
    return true;
}

template <class Record>
std::size_t CountKept(Lists<Record> lists, bool onlyTicked) {
    std::size_t count = 0;
    for (const auto* list : lists)
        count += list->countIf([&](const Record& r) { return IsKept(r, onlyTicked); });
    return count;
}

// Writes the kept records, each as its first column followed by what writeColumns adds. Each
// list is read (as a snapshot) when its turn comes, so an export of millions of messages holds
// one list's pointers at a time, not a joined copy of all of them.
template <class Record, class WriteColumns>
ExportEntry WriteRecords(const std::string& path, CsvWriter::Placement placement,
                         Lists<Record> lists, bool onlyTicked, FirstColumn first,
                         WriteColumns writeColumns) {
    ExportEntry entry{path, ExportStatus::NothingToWrite, 0};
    // No file at all rather than an empty one, and an older file stays untouched.
    std::optional<CsvWriter> writer;
    std::int32_t number = 0;
    for (const auto* list : lists) {
        for (const auto& record : list->snapshot()) {
            if (!record || !IsKept(*record, onlyTicked)) continue;
            if (!writer) writer.emplace(path, placement);
            ++number;
            if constexpr (requires(const Record& r) { r.SlNo(); }) {
                writer->writeField(
                    std::to_string(first == FirstColumn::OwnSlNo ? record->SlNo() : number));
            } else {
                writer->writeField(std::to_string(number));
            }
            writeColumns(*writer, *record);
            writer->writeLine();
        }
    }
    if (!writer) return entry;
    if (writer->closeFile()) {
        entry.status = ExportStatus::Written;
        entry.records = static_cast<std::size_t>(number);
    } else {
        entry.status = ExportStatus::Failed;
    }
    return entry;
}

}  // namespace

Exporter::Exporter(const BrimleyAppDelegate& state, CsvWriter::Placement placement)
    : state_(state), placement_(placement) {}

std::size_t Exporter::RecordsToWrite(Operation operation, bool onlyTicked) const {
    const auto count = [&]<class Record>(Lists<Record> lists) {
        return CountKept(lists, onlyTicked);
    };
    const BrimleyAppDelegate& s = state_;
    if (operation == &Exporter::ExportSMS) return count({&s.SMSContent, &s.DeletedSMS});
    if (operation == &Exporter::ExportWhatsApp)
        return count({&s.WhatsAppContent, &s.DeletedWhatsApp});
    if (operation == &Exporter::ExportNotes) return count({&s.NotesContent, &s.DeletedNotes});
    if (operation == &Exporter::ExportCalendar)
        return count({&s.CalendarContent, &s.DeletedCalendar});
    if (operation == &Exporter::ExportCallLog) return count({&s.CallLogContent, &s.DeletedCallLog});
    if (operation == &Exporter::ExportContact) return count({&s.ContactContent, &s.DeletedContact});
    if (operation == &Exporter::ExportInternetData) return count({&s.InternetContent});
    if (operation == &Exporter::ExportMapHistory) return count({&s.MapContent});
    if (operation == &Exporter::ExportAccountData) return count({&s.AccountContent});
    if (operation == &Exporter::ExportApplicationData) return count({&s.ApplicationContent});
    if (operation == &Exporter::KeyboardDictionary) return count({&s.UserDictContent});
    return 0;
}

ExportEntry Exporter::ExportSMS(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.SMSContent, &state_.DeletedSMS}, onlyTicked,
                        FirstColumn::RunningNumber, [](CsvWriter& w, const SMS& r) {
                            w.writeField(ExportDates::CsvDate(r.LocalTime()));
                            w.writeField(r.Message());
                            w.writeField(r.Type());
                            w.writeField(r.Address());
                        });
}

ExportEntry Exporter::ExportWhatsApp(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.WhatsAppContent, &state_.DeletedWhatsApp},
                        onlyTicked, FirstColumn::RunningNumber,
                        [](CsvWriter& w, const WhatsApp& r) {
                            w.writeField(ExportDates::CsvDate(r.MessageDate()));
                            w.writeField(r.zText());
                            w.writeField(r.PhoneNo());
                            w.writeField(r.ContactName());
                        });
}

ExportEntry Exporter::ExportNotes(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.NotesContent, &state_.DeletedNotes}, onlyTicked,
                        FirstColumn::RunningNumber, [](CsvWriter& w, const Note& r) {
                            w.writeField(ExportDates::CsvDate(r.CreatedDate()));
                            w.writeField(r.Title());
                            w.writeField(r.Summary());
                        });
}

ExportEntry Exporter::ExportCalendar(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.CalendarContent, &state_.DeletedCalendar},
                        onlyTicked, FirstColumn::RunningNumber,
                        [](CsvWriter& w, const Calendar& r) {
                            w.writeField(r.Summary());
                            w.writeField(r.Description());
                            w.writeField(ExportDates::CsvDate(r.StartDate()));
                            w.writeField(r.Start_TimeZone());
                            w.writeField(ExportDates::CsvDate(r.EndDate()));
                            w.writeField(r.AllDay());
                            w.writeField(r.OrginalDate());
                            w.writeField(r.Priority());
                        });
}

ExportEntry Exporter::ExportCallLog(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.CallLogContent, &state_.DeletedCallLog},
                        onlyTicked, FirstColumn::RunningNumber, [](CsvWriter& w, const CallLog& r) {
                            w.writeField(r.ContactName());
                            // Call times are already display texts of their own form.
                            w.writeField(r.LocalTime());
                            w.writeField(r.Address());
                            w.writeField(r.CallType());
                            w.writeField(std::to_string(r.CallDuration()) + "(Secs)");
                        });
}

ExportEntry Exporter::ExportContact(const std::string& path, bool onlyTicked) const {
    return WriteRecords(
        path, placement_, {&state_.ContactContent, &state_.DeletedContact}, onlyTicked,
        FirstColumn::RunningNumber, [](CsvWriter& w, const Contact& r) {
            w.writeField(ExportDates::CsvDate(r.CreatedDate()));
            for (const OptString& field :
                 {r.FirstName(), r.MiddleName(), r.LastName(), r.NickName(), r.DisplayName(),
                  r.ContactNo1(), r.ContactNo2(), r.ContactNo3(), r.ContactNo4(), r.ContactNo5(),
                  r.ContactNo6(), r.EmailAddress1(), r.EmailAddress2(), r.EmailAddress3(),
                  r.JobTitle(), r.Department(), r.Organization()})
                w.writeField(field);
            w.writeField(ExportDates::CsvDate(r.ModifiedDate()));
        });
}

ExportEntry Exporter::ExportInternetData(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.InternetContent}, onlyTicked,
                        FirstColumn::OwnSlNo, [](CsvWriter& w, const InternetHistory& r) {
                            w.writeField(r.Url());
                            w.writeField(ExportDates::CsvDate(r.LastVisitedDate()));
                            w.writeField(r.Title());
                            w.writeField(std::to_string(r.VisitCount()));
                        });
}

ExportEntry Exporter::ExportMapHistory(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.MapContent}, onlyTicked, FirstColumn::OwnSlNo,
                        [](CsvWriter& w, const MapHistory& r) {
                            w.writeField(r.Query());
                            w.writeField(r.Location());
                            w.writeField(r.Latitude());
                            w.writeField(r.Longitude());
                        });
}

ExportEntry Exporter::ExportAccountData(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.AccountContent}, onlyTicked,
                        FirstColumn::OwnSlNo, [](CsvWriter& w, const Account& r) {
                            w.writeField(r.Username());
                            w.writeField(r.ClassName());
                            w.writeField(r.Hostname());
                            w.writeField(r.PortNumber());
                        });
}

ExportEntry Exporter::ExportApplicationData(const std::string& path, bool onlyTicked) const {
    return WriteRecords(path, placement_, {&state_.ApplicationContent}, onlyTicked,
                        FirstColumn::OwnSlNo, [](CsvWriter& w, const Application& r) {
                            w.writeField(r.ApplicationName());
                            w.writeField(r.BundleIdentifer());
                            w.writeField(r.BundleVersion());
                        });
}

ExportEntry Exporter::KeyboardDictionary(const std::string& path, bool onlyTicked) const {
    return WriteRecords(
        path, placement_, {&state_.UserDictContent}, onlyTicked, FirstColumn::OwnSlNo,
        [](CsvWriter& w, const DynamicDictionary& r) { w.writeField(r.UserKey()); });
}

ExportEntry Exporter::ExportDeleted(const std::string& path, bool /*onlyTicked*/) const {
    return ExportEntry{path, ExportStatus::NothingToWrite, 0};
}

std::optional<std::uint64_t> Exporter::GetTheLengthOfTheStringBytes(
    std::span<const std::uint8_t> bytes, std::uint64_t inital) {
    if (inital >= bytes.size()) return std::nullopt;
    const auto zero = std::find(bytes.begin() + static_cast<std::ptrdiff_t>(inital), bytes.end(),
                                std::uint8_t{0});
    if (zero == bytes.end()) return std::nullopt;
    return static_cast<std::uint64_t>(zero - bytes.begin()) + 1;
}
