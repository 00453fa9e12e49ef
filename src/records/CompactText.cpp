#include "records/CompactText.h"

#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

const std::string* SharedText::Intern(const std::string& text) {
    // Nodes of an unordered_set never move, so a pointer handed out stays valid for good.
    static std::mutex mutex;
    static std::unordered_set<std::string> texts;
    std::lock_guard lock(mutex);
    return &*texts.insert(text).first;
}

namespace {

// The pooled texts by their text. An entry's key views the text it maps to; the last release
// of a text takes its entry out before the text goes.
struct Pool {
    std::mutex mutex;
    std::unordered_map<std::string_view, std::weak_ptr<const std::string>> texts;
};

Pool& ThePool() {
    static Pool* pool = new Pool;  // outlives every record, those of static objects included
    return *pool;
}

}  // namespace

std::shared_ptr<const std::string> TextPool::Intern(std::string_view text) {
    Pool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    if (auto found = pool.texts.find(text); found != pool.texts.end()) {
        if (auto shared = found->second.lock()) return shared;
        // Its last holder let go a moment ago; the new copy takes the entry over.
        pool.texts.erase(found);
    }
    auto stored =
        std::shared_ptr<const std::string>(new std::string(text), [](const std::string* released) {
            {
                Pool& owner = ThePool();
                std::lock_guard ownerLock(owner.mutex);
                // The entry may already name a newer copy of the same text.
                if (auto found = owner.texts.find(*released);
                    found != owner.texts.end() && found->first.data() == released->data())
                    owner.texts.erase(found);
            }
            delete released;
        });
    pool.texts.emplace(std::string_view(*stored), stored);
    return stored;
}

std::size_t TextPool::Size() {
    Pool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    return pool.texts.size();
}
