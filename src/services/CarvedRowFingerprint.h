#pragma once

#include "common/ColumnValue.h"

#include <string>
#include <unordered_set>

// The identity of one carved record: every value the engine decoded from it, in order. A page
// can be searched twice (by a walk and by a sweep), and the same record found in a freeblock by
// a pattern that starts one column later decodes to the same values, so two sightings of one
// record give the same fingerprint while two different rows practically never do.
class CarvedRowFingerprint {
public:
    // Starts the fingerprint of a new record.
    void clear() { bytes_.clear(); }
    // Adds the next decoded value.
    void add(const ColumnValue& value);
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// The fingerprints of the records a recoverer has already taken in its run.
class CarvedRowSightings {
public:
    // True the first time a fingerprint is offered, false for every later sighting.
    bool firstSighting(const CarvedRowFingerprint& fingerprint) {
        return seen_.insert(fingerprint.bytes()).second;
    }
    std::size_t size() const { return seen_.size(); }

private:
    std::unordered_set<std::string> seen_;
};
