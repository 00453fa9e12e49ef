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

    // Fetches an address; none when nothing usable came.
    using FeedFetcher = std::function<std::optional<std::string>(const std::string& address)>;

    // The configuration file's bytes for an edition: the remote configuration when the network
    // may be used (ApplicationConfig::checkNetwork) and it gives bytes, else the resource file.
    // Since checkNetwork never allows it, always the resource file.
    static std::optional<std::string> dataFilePath(std::int64_t edition);
    // The edition's configuration resource; none for an edition without one or a file that
    // cannot be read.
    static std::optional<std::string> loadXMLDataFromItself(std::int64_t edition);

    // The maker's web server that would serve the remote configuration. There is none yet:
    // the address is a placeholder, so nothing is fetched from it.
    static constexpr const char* kConfigurationServer = "https://www.example.com";
    // The edition's remote configuration address on a server ("<server>/software/TM640/9.2.0.0/
    // Retail/configuration/TM640RetailApplicationConfiguration.xml" for edition 0, the PB740
    // one for edition 2); none for another edition.
    static OptString remoteConfigurationAddress(std::int64_t edition, const std::string& server);
    // The edition's configuration fetched from kConfigurationServer over https only, with a
    // time and a size limit; none for an edition without one, a placeholder address or any
    // failure (logged).
    static std::optional<std::string> loadXMLDataFromWeb(std::int64_t edition, std::stop_token stop = {});
    // The same from a server and with a fetcher of one's own; a placeholder address
    // (IsPlaceholderAddress) is not fetched.
    static std::optional<std::string> loadXMLDataFromWeb(std::int64_t edition, const std::string& server,
                                                         const FeedFetcher& fetch);
    // Fetches a configuration over https, with a time limit and a size limit; an address of
    // another scheme is refused with a line on stderr. None on any failure (logged).
    static std::optional<std::string> fetchConfiguration(const std::string& address,
                                                         std::stop_token stop = {});

    // ---- Update feed ----
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
