#include "zarn/ZarnBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <latch>
#include <mutex>
#include <thread>

#include "core/Format.h"
#include "core/ZarnPZarnConfiguration.h"
#include "entry/ZarnBaseTesting.h"
#include "sim/Device.h"
#include "tests/support/CaseNames.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

// Records every call the entry forwards, with its arguments as text.
class RecordingFacade final : public ZarnPPublicFacade {
  public:
    std::vector<std::string> calls() {
        std::lock_guard lk(mutex_);
        return calls_;
    }
    std::vector<std::shared_ptr<ZarnPZarnConfiguration>> reinits() {
        std::lock_guard lk(mutex_);
        return reinits_;
    }
    std::optional<Value> lastPayload() {
        std::lock_guard lk(mutex_);
        return payload_;
    }
    std::atomic<bool> enabled{false};
    std::atomic<bool> throwOnEnable{false};

    void reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration) override {
        std::lock_guard lk(mutex_);
        reinits_.push_back(configuration);
        calls_.push_back("reinit");
    }
    void enable() override {
        if (throwOnEnable)
            throw std::runtime_error("facade failed");
        note("enable");
    }
    void disable() override { note("disable"); }
    bool isEnabled() override { return enabled; }
    void setCooldownPeriod(int seconds) override { note(format("setCooldownPeriod %d", seconds)); }
    void setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate) override {
        note(delegate ? "setZarnDelegate" : "setZarnDelegate null");
    }
    void mailDebugLog(std::shared_ptr<ViewController>) override { note("mailDebugLog"); }
    void setValue(std::optional<std::string> value, const std::string& property) override {
        note(format("setValue %@ = %@", property, value));
    }
    void setAdvertisingIdentifier(std::optional<std::string> uuid, bool enabled) override {
        note(format("setAdvertisingIdentifier %@ %@", uuid, enabled ? "on" : "off"));
    }
    std::vector<NotificationRequest> loadedNotifications() override {
        NotificationRequest r;
        r.identifier = "n1";
        return {r};
    }
    std::vector<std::shared_ptr<ZarnGeotrigger>> loadedGeotriggers() override {
        return {ZarnGeotrigger::initializeWithUserInfo(Value{{"id", 1}})};
    }
    std::vector<std::shared_ptr<ZarnSentNotification>> sentNotifications() override { return {}; }
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> sentGeotriggers() override { return {}; }
    void clearSentNotifications() override { note("clearSentNotifications"); }
    void clearSentGeotriggers() override { note("clearSentGeotriggers"); }
    void sendAttributionEvent(const std::string& action, const std::string& item) override {
        note(format("sendAttributionEvent %@ [%@]", action, item));
    }
    void requestContextualPage(std::function<void(std::optional<Value>)> callback) override {
        note("requestContextualPage");
        if (callback)
            callback(Value{{"page", 1}});
    }
    void externalRegionTrigger(const Value& properties, int type, const Value& payload) override {
        {
            std::lock_guard lk(mutex_);
            payload_ = payload;
        }
        note(format("externalRegionTrigger %@ %d", properties, type));
    }
    void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& token) override {
        note("didRegister " + token);
    }
    void didFailToRegisterForRemoteNotificationsWithError(const Error& error) override {
        note("didFailToRegister " + error.message);
    }
    void didReceiveRemoteNotification(const Value&, std::function<void(BackgroundFetchResult)>) override {
        note("didReceiveRemoteNotification");
    }
    void clearAllDataAndResetDeviceId() override { note("clearAllDataAndResetDeviceId"); }

  private:
    void note(std::string call) {
        std::lock_guard lk(mutex_);
        calls_.push_back(std::move(call));
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<std::shared_ptr<ZarnPZarnConfiguration>> reinits_;
    std::optional<Value> payload_;
};

class FakeModule final : public ZarnPEntryModule {
  public:
    explicit FakeModule(std::shared_ptr<RecordingFacade> facade) : facade_(std::move(facade)) {}
    std::shared_ptr<ZarnPPublicFacade> interface() override { return facade_; }

  private:
    std::shared_ptr<RecordingFacade> facade_;
};

class FixedCallStack final : public platform::CallStack {
  public:
    std::vector<std::string> symbols() override { return {"0 app main", "1 libzarn enable"}; }
};

