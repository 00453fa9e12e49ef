#include "records/CompactText.h"

#include <mutex>
#include <unordered_set>

const std::string* SharedText::Intern(const std::string& text) {
    // Nodes of an unordered_set never move, so a pointer handed out stays valid for good.
    static std::mutex mutex;
    static std::unordered_set<std::string> texts;
    std::lock_guard lock(mutex);
    return &*texts.insert(text).first;
}
