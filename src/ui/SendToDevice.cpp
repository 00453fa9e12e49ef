#include "ui/SendToDevice.h"

#include "config/LanguageConfig.h"

#include "common/Clock.h"
#include "common/FileUtils.h"
#include "device/CompanionLibrary.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <iostream>

using nlohmann::ordered_json;

namespace SendFiles {

namespace {

// Fills an absent text of a record with the file's fill value, in the record itself, so that
// the screens and exports after the send show what was sent; present texts stay as they are.
struct FillAbsent {
    const char* fill;
    void operator()(OptString& text) const {
        if (!text) text = std::string(fill);
    }
};

std::int32_t Units(const std::string& text) {
    return icu::UnicodeString::fromUTF8(text).length();
}

template <class R>
std::vector<std::shared_ptr<R>> Both(const SharedList<R>& existing, const SharedList<R>& deleted) {
    auto all = existing.snapshot();
    const auto more = deleted.snapshot();
    all.insert(all.end(), more.begin(), more.end());
    std::erase(all, nullptr);
    return all;
}

ordered_json MessageEntry(const std::string& name, const std::string& phone, const std::string& date,
                          const std::string& type, const std::string& message) {
    ordered_json inner = ordered_json::object();
    inner["date"] = date;
    inner["type"] = type;
    inner["message"] = message;
    ordered_json entry = ordered_json::object();
    entry["name"] = name;
    entry["phone"] = phone;
    entry["messages"] = ordered_json::array({inner});
    return entry;
}

ordered_json Messages(BrimleyAppDelegate& r) {
    ordered_json list = ordered_json::array();
    for (const auto& m : Both(r.SMSContent, r.DeletedSMS)) {
        if (!m->Message() || !m->Address() || !m->Type() || !m->LocalTime()) continue;
        // The companion application reads the types the other way round.
        std::string type = "received";
        if (*m->Type() == "Received from") type = "sent";
        const std::string date = Units(*m->LocalTime()) < 3 ? " " : *reframeDate(m->LocalTime());
        list.push_back(MessageEntry(*m->Address(), *m->Address(), date, type, *m->Message()));
    }
    return list;
}

ordered_json WhatsAppMessages(BrimleyAppDelegate& r) {
    ordered_json list = ordered_json::array();
    for (const auto& m : Both(r.WhatsAppContent, r.DeletedWhatsApp)) {
        const std::string name = *m->updateContactName(FillAbsent{""});
        const std::string phone = *m->updatePhoneNo(FillAbsent{""});
        const std::string date = *m->updateMessageDate(FillAbsent{""});
        const std::string text = *m->updatezText(FillAbsent{""});
        list.push_back(MessageEntry(name.empty() ? "unknown" : name, phone.empty() ? "unknown" : phone,
                                    date.empty() ? "unknown" : *reframeDate(date), "send", text));
    }
    return list;
}

ordered_json Calls(BrimleyAppDelegate& r) {
    ordered_json list = ordered_json::array();
    for (const auto& c : Both(r.CallLogContent, r.DeletedCallLog)) {
        ordered_json entry = ordered_json::object();
        entry["name"] = *c->updateContactName(FillAbsent{""});
        entry["phone"] = *c->updateAddress(FillAbsent{" "});
        entry["date"] = *reframeDate(c->updateLocalTime(FillAbsent{" "}));
        entry["type"] = *c->updateCallType(FillAbsent{""});
        entry["duration"] = std::to_string(c->CallDuration());
        list.push_back(std::move(entry));
    }
    return list;
}

ordered_json Contacts(BrimleyAppDelegate& r) {
    ordered_json list = ordered_json::array();
    for (const auto& c : Both(r.ContactContent, r.DeletedContact)) {
        const std::string no1 = *c->updateContactNo1(FillAbsent{""});
        const std::string no2 = *c->updateContactNo2(FillAbsent{""});
        c->updateLastName(FillAbsent{""});
        ordered_json entry = ordered_json::object();
        entry["name"] = *c->updateFirstName(FillAbsent{""});
        entry["mobile"] = "";
        entry["iPhone"] = "";
        entry["home"] = !no1.empty() ? no1 : no2;
        entry["work"] = no2;
        entry["main"] = no1;
        entry["other"] = no2;
        entry["homeEmail"] = *c->updateEmailAddress1(FillAbsent{""});
        entry["workEmail"] = *c->updateEmailAddress2(FillAbsent{""});
        entry["otherEmail"] = *c->updateEmailAddress3(FillAbsent{""});
        entry["homePage"] = "";
        entry["company"] = "";
        entry["department"] = "";
        entry["jobTitle"] = "";
        entry["address"] = "";
        entry["note"] = *c->updateNote(FillAbsent{""});
        list.push_back(std::move(entry));
    }
    return list;
}

ordered_json Events(BrimleyAppDelegate& r) {
    ordered_json list = ordered_json::array();
    for (const auto& e : Both(r.CalendarContent, r.DeletedCalendar)) {
        ordered_json entry = ordered_json::object();
        entry["title"] = *e->updateSummary(FillAbsent{" "});
        entry["location"] = *e->updateLocation(FillAbsent{" "});
        entry["startsDate"] = *reframeDate(e->updateStartDate(FillAbsent{" "}));
        entry["endsDate"] = *reframeDate(e->updateEndDate(FillAbsent{" "}));
        entry["note"] = "";
        list.push_back(std::move(entry));
    }
    return list;
}

ordered_json NoteEntries(BrimleyAppDelegate& r) {
    ordered_json list = ordered_json::array();
    for (const auto& n : Both(r.NotesContent, r.DeletedNotes)) {
        const std::string title = *n->updateTitle(FillAbsent{""});
        const std::string summary = *n->updateSummary(FillAbsent{""});
        ordered_json entry = ordered_json::object();
        entry["date"] = n->CreatedDate() ? *reframeDate(n->CreatedDate()) : std::string();
        entry["note"] = Units(summary) > Units(title) ? summary : title;
        list.push_back(std::move(entry));
    }
    return list;
}

struct FileOfKind {
    SendKind kind;
    const char* name;
    const char* key;
    const char* noDevice;
    ordered_json (*entries)(BrimleyAppDelegate&);
};

const FileOfKind kFiles[] = {
    {SendKind::Messages, "messages.json", "conversation", "No Device connected to send data", &Messages},
    {SendKind::CallHistory, "callhistory.json", "callhistory", "No Device connected to send data", &Calls},
    {SendKind::Contacts, "contacts.json", "contacts", "No device connected to send data", &Contacts},
    {SendKind::Calendar, "calendar.json", "calendar", "No device connected to send data", &Events},
    {SendKind::Notes, "notes.json", "notes", "No device connected to send data", &NoteEntries},
    {SendKind::WhatsApp, "whatsapp.json", "conversation", "No device connected to send data", &WhatsAppMessages},
};

const FileOfKind& FileOf(SendKind kind) {
    for (const FileOfKind& file : kFiles)
        if (file.kind == kind) return file;
    return kFiles[0];
}

}  // namespace

OptString reframeDate(const OptString& date) {
    if (!date) return std::nullopt;
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(*date);
    if (units.length() < 11) return std::string(" ");
    const auto part = [&](std::int32_t start, std::int32_t length) {
        std::string text;
        units.tempSubString(start, length).toUTF8String(text);
        return text;
    };
    return part(5, 2) + "-" + part(8, 2) + "-" + part(0, 4) + " " + part(11, 5);
}

ordered_json Build(SendKind kind, BrimleyAppDelegate& record) {
    const FileOfKind& file = FileOf(kind);
    ordered_json top = ordered_json::object();
    top[file.key] = file.entries(record);
    return top;
}

std::string Text(const ordered_json& file) {
    return file.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

const char* FileName(SendKind kind) {
    return FileOf(kind).name;
}

std::string NoDeviceMessage(SendKind kind) {
    return LanguageConfig::sharedObject().SendNoDeviceConnected().value_or(FileOf(kind).noDevice);
}

const std::vector<SendKind>& AllKinds() {
    static const std::vector<SendKind> kinds = {SendKind::Messages, SendKind::CallHistory, SendKind::Contacts,
                                                SendKind::Calendar, SendKind::Notes, SendKind::WhatsApp};
    return kinds;
}

}  // namespace SendFiles

SendToDevice::SendToDevice(Inputs inputs) : inputs_(std::move(inputs)) {}

std::string SendToDevice::AppFolder(const BrimleyAppDelegate& record) {
    OptString udid;
    if (const auto device = record.deviceInfo.get()) udid = device->UniqueDeviceID();
    if (!udid || udid->empty()) {
        const auto backup = record.deviceInfoBackup.get();
        udid = backup ? backup->UniqueDeviceID() : std::nullopt;
    }
    return "Documents/" + udid.value_or(std::string());
}

std::string SendToDevice::DeviceName(const BrimleyAppDelegate& record) {
    const auto device = record.deviceInfo.get();
    const auto backup = record.deviceInfoBackup.get();
    std::string name = device ? device->DeviceName().value_or("") : "";
    if (name.empty() && backup) name = backup->DeviceName().value_or("");
    if (name.empty() && device) {
        std::string location = device->BackupLocation().value_or("");
        while (!location.empty() && location.back() == '/') location.pop_back();
        if (!location.empty()) name = location.substr(location.find_last_of('/') + 1);
    }
    return name;
}

std::vector<std::string> SendToDevice::Targets() const {
    std::vector<std::string> targets = inputs_.record->bundleIdentifiers.get();
    const OptString& configured = inputs_.configuredBundle;
    if (configured && *configured != "test" && !configured->empty() &&
        std::find(targets.begin(), targets.end(), *configured) == targets.end())
        targets.push_back(*configured);
    return targets;
}

bool SendToDevice::deliver(const std::string& path, const std::string& udid, const std::string& bundle,
                           const std::string& appFolder, const std::string& deviceName) {
    const auto seconds = static_cast<unsigned long long>(
        std::max<double>(0.0, UnixSecondsOf(Clock::Now())));
    const std::string folder = appFolder + "#" + deviceName + "/" + std::to_string(seconds);
    libraryLoaded_ = LoadLIBMOBILE(inputs_.library.c_str()) == 1;
    if (!libraryLoaded_) return false;
    if (copyFolder(folder.c_str(), udid.c_str(), bundle.c_str()) < 0) return false;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string destination = folder + "/" + name;
    return copyFile(path.c_str(), destination.c_str(), udid.c_str(), bundle.c_str()) == 0;
}

std::vector<SendToDevice::Delivery> SendToDevice::send(const std::vector<SendKind>& kinds,
                                                        const std::string& appFolder, std::stop_token stop,
                                                        const std::function<void(const Delivery&)>& afterEach) {
    std::vector<Delivery> deliveries;
    for (SendKind kind : kinds) {
        if (stop.stop_requested()) break;
        Delivery delivery;
        delivery.kind = kind;
        delivery.path = inputs_.folder + "/" + SendFiles::FileName(kind);
        const std::optional<std::string> udid = inputs_.firstDevice ? inputs_.firstDevice() : std::nullopt;
        if (!udid) {
            delivery.noDevice = true;
        } else {
            try {
                const std::string text = SendFiles::Text(SendFiles::Build(kind, *inputs_.record));
                delivery.written =
                    FileUtils().CreateFile(Bytes(text.begin(), text.end()), delivery.path);
                if (delivery.written)
                    for (const std::string& bundle : Targets()) {
                        delivery.targets.push_back(bundle);
                        if (deliver(delivery.path, *udid, bundle, appFolder, DeviceName(*inputs_.record)))
                            delivery.reached.push_back(bundle);
                    }
            } catch (const std::exception& error) {
                // One type's failure ends that type only; the next one still goes.
                std::cerr << "send to device: " << SendFiles::FileName(kind) << ": " << error.what() << '\n';
            }
        }
        deliveries.push_back(delivery);
        if (afterEach) afterEach(deliveries.back());
    }
    return deliveries;
}

bool SendToDevice::sendToActualDevice(const std::string& path, const std::string& appFolder) {
    const std::optional<std::string> udid = inputs_.firstDevice ? inputs_.firstDevice() : std::nullopt;
    const std::string bundle = inputs_.record->appIdentifier.get();
    if (!udid || bundle.empty()) {
        std::cerr << "send to device: " << path << ": " << (udid ? "no companion identifier" : "no device") << '\n';
        return false;
    }
    const auto device = inputs_.record->deviceInfo.get();
    const std::string deviceName = device ? device->DeviceName().value_or("") : "";
    return deliver(path, *udid, bundle, appFolder, deviceName);
}
