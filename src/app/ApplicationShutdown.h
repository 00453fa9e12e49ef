#pragma once

#include <functional>

class AnalyticsEvents;
class TimeOfUse;

// How the application ends. The close button and the quit request add the time of use to the
// stored total and send their event first; closing the last window ends the application without
// either. Called on the main thread.
class ApplicationShutdown {
public:
    // `endProcess` ends the process at once with the status (by default without running
    // anything further: std::_Exit after flushing the standard streams); `terminate` asks the
    // front end to end normally (its device sessions are stopped on the way).
    ApplicationShutdown(TimeOfUse& timeOfUse, AnalyticsEvents& analytics,
                        std::function<void()> terminate,
                        std::function<void(int)> endProcess = EndProcessNow);

    // The close button: time of use, the "Close Pressed" button event, then the process ends
    // at once with status 0. Scans and exports still running end with it.
    void OnTerminate();
    // The platform's quit request: time of use, the "Close - Pressed" event, then the front
    // end terminates normally.
    void handleQuitEvent();
    // Closing the last window ends the application.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

    [[noreturn]] static void EndProcessNow(int status);

private:
    TimeOfUse& timeOfUse_;
    AnalyticsEvents& analytics_;
    std::function<void()> terminate_;
    std::function<void(int)> endProcess_;
};
