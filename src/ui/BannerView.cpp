#include "ui/BannerView.h"

#include "app/MainThreadDispatcher.h"
#include "config/HttpGet.h"
#include "ui/Dialogs.h"

#include <QUrl>

#include <cstdio>
#include <iostream>

namespace {

std::optional<std::string> FetchOverHttps(const std::string& address, std::stop_token stop) {
    HttpRequest request;
    request.address = address;
    request.httpsOnly = true;
    request.timeout = std::chrono::milliseconds(10000);
    request.maxBodyBytes = 512 * 1024;
    request.stop = stop;
    HttpResponse response = HttpGet(request);
    if (!response.ok) {
        std::cerr << ("banner: " + address + " was not loaded: " + response.error + "\n");
        return std::nullopt;
    }
    return std::move(response.body);
}

}  // namespace

BannerView::BannerView(MainThreadDispatcher& dispatcher, QWidget* parent)
    : QTextBrowser(parent), dispatcher_(dispatcher), fetch_(FetchOverHttps) {
    setObjectName("webview");
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { Desktop::open(url); });
}

BannerView::~BannerView() {
    *alive_ = false;
    loader_.request_stop();
    if (loader_.joinable()) loader_.join();
}

std::string BannerView::bannerAddress(const std::string& configured, double storedSeconds) {
    char minutes[64];
    std::snprintf(minutes, sizeof minutes, "%.1f", storedSeconds / 60.0);
    return configured + "?time_using=" + minutes + "&code=TM640";
}

void BannerView::loadWebView(const std::string& address, std::function<void()> loaded) {
    fetchStarted_ = false;
    const auto parts = ParseWebAddress(address);
    if (!parts || parts->scheme != "https" || IsPlaceholderAddress(address)) return;
    if (loader_.joinable()) {
        loader_.request_stop();
        loader_.join();
    }
    fetchStarted_ = true;
    loader_ = std::jthread([this, address, loaded = std::move(loaded), alive = alive_,
                            fetch = fetch_](std::stop_token stop) {
        std::optional<std::string> page = fetch(address, stop);
        if (!page || stop.stop_requested()) return;
        dispatcher_.post([this, alive, page = std::move(*page), loaded] {
            if (!*alive) return;
            setHtml(QString::fromUtf8(page.data(), static_cast<qsizetype>(page.size())));
            if (loaded) loaded();
        });
    });
}

QVariant BannerView::loadResource(int, const QUrl&) {
    // Nothing a banner page names is loaded: no pictures, no style sheets, no local files.
    return {};
}
