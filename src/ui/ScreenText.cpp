#include "ui/ScreenText.h"

#include "config/LanguageConfig.h"

#include <unicode/locid.h>
#include <unicode/ucasemap.h>
#include <unicode/unistr.h>

#include <vector>

namespace ScreenText {

std::string Lower(std::string_view text) {
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        std::string lowered(text);
        for (char& c : lowered)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return lowered;
    }
    // Full case mapping straight on the UTF-8 bytes, with one case map per thread.
    thread_local struct CaseMap {
        UCaseMap* map = nullptr;
        CaseMap() {
            UErrorCode status = U_ZERO_ERROR;
            map = ucasemap_open("", U_FOLD_CASE_DEFAULT, &status);
            if (U_FAILURE(status)) map = nullptr;
        }
        ~CaseMap() {
            if (map) ucasemap_close(map);
        }
    } caseMap;
    const auto length = static_cast<std::int32_t>(text.size());
    if (caseMap.map && text.size() < 0x3fffffff) {
        std::string lowered(text.size() + 16, '\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            UErrorCode status = U_ZERO_ERROR;
            const std::int32_t written = ucasemap_utf8ToLower(caseMap.map, lowered.data(),
                                                              static_cast<std::int32_t>(lowered.size()),
                                                              text.data(), length, &status);
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                lowered.assign(static_cast<std::size_t>(written), '\0');
                continue;
            }
            if (U_FAILURE(status)) break;
            lowered.resize(static_cast<std::size_t>(written));
            return lowered;
        }
    }
    std::string lowered;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), length))
        .toLower(icu::Locale::getRoot())
        .toUTF8String(lowered);
    return lowered;
}

std::string Html(const OptString& text) {
    std::string html;
    if (!text) return html;
    html.reserve(text->size() + 16);
    for (std::size_t i = 0; i < text->size(); ++i) {
        const char c = (*text)[i];
        switch (c) {
            case '&': html += "&amp;"; break;
            case '<': html += "&lt;"; break;
            case '>': html += "&gt;"; break;
            case '"': html += "&quot;"; break;
            case '\'': html += "&#39;"; break;
            case '\r':
                if (i + 1 < text->size() && (*text)[i + 1] == '\n') ++i;
                html += "<br/>";
                break;
            case '\n': html += "<br/>"; break;
            default: html += c;
        }
    }
    return html;
}

namespace {

// Reads `count` digits at `at`; none when any is not a digit.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool At(std::string_view text, std::size_t at, char c) {
    return at < text.size() && text[at] == c;
}

std::optional<std::int64_t> Key(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    // Days by a civil calendar, so that the keys of different months order as time does.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe;
    return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

// "hh:mm a" or "hh:mm:ss a" (with the marker) or "HH:mm:ss" at `at`, to the end of the text.
bool Clock(std::string_view text, std::size_t at, int& hour, int& minute, int& second) {
    auto h = Digits(text, at, 2);
    auto m = Digits(text, at + 3, 2);
    if (!h || !m || !At(text, at + 2, ':')) return false;
    hour = *h;
    minute = *m;
    second = 0;
    std::size_t rest = at + 5;
    if (At(text, rest, ':')) {
        auto s = Digits(text, rest + 1, 2);
        if (!s) return false;
        second = *s;
        rest += 3;
    }
    if (rest == text.size()) return hour <= 23;
    if (!At(text, rest, ' ')) return false;
    std::string marker(text.substr(rest + 1));
    for (char& c : marker)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (hour < 1 || hour > 12) return false;
    if (marker == "AM") {
        if (hour == 12) hour = 0;
        return true;
    }
    if (marker == "PM") {
        if (hour != 12) hour += 12;
        return true;
    }
    return false;
}

}  // namespace

std::optional<std::int64_t> DateSortKey(const OptString& text) {
    if (!text) return std::nullopt;
    const std::string_view t = *text;
    int hour = 0, minute = 0, second = 0;
    // yyyy-MM-dd ...
    if (auto year = Digits(t, 0, 4); year && At(t, 4, '-') && At(t, 7, '-') && At(t, 10, ' ')) {
        auto month = Digits(t, 5, 2);
        auto day = Digits(t, 8, 2);
        if (month && day && Clock(t, 11, hour, minute, second))
            return Key(*year, *month, *day, hour, minute, second);
        return std::nullopt;
    }
    // MM/dd/yyyy ...
    if (auto month = Digits(t, 0, 2); month && At(t, 2, '/') && At(t, 5, '/') && At(t, 10, ' ')) {
        auto day = Digits(t, 3, 2);
        auto year = Digits(t, 6, 4);
        if (day && year && Clock(t, 11, hour, minute, second))
            return Key(*year, *month, *day, hour, minute, second);
    }
    return std::nullopt;
}

OptString ShownCallType(const OptString& type) {
    if (!type) return type;
    static constexpr struct {
        std::string_view stored;
        LanguageKey key;
    } kTypes[] = {
        {"Incoming - Answered", LanguageKey::CallTypeIncomingAnswered},
        {"Incoming - Missed call", LanguageKey::CallTypeIncomingMissed},
        {"Outgoing - Answered", LanguageKey::CallTypeOutgoingAnswered},
        {"Outgoing - Not answered", LanguageKey::CallTypeOutgoingNotAnswered},
        {"Incoming - FaceTime", LanguageKey::CallTypeIncomingFaceTime},
        {"Outgoing - FaceTime", LanguageKey::CallTypeOutgoingFaceTime},
        {"Blocked call", LanguageKey::CallTypeBlocked},
        {"Incoming Call", LanguageKey::CallTypeIncomingCall},
        {"Outgoing Call", LanguageKey::CallTypeOutgoingCall},
        {"Outgoing Cancelled", LanguageKey::CallTypeOutgoingCancelled},
    };
    for (const auto& known : kTypes)
        if (*type == known.stored) return LanguageConfig::sharedObject().text(known.key).value_or(*type);
    return type;
}

}  // namespace ScreenText
