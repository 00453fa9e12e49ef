#include "device/AMApplication.h"
#include "device/AMDevice.h"
#include "device/AMService.h"
#include "device/DeviceServices.h"
#include "device/DeviceTestSupport.h"
#include "device/MobileDeviceAccess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kUdid = "d00dfeedd00dfeedd00dfeedd00dfeedd00dfeed";

std::string Frame(std::uint32_t length, const std::string& body) {
    std::string bytes{static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                      static_cast<char>(length >> 8), static_cast<char>(length)};
    return bytes + body;
}

const std::string kReplyXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Status</key>"
    "<string>Complete</string></dict></plist>\n";

class ServiceChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        simulator.setEnvironment();
        SimulatedDevice phone = TestPhone(kUdid);
        const auto app = [&](const char* id, const char* display, const char* name) {
            phone.apps[id].info = {{"CFBundleIdentifier", id}, {"CFBundleDisplayName", display},
                                   {"CFBundleName", name}, {"ApplicationType", "User"}};
        };
        app("com.example.alpha", "", "Alpha");
        app("com.example.beta", "Beta", "beta-internal");
        app("com.example.gamma", "Gamma", "Gamma");
        phone.syslog = std::string("\nkernel: hello\0", 15) + std::string("launchd: x\0\0cut", 15);
        phone.fileRelayArchive = std::string(3000, 'A');
        access.setListener(&listener, loop.poster());
        simulator.attach(std::move(phone));
        ASSERT_TRUE(loop.runUntil([&] { return !access.devices().empty(); }));
        device = access.devices().front();
    }

    // A plain service on the scripted raw service, which sends `bytes` first.
    std::unique_ptr<AMService> rawService(const std::string& bytes, bool holdOpen = false) {
        simulator.withDevice(kUdid, [&](SimulatedDevice& d) {
            d.rawBytes = bytes;
            d.rawHoldOpen = holdOpen;
        });
        if (!device->deviceConnect() || !device->startSession()) return nullptr;
        auto service = AMService::serviceWithName("com.torvane.test.raw", *device);
        device->stopSession();
        device->deviceDisconnect();
        return service;
    }

    DeviceSimulator simulator;
    TestLoop loop;
    MobileDeviceAccessListener listener;
    MobileDeviceAccess access;
    std::shared_ptr<AMDevice> device;
};

TEST_F(ServiceChannelTest, ARequestGoesOutBehindItsBigEndianLength) {
    auto service = rawService("");
    ASSERT_TRUE(service);
    PlistValue request = PlistValue::dictionary();
    request.set("Command", PlistValue::string(std::string(100, 'x')));
    const std::string xml = request.toXml();
    ASSERT_TRUE(service->sendXMLRequest(request));
    const std::string expected = Frame(static_cast<std::uint32_t>(xml.size()), xml);
    EXPECT_TRUE(loop.runUntil([&] { return simulator.rawReceived(kUdid).size() >= expected.size(); },
                              std::chrono::seconds(5)));
    EXPECT_EQ(simulator.rawReceived(kUdid), expected);
}

struct ReplyCase {
    const char* name;
    std::string bytes;
    bool holdOpen;
    const char* error;  // lasterror afterwards; "kept" when the earlier text stays
};

