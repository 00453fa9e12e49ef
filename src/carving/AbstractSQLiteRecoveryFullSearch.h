#pragma once

#include "carving/AbstractSqLiteRecovery.h"

#include <cstdint>
#include <string>

// The engine variant that searches every page whole, live cells and free space alike, whatever
// its type. The message join and connection recoverers derive from it: the rows they need are
// found in live cells as well as in free space.
class AbstractSQLiteRecoveryFullSearch : public AbstractSqLiteRecovery {
public:
    // Live rows are what this search is for: records in live cells are handed over, and
    // currentRecordLiesInLiveCell() says which they are.
    AbstractSQLiteRecoveryFullSearch() { setSkipsLiveCells(false); }

protected:
    void ProcessSQLitePage(ByteView page) override;
    // With _field "ZStandZAid": the index of the first "-" in the text minus 10 (-11 when there
    // is none), which re-aligns a text whose GUID was decoded off its start. Otherwise the text
    // stays where it is.
    std::int32_t verifyDataPosition(ByteView text) override;

    // The attribute a subclass's FillModel is filling, for the position check.
    std::string _field;
    std::int32_t _maxMessageRowId = 0;
    std::int32_t _maxChatRowId = 0;
};
