#include "records/CallHistory.h"

#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"
#include "records/Contact.h"

#include <unicode/unistr.h>

namespace {

// Call type and mode of one flag value (and, for some values, of who placed the call and
// whether it lasted). The first row that fits decides.
struct CallKind {
    std::string type;
    const char* mode;
};

CallKind KindOf(std::int32_t flags, bool originated, std::int64_t duration) {
    switch (flags) {
        case 0:
        case 4:
            return {duration != 0 ? "Incoming - Answered" : "Incoming - Missed call", "Call"};
        case 1:
        case 5:
            return {duration != 0 ? "Outgoing - Answered" : "Outgoing - Not answered", "Call"};
        case 8:
            return originated ? CallKind{"Outgoing - FaceTime", "FaceTime"}
                              : CallKind{"Blocked call", "Call"};
        case 16:
            return {"FaceTime", "FaceTime"};
        case 21:
            return {"Outgoing - FaceTime", "FaceTime"};
        case 20:
            return {"Incoming - FaceTime", "FaceTime"};
        default:
            return {"Dropped (Flag " + std::to_string(flags) + ")", "Call"};
    }
}

bool HoldsNumber(const Contact& c, const OptString& number, const OptString& split) {
    for (const OptString* stored : {&c.ContactNo1(), &c.ContactNo2(), &c.ContactNo3()})
        if (SameText(*stored, number) || SameText(*stored, split)) return true;
    return false;
}

}  // namespace

bool CallHistory::IsEqual(const CallHistory& other) const {
    return SameText(Address_, other.Address_) && SameText(Date_, other.Date_);
}

std::string CallHistory::Fullname() const {
    return contact_ ? contact_->FullName().value_or("") : std::string();
}

std::shared_ptr<CallLog> CallHistory::generateCallLogObject() const {
    return generateCallLogObject(BrimleyAppDelegate::appDelegate());
}

std::shared_ptr<CallLog> CallHistory::generateCallLogObject(const BrimleyAppDelegate& state) const {
    auto log = std::make_shared<CallLog>();
    // Its carver appends it to the deleted-calls list next, so this is its place there.
    log->setSlNo(static_cast<std::int32_t>(state.DeletedCallLog.size() + 1));
    log->setIsChecked(0);
    log->setAddress(Address_);
    log->setLocalTime(Date_);
    log->setPhoneNumber(Address_);
    log->setCallType(convertCallTypeFlagtoCallTypeString());
    log->setContactName(getContactNamefromNumber(Address_, state));
    log->setCallDuration(static_cast<std::int32_t>(Duration_));
    log->setCallMode(convertCallTypeFlagtoCallModeString());
    return log;
}

std::string CallHistory::getContactNamefromNumber(const OptString& number,
                                                  const BrimleyAppDelegate& state) {
    // Every contact starts with an empty first number, so an empty address would take the name
    // of whichever contact comes first: it names nobody.
    if (!number || number->empty()) return {};
    const OptString split = splittedTelNumber(*number);
    for (const auto* list : {&state.ContactContent, &state.DeletedContact})
        if (auto hit =
                list->findFirst([&](const Contact& c) { return HoldsNumber(c, number, split); }))
            return getContactName(*hit);
    return {};
}

std::string CallHistory::getContactName(const Contact& contact) {
    for (const OptString* name : {&contact.NickName(), &contact.FirstName(), &contact.LastName()})
        if (*name) return **name;
    return {};
}

std::string CallHistory::splittedTelNumber(const std::string& number) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(number);
    if (text.length() < 6) return number;
    text.insert(5, static_cast<char16_t>(0x00A0));
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string CallHistory::convertCallTypeFlagtoCallTypeString() const {
    return KindOf(Flags_, ZOriginated_, Duration_).type;
}

std::string CallHistory::convertCallTypeFlagtoCallModeString() const {
    return KindOf(Flags_, ZOriginated_, Duration_).mode;
}