class ReplyTest : public ServiceChannelTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, BadRepliesGiveNoneAndAClearError) {
    auto service = rawService(GetParam().bytes, GetParam().holdOpen);
    ASSERT_TRUE(service);
    service->setReadTimeout(300);
    service->setLastError("earlier");
    EXPECT_TRUE(service->readXMLReply().isNone());
    const std::string expected = GetParam().error;
    EXPECT_EQ(service->lasterror(), expected == "kept" ? "earlier" : expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyTest,
    ::testing::Values(
        ReplyCase{"ZeroLength", Frame(0, ""), false, "kept"},
        ReplyCase{"ClosedBeforeTheLength", std::string("\0\0", 2), false, "Can't receive reply size"},
        ReplyCase{"ClosedInTheBody", Frame(50, std::string(10, '<')), false,
                  "Reply was truncated, expected 40 more bytes"},
        ReplyCase{"LyingLengthThenSilence", Frame(100, std::string(10, '<')), true,
                  "Reply was truncated, expected 90 more bytes"},
        ReplyCase{"Oversized", Frame(0xfffffff0u, "<"), true,
                  "Reply size 4294967280 exceeds the limit of 33554432 bytes"},
        ReplyCase{"NotAPropertyList", Frame(12, "hello world!"), false, "Reply is not a property list"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ServiceChannelTest, AGoodReplyIsParsedAndClearsTheError) {
    auto service = rawService(Frame(static_cast<std::uint32_t>(kReplyXml.size()), kReplyXml));
    ASSERT_TRUE(service);
    service->setLastError("earlier");
    EXPECT_EQ(service->readXMLReply().stringFor("Status"), "Complete");
    EXPECT_FALSE(service->lasterror());
}

// ---- Installation proxy and application records ----

class RecordingProxyDelegate : public AMInstallationProxyDelegate {
public:
    void operationStarted(const PlistValue& r) override { calls.push_back("started " + r.stringFor("Command").value_or("")); }
    void operationContinues(const PlistValue&) override { calls.push_back("continues"); }
    void operationCompleted(const PlistValue& r) override { calls.push_back("completed " + r.stringFor("Command").value_or("")); }
    std::vector<std::string> calls;
};

TEST_F(ServiceChannelTest, BrowsingGathersEveryReplyAndLookupMapsIdentifiers) {
    RecordingProxyDelegate delegate;
    auto proxy = device->newAMInstallationProxyWithDelegate(&delegate);
    ASSERT_TRUE(proxy);
    const auto all = proxy->browse();
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 3u);
    EXPECT_EQ((*all)[0]->appname(), "Alpha");  // an empty display name falls back to the bundle name
    EXPECT_EQ((*all)[1]->appname(), "Beta");
    const auto some = proxy->browseFiltered([](const AMApplication& a) { return a.appname() != "Beta"; });
    ASSERT_TRUE(some);
    EXPECT_EQ(some->size(), 2u);
    EXPECT_TRUE(delegate.calls.empty());

    const auto found = proxy->lookupType(std::nullopt, std::nullopt);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->size(), 3u);
    EXPECT_EQ(found->at("com.example.gamma")->appname(), "Gamma");
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{"started Lookup", "continues"}));
    EXPECT_FALSE(proxy->archive("com.example.alpha", false, false, true));
}

struct NameCase {
    const char* name;
    std::map<std::string, std::string> info;
    OptString appname;
};

TEST(AMApplicationTest, NameComparisonAndLookups) {
    const std::vector<NameCase> cases = {
        {"DisplayName", {{"CFBundleDisplayName", "Maps"}, {"CFBundleName", "maps-x"}}, "Maps"},
        {"EmptyDisplayName", {{"CFBundleDisplayName", ""}, {"CFBundleName", "Notes"}}, "Notes"},
        {"ExecutableOnly", {{"CFBundleExecutable", "Runner"}}, "Runner"},
        {"Nothing", {}, std::nullopt},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        PlistValue info = PlistValue::dictionary();
        for (const auto& [k, v] : c.info) info.set(k, PlistValue::string(v));
        EXPECT_EQ(AMApplication(info).appname(), c.appname);
    }
    PlistValue a = PlistValue::dictionary();
    a.set("CFBundleName", PlistValue::string("Mail")).set("CFBundleIdentifier", PlistValue::string("one"));
    PlistValue b = PlistValue::dictionary();
    b.set("CFBundleName", PlistValue::string("MAIL")).set("CFBundleIdentifier", PlistValue::string("two"));
    const AMApplication first(a), second(b);
    EXPECT_TRUE(first.isEqual(second));
    EXPECT_TRUE(first.valueForKey("NoSuchKey").isNone());
    EXPECT_EQ(first.valueForKey("bundleid").asString(), "one");
    EXPECT_EQ(first.description(), "<AMApplication name=Mail id=one>");
}

// ---- Relays and the notification proxy ----

class LineCollector : public AMSyslogRelayListener {
public:
    void syslogMessage(const OptString& line) override {
        std::lock_guard lock(mutex);
        lines.push_back(line.value_or("<invalid>"));
        threads.push_back(std::this_thread::get_id());
    }
    std::vector<std::thread::id> threadsTold() {
        std::lock_guard lock(mutex);
        return threads;
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return lines;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
    std::vector<std::thread::id> threads;
};

TEST(SyslogRecordsTest, RecordsEndWithANul) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {std::string("\nabc\0", 5), {"abc"}},
        {std::string("one\0two\0", 8), {"one", "two"}},
        {std::string("\0\0x\0", 4), {"x"}},
        {std::string("cut off", 7), {}},
        {std::string("\xff\xfe\0", 3), {"<invalid>"}},
    };
    for (const Case& c : cases) {
        LineCollector collector;
        AMSyslogRelay::AMSyslogRelayCallBack(c.bytes.data(), c.bytes.size(), &collector);
        EXPECT_EQ(collector.lines, c.lines);
    }
}

