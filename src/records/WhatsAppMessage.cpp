#include "records/WhatsAppMessage.h"

std::string WhatsAppMessage::ContactFullName() const {
    return whatsAppContact_ ? whatsAppContact_->ZPartnerName().value_or("") : std::string();
}

std::string WhatsAppMessage::ContactPhone() const {
    return whatsAppContact_ ? whatsAppContact_->Phone().value_or("") : std::string();
}

std::string WhatsAppMessage::GetZMessageNumberOrEmpty() const {
    const OptString& address = IsFromMe_ ? ZFromJid_ : ZToJid_;
    if (!address) return {};
    const auto at = address->rfind('@');
    // An "@" at the very start leaves no number in front of it.
    if (at == std::string::npos || at == 0) return {};
    return address->substr(0, at);
}

bool WhatsAppMessage::IsEqual(const WhatsAppMessage& other) const {
    return SameText(ZText_, other.ZText_) && SameText(_zmesssageDate_, other._zmesssageDate_) &&
           SameText(ZFromJid_, other.ZFromJid_) && SameText(ZToJid_, other.ZToJid_) &&
           SameText(ZStandZAid_, other.ZStandZAid_) && SameText(ZPushName_, other.ZPushName_);
}
