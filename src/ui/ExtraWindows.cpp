#include "ui/ExtraWindows.h"

Notification2WindowController::Notification2WindowController(std::function<void()> homeDevicePressed,
                                                             QWidget* parent)
    : Notification1WindowController(
          [home = std::move(homeDevicePressed)](bool) {
              if (home) home();
          },
          parent) {
    setObjectName(QStringLiteral("Notification2WindowController"));
}

DecryptionWindow::DecryptionWindow(QWidget* parent) : SmallDialog(parent, "DecryptionWindow") {
    setWindowTitle(QStringLiteral("Torvane"));
    resize(360, 160);
}
