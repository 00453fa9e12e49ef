#pragma once

#include "records/RecordFields.h"

#include <cstdint>
#include <memory>

// A Skype contact or one message of a Skype dialog.
class Skype {
public:
    // A copy is a new, blank record of the same class: no field is carried over.
    std::shared_ptr<Skype> copyWithZone() const { return std::make_shared<Skype>(); }

    TORVANE_VALUE_FIELD_OF_RECORD(std::int32_t, skypeID, setSkypeID, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(skypeName, setSkypeName)
    TORVANE_TEXT_FIELD_OF_RECORD(displayName, setDisplayName)
    TORVANE_TEXT_FIELD_OF_RECORD(time, setTime)
    TORVANE_TEXT_FIELD_OF_RECORD(body, setBody)
};
