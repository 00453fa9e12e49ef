#pragma once

#include "common/Types.h"
#include "records/SharedList.h"

#include <atomic>
#include <mutex>
#include <utility>

// Field declarations for the plain records: each declares a private field with a getter named
// after it and a setter that stores its argument unchanged. Records have many fields and no
// logic in their accessors, so spelling every pair out would only hide the few that matter.
//
// Use inside a class body, without a trailing semicolon; the macro leaves the access at public.

// A text field that can be absent (absent and empty are different things).
#define TORVANE_TEXT_FIELD_OF_RECORD(Name, Setter)         \
public:                                                    \
    const OptString& Name() const { return Name##_; }      \
    void Setter(OptString v) { Name##_ = std::move(v); }   \
                                                           \
private:                                                   \
    OptString Name##_;                                     \
                                                           \
public:

// A field of any copyable type, with its initial value.
#define TORVANE_VALUE_FIELD_OF_RECORD(Type, Name, Setter, Initial) \
public:                                                            \
    const Type& Name() const { return Name##_; }                   \
    void Setter(Type v) { Name##_ = std::move(v); }                \
                                                                   \
private:                                                           \
    Type Name##_ = Initial;                                        \
                                                                   \
public:

// A field that one thread may write while another reads it: the screens tick records and
// number their rows while the export thread reads both. The value is kept in an atomic, so a
// read never sees a torn or racing write; copying a record copies the value as read then.
template <class T>
class SharedRecordValue {
public:
    SharedRecordValue(T v = T{}) : value_(v) {}
    SharedRecordValue(const SharedRecordValue& other) : value_(other.load()) {}
    SharedRecordValue& operator=(const SharedRecordValue& other) {
        store(other.load());
        return *this;
    }
    T load() const { return value_.load(std::memory_order_relaxed); }
    void store(T v) { value_.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

// A number field shared between threads (the tick and the row number): the getter answers the
// value, the setter stores it, each in one atomic step.
#define TORVANE_SHARED_VALUE_FIELD_OF_RECORD(Type, Name, Setter, Initial) \
public:                                                                   \
    Type Name() const { return Name##_.load(); }                          \
    void Setter(Type v) { Name##_.store(v); }                             \
                                                                          \
private:                                                                  \
    SharedRecordValue<Type> Name##_{Initial};                             \
                                                                          \
public:

// A text field that one thread may write while others read it: the screens, the names filled
// in after a scan and the send-to-device files write a few texts into shared records while the
// export thread reads them. Reads answer a copy taken under a lock, so a reader sees the whole
// old or the whole new text. The locks are a small fixed table shared by every field (a field
// takes the one its address falls on), so a record does not grow by a mutex per field.
class SharedRecordText {
public:
    SharedRecordText(OptString v = std::nullopt) : value_(std::move(v)) {}
    SharedRecordText(const SharedRecordText& other) : value_(other.load()) {}
    SharedRecordText& operator=(const SharedRecordText& other) {
        if (this != &other) store(other.load());
        return *this;
    }
    OptString load() const {
        std::lock_guard lock(LockOf(this));
        return value_;
    }
    void store(OptString v) {
        std::lock_guard lock(LockOf(this));
        value_.swap(v);
    }
    // Applies change to the text in one step (no other access to this field comes between the
    // read and the write) and answers the text as it then is. change must not touch another
    // shared field.
    template <class Change>
    OptString update(Change change) {
        std::lock_guard lock(LockOf(this));
        change(value_);
        return value_;
    }

    // The lock of the field at that address, from a small fixed table.
    static std::mutex& LockOf(const void* field);

private:
    OptString value_;
};

// A text field shared between threads: the getter answers a copy, the setter stores its
// argument, and update<Name>(change) reads and rewrites it in one step.
#define TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Name, Setter)                     \
public:                                                                       \
    OptString Name() const { return Name##_.load(); }                         \
    void Setter(OptString v) { Name##_.store(std::move(v)); }                 \
    template <class Change>                                                   \
    OptString update##Name(Change change) { return Name##_.update(change); }  \
                                                                              \
private:                                                                      \
    SharedRecordText Name##_;                                                 \
                                                                              \
public:
