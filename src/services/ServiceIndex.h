#pragma once

#include "records/DataType.h"

#include <cstdint>
#include <optional>

// The number by which the run controller asks the service manager for one recovery service.
// It numbers the services its own way, not as DataType numbers the data types (messages are
// DataType 1 but ServiceIndex 0); the two meet only in the application's data-type table.
enum class ServiceIndex : std::int64_t {
    ServiceIndexMessages = 0,
    ServiceIndexPhotosVideos = 1,
    ServiceIndexContacts = 2,
    ServiceIndexCallHistory = 3,
    ServiceIndexCalendar = 4,
    ServiceIndexNotes = 5,
    ServiceIndexInternetHistory = 6,
    ServiceIndexWhatsApp = 7,
};

inline constexpr std::int64_t kServiceIndexCount = 8;

constexpr std::int64_t ToCode(ServiceIndex index) {
    return static_cast<std::int64_t>(index);
}

// The service of that number; none outside 0-7, which select no service.
constexpr std::optional<ServiceIndex> ServiceIndexFromCode(std::int64_t code) {
    if (code < 0 || code >= kServiceIndexCount) return std::nullopt;
    return static_cast<ServiceIndex>(code);
}
