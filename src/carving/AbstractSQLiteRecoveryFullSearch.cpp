#include "carving/AbstractSQLiteRecoveryFullSearch.h"

void AbstractSQLiteRecoveryFullSearch::ProcessSQLitePage(ByteView page) {
    if (isCancelled()) return;
    ParseHeaderAndData(page, 0);
}

std::int32_t AbstractSQLiteRecoveryFullSearch::verifyDataPosition(ByteView text) {
    if (_field != "ZStandZAid") return kKeepPosition;
    return dataUtils::indexOfCharinData(text, '-') - 10;
}
