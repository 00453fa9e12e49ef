#pragma once

#include "common/Types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The application's settings: the addresses that menus, dialogs, the banner and the update
// check open, the offered languages, the chosen language and the language file that follows
// from it, the edition of the build and a few build facts. XMLParser fills it at start-up
// from the configuration file of the edition (see XMLParser.h for the format).
//
// ApplicationConfig is a plain value. The application's one configuration is kept behind a
// lock: sharedObject() hands out a copy, so any thread may read it at the moment it needs a
// value, and updateSharedObject() changes it in one step.
class ApplicationConfig {
public:
    // Before loading everything is empty; loading sets the presets first.
    bool RestoreAvailable = false;
    std::int32_t currentAppProductType = 0;
    OptString updateUrl;
    OptString userGuideUrl;
    OptString facebookUrl;
    OptString twitterUrl;
    OptString googlePlusUrl;
    OptString websiteUrl;
    OptString supportemail;
    OptString BannerURL;
    // The edition: 0 the main edition, 2 the partner edition.
    std::int64_t buildVersion = 0;
    OptString updaterAppUrl;
    OptString applicationVersion;
    std::vector<std::string> languageArray;
    OptString languageFileName;
    OptString selectedLanguage;
    OptString iTunesDownload;
    OptString supportUrl;
    OptString supportTicketUrl;
    OptString recoverySignaturePath;
    OptString appStoreURL;
    OptString appBundleIdentifier;
    // Usage analytics: sent only when the configuration turns them on, to this base address.
    bool analyticsEnabled = false;
    OptString analyticsUrl;

    // ---- The application's one configuration ----
    static ApplicationConfig sharedObject();
    static void setSharedObject(ApplicationConfig config);
    // Runs the change on the shared configuration under its lock; the change must not call
    // back into sharedObject().
    static void updateSharedObject(const std::function<void(ApplicationConfig&)>& change);

    // Whether a remote configuration may be fetched: never.
    static bool checkNetwork() { return false; }

    // ---- Editions ----
    // The configuration resource of an edition ("TM640RetailApplicationConfiguration" for 0,
    // "PB740RetailApplicationConfiguration" for 2), without its ".xml"; none for others.
    static OptString configurationResourceName(std::int64_t edition);
    // The language file prefix of an edition ("TM640R", "PB740R"); none for others.
    static OptString languageFilePrefix(std::int64_t edition);
    // "Retail" for editions 0 and 2, "unknown" otherwise: every analytics event's build type.
    std::string getBuildTypeFull() const;
    // "0" for editions 0 and 2, "" otherwise.
    std::string getBuildType() const;
    // 0 "Torvane", 1 "Pellhurst", 2 "TorvaneExternal", 3 "TorvaneAdWords", none otherwise.
    static OptString getProductTypeAsString(std::int32_t productType);

    // ---- The chosen language ----
    // languageFileName becomes the edition's prefix, a hyphen and selectedLanguage
    // ("TM640R-English"); an unknown edition (or no chosen language) changes nothing.
    void setlanguageFile();
    // Stores the language name in the language-choice file (written atomically, as UTF-8);
    // a failure leaves a line on stderr only.
    static void writeSelectedLanguageInFile(const std::string& language);
    // Reads the language-choice file into selectedLanguage, verbatim (a trailing line break
    // stays part of the name). When that gives nothing (no file, unreadable, empty) the
    // choice becomes "English" and "English" is stored. Then setlanguageFile().
    void setSelectedLanguageFromFile();
    // The language-choice file: "lan.txt" in the settings folder.
    static std::string languageChoicePath();

    // ---- Addresses ----
    // A configured address as the browser opens it: an address with a scheme stays as it is;
    // a relative path names a file among the application's resources (the manual) and
    // becomes a file:// address of it, as does an absolute path of a file. None for an absent
    // or empty value.
    static OptString resolvedAddress(const OptString& configured);
};
