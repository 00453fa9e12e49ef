#pragma once

#include "common/Types.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

// A text made of several values, for hashed look-ups of records: two keys are equal exactly when
// their values are equal one by one. Every value is tagged and texts carry their length, so an
// absent text differs from an empty one and "ab" + "c" from "a" + "bc".
class RecordKey {
public:
    RecordKey& add(const OptString& text) {
        if (!text) {
            key_ += 'N';
            return *this;
        }
        key_ += 'T';
        addBytes(text->size());
        key_ += *text;
        return *this;
    }
    RecordKey& add(std::int64_t number) {
        key_ += 'I';
        addBytes(number);
        return *this;
    }
    RecordKey& add(double number) {
        key_ += 'D';
        // Equal doubles compare equal as keys; -0 is +0 as == has it.
        addBytes(number == 0.0 ? 0.0 : number);
        return *this;
    }
    // The key; the object is empty afterwards.
    std::string take() { return std::move(key_); }

private:
    template <class T>
    void addBytes(const T& value) {
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        key_.append(bytes, sizeof(T));
    }

    std::string key_;
};
