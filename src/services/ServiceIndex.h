#pragma once

#include "records/DataType.h"

#include <cstdint>
#include <optional>

// The number by which the run controller asks the service manager for one recovery service.
// It numbers the services its own way, not as DataType numbers the data types (messages are
// DataType 1 but ServiceIndex 0); the two meet only through the conversions below.
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

// The service that recovers one data type; none for DataTypeAll and unknown codes.
constexpr std::optional<ServiceIndex> ServiceIndexForDataType(DataType type) {
    switch (type) {
        case DataType::DataTypeSMS:
            return ServiceIndex::ServiceIndexMessages;
        case DataType::DataTypePhotosVideos:
            return ServiceIndex::ServiceIndexPhotosVideos;
        case DataType::DataTypeContacts:
            return ServiceIndex::ServiceIndexContacts;
        case DataType::DataTypeCallHistory:
            return ServiceIndex::ServiceIndexCallHistory;
        case DataType::DataTypeCalendar:
            return ServiceIndex::ServiceIndexCalendar;
        case DataType::DataTypeNotes:
            return ServiceIndex::ServiceIndexNotes;
        case DataType::DataTypeInternetHistory:
            return ServiceIndex::ServiceIndexInternetHistory;
        case DataType::DataTypeWhatsApp:
            return ServiceIndex::ServiceIndexWhatsApp;
        case DataType::DataTypeAll:
            break;
    }
    return std::nullopt;
}

// The data type that a service recovers.
constexpr DataType DataTypeForServiceIndex(ServiceIndex index) {
    switch (index) {
        case ServiceIndex::ServiceIndexMessages:
            return DataType::DataTypeSMS;
        case ServiceIndex::ServiceIndexPhotosVideos:
            return DataType::DataTypePhotosVideos;
        case ServiceIndex::ServiceIndexContacts:
            return DataType::DataTypeContacts;
        case ServiceIndex::ServiceIndexCallHistory:
            return DataType::DataTypeCallHistory;
        case ServiceIndex::ServiceIndexCalendar:
            return DataType::DataTypeCalendar;
        case ServiceIndex::ServiceIndexNotes:
            return DataType::DataTypeNotes;
        case ServiceIndex::ServiceIndexInternetHistory:
            return DataType::DataTypeInternetHistory;
        case ServiceIndex::ServiceIndexWhatsApp:
            return DataType::DataTypeWhatsApp;
    }
    return DataType::DataTypeAll;
}