// Records alerts with the thread that showed them.
class RecordingAlerts final : public platform::AlertPresenter {
  public:
    struct Shown {
        sim::Alert alert;
        std::thread::id thread;
    };
    void showAlert(const std::string& title, const std::string& message,
                   const std::vector<std::string>& buttons) override {
        std::lock_guard lk(mutex_);
        shown_.push_back({{title, message, buttons}, std::this_thread::get_id()});
    }
    std::vector<Shown> shown() {
        std::lock_guard lk(mutex_);
        return shown_;
    }

  private:
    std::mutex mutex_;
    std::vector<Shown> shown_;
};

// A configuration kind the app made itself; the entry refuses it.
class AppConfiguration final : public ZarnConfiguration {
  public:
    AppConfiguration() = default;
};

constexpr const char* kNotInitialized =
    "ERROR|Zarn| Zarn hasn't been initialized. Call an initialize method first before using the other "
    "methods on "
    "Zarn.";
constexpr const char* kStackLine = "ERROR|Zarn|  (0 app main, 1 libzarn enable) ";

class ZarnBaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto services = platform::current();
        services.callStack = std::make_shared<FixedCallStack>();
        services.alertPresenter = alerts;
        platform::install(services);
        testing::resetEntry();
        testing::setModuleFactory([this](std::shared_ptr<ZarnPZarnConfiguration> configuration) {
            std::lock_guard lk(mutex);
            built.push_back(configuration);
            return std::make_shared<FakeModule>(facade);
        });
    }
    void TearDown() override {
        testing::resetEntry();
        testing::setModuleFactory(nullptr);
    }

    void initialize() {
        ZarnBase::initializeWithDelegate(std::make_shared<ZarnDelegate>());
        ASSERT_EQ(builds(), 1u);
    }
    size_t builds() {
        std::lock_guard lk(mutex);
        return built.size();
    }
    std::shared_ptr<ZarnPZarnConfiguration> builtWith(size_t i) {
        std::lock_guard lk(mutex);
        return built.at(i);
    }

    test::TestEnvironment env;
    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
    std::shared_ptr<RecordingFacade> facade = std::make_shared<RecordingFacade>();
    std::mutex mutex;
    std::vector<std::shared_ptr<ZarnPZarnConfiguration>> built;
};

TEST_F(ZarnBaseTest, BeforeInitialisationIsEnabledAnswersNoWithoutLogging) {
    EXPECT_FALSE(ZarnBase::isEnabled());
    EXPECT_TRUE(env.console->lines().empty());
}

TEST_F(ZarnBaseTest, BeforeInitialisationEveryForwardingCallLogsTheErrorAndTheCallStack) {
    const std::vector<std::pair<std::string, std::function<void()>>> calls = {
        {"enable", [] { ZarnBase::enable(); }},
        {"disable", [] { ZarnBase::disable(); }},
        {"setCooldownPeriod", [] { ZarnBase::setCooldownPeriod(60); }},
        {"setDelegate", [] { ZarnBase::setDelegate(nullptr); }},
        {"setStringSegmentationProperty", [] { ZarnBase::setStringSegmentationProperty("gold", "tier"); }},
        {"sendAttributionEvent", [] { ZarnBase::sendAttributionEvent("buy"); }},
        {"externalRegionTrigger", [] { ZarnBase::externalRegionTrigger(Value::array(), "enter"); }},
        {"clearSentNotifications", [] { ZarnBase::clearSentNotifications(); }},
        {"didRegister", [] { ZarnBase::didRegisterForRemoteNotificationsWithDeviceToken("tok"); }},
        {"clearAllDataAndResetDeviceId", [] { ZarnBase::clearAllDataAndResetDeviceId(); }},
        {"loadedNotifications", [] { EXPECT_FALSE(ZarnBase::loadedNotifications()); }},
        {"sentGeotriggers", [] { EXPECT_FALSE(ZarnBase::sentGeotriggers()); }},
    };
    for (auto& [name, call] : calls) {
        env.console->clear();
        call();
        EXPECT_EQ(env.console->lines(), (std::vector<std::string>{kNotInitialized, kStackLine})) << name;
    }
    EXPECT_EQ(builds(), 0u);
    EXPECT_TRUE(facade->calls().empty());
}

TEST_F(ZarnBaseTest, VersionIsFixed) {
    EXPECT_EQ(ZarnBase::version(), "3.0.0-beta-DEBUG");
}

