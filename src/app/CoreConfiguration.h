#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>

// What the application core reads of the application's configuration. The configuration file
// and its reader are a subsystem of their own; until they are there, the preset values stand.
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

    // The version label of the edition ("TM640R v0.1.0"); none for an unknown edition or
    // without a version.
    OptString versionLabel() const;
};
