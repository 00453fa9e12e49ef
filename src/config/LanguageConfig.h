#pragma once

#include "common/Types.h"
#include "config/ApplicationConfig.h"
#include "config/LanguageKeys.h"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

// The keys of the visible texts, in declaration order.
enum class LanguageKey : std::size_t {
#define TORVANE_LANGUAGE_KEY_ENUM(key, Key) key,
    TORVANE_LANGUAGE_KEYS(TORVANE_LANGUAGE_KEY_ENUM)
#undef TORVANE_LANGUAGE_KEY_ENUM
};

// The visible texts of the windows, one per key, in the chosen language. A text is absent
// until a language file that holds its key has been loaded; a key missing from a newly loaded
// file keeps the text it had. Texts are kept exactly as the file gives them, placeholders
// "{0}" to "{5}" included (the showing screen replaces them).
//
// Language file (UTF-8 XML), named by the configuration's languageFileName with ".xml", among
// the application's resources:
//
//   <ResourceDictionary>
//     <CommonOK>OK</CommonOK>
//     ...
//   </ResourceDictionary>
//
// Every element named `ResourceDictionary`, wherever it stands, is a block of texts, applied in
// document order; within a block a text is the first direct child element named by its key,
// its value all the text inside it, kept as it is. Other elements are ignored.
//
// Safe to read from any thread; loading replaces the texts under a lock.
class LanguageConfig {
public:
    // A language file is some tens of kilobytes; a far larger one is refused unread.
    static constexpr std::size_t kMaxLanguageFileBytes = 1u << 20;
    static constexpr std::size_t kKeyCount = 0
#define TORVANE_LANGUAGE_KEY_COUNT(key, Key) +1
        TORVANE_LANGUAGE_KEYS(TORVANE_LANGUAGE_KEY_COUNT)
#undef TORVANE_LANGUAGE_KEY_COUNT
        ;
    // The key names, in declaration order.
    static const std::array<std::string_view, kKeyCount>& keyNames();

    LanguageConfig() = default;
    LanguageConfig(const LanguageConfig&) = delete;
    LanguageConfig& operator=(const LanguageConfig&) = delete;

    // The application's texts.
    static LanguageConfig& sharedObject();

    // Start-up and a language change: loads the texts of the shared configuration's language
    // file (loadConfig below, on the shared configuration and the application's resources).
    void loadConfig();
    // Loads the file that config.languageFileName names from the resources folder. When there
    // is no such file, the choice falls back to English for this run (config.selectedLanguage
    // becomes "English" and setlanguageFile() follows; the stored choice is left as it is) and
    // the English file is tried once. A file that cannot be read or is not XML changes no text.
    // False when no text was loaded.
    bool loadConfig(ApplicationConfig& config, const std::string& resourcesDirectory);
    // Applies the blocks of a language document; false, with nothing changed, when the
    // document is not XML.
    bool loadTexts(std::string_view document);
    // The path of a language file among the resources; none for a name that cannot be a file
    // name there (empty, with a "/" or a NUL in it, "." or "..").
    static OptString languageFilePath(const OptString& languageFileName,
                                      const std::string& resourcesDirectory);

    OptString text(LanguageKey key) const;
    void setText(LanguageKey key, OptString text);

    // One getter per key, named as the key, and one setter, "set" and the key.
#define TORVANE_LANGUAGE_KEY_ACCESS(key, Key)        \
    OptString key() const {                          \
        return text(LanguageKey::key);               \
    }                                                \
    void set##Key(OptString value) {                 \
        setText(LanguageKey::key, std::move(value)); \
    }
    TORVANE_LANGUAGE_KEYS(TORVANE_LANGUAGE_KEY_ACCESS)
#undef TORVANE_LANGUAGE_KEY_ACCESS

private:
    mutable std::mutex mutex_;
    std::array<OptString, kKeyCount> texts_;
};

// A text with its placeholders filled: "{0}" by the first value, then "{1}" by the second, and
// so on, every occurrence, by plain text replacement.
std::string FillPlaceholders(const std::string& text, std::initializer_list<std::string> values);
