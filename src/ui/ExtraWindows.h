#pragma once

#include "ui/Dialogs.h"

#include <functional>

// The new-scan question in its device form only: OK goes back to the home screen in device
// mode (`homeDevicePressed`) and closes; Cancel closes and keeps the results. Its texts are
// those of Notification1WindowController.
class Notification2WindowController : public Notification1WindowController {
public:
    Notification2WindowController(std::function<void()> homeDevicePressed, QWidget* parent);
};

// A window of the backup-decryption step: an empty window of its own, with no behaviour.
class DecryptionWindow : public SmallDialog {
public:
    explicit DecryptionWindow(QWidget* parent);
};
