// What a host meets through the public entry: leaving out required platform services is named
// in one ERROR line and survived, with the library as before initialisation; a host that runs
// the main loop only when its wake-up handler says so still gets the library's calls, and one
// that never runs it is told so once; and the notification permission the service hears comes
// from what the host installed.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "sim/Device.h"
#include "tests/support/CaseNames.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/NotificationRequest.h"
#include "zarn/Value.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnValues.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

struct MissingCase {
    std::vector<std::string> leftOut;
    const char* named;  // what the ERROR line lists
};

void PrintTo(const MissingCase& c, std::ostream* os) {
    *os << c.named;
}

class MissingServicesTest : public test::StartedLibraryTest,
                            public ::testing::WithParamInterface<MissingCase> {
  protected:
    // Installs the simulated device without the given fields; answers what install() reported.
    std::vector<std::string> installWithout(const std::vector<std::string>& fields) {
        auto services = device_;
        for (const auto& field : fields) {
            if (field == "deviceInfo")
                services.deviceInfo = nullptr;
            else if (field == "application")
                services.application = nullptr;
            else if (field == "locationAuthorization")
                services.locationAuthorization = nullptr;
            else if (field == "locationManagerFactory")
                services.locationManagerFactory = nullptr;
        }
        return platform::install(services);
    }
    std::vector<std::string> errorLines() {
        std::vector<std::string> out;
        for (auto& line : env.console->lines())
            if (line.rfind("ERROR|", 0) == 0)
                out.push_back(line);
        return out;
    }

  private:
    const platform::Services device_ = platform::current();
};

TEST_P(MissingServicesTest, InitialisationIsRefusedWithOneLineAndTheLibraryStaysOff) {
    const auto& c = GetParam();
    EXPECT_EQ(installWithout(c.leftOut), c.leftOut) << "install() names what is missing, in field order";
    env.console->clear();

    initialize();
    EXPECT_EQ(errorLines(),
              (std::vector<std::string>{
                  std::string("ERROR|Zarn| Zarn can't be initialized: required platform services "
                              "missing: ") +
                  c.named + ". Install them with zarn::platform::install() before initializing."}));
    EXPECT_FALSE(module()) << "nothing is built";
    EXPECT_FALSE(std::filesystem::exists(env.path("Documents/zarn.db")));
    EXPECT_FALSE(env.consoleContains("not supported for this version"))
        << "a missing service is no old system";

    // Every later call does what it does before initialisation, and the process goes on.
    env.console->clear();
    ZarnBase::enable();
    ZarnBase::setStringSegmentationProperty("gold", "tier");
    EXPECT_FALSE(ZarnBase::loadedNotifications());
    EXPECT_FALSE(ZarnBase::sentGeotriggers());
    bool answered = false, paged = false;
    ZarnBase::didReceiveRemoteNotification(Value::object(), [&](BackgroundFetchResult) { answered = true; });
    ZarnBase::requestContextualPage([&](std::optional<Value>) { paged = true; });
    env.advanceBy(5);
    EXPECT_EQ(env.consoleCount("Zarn hasn't been initialized"), 6);
    EXPECT_FALSE(ZarnBase::isEnabled());
    EXPECT_FALSE(answered);
    EXPECT_FALSE(paged);

    // The mended host starts the library with the same call.
    installWithout({});
    initialize();
    ASSERT_TRUE(module());
    EXPECT_TRUE(ZarnBase::isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, MissingServicesTest,
    ::testing::Values(MissingCase{{"deviceInfo"}, "deviceInfo"}, MissingCase{{"application"}, "application"},
                      MissingCase{{"locationAuthorization"}, "locationAuthorization"},
                      MissingCase{{"locationManagerFactory"}, "locationManagerFactory"},
                      MissingCase{
                          {"deviceInfo", "application", "locationAuthorization", "locationManagerFactory"},
                          "deviceInfo, application, locationAuthorization, locationManagerFactory"}),
    [](const auto& info) { return test::caseName("Without_", info.param.named); });

using EmbeddingContractTest = test::StartedLibraryTest;

TEST_F(EmbeddingContractTest, AHostThatRunsTheMainLoopOnlyWhenWokenGetsTheDelegatesCall) {
    auto loop = platform::mainRunLoop();
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
    loop->setWakeUpHandler([&] {
        std::lock_guard lk(mutex);
        woken = true;
        cv.notify_all();
    });
    auto delegate = std::make_shared<ZarnDelegate>();
    bool asked = false;
    delegate->zarnLoadConfig = [&](std::shared_ptr<ZarnConfiguration> configuration,
                                   std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
        asked = platform::isMainThread();
        load(configuration);
    };
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("token-1"));
    configuration->setDelegate(delegate);
    ZarnBase::performInitializationWithConfiguration(configuration);

    // Only this thread runs the main loop, and only after a wake-up.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!asked) {
        std::unique_lock lk(mutex);
        ASSERT_TRUE(cv.wait_until(lk, deadline, [&] { return woken; }))
            << "no wake-up for the delegate's call";
        woken = false;
        lk.unlock();
        while (loop->runOnce(Date{})) {
        }
    }
    loop->setWakeUpHandler(nullptr);
    env.runUntilIdle();
    EXPECT_TRUE(ZarnBase::isEnabled());
}

