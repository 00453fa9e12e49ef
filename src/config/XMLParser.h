#pragma once

#include "common/Types.h"
#include "config/ApplicationConfig.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

// Reads the configuration file into ApplicationConfig, and the update feed.
//
// Configuration file (XML, in the encoding its declaration names, UTF-8 without one):
//
//   <configuration>
//     <updateUrl>https://...</updateUrl>
//     <languages>English,Deutsch</languages>
//     ...
//   </configuration>
//
// Every element named `configuration`, wherever it stands, is a settings block; blocks are
// applied in document order, so a later block overrides an earlier one for the settings it
// holds, and a setting that a block lacks stays as it was. Within a block a setting is a
// direct child element; only the first child of a name counts. Its value is all the text
// inside it, joined and used as it is (no trimming). Other elements are ignored.
//
// Update feed (XML): the offered version is the text of the first `version` child of the first
// `item` element (anywhere in the document) that has one.
class XMLParser {
public:
    // Start-up: fills the shared configuration (loadConfig below on it).
    static void loadConfig();
    // The presets (product type 2, edition 0, a restore available, the build's version), then
    // the configuration file of the edition from the application's resources. A missing or
    // unreadable file, or one that is not XML, leaves every setting as it was.
    static void loadConfig(ApplicationConfig& config);
    static void setPresets(ApplicationConfig& config);
    // Applies the blocks of a configuration document. A `languages` setting also reads the
    // stored language choice (ApplicationConfig::setSelectedLanguageFromFile). False, with
    // nothing changed, when the document is not XML.
    static bool applyConfiguration(ApplicationConfig& config, std::string_view document);

    // The configuration file's bytes for an edition: always the resource file, since there
    // is no remote configuration (ApplicationConfig::checkNetwork).
    static std::optional<std::string> dataFilePath(std::int64_t edition);
    // The edition's configuration resource; none for an edition without one or a file that
    // cannot be read.
    static std::optional<std::string> loadXMLDataFromItself(std::int64_t edition);

    // ---- Update feed ----
    // Fetches a feed address; none when nothing usable came.
    using FeedFetcher = std::function<std::optional<std::string>(const std::string& address)>;
    // The offered version, or "" when none could be read. First sets the shared
    // configuration's applicationVersion to the build's version. The address is the shared
    // configuration's updateUrl, fetched over https only.
    static std::string getCurrentVersionFromWeb(std::stop_token stop = {});
    // The same for an address and a fetcher of one's own. An absent or empty address, or a
    // placeholder (IsPlaceholderAddress), is not fetched.
    static std::string getCurrentVersionFromWeb(const OptString& updateUrl,
                                                const FeedFetcher& fetch);
    // The version text of a feed document, untrimmed; "" for none or a document that is not
    // XML.
    static std::string versionFromFeed(std::string_view document);
    // Fetches a feed over https, with a time limit and a size limit; an address of another
    // scheme is refused with a line on stderr. None on any failure (logged).
    static std::optional<std::string> fetchFeed(const std::string& address,
                                                std::stop_token stop = {});
};
