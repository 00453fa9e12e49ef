#pragma once

// What the recovery threads ask of the window while a scan runs. The front end (the Qt
// window, or the headless scanner) implements it; nothing below the front end knows which.
class MainWindowRefresh {
public:
    virtual ~MainWindowRefresh() = default;
    // A deleted item of the running scan's data type has just been listed: show it.
    virtual void updateUIfoundRecoveredData() = 0;
    // The photo and video lists grew: refresh the browser and its caption.
    virtual void updatePhotosUI() = 0;
};
