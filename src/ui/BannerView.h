#pragma once

#include <QTextBrowser>

#include <functional>
#include <memory>
#include <string>
#include <thread>

class MainThreadDispatcher;
class TimeOfUse;

// The banner: a page from the configured banner address, fetched over https off the main
// thread and shown as rich text without scripts; nothing it names (pictures, frames) is
// fetched. A clicked link opens in the user's browser. Once a page has loaded, the time of use
// starts again from zero. A placeholder address (reserved example domain) is never fetched:
// the banner then stays empty, as it does when the fetch fails.
class BannerView : public QTextBrowser {
public:
    // Fetches a page; answers its body, or none when it could not be fetched.
    using Fetch = std::function<std::optional<std::string>(const std::string& address, std::stop_token)>;

    BannerView(MainThreadDispatcher& dispatcher, QWidget* parent = nullptr);
    ~BannerView() override;

    // The banner address with its query: the configured address, "?time_using=" the stored
    // time of use in minutes with one decimal, and "&code=TM640".
    static std::string bannerAddress(const std::string& configured, double storedSeconds);
    // Starts loading the address; returns at once. `loaded` runs on the main thread when a page
    // has been shown.
    void loadWebView(const std::string& address, std::function<void()> loaded = {});
    void setFetch(Fetch fetch) { fetch_ = std::move(fetch); }
    // Whether a fetch was started for the last address (a placeholder is not fetched).
    bool fetchStarted() const { return fetchStarted_; }

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    MainThreadDispatcher& dispatcher_;
    Fetch fetch_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::jthread loader_;
    bool fetchStarted_ = false;
};