struct VersionCase {
    const char* version;
    bool supported;
};

class ZarnBaseVersionTest : public ZarnBaseTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ZarnBaseVersionTest, SystemsOlderThanTenAreRefused) {
    env.device->deviceInfo()->setSystemVersion(GetParam().version);
    auto lists = ZarnBase::loadedNotifications();
    if (GetParam().supported) {
        EXPECT_FALSE(lists) << "nothing before initialisation";
        EXPECT_FALSE(env.consoleContains("Zarn not supported for this version"));
    } else {
        ASSERT_TRUE(lists) << "an unsupported system answers an empty list";
        EXPECT_TRUE(lists->empty());
        EXPECT_TRUE(
            env.consoleContains("DEBUG|Zarn| Zarn not supported for this version. Disabling functionality"));
        EXPECT_FALSE(env.consoleContains("hasn't been initialized"));
    }
    ZarnBase::initializeWithDelegate(std::make_shared<ZarnDelegate>());
    EXPECT_EQ(builds(), GetParam().supported ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ZarnBaseVersionTest,
    ::testing::Values(VersionCase{"9.3", false}, VersionCase{"9", false}, VersionCase{"9.10", false},
                      VersionCase{"", false}, VersionCase{"10", true}, VersionCase{"10.0", true},
                      VersionCase{"10.3.1", true}, VersionCase{"16.4", true}, VersionCase{"100", true}),
    [](const auto& info) {
        return test::caseName("System", *info.param.version ? info.param.version : "Empty");
    });

TEST_F(ZarnBaseTest, OnAnUnsupportedSystemListsAreEmptyAndNothingIsForwarded) {
    initialize();
    env.device->deviceInfo()->setSystemVersion("9.3");
    for (auto& list : {ZarnBase::loadedNotifications().has_value(), ZarnBase::loadedGeotriggers().has_value(),
                       ZarnBase::sentNotifications().has_value(), ZarnBase::sentGeotriggers().has_value()})
        EXPECT_TRUE(list);
    EXPECT_TRUE(ZarnBase::loadedNotifications()->empty());
    EXPECT_TRUE(ZarnBase::loadedGeotriggers()->empty());
    EXPECT_TRUE(ZarnBase::sentNotifications()->empty());
    EXPECT_TRUE(ZarnBase::sentGeotriggers()->empty());
    ZarnBase::enable();
    ZarnBase::setBooleanSegmentationProperty(true, "member");
    bool handled = false;
    ZarnBase::didReceiveRemoteNotification(Value::object(), [&](BackgroundFetchResult) { handled = true; });
    EXPECT_FALSE(handled);
    ZarnBase::initializeWithDelegate(std::make_shared<ZarnDelegate>());
    EXPECT_TRUE(facade->calls().empty());
    EXPECT_EQ(ZarnBase::version(), "3.0.0-beta-DEBUG");
}

TEST_F(ZarnBaseTest, AConfigurationOfAnotherKindIsRefused) {
    ZarnBase::performInitializationWithConfiguration(std::make_shared<AppConfiguration>());
    EXPECT_EQ(builds(), 0u);
    EXPECT_EQ(env.console->lines(),
              (std::vector<std::string>{"ERROR|Zarn| Subclassing ZarnConfiguration is not supported"}));
    ZarnDebug::initializeWithConfig(std::make_shared<AppConfiguration>());
    EXPECT_EQ(builds(), 0u);
    EXPECT_TRUE(alerts->shown().empty()) << "refused before the self test";

    ZarnBase::performInitializationWithConfiguration(ZarnConfiguration::create());
    EXPECT_EQ(builds(), 1u);
}

TEST_F(ZarnBaseTest, InitialisingTwiceBuildsOneModuleAndReappliesTheSecondConfiguration) {
    auto first = std::make_shared<ZarnDelegate>();
    auto second = std::make_shared<ZarnDelegate>();
    ZarnBase::initializeWithDelegate(first);
    ASSERT_EQ(builds(), 1u);
    EXPECT_TRUE(builtWith(0)->useFileConfigLaunch());
    EXPECT_FALSE(builtWith(0)->debugLaunch());
    EXPECT_EQ(builtWith(0)->delegate(), first);

    ZarnBase::initializeWithDelegate(second);
    EXPECT_EQ(builds(), 1u);
    auto reinits = facade->reinits();
    ASSERT_EQ(reinits.size(), 1u);
    EXPECT_TRUE(reinits[0]->useFileConfigLaunch());
    EXPECT_EQ(reinits[0]->delegate(), second);
    EXPECT_NE(reinits[0], builtWith(0)) << "a new configuration";
}

TEST_F(ZarnBaseTest, ConcurrentFirstInitialisationsBuildOneModule) {
    constexpr int kThreads = 8;
    std::latch go(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            go.arrive_and_wait();
            ZarnBase::initializeWithDelegate(std::make_shared<ZarnDelegate>());
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(builds(), 1u);
    EXPECT_EQ(facade->reinits().size(), static_cast<size_t>(kThreads - 1));
}

TEST_F(ZarnBaseTest, IsEnabledAsksTheFacadeOnceInitialised) {
    initialize();
    EXPECT_FALSE(ZarnBase::isEnabled());
    facade->enabled = true;
    EXPECT_TRUE(ZarnBase::isEnabled());
}

TEST_F(ZarnBaseTest, SegmentationSettersFormatValueAndKey) {
    initialize();
    ZarnBase::setBooleanSegmentationProperty(false, "member");
    ZarnBase::setBooleanSegmentationProperty(true, "member");
    ZarnBase::setIntegerSegmentationProperty(int64_t{1} << 40, "points");
    ZarnBase::setIntegerSegmentationProperty(-9223372036854775807LL - 1, "min");
    ZarnBase::setDoubleSegmentationProperty(1.5, "ratio");
    ZarnBase::setDateSegmentationProperty(dateWithTimeIntervalSince1970(1796126400.25), "since");
    ZarnBase::setStringSegmentationProperty("100% %@ gold", "tier");
    EXPECT_EQ(facade->calls(), (std::vector<std::string>{
                                   "setValue b_member = false",
                                   "setValue b_member = true",
                                   "setValue i_points = 1099511627776",
                                   "setValue i_min = -9223372036854775808",
                                   "setValue f_ratio = 1.500000",
                                   "setValue d_since = 1796126400.250000",
                                   "setValue s_tier = 100% %@ gold",
                               }));
}

TEST_F(ZarnBaseTest, SegmentationNumbersIgnoreTheProcessLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    initialize();
    ZarnBase::setDoubleSegmentationProperty(1.5, "ratio");
    ZarnBase::setDateSegmentationProperty(dateWithTimeIntervalSince1970(0.5), "since");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(facade->calls(),
              (std::vector<std::string>{"setValue f_ratio = 1.500000", "setValue d_since = 0.500000"}));
}

TEST_F(ZarnBaseTest, ForwardsTheOtherOperations) {
    initialize();
    ZarnBase::enable();
    ZarnBase::disable();
    ZarnBase::setCooldownPeriod(3600);
    ZarnBase::setDelegate(std::make_shared<ZarnDelegate>());
    ZarnBase::setEnableBackgroundModeWarning(true);  // does nothing
    ZarnBase::setAdvertisingIdentifier(std::string("AD-1"), true);
    ZarnBase::sendAttributionEvent("buy");
    ZarnBase::sendAttributionEvent("buy", "sku-9");
    ZarnBase::clearSentNotifications();
    ZarnBase::clearSentGeotriggers();
    ZarnBase::didRegisterForRemoteNotificationsWithDeviceToken("tok");
    ZarnBase::didFailToRegisterForRemoteNotificationsWithError(Error{"D", 3, "denied"});
    ZarnBase::clearAllDataAndResetDeviceId();
    std::optional<Value> page;
    ZarnBase::requestContextualPage([&](std::optional<Value> v) { page = std::move(v); });
    EXPECT_EQ(facade->calls(),
              (std::vector<std::string>{"enable", "disable", "setCooldownPeriod 3600", "setZarnDelegate",
                                        "setAdvertisingIdentifier AD-1 on", "sendAttributionEvent buy []",
                                        "sendAttributionEvent buy [sku-9]", "clearSentNotifications",
                                        "clearSentGeotriggers", "didRegister tok", "didFailToRegister denied",
                                        "clearAllDataAndResetDeviceId", "requestContextualPage"}));
    EXPECT_EQ(page, (Value{{"page", 1}}));
    ASSERT_TRUE(ZarnBase::loadedNotifications());
    EXPECT_EQ(ZarnBase::loadedNotifications()->at(0).identifier, "n1");
    ASSERT_TRUE(ZarnBase::loadedGeotriggers());
    EXPECT_EQ(ZarnBase::loadedGeotriggers()->size(), 1u);
    EXPECT_FALSE(env.consoleContains("ERROR"));
}

TEST_F(ZarnBaseTest, AnExceptionOfTheFacadeNeverReachesTheApp) {
    initialize();
    facade->throwOnEnable = true;
    EXPECT_NO_THROW(ZarnBase::enable());
    EXPECT_TRUE(env.consoleContains("ERROR|Zarn| Unhandled exception: facade failed"));
}

TEST_F(ZarnBaseTest, ExternalRegionTriggerConvertsTheTypeAndDefaultsThePayload) {
    initialize();
    const Value regions = Value::array({Value{{"id", "r1"}}});
    for (auto& [text, type] : std::vector<std::pair<std::string, int>>{{"enter", 0}, {"exit", 1}}) {
        ZarnBase::externalRegionTrigger(regions, text);
        EXPECT_EQ(facade->calls().back(), format("externalRegionTrigger %@ %d", regions, type)) << text;
        ASSERT_TRUE(facade->lastPayload());
        EXPECT_TRUE(facade->lastPayload()->is_object());
        EXPECT_TRUE(facade->lastPayload()->empty());
    }
    ZarnBase::externalRegionTrigger(regions, "exit", Value{{"campaign", 7}});
    EXPECT_EQ(facade->calls().back(), format("externalRegionTrigger %@ 1", regions));
    EXPECT_EQ(facade->lastPayload(), (Value{{"campaign", 7}}));

    // Shapes that can match: no region at all, a property without a value, no payload.
    for (const Value& properties : {Value::array(), Value::array({Value{{"id", nullptr}}})}) {
        ZarnBase::externalRegionTrigger(properties, "enter", Value());
        EXPECT_EQ(facade->calls().back(), format("externalRegionTrigger %@ 0", properties));
    }
}

TEST_F(ZarnBaseTest, ExternalRegionTriggerOfAnotherShapeIsRefusedWithOneLineNamingTheShape) {
    initialize();
    const std::string properties =
        "ERROR|Zarn| Ignoring external region trigger: the properties must be a "
        "list of dictionaries of texts, like [{\"room\": \"lobby\"}]; got ";
    const std::string payload =
        "ERROR|Zarn| Ignoring external region trigger: the match payload must be a "
        "dictionary, like {\"coupon\": \"X12\"}; got ";
    const std::string type = "ERROR|Zarn| Ignoring external region trigger of unknown type ";
    const Value lobby = Value::array({Value{{"room", "lobby"}}});
    struct Case {
        Value properties;
        std::string triggerType;
        Value matchPayload;
        std::string line;
    };
    const Case cases[] = {
        {lobby, "ENTER", Value::object(), type + "\"ENTER\": the type is \"enter\" or \"exit\""},
        {lobby, "Exit", Value::object(), type + "\"Exit\": the type is \"enter\" or \"exit\""},
        {lobby, "", Value::object(), type + "\"\": the type is \"enter\" or \"exit\""},
        {lobby, "dwell\"", Value::object(), type + "\"dwell\\\"\": the type is \"enter\" or \"exit\""},
        {Value{{"room", "lobby"}}, "enter", Value::object(), properties + "a dictionary"},
        {Value("lobby"), "enter", Value::object(), properties + "a text"},
        {Value(), "enter", Value::object(), properties + "null"},
        {Value::array({Value{{"room", "lobby"}}, Value::array({"room", "lobby"})}), "exit", Value::object(),
         properties + "a list at properties[1]"},
        {Value::array({Value{{"room", "lobby"}, {"floor", 1}}}), "enter", Value::object(),
         properties + "a number at properties[0][\"floor\"]"},
        {Value::array({Value{{"open", true}}}), "enter", Value::object(),
         properties + "a boolean at properties[0][\"open\"]"},
        {lobby, "enter", Value::array({"coupon"}), payload + "a list"},
        {lobby, "exit", Value("X12"), payload + "a text"},
        // The type is checked first, then the properties, then the payload: one line each time.
        {Value("lobby"), "sideways", Value(1), type + "\"sideways\": the type is \"enter\" or \"exit\""},
        {Value("lobby"), "enter", Value(1), properties + "a text"},
    };
    for (const auto& c : cases) {
        auto calls = facade->calls().size();
        env.console->clear();
        ZarnBase::externalRegionTrigger(c.properties, c.triggerType, c.matchPayload);
        EXPECT_EQ(facade->calls().size(), calls) << c.line << ": nothing reaches the facade";
        EXPECT_EQ(env.console->lines(), std::vector<std::string>{c.line});
    }
}

TEST_F(ZarnBaseTest, RemoteNotificationHandlerIsNotCalledWithoutAModule) {
    bool handled = false;
    ZarnBase::didReceiveRemoteNotification(Value{{"aps", Value::object()}},
                                           [&](BackgroundFetchResult) { handled = true; });
    EXPECT_FALSE(handled);
    EXPECT_TRUE(env.consoleContains(kNotInitialized));
    initialize();
    ZarnBase::didReceiveRemoteNotification(Value::object(), [&](BackgroundFetchResult) { handled = true; });
    EXPECT_EQ(facade->calls().back(), "didReceiveRemoteNotification");
}

// The debug entry.

TEST_F(ZarnBaseTest, DebugEntryWarnsAboutAMissingLocationUsageTextOnTheMainThread) {
    env.device->mainBundle()->setInfoValue("NSLocationAlwaysUsageDescription", std::nullopt);
    ZarnDebug::initializeWithDelegate(std::make_shared<ZarnDelegate>());
    ASSERT_EQ(builds(), 1u);
    EXPECT_TRUE(builtWith(0)->debugLaunch());
    EXPECT_TRUE(builtWith(0)->useFileConfigLaunch());

    auto shown = alerts->shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].alert.title, "ZarnKit");
    EXPECT_EQ(shown[0].alert.buttons, (std::vector<std::string>{"Close"}));
    EXPECT_EQ(shown[0].thread, std::this_thread::get_id());
    const std::string message = shown[0].alert.message;
    EXPECT_EQ(
        message.rfind("Warning: You did not supply a property with key NSLocationAlwaysUsageDescription", 0),
        0u);
    EXPECT_NE(message.find("Zarn will not work on iOS 8 without this string!"), std::string::npos);
    bool echoed = false;
    for (auto& line : env.console->lines())
        echoed |= line.rfind(message + " ", 0) == 0 && line.size() > message.size() + 1;
    EXPECT_TRUE(echoed) << "the console line is the message, a blank and the documentation address";

