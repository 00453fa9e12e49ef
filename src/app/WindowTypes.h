#pragma once

#include "records/DataType.h"

#include <cstdint>

// What the main window shows: the home screen, the busy panels or the results area.
enum class ScreenState : std::int32_t {
    ScreenInitial = 0,
    ScreenLoading = 1,
    ScreenInitialLoading = 2,
    ScreenResults = 3,
    ScreenHome = 4,
};

// The screens of the results area. A tab button carries the tag itself, the icon control of
// the same screen the tag plus 100.
enum class TabTag : std::int32_t {
    TabTagSMS = 100,
    TabTagContacts = 101,
    TabTagCalls = 102,
    TabTagNotes = 103,
    TabTagCalendar = 104,
    TabTagApps = 105,
    TabTagDictionary = 106,
    TabTagPhotos = 107,
    TabTagVideos = 108,
    TabTagMap = 109,
    TabTagInternet = 111,
    TabTagDeviceInfo = 112,
    TabTagDashboard = 113,
    TabTagSkype = 114,
    TabTagIMessage = 115,
    TabTagFaceTime = 116,
    TabTagWhatsApp = 117,
};

constexpr std::int32_t ToCode(ScreenState s) {
    return static_cast<std::int32_t>(s);
}
constexpr std::int32_t ToCode(TabTag t) {
    return static_cast<std::int32_t>(t);
}
// The tag of a tab's icon control.
constexpr std::int32_t IconControlTag(TabTag t) {
    return ToCode(t) + 100;
}
