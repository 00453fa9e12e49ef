#include "records/CallHistory.h"

#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"
#include "records/Contact.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <limits>

std::string CallTypeText(bool outgoing, bool answered) {
    if (outgoing) return answered ? "Outgoing - Answered" : "Outgoing - Not answered";
    return answered ? "Incoming - Answered" : "Incoming - Missed call";
}

CallKind KindOfCall(const CallFacts& facts) {
    const bool faceTime =
        facts.callStore ? facts.flags == 8 || facts.flags == 16 : (facts.flags & 0x10) != 0;
    const bool outgoing = facts.callStore ? facts.originated : (facts.flags & 0x01) != 0;
    if (faceTime) return {outgoing ? "Outgoing - FaceTime" : "Incoming - FaceTime", "FaceTime"};
    const bool answered = !outgoing && facts.answered ? *facts.answered : facts.seconds > 0;
    return {CallTypeText(outgoing, answered), "Call"};
}

std::int64_t CallSeconds(double duration) {
    if (!(duration > 0)) return 0;
    if (duration < 1) return 1;
    constexpr double kMost = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int64_t>(std::trunc(std::min(duration, kMost)));
}

ContactNamesByNumber::ContactNamesByNumber(const BrimleyAppDelegate& state) {
    std::size_t position = 0;
    for (const auto* list : {&state.ContactContent, &state.DeletedContact}) {
        for (const auto& contact : list->snapshot()) {
            if (!contact) continue;
            for (const OptString& stored :
                 {contact->ContactNo1(), contact->ContactNo2(), contact->ContactNo3()})
                if (stored)
                    byNumber_.try_emplace(*stored,
                                          Holder{position, CallHistory::getContactName(*contact)});
            ++position;
        }
    }
}

const ContactNamesByNumber::Holder* ContactNamesByNumber::find(const std::string& number) const {
    const auto it = byNumber_.find(number);
    return it == byNumber_.end() ? nullptr : &it->second;
}

std::string ContactNamesByNumber::nameFor(const OptString& number) const {
    // Every contact starts with an empty first number, so an empty address would take the name
    // of whichever contact comes first: it names nobody.
    if (!number || number->empty()) return {};
    // The first contact that holds the number in either form.
    const Holder* plain = find(*number);
    const Holder* split = find(CallHistory::splittedTelNumber(*number));
    if (plain && split) return plain->position <= split->position ? plain->name : split->name;
    if (plain) return plain->name;
    if (split) return split->name;
    return {};
}

bool CallHistory::IsEqual(const CallHistory& other) const {
    return SameText(Address_, other.Address_) && SameText(Date_, other.Date_);
}

std::string CallHistory::Fullname() const {
    return contact_ ? contact_->FullName().value_or("") : std::string();
}

std::shared_ptr<CallLog> CallHistory::generateCallLogObject(const BrimleyAppDelegate& state) const {
    return generateCallLogObject(state, ContactNamesByNumber(state));
}

std::shared_ptr<CallLog> CallHistory::generateCallLogObject(
    const BrimleyAppDelegate& state, const ContactNamesByNumber& names) const {
    auto log = std::make_shared<CallLog>();
    // Its carver appends it to the deleted-calls list next, so this is its place there.
    log->setSlNo(static_cast<std::int32_t>(state.DeletedCallLog.size() + 1));
    log->setIsChecked(0);
    log->setAddress(Address_);
    log->setLocalTime(Date_);
    log->setPhoneNumber(Address_);
    log->setCallType(convertCallTypeFlagtoCallTypeString());
    log->setContactName(names.nameFor(Address_));
    log->setCallDuration(static_cast<std::int32_t>(Duration_));
    log->setCallMode(convertCallTypeFlagtoCallModeString());
    return log;
}

std::string CallHistory::getContactNamefromNumber(const OptString& number,
                                                  const BrimleyAppDelegate& state) {
    return ContactNamesByNumber(state).nameFor(number);
}

std::string CallHistory::getContactName(const Contact& contact) {
    for (const OptString& name : {contact.NickName(), contact.FirstName(), contact.LastName()})
        if (name) return *name;
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
    return KindOfCall({InCallStore_, Flags_, ZOriginated_, ZAnswered_, Duration_}).type;
}

std::string CallHistory::convertCallTypeFlagtoCallModeString() const {
    return KindOfCall({InCallStore_, Flags_, ZOriginated_, ZAnswered_, Duration_}).mode;
}
