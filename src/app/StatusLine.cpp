#include "app/StatusLine.h"

#include "config/LanguageConfig.h"

#include <string_view>

namespace {

// The fixed texts a scan puts on the status line, with the key of each in the language files.
struct StatusText {
    std::string_view english;
    LanguageKey key;
};
constexpr StatusText kStatusTexts[] = {
    {"Recovering deleted data. Please wait...", LanguageKey::ScanRecoveringDeletedData},
    {"SMS", LanguageKey::ScanNameSMS},
    {"Contacts", LanguageKey::ScanNameContacts},
    {"Call History", LanguageKey::ScanNameCallHistory},
    {"CallHistory", LanguageKey::ScanCountNameCallHistory},
    {"WhatsApp", LanguageKey::ScanNameWhatsApp},
    {"Notes", LanguageKey::ScanNameNotes},
    {"Calendar", LanguageKey::ScanNameCalendar},
    {"Photos & Videos... ", LanguageKey::ScanNamePhotosVideos},
    {"Recovering Photos & Videos...", LanguageKey::ScanRecoveringPhotosVideos},
    {"Recovering Internet History", LanguageKey::ScanRecoveringInternetHistory},
    {"Recovering deleted messages...", LanguageKey::ScanRecoveringDeletedMessages},
    {"Recovering deleted contacts...", LanguageKey::ScanRecoveringDeletedContacts},
    {"Recovering deleted calls...", LanguageKey::ScanRecoveringDeletedCalls},
    {"Recovering deleted WhatsApp messages...", LanguageKey::ScanRecoveringDeletedWhatsApp},
    {"Recovering deleted notes...", LanguageKey::ScanRecoveringDeletedNotes},
    {"Recovering deleted calendar events...", LanguageKey::ScanRecoveringDeletedCalendar},
};

std::string Said(LanguageKey key, const char* english) {
    return LanguageConfig::sharedObject().text(key).value_or(english);
}

// A frame of the status line ("Retrieving  {0}") with the message put in.
std::string Framed(LanguageKey key, const char* english, const std::string& message) {
    return FillPlaceholders(Said(key, english), {message});
}

}  // namespace

std::string ScanStatusText(const std::string& english) {
    for (const StatusText& known : kStatusTexts)
        if (known.english == english)
            return LanguageConfig::sharedObject().text(known.key).value_or(english);
    return english;
}

std::string RetrievedCountText(std::size_t count, const std::string& what) {
    return FillPlaceholders(Said(LanguageKey::ScanRetrievedCount, "{0} {1} Retreived"),
                            {std::to_string(count), ScanStatusText(what)});
}

OptString StatusLineText(std::int32_t code, const std::string& message) {
    switch (code) {
        case 0:
            return Framed(LanguageKey::ScanStatusRetrieving, "Retrieving  {0}", ScanStatusText(message));
        case 1:
            return Framed(LanguageKey::ScanStatusRecovering, "Recovering {0}", ScanStatusText(message));
        case 2:
            return Said(LanguageKey::ScanStatusPleaseWait, "Recovering\u2026 please note this may take a few minutes.");
        case 3:
            return ScanStatusText(message);
        case 4:
            return Framed(LanguageKey::ScanStatusError, "Error: {0}", message);
        default:
            return std::nullopt;
    }
}
