#pragma once

#include <QString>

#include <cstdint>

class MainMenu;

// Opens a backup by one of its files: the user chooses the backup's Info.plist or
// Manifest.plist, and the folder holding it is read and scanned at once (`tag`: 0 fast,
// 1 full). A folder whose details cannot be read asks whether to scan it anyway. With a file
// given, that file as if chosen in the panel. False when nothing was started.
bool MacRecovery(MainMenu& window, std::int32_t tag, const QString& chosenFile = QString());
