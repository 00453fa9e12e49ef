#pragma once

#include "common/Types.h"

#include <string>

// Where the application keeps its files, after the XDG base directory rules. Each location can
// be set explicitly (the configuration does so); otherwise the environment decides. Paths carry
// no trailing "/". Safe to call from any thread.
class AppPaths {
public:
    // The user's documents folder: $XDG_DOCUMENTS_DIR, else $HOME/Documents. Not created here.
    static std::string documentsDirectory();
    // Settings: ($XDG_CONFIG_HOME or ~/.config)/torvane. Not created here.
    static std::string configDirectory();
    // Data kept between runs: ($XDG_DATA_HOME or ~/.local/share)/torvane. Not created here.
    static std::string dataDirectory();
    // Caches and working files: ($XDG_CACHE_HOME or ~/.cache)/torvane. Not created here.
    static std::string cacheDirectory();
    // State kept between runs that is neither a setting nor data (crash reports):
    // ($XDG_STATE_HOME or ~/.local/state)/torvane. Not created here.
    static std::string stateDirectory();
    // The private working folder, cacheDirectory()/work, created with mode 0700 (missing parents
    // too). The path is answered even when it cannot be made; the failure goes to stderr.
    static std::string workingDirectory();
    // The application's read-only resources: the explicit setting, else $TORVANE_RESOURCES_DIR,
    // else the folder the build was configured with.
    static std::string resourcesDirectory();

    // Explicit locations; std::nullopt (or an empty text) goes back to the environment. The
    // config, data, cache and state settings name the final folder (no "torvane" is appended).
    static void setDocumentsDirectory(const OptString& path);
    static void setConfigDirectory(const OptString& path);
    static void setDataDirectory(const OptString& path);
    static void setCacheDirectory(const OptString& path);
    static void setStateDirectory(const OptString& path);
    static void setResourcesDirectory(const OptString& path);

    // Makes sure a directory owned by this user exists at the path with mode 0700, creating it
    // and any missing parents (with mode 0700) and tightening a looser mode. False, with a line
    // on stderr, when the path is not such a directory (a file, a symbolic link, another owner).
    static bool ensurePrivateDirectory(const std::string& path);
};
