#pragma once

#include "app/WindowTypes.h"
#include "config/LanguageConfig.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

class BrimleyAppDelegate;
class QWidget;
class ResultsScreen;
struct ScreenHost;

// What a tab's screen is.
enum class ScreenKind {
    DataList,        // a data-type screen over the record's lists
    PhotoBrowser,    // the photo grid
    VideoBrowser,    // the video grid
    DeviceDetails,   // DeviceViewController
    Summary,         // HomeViewController, the dashboard
    Applications,    // ApplicationViewController
    UserDictionary,  // UserDataViewController
};

// What the window knows of one tab beyond the data-type table (DataTypes()): its icon, its
// caption, what its screen is and which list of existing records it shows. The window builds
// its icon bar, its tab buttons and its screens from this table; a tab's deleted count and its
// export file come from the data-type table.
struct UiTab {
    TabTag tab;
    // The caption under the icon control, for the nine tabs of the icon bar; none for the others.
    std::optional<LanguageKey> caption;
    // The icon: a name of the desktop's icon theme, and our own picture among the resources'
    // icons ("<name>.svg") when the theme has none.
    const char* themeIcon;
    const char* fallbackIcon;
    ScreenKind kind;
    // Whether the tab's screen has existing records to show; none: it never has.
    bool (*hasExisting)(const BrimleyAppDelegate& record) = nullptr;
    // The deleted count of a tab the data-type table does not count; none for the others.
    const std::atomic<std::int32_t>* (*ownDeletedCount)(const BrimleyAppDelegate& record) = nullptr;
    // Makes the data-type screen (DataList tabs).
    ResultsScreen* (*make)(const ScreenHost& host, QWidget* parent) = nullptr;
};

// Every tab, the nine of the icon bar first, in the bar's order.
const std::vector<UiTab>& UiTabs();
// The entry of a tab; none for a tag without a screen.
const UiTab* UiTabFor(TabTag tab);
const UiTab* UiTabFor(std::int32_t tag);
// Whether the tab is one of the nine of the icon bar.
bool IsIconBarTab(TabTag tab);
// Whether the tab's data type has records: deleted ones counted, or existing ones listed.
bool HasRecords(const UiTab& tab, const BrimleyAppDelegate& record);
