#pragma once

#include "common/AppPaths.h"
#include "config/ApplicationConfig.h"
#include "support/FixtureDatabase.h"

#include <filesystem>
#include <fstream>
#include <string>

// The settings folder in a temporary folder, and a fresh shared configuration, for the life of
// the object.
class ScopedSettings {
public:
    ScopedSettings() {
        AppPaths::setConfigDirectory((dir_ / "config").string());
        ApplicationConfig::setSharedObject({});
    }
    ~ScopedSettings() {
        AppPaths::setConfigDirectory(std::nullopt);
        AppPaths::setResourcesDirectory(std::nullopt);
        ApplicationConfig::setSharedObject({});
    }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

    std::filesystem::path path() const { return dir_.path(); }
    std::filesystem::path languageChoice() const { return dir_ / "config" / "lan.txt"; }
    // Writes a file below the temporary folder, making its folders.
    std::filesystem::path write(const std::string& relative, const std::string& text) const {
        const std::filesystem::path path = dir_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

private:
    testsupport::TempDir dir_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
