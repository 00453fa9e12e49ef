#pragma once

#include "common/Types.h"

#include <string>

// The application's version and build number, fixed when it is built.
class ApplicationDetailsUtil {
public:
    // The version text, e.g. "0.1.0"; absent when the build gave none.
    static OptString getApplicationVersion();
    // The build number as a decimal integer text (see buildNumberFromText).
    static std::string getBuildNumber();
    // A build text read as a decimal integer and written back: leading blanks and one sign are
    // allowed, then the leading digits count ("1.2.3" gives "1"); "0" when absent or without
    // digits; values beyond the 32-bit range are clamped to it.
    static std::string buildNumberFromText(const OptString& text);
};
