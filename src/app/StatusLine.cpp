#include "app/StatusLine.h"

OptString StatusLineText(std::int32_t code, const std::string& message) {
    switch (code) {
        case 0:
            return "Retrieving  " + message;
        case 1:
            return "Recovering " + message;
        case 2:
            return std::string("Recovering\u2026 please note this may take a few minutes.");
        case 3:
            return message;
        case 4:
            return "Error: " + message;
        default:
            return std::nullopt;
    }
}