// The lines reach the listener on the main loop's thread (here the test's), never on the
// relay's reading thread.
TEST_F(ServiceChannelTest, TheLogRelayDeliversTheDevicesLinesOnTheMainLoop) {
    LineCollector collector;
    auto relay = device->newAMSyslogRelay(&collector, loop.poster());
    ASSERT_TRUE(relay);
    ASSERT_TRUE(loop.runUntil([&] { return collector.snapshot().size() >= 2; }));
    relay.reset();
    loop.drain();
    EXPECT_EQ(collector.snapshot(), (std::vector<std::string>{"kernel: hello", "launchd: x"}));
    for (const std::thread::id told : collector.threadsTold()) EXPECT_EQ(told, std::this_thread::get_id());
}

// Lines the relay read but the main loop had not delivered when the relay went are dropped:
// its listener may be gone with it.
TEST_F(ServiceChannelTest, LinesStillQueuedWhenTheLogRelayGoesAreDropped) {
    LineCollector collector;
    std::mutex mutex;
    std::vector<std::function<void()>> held;  // a main loop that has not turned yet
    const auto queued = [&] {
        std::lock_guard lock(mutex);
        return held.size();
    };
    auto relay = device->newAMSyslogRelay(&collector, [&](std::function<void()> work) {
        std::lock_guard lock(mutex);
        held.push_back(std::move(work));
    });
    ASSERT_TRUE(relay);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (queued() < 2 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(queued(), 2u);
    relay.reset();
    for (const auto& work : held) work();
    EXPECT_TRUE(collector.snapshot().empty());
}

TEST_F(ServiceChannelTest, TheFileRelayCopiesOnceAndThenRefuses) {
    auto relay = device->newAMFileRelay();
    ASSERT_TRUE(relay);
    std::ostringstream archive;
    ASSERT_TRUE(relay->getFileSet("AppleSupport", archive));
    EXPECT_EQ(archive.str(), std::string(3000, 'A'));
    std::ostringstream again;
    EXPECT_FALSE(relay->getFileSets({"Network"}, again));
    EXPECT_EQ(relay->lasterror(), "AlreadyUsed");
}

TEST_F(ServiceChannelTest, TheNotificationProxyObservesOncePerNameAndRelays) {
    auto proxy = device->newAMNotificationProxy(loop.poster());
    ASSERT_TRUE(proxy);
    int observer = 0;
    std::vector<std::string> heard;
    proxy->addObserver(&observer, [&](const std::string& name) { heard.push_back(name); }, "com.apple.itunes-client.syncCancelRequest");
    proxy->addObserver(&observer, [&](const std::string& name) { heard.push_back("twice " + name); }, "com.apple.itunes-client.syncCancelRequest");
    proxy->addObserver(&observer, {}, "ignored");
    EXPECT_EQ(proxy->observerCount("com.apple.itunes-client.syncCancelRequest"), 1u);
    EXPECT_EQ(proxy->observerCount("ignored"), 0u);
    ASSERT_TRUE(proxy->postNotification("com.apple.itunes-mobdev.syncWillStart"));
    ASSERT_TRUE(loop.runUntil([&] { return simulator.postedNotifications(kUdid).size() == 1; }));
    EXPECT_EQ(simulator.observedNotifications(kUdid),
              std::vector<std::string>{"com.apple.itunes-client.syncCancelRequest"});

    simulator.relayNotification(kUdid, "com.apple.itunes-client.syncCancelRequest");
    ASSERT_TRUE(loop.runUntil([&] { return heard.size() == 1; }));
    EXPECT_EQ(heard[0], "com.apple.itunes-client.syncCancelRequest");

    proxy->removeObserver(&observer);
    EXPECT_EQ(proxy->observerCount("com.apple.itunes-client.syncCancelRequest"), 0u);
    proxy.reset();  // shuts the proxy down
    loop.drain(std::chrono::milliseconds(100));
    EXPECT_EQ(heard.size(), 1u);
}

TEST_F(ServiceChannelTest, SpringboardAndSyncServicesTalk) {
    auto springboard = device->newAMSpringboardServices();
    ASSERT_TRUE(springboard);
    const auto icon = springboard->getIcon("com.example.alpha");
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->size(), 4u);
    auto sync = device->newAMMobileSync();
    ASSERT_TRUE(sync);
    EXPECT_TRUE(sync->getContactData().isNone());
}

}  // namespace