TEST_F(EmbeddingContractTest, AHostThatNeverRunsTheMainLoopIsToldOnceNamingIt) {
    auto delegate = std::make_shared<ZarnDelegate>();
    bool asked = false;
    delegate->zarnLoadConfig = [&](std::shared_ptr<ZarnConfiguration> configuration,
                                   std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
        asked = true;
        load(configuration);
    };
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("token-1"));
    configuration->setDelegate(delegate);
    ZarnBase::performInitializationWithConfiguration(configuration);

    // Time moves on another thread, so nobody runs the main loop.
    auto advance = [&](double seconds) { std::thread([&] { env.advanceBy(seconds); }).join(); };
    const std::string warning =
        "WARN|Zarn| Work posted to the main thread has waited 10 seconds without running: the host "
        "must run zarn::platform::RunLoop::main() on the thread it marked as main (zarn/platform/Platform.h)";
    advance(9.5);
    EXPECT_EQ(env.consoleCount(warning), 0) << "an app's main thread may be busy for a while";
    advance(1);
    EXPECT_EQ(env.consoleCount(warning), 1);
    advance(120);
    EXPECT_EQ(env.consoleCount(warning), 1) << "said once";
    EXPECT_FALSE(asked);
    EXPECT_FALSE(ZarnBase::isEnabled()) << "the configuration waits for the delegate";

    // The mended host runs its loop: the configuration is applied, and nothing more is said.
    env.runUntilIdle();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(ZarnBase::isEnabled());
    advance(120);
    EXPECT_EQ(env.consoleCount(warning), 1);
}

// The permission the user gave, as the service hears it: the installed authorization's answer,
// else the installed centre's (a centre is an authorization), else not determined.
struct PermissionCase {
    const char* name;
    bool centre;
    bool authorization;
    platform::NotificationAuthorizationStatus granted;
    const char* state;  // the "notification_state" event's "current"
    const char* optin;  // the heartbeat's "notification_optin"
};

void PrintTo(const PermissionCase& c, std::ostream* os) {
    *os << c.name;
}

class NotificationPermissionTest : public test::StartedLibraryTest,
                                   public ::testing::WithParamInterface<PermissionCase> {
  protected:
    // The extra of the first event of `type` the library logged.
    std::optional<Value> loggedEvent(const std::string& type) {
        const std::string marker = "Logging event: " + type + " Data: ";
        for (auto& line : env.console->lines())
            if (auto at = line.find(marker); at != std::string::npos)
                return Value::parse(line.substr(at + marker.size()));
        return std::nullopt;
    }
};

TEST_P(NotificationPermissionTest, TheServiceHearsWhatTheUserGranted) {
    const auto& c = GetParam();
    auto services = platform::current();
    if (!c.centre)
        services.localNotificationCenter = nullptr;
    if (!c.authorization)
        services.notificationAuthorization = nullptr;
    platform::install(services);
    env.device->notificationAuthorization()->setNotificationAuthorizationStatus(c.granted);

    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("token-1"));
    configuration->setAutomaticallyAskNotificationPermission(false);  // the user was asked before
    ZarnBase::performInitializationWithConfiguration(configuration);
    env.advanceBy(2);  // the first heartbeat is due a second after the start
    auto state = loggedEvent("notification_state");
    auto heartbeat = loggedEvent("heartbeat");
    ASSERT_TRUE(state && heartbeat);
    EXPECT_EQ((*state)["current"], std::string(c.state));
    EXPECT_EQ((*heartbeat)["notification_optin"], std::string(c.optin));
}

using S = platform::NotificationAuthorizationStatus;
INSTANTIATE_TEST_SUITE_P(
    Installed, NotificationPermissionTest,
    ::testing::Values(
        PermissionCase{"CentreOnlyGranted", true, false, S::Authorized, "enabled", "yes"},
        PermissionCase{"CentreOnlyProvisional", true, false, S::Provisional, "provisional", "provisional"},
        PermissionCase{"CentreOnlyDenied", true, false, S::Denied, "disabled", "no"},
        PermissionCase{"BothGranted", true, true, S::Authorized, "enabled", "yes"},
        PermissionCase{"NeitherIsNotDetermined", false, false, S::Authorized, "disabled", "no"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zarn
