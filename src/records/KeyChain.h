#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One keychain entry: account, server and protocol.
class KeyChain {
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(acct, setAcct)
    TORVANE_TEXT_FIELD_OF_RECORD(srvr, setSrvr)
    TORVANE_TEXT_FIELD_OF_RECORD(ptcl, setPtcl)
};
