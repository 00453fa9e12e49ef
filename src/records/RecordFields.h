#pragma once

#include "common/Types.h"
#include "records/SharedList.h"

#include <atomic>
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

// A text field that a recovery thread may rewrite while a screen or the export reads it: the
// value is kept behind a lock and read as a copy, so a reader sees the whole old or the whole
// new text. Copying a record copies the text as read then.
class SharedRecordText : public Guarded<OptString> {
public:
    SharedRecordText() = default;
    SharedRecordText(const SharedRecordText& other) : Guarded(other.get()) {}
    SharedRecordText& operator=(const SharedRecordText& other) {
        if (this != &other) set(other.get());
        return *this;
    }
};

// A text field shared between threads: the getter answers a copy, the setter replaces the whole
// text, each under the field's lock.
#define TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Name, Setter)  \
public:                                                    \
    OptString Name() const { return Name##_.get(); }       \
    void Setter(OptString v) { Name##_.set(std::move(v)); } \
                                                           \
private:                                                   \
    SharedRecordText Name##_;                              \
                                                           \
public:
