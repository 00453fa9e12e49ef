#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>

class ApplicationConfig;

// What the application core reads of the application's configuration (ApplicationConfig):
// start-up takes it from the configuration file; without one, the preset values stand.
struct CoreConfiguration {
    // Whether the send-to-device button shows after a scan.
    bool RestoreAvailable = true;
    // The edition: 0 the retail build, 2 the partner build.
    std::int64_t buildVersion = 0;
    // The application's version text.
    OptString applicationVersion;
    OptString BannerURL;
    OptString supportUrl;
    // The device backup tool and the folder device backups go into; none: the defaults
    // (idevicebackup2, and MobileSync/Backup in the application's data folder).
    OptString backupTool;
    OptString mobileSyncFolder;

    // The preset values: edition 0, a restore available, the build's own version, no addresses.
    static CoreConfiguration defaults();
    // The values of a loaded configuration.
    static CoreConfiguration fromApplicationConfig(const ApplicationConfig& config);
    // Start-up's first steps: loads the configuration file into the shared ApplicationConfig,
    // then the language texts of the chosen language into the shared LanguageConfig, and
    // answers the loaded values. A missing or broken file leaves the presets.
    static CoreConfiguration loadFromFiles();

    // The version label of the edition ("TM640R v0.1.0"); none for an unknown edition or
    // without a version.
    OptString versionLabel() const;
};
