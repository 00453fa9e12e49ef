#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// A list that recovery threads append to while the window reads it. Elements are shared
// pointers, so a record that sits in two lists is one object. Readers work on a snapshot.
//
// A list can also answer "is a record with this key listed?" in constant time: the first keyed
// call builds a hashed index of the elements' keys, and every later change keeps it up to date.
// A key is a text that identifies a record (a message's GUID, a file's path); a record without
// one (KeyOf answers none) is never found and never counts as listed. The index serves one key
// function at a time; a call with another one builds the index anew.
//
// The index keeps part of each key's hash and the position of the element it came from, not a
// copy of the key: a list of millions of messages would otherwise hold every guid twice. A hit
// is confirmed by asking the element for its key again.
template <class T>
class SharedList {
public:
    using Ptr = std::shared_ptr<T>;
    using KeyOf = std::optional<std::string> (*)(const T&);

    void append(Ptr item) {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
        index(items_.size() - 1);
    }

    // Appends the item unless an element with the same key is listed; test and append are one
    // step. An item without a key is always appended. Returns whether appended.
    bool appendUnlessKey(Ptr item, KeyOf keyOf) {
        std::lock_guard lock(mutex_);
        useIndex(keyOf);
        const std::optional<std::string> key = item ? keyOf(*item) : std::nullopt;
        if (key && indexed(*key)) return false;
        items_.push_back(std::move(item));
        if (key) insert(Hash(*key), items_.size() - 1);
        return true;
    }

    // Whether an element with that key is listed.
    bool containsKey(const std::string& key, KeyOf keyOf) const {
        std::lock_guard lock(mutex_);
        useIndex(keyOf);
        return indexed(key);
    }

    // Appends the item unless an element already listed matches it; the test and the append
    // are one step, so two threads cannot both list the same record. Returns whether appended.
    template <class Same>
    bool appendUnless(Ptr item, Same&& same) {
        std::lock_guard lock(mutex_);
        for (const auto& existing : items_)
            if (same(*existing)) return false;
        items_.push_back(std::move(item));
        index(items_.size() - 1);
        return true;
    }

    // Removes every element for which the predicate holds and returns how many went. The
    // predicate runs under the list's lock: it must not touch this list.
    template <class Pred>
    std::size_t removeIf(Pred&& pred) {
        std::lock_guard lock(mutex_);
        std::size_t removed = 0;
        std::vector<Ptr> kept;
        kept.reserve(items_.size());
        for (auto& item : items_) {
            if (item && pred(*item))
                ++removed;
            else
                kept.push_back(std::move(item));
        }
        items_ = std::move(kept);
        if (removed != 0) dropIndex();
        return removed;
    }

    std::vector<Ptr> snapshot() const {
        std::lock_guard lock(mutex_);
        return items_;
    }

    // The first element for which the predicate holds, or nullptr. The predicate runs under the
    // list's lock: it must not touch this list.
    template <class Pred>
    Ptr findFirst(Pred&& pred) const {
        std::lock_guard lock(mutex_);
        for (const auto& item : items_)
            if (pred(*item)) return item;
        return nullptr;
    }

    // How many elements (null ones left out) the predicate holds for. The predicate runs under
    // the list's lock: it must not touch this list.
    template <class Pred>
    std::size_t countIf(Pred&& pred) const {
        std::lock_guard lock(mutex_);
        std::size_t count = 0;
        for (const auto& item : items_)
            if (item && pred(*item)) ++count;
        return count;
    }

    template <class Pred>
    bool any(Pred&& pred) const {
        return findFirst(std::forward<Pred>(pred)) != nullptr;
    }

    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return items_.size();
    }
    bool empty() const { return size() == 0; }

    void clear() {
        std::lock_guard lock(mutex_);
        items_.clear();
        dropIndex();
    }

    // Puts the elements in the order they have in `order`, in one step: an element that `order`
    // lacks (listed after the caller's snapshot was taken) follows the others in its own order,
    // and an entry of `order` that is not listed is passed over.
    void reorder(const std::vector<Ptr>& order) {
        std::lock_guard lock(mutex_);
        std::unordered_map<const T*, std::size_t> rank;
        rank.reserve(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) rank.emplace(order[i].get(), i);
        const auto rankOf = [&](const Ptr& item) {
            const auto found = rank.find(item.get());
            return found != rank.end() ? found->second : order.size();
        };
        std::stable_sort(items_.begin(), items_.end(),
                         [&](const Ptr& a, const Ptr& b) { return rankOf(a) < rankOf(b); });
        dropIndex();
    }

    // Puts `now` in the place of the element `old` (the same object); false when it is not
    // listed.
    bool replaceItem(const Ptr& old, Ptr now) {
        std::lock_guard lock(mutex_);
        for (auto& item : items_)
            if (item == old) {
                item = std::move(now);
                dropIndex();
                return true;
            }
        return false;
    }

    void replace(std::vector<Ptr> items) {
        std::lock_guard lock(mutex_);
        items_ = std::move(items);
        dropIndex();
    }

