#include "app/ApplicationShutdown.h"

#include "app/AnalyticsEvents.h"
#include "app/TimeOfUse.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>

ApplicationShutdown::ApplicationShutdown(TimeOfUse& timeOfUse, AnalyticsEvents& analytics,
                                         std::function<void()> terminate,
                                         std::function<void(int)> endProcess)
    : timeOfUse_(timeOfUse),
      analytics_(analytics),
      terminate_(std::move(terminate)),
      endProcess_(std::move(endProcess)) {}

void ApplicationShutdown::OnTerminate() {
    timeOfUse_.addTimeOfUse();
    analytics_.PublishButtonEvent("Close Pressed");
    // The event goes out before the process ends, within a short time limit.
    analytics_.flush();
    if (endProcess_) endProcess_(0);
}

void ApplicationShutdown::handleQuitEvent() {
    timeOfUse_.addTimeOfUse();
    analytics_.publishMessageEvent("Close - Pressed");
    analytics_.flush();
    if (terminate_) terminate_();
}

void ApplicationShutdown::EndProcessNow(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}
