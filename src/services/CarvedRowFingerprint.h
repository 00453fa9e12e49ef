#pragma once

#include "common/ColumnValue.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_set>

// The identity of one carved record: every value the engine decoded from it, in order. A page
// can be searched twice (by a walk and by a sweep), and the same record found in a freeblock by
// a pattern that starts one column later decodes to the same values, so two sightings of one
// record give the same fingerprint while two different rows practically never do.
class CarvedRowFingerprint {
public:
    // A SHA-1 digest of the values, cut to 128 bits: what a run keeps of every record it has
    // seen, whatever the record's size.
    using Digest = std::array<std::uint8_t, 16>;

    // Starts the fingerprint of a new record.
    void clear() { bytes_.clear(); }
    // Adds the next decoded value.
    void add(const ColumnValue& value);
    const std::string& bytes() const { return bytes_; }
    Digest digest() const;

private:
    std::string bytes_;
};

// The fingerprints of the records a recoverer has already taken in its run.
class CarvedRowSightings {
public:
    // True the first time a fingerprint is offered, false for every later sighting.
    bool firstSighting(const CarvedRowFingerprint& fingerprint) {
        return seen_.insert(fingerprint.digest()).second;
    }
    std::size_t size() const { return seen_.size(); }

private:
    struct DigestHash {
        std::size_t operator()(const CarvedRowFingerprint::Digest& digest) const {
            std::size_t hash;
            std::memcpy(&hash, digest.data(), sizeof hash);
            return hash;
        }
    };
    std::unordered_set<CarvedRowFingerprint::Digest, DigestHash> seen_;
};
