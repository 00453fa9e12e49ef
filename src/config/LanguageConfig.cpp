#include "config/LanguageConfig.h"

#include "common/AppPaths.h"
#include "common/FileUtils.h"
#include "config/XmlTree.h"

#include <bitset>
#include <iostream>
#include <unordered_map>
#include <utility>
#include <vector>

const std::array<std::string_view, LanguageConfig::kKeyCount>& LanguageConfig::keyNames() {
    static const std::array<std::string_view, kKeyCount> names = {
#define TORVANE_LANGUAGE_KEY_NAME(key, Key) #key,
        TORVANE_LANGUAGE_KEYS(TORVANE_LANGUAGE_KEY_NAME)
#undef TORVANE_LANGUAGE_KEY_NAME
    };
    return names;
}

LanguageConfig& LanguageConfig::sharedObject() {
    static LanguageConfig instance;
    return instance;
}

OptString LanguageConfig::text(LanguageKey key) const {
    std::lock_guard lock(mutex_);
    return texts_[static_cast<std::size_t>(key)];
}

void LanguageConfig::setText(LanguageKey key, OptString value) {
    std::lock_guard lock(mutex_);
    texts_[static_cast<std::size_t>(key)] = std::move(value);
}

void LanguageConfig::loadConfig() {
    ApplicationConfig config = ApplicationConfig::sharedObject();
    const OptString before = config.selectedLanguage;
    const OptString fileBefore = config.languageFileName;
    loadConfig(config, AppPaths::resourcesDirectory());
    // Only the fallback to English changes the configuration; keep whatever else changed in
    // the meantime.
    if (config.selectedLanguage != before || config.languageFileName != fileBefore)
        ApplicationConfig::updateSharedObject([&](ApplicationConfig& shared) {
            shared.selectedLanguage = config.selectedLanguage;
            shared.languageFileName = config.languageFileName;
        });
}

OptString LanguageConfig::languageFilePath(const OptString& languageFileName,
                                           const std::string& resourcesDirectory) {
    if (!languageFileName || languageFileName->empty() || *languageFileName == "." ||
        *languageFileName == ".." || languageFileName->find('/') != std::string::npos ||
        languageFileName->find('\0') != std::string::npos)
        return std::nullopt;
    return resourcesDirectory + "/" + *languageFileName + ".xml";
}

bool LanguageConfig::loadConfig(ApplicationConfig& config, const std::string& resourcesDirectory) {
    OptString path = languageFilePath(config.languageFileName, resourcesDirectory);
    if (!path || !FileUtils::fileExistsAtPath(*path)) {
        // Not stored: the next start tries the chosen language again.
        config.selectedLanguage = "English";
        config.setlanguageFile();
        path = languageFilePath(config.languageFileName, resourcesDirectory);
        if (!path || !FileUtils::fileExistsAtPath(*path)) {
            std::cerr << "language texts: no language file among " << resourcesDirectory << '\n';
            return false;
        }
    }
    std::string why;
    const auto bytes = FileUtils::getDataFromPath(*path, kMaxLanguageFileBytes, &why);
    if (!bytes) {
        std::cerr << "language texts: " << *path << " " << why << '\n';
        return false;
    }
    if (!loadTexts(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))) {
        std::cerr << "language texts: " << *path << " cannot be read as XML\n";
        return false;
    }
    return true;
}

bool LanguageConfig::loadTexts(std::string_view document) {
    const std::optional<XmlNode> root = XmlNode::parse(document);
    if (!root) return false;
    // Every key by its element name, built once: each child of a block is looked up once,
    // however many keys and children there are.
    static const std::unordered_map<std::string_view, std::size_t> indexByName = [] {
        std::unordered_map<std::string_view, std::size_t> index;
        const auto& names = keyNames();
        for (std::size_t i = 0; i < kKeyCount; ++i) index.emplace(names[i], i);
        return index;
    }();
    // Read first, then replace under the lock in one step. Within a block the first element
    // of a name counts; a later block's text replaces an earlier one's.
    std::array<OptString, kKeyCount> found;
    for (const XmlNode* block : root->descendants("ResourceDictionary")) {
        std::bitset<kKeyCount> seen;
        for (const XmlNode& child : block->children()) {
            if (child.isText()) continue;
            const auto key = indexByName.find(child.name());
            if (key == indexByName.end() || seen.test(key->second)) continue;
            seen.set(key->second);
            found[key->second] = child.textContent();
        }
    }
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < kKeyCount; ++i)
        if (found[i]) texts_[i] = std::move(found[i]);
    return true;
}

std::string FillPlaceholders(const std::string& text, std::initializer_list<std::string> values) {
    std::string out = text;
    std::size_t index = 0;
    for (const std::string& value : values) {
        const std::string placeholder = "{" + std::to_string(index++) + "}";
        std::string next;
        std::size_t at = 0;
        for (std::size_t found; (found = out.find(placeholder, at)) != std::string::npos;
             at = found + placeholder.size()) {
            next.append(out, at, found - at);
            next += value;
        }
        next.append(out, at, std::string::npos);
        out = std::move(next);
    }
    return out;
}