private:
    static std::size_t Hash(const std::string& key) { return std::hash<std::string>{}(key); }
    // The upper half of a hash, kept in a slot to pass over most other keys without asking
    // their elements.
    static std::uint32_t TagOf(std::size_t hash) {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32);
    }

    // Under the lock: makes the index one of keyOf's keys.
    void useIndex(KeyOf keyOf) const {
        if (indexedBy_ == keyOf) return;
        dropIndex();
        indexedBy_ = keyOf;
        for (std::size_t position = 0; position < items_.size(); ++position) index(position);
    }
    // Under the lock: adds the key of the element at that position, when there is one.
    void index(std::size_t position) const {
        if (!indexedBy_ || !items_[position]) return;
        if (auto key = indexedBy_(*items_[position])) insert(Hash(*key), position);
    }
    // Under the lock, with the index in use: whether an element of that key is listed.
    bool indexed(const std::string& key) const {
        if (slots_.empty()) return false;
        const std::size_t hash = Hash(key);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const Slot& slot = slots_[at];
            if (slot.position == 0) return false;
            if (slot.tag == TagOf(hash) && indexedBy_(*items_[slot.position - 1]) == key)
                return true;
        }
    }
    void insert(std::size_t hash, std::size_t position) const {
        // At most three quarters of the slots are taken, so a search always ends.
        if ((used_ + 1) * 4 > slots_.size() * 3) grow();
        place(hash, position);
        ++used_;
    }
    void place(std::size_t hash, std::size_t position) const {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = hash & mask;
        while (slots_[at].position != 0) at = (at + 1) & mask;
        slots_[at] = Slot{TagOf(hash), static_cast<std::uint32_t>(position + 1)};
    }
    // Doubles the slots. They keep no whole hash, so each listed key is hashed again; an
    // element whose key has gone since is left out.
    void grow() const {
        std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2));
        old.swap(slots_);
        used_ = 0;
        for (const Slot& slot : old) {
            if (slot.position == 0) continue;
            if (auto key = indexedBy_(*items_[slot.position - 1])) {
                place(Hash(*key), slot.position - 1);
                ++used_;
            }
        }
    }
    void dropIndex() const {
        indexedBy_ = nullptr;
        slots_.clear();
        slots_.shrink_to_fit();
        used_ = 0;
    }

    mutable std::mutex mutex_;
    std::vector<Ptr> items_;
    mutable KeyOf indexedBy_ = nullptr;
    // The index: an open-addressed table (linear probing, a power of two in size) of the
    // positions in items_ of the elements with a key, each with the upper half of its key's
    // hash. Eight bytes a slot, so the guids of millions of messages cost little beside the
    // messages; positions stay valid because only appends keep the index.
    struct Slot {
        std::uint32_t tag = 0;
        // The element's position plus one; 0 for a free slot.
        std::uint32_t position = 0;
    };
    mutable std::vector<Slot> slots_;
    mutable std::size_t used_ = 0;
};

// A value that one thread sets while others read it: every read is a copy.
template <class T>
class Guarded {
public:
    Guarded() = default;
    explicit Guarded(T value) : value_(std::move(value)) {}
    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

// A flag taken by one thread at a time (test-and-set in one step); a waiting thread sleeps
// until it is given back. Meets BasicLockable, so std::lock_guard and std::scoped_lock work.
class BusyFlag {
public:
    void lock() {
        while (taken_.test_and_set(std::memory_order_acquire)) taken_.wait(true);
    }
    bool try_lock() { return !taken_.test_and_set(std::memory_order_acquire); }
    void unlock() {
        taken_.clear(std::memory_order_release);
        taken_.notify_one();
    }
    bool isTaken() const { return taken_.test(std::memory_order_acquire); }

private:
    std::atomic_flag taken_;
};

// A yes/no flag that threads can wait on until it is set.
class WaitableFlag {
public:
    void set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        changed_.notify_all();
    }
    void reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    bool isSet() const {
        std::lock_guard lock(mutex_);
        return set_;
    }
    // Waits until the flag is set; false when the stop token asked to stop first.
    bool wait(std::stop_token stop) const {
        std::unique_lock lock(mutex_);
        return changed_.wait(lock, stop, [&] { return set_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    bool set_ = false;
};
