#pragma once

#include "app/WindowTypes.h"
#include "config/LanguageConfig.h"

#include <optional>
#include <string>
#include <vector>

class BrimleyAppDelegate;

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

// One row of a data-type screen: its text and whether it is a deleted record.
struct ListedRow {
    std::string text;
    bool deleted = false;
};

// Everything the window needs to know of one tab, in one place: its icon, its caption, which
// list its screen shows and when it has records. The window builds its icon bar, its tab
// buttons and its screens from this table and from nothing else.
struct UiTab {
    TabTag tab;
    // The caption under the icon control, for the nine tabs of the icon bar; none for the others.
    std::optional<LanguageKey> caption;
    // The icon: a name of the desktop's icon theme, and our own picture among the resources'
    // icons ("<name>.svg") when the theme has none.
    const char* themeIcon;
    const char* fallbackIcon;
    ScreenKind kind;
    // Whether the data-type screen answers the toggle's "deleted only" (toggleBack).
    bool toggleBack;
    // Whether the tab's data type has records: deleted ones counted, or existing ones listed.
    // None: nothing enables the tab by its records.
    bool (*hasRecords)(const BrimleyAppDelegate& record);
    // The rows of a data-type screen: the existing records, then the deleted ones.
    std::vector<ListedRow> (*rows)(const BrimleyAppDelegate& record);
};

// Every tab, the nine of the icon bar first, in the bar's order.
const std::vector<UiTab>& UiTabs();
// The entry of a tab; none for a tag without a screen.
const UiTab* UiTabFor(TabTag tab);
const UiTab* UiTabFor(std::int32_t tag);
// Whether the tab is one of the nine of the icon bar.
bool IsIconBarTab(TabTag tab);
