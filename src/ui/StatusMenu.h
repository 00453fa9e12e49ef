#pragma once

class MainMenu;
class QMenu;
class QSystemTrayIcon;

// The application's item in the desktop's system tray, where the desktop has one: a click
// brings the window to the front; its menu shows the window, opens a backup by its Info.plist
// or Manifest.plist (MacRecovery), and opens the user guide and the About window. The entries
// take the current language's texts each time the menu opens.
//
// Opens a backup by its Info.plist or Manifest.plist (MacRecovery, full mode) unless a scan
// runs; whether a scan was started.
bool openBackupByItsFiles(MainMenu& window);
// The same from the keyboard: the platform's Open shortcut (Ctrl+O) in the window.
void installOpenShortcut(MainMenu& window);

// The menu, owned by the window.
QMenu* buildStatusMenu(MainMenu& window);
// Adds the tray item with that menu; none (null) when the desktop has no system tray. The
// item is owned by the window.
QSystemTrayIcon* activateStatusMenu(MainMenu& window);
