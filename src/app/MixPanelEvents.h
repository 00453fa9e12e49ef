#pragma once

#include "app/AnalyticsEvents.h"
#include "config/mixPanel.h"

class BrimleyAppDelegate;

// The usage events of the application, sent through the analytics client: the client reads
// the configuration at every event and sends nothing while analytics are off. The scan's
// counts and the device's iOS version come from the shared state record at the moment an
// event is sent.
class MixPanelEvents final : public AnalyticsEvents {
public:
    explicit MixPanelEvents(BrimleyAppDelegate& record, mixPanel::Options options = {});

    void publishMessageEvent(const std::string& name) override;
    void PublishButtonEvent(const std::string& buttonName) override;
    void publishRatingEvent(const std::string& name, std::int32_t stars) override;
    void PublishReportInfosEvent() override;
    void softwareBuildInfo() override;
    void sendCrashReport(const CrashReport& report) override;
    void flush() override;

    // The counts of "Recovery Info2" as the record holds them now.
    static RecoveryCounts countsOf(const BrimleyAppDelegate& record);

    mixPanel& client() { return client_; }

private:
    BrimleyAppDelegate& record_;
    mixPanel client_;
};
