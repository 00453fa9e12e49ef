#pragma once

#include <cstdint>

// What a scan covers, as chosen on the home screen. The recovery services are numbered
// differently (ServiceIndex); the two are converted explicitly where they meet.
enum class DataType : std::int32_t {
    DataTypeAll = 0,
    DataTypeSMS = 1,
    DataTypePhotosVideos = 2,
    DataTypeContacts = 3,
    DataTypeCallHistory = 4,
    DataTypeWhatsApp = 5,
    DataTypeNotes = 6,
    DataTypeInternetHistory = 7,
    DataTypeCalendar = 8,
};

constexpr std::int32_t ToCode(DataType t) { return static_cast<std::int32_t>(t); }
// Any code is carried as it is; a code outside 0-8 simply selects no step.
constexpr DataType DataTypeFromCode(std::int32_t code) { return static_cast<DataType>(code); }

// Whether a scan started for `selected` runs the step of data type `step`:
// every step for DataTypeAll, otherwise only the step of the same type.
constexpr bool RunsStep(DataType selected, DataType step) {
    return selected == DataType::DataTypeAll || selected == step;
}

// Carries the chosen data type from the home screen to the scan worker and the run controller.
class dataTypeHolder {
public:
    dataTypeHolder() = default;
    explicit dataTypeHolder(DataType t) : dataType_(t) {}
    DataType dataType() const { return dataType_; }
    void setDataType(DataType t) { dataType_ = t; }

private:
    DataType dataType_ = DataType::DataTypeAll;
};