    // The second initialisation re-applies and does not test again.
    ZarnDebug::initializeWithDelegate(std::make_shared<ZarnDelegate>());
    EXPECT_EQ(alerts->shown().size(), 1u);
    ASSERT_EQ(facade->reinits().size(), 1u);
    EXPECT_TRUE(facade->reinits()[0]->debugLaunch());
}

TEST_F(ZarnBaseTest, DebugSelfTestFromAnotherThreadShowsTheAlertOnTheMainThread) {
    env.device->mainBundle()->setInfoValue("NSLocationAlwaysUsageDescription", std::nullopt);
    std::thread([] { ZarnDebug::initializeWithConfig(ZarnConfiguration::create()); }).join();
    ASSERT_EQ(builds(), 1u);
    EXPECT_TRUE(builtWith(0)->debugLaunch());
    EXPECT_TRUE(alerts->shown().empty()) << "the other thread never waits for the main thread";
    env.runUntilIdle();
    auto shown = alerts->shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].thread, std::this_thread::get_id());
}

TEST_F(ZarnBaseTest, SelfTestStaysQuietWithTheTextOrOnTheReleaseEntry) {
    ZarnDebug::initializeWithDelegate(std::make_shared<ZarnDelegate>());  // the device has the text
    EXPECT_TRUE(alerts->shown().empty());
    testing::resetEntry();
    env.device->mainBundle()->setInfoValue("NSLocationAlwaysUsageDescription", std::nullopt);
    ZarnRelease::initializeWithDelegate(std::make_shared<ZarnDelegate>());
    EXPECT_TRUE(alerts->shown().empty());
    EXPECT_EQ(builds(), 2u);
    EXPECT_FALSE(builtWith(1)->debugLaunch());
}

}  // namespace
}  // namespace zarn
