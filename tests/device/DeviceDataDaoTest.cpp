#include "device/ZarnPSystemDeviceDataDao.h"

#include <gtest/gtest.h>

#include "core/ZarnPNotificationsEnabledCallback.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/ZarnPBaseKeyValueDao.h"
#include "device/ZarnPBatteryDao.h"
#include "device/ZarnPDelegateDataDao.h"
#include "device/ZarnPNetworkDao.h"
#include "sim/Device.h"
#include "tests/device/MemoryStringKeyValueDao.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnDelegate.h"

namespace zarn {
namespace {

using platform::BatteryState;
using platform::LocationAuthorizationStatus;

class DeviceDataDaoTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timer = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
    std::shared_ptr<ZarnPBaseKeyValueDao> settings =
        std::make_shared<ZarnPBaseKeyValueDao>(std::make_shared<test::MemoryStringKeyValueDao>());
    std::shared_ptr<ZarnPSystemDeviceDataDao> dao =
        std::make_shared<ZarnPSystemDeviceDataDao>(settings, timer, platform::current());
};

TEST_F(DeviceDataDaoTest, FrameworkIsDetectedInOrderAndTheLastMatchWins) {
    struct Case {
        bool cordova, titanium;
        std::optional<std::string> xamarin;
        std::string framework;
        std::optional<std::string> version;
    };
    const Case cases[] = {
        {false, false, std::nullopt, "native", std::nullopt},
        {true, false, std::nullopt, "cordova", "unknown"},
        {false, true, std::nullopt, "appcelerator", "unknown"},
        {true, true, std::nullopt, "appcelerator", "unknown"},
        {true, true, "4.2", "xamarin", "4.2"},
        {false, false, "1.0.3", "xamarin", "1.0.3"},
    };
    for (const auto& c : cases) {
        c.cordova ? env.device->runtimeClasses()->addClass("CDVPlugin")
                  : env.device->runtimeClasses()->removeClass("CDVPlugin");
        c.titanium ? env.device->runtimeClasses()->addClass("TiApp")
                   : env.device->runtimeClasses()->removeClass("TiApp");
        c.xamarin ? settings->setPropertyValue(*c.xamarin, "zarn_xamarin_version")
                  : settings->unsetPropertyKey("zarn_xamarin_version");
        EXPECT_EQ(dao->framework(), c.framework);
        EXPECT_EQ(dao->frameworkVersion(), c.version) << c.framework;
    }
}

TEST_F(DeviceDataDaoTest, DeviceAndBundleFacts) {
    EXPECT_EQ(dao->hardwareModel(), "iPhone15,2");
    EXPECT_EQ(dao->platformVersion(), "16.4");
    EXPECT_EQ(dao->appName(), "Sample App");
    EXPECT_EQ(dao->appVersion(), "1.0");

    env.device->deviceHardware()->setMachine(std::nullopt);
    env.device->mainBundle()->setInfoValue("CFBundleDisplayName", std::nullopt);
    env.device->mainBundle()->setInfoValue("CFBundleVersion", Value(12));  // not text
    EXPECT_EQ(dao->hardwareModel(), std::nullopt);
    EXPECT_EQ(dao->appName(), std::nullopt);
    EXPECT_EQ(dao->appVersion(), std::nullopt);
}

TEST_F(DeviceDataDaoTest, LocationServicesNeedTheSwitchAndNoRefusal) {
    struct Case {
        bool servicesOn;
        LocationAuthorizationStatus status;
        bool enabled;
    };
    const Case cases[] = {
        {true, LocationAuthorizationStatus::NotDetermined, true},
        {true, LocationAuthorizationStatus::Restricted, false},
        {true, LocationAuthorizationStatus::Denied, false},
        {true, LocationAuthorizationStatus::AuthorizedAlways, true},
        {true, LocationAuthorizationStatus::AuthorizedWhenInUse, true},
        {false, LocationAuthorizationStatus::AuthorizedAlways, false},
    };
    for (const auto& c : cases) {
        env.device->locationAuthorization()->setLocationServicesEnabled(c.servicesOn);
        env.device->locationAuthorization()->setLocationAuthorizationStatus(c.status);
        EXPECT_EQ(dao->locationServicesEnabled(), c.enabled) << static_cast<int>(c.status);
    }
}

TEST_F(DeviceDataDaoTest, PrivacyAnswersDependOnTheSystemVersion) {
    env.device->locationAuthorization()->setAccuracyAuthorization(
        platform::LocationAccuracyAuthorization::ReducedAccuracy);
    env.device->trackingAuthorization()->setTrackingAuthorizationStatus(
        platform::TrackingAuthorizationStatus::Denied);
    env.device->deviceInfo()->setSystemVersion("13.7");
    EXPECT_TRUE(dao->accurateLocationEnabled());
    EXPECT_TRUE(dao->idfaOptedIn());

    env.device->deviceInfo()->setSystemVersion("14.0");
    EXPECT_FALSE(dao->accurateLocationEnabled());
    EXPECT_FALSE(dao->idfaOptedIn());

    env.device->locationAuthorization()->setAccuracyAuthorization(
        platform::LocationAccuracyAuthorization::FullAccuracy);
    env.device->trackingAuthorization()->setTrackingAuthorizationStatus(
        platform::TrackingAuthorizationStatus::Authorized);
    EXPECT_TRUE(dao->accurateLocationEnabled());
    EXPECT_TRUE(dao->idfaOptedIn());
}

TEST_F(DeviceDataDaoTest, MonitoringCapabilities) {
    EXPECT_TRUE(dao->hasGeofences());
    EXPECT_TRUE(dao->hasSignificantLocationChanges());
    env.device->locationAuthorization()->setRegionMonitoringAvailable(false);
    env.device->locationAuthorization()->setSignificantLocationChangeMonitoringAvailable(false);
    EXPECT_FALSE(dao->hasGeofences());
    EXPECT_FALSE(dao->hasSignificantLocationChanges());
}

TEST_F(DeviceDataDaoTest, NotificationPermissionIsAnsweredOnTheSdkThread) {
    using S = platform::NotificationAuthorizationStatus;
    const std::tuple<S, bool, int> cases[] = {{S::NotDetermined, false, 0},
                                              {S::Denied, false, 1},
                                              {S::Authorized, true, 2},
                                              {S::Provisional, false, 3}};
    for (auto [status, enabled, code] : cases) {
        env.device->notificationAuthorization()->setNotificationAuthorizationStatus(status);
        std::shared_ptr<ZarnPNotificationsEnabledCallback> answer;
        bool onSdkThread = false;
        dao->notificationServicesEnabled([&](std::shared_ptr<ZarnPNotificationsEnabledCallback> values) {
            onSdkThread = timer->isRunThread();
            answer = std::move(values);
        });
        EXPECT_EQ(answer, nullptr) << "never answered inside the call";
        env.runUntilIdle();
        ASSERT_NE(answer, nullptr);
        EXPECT_TRUE(onSdkThread);
        EXPECT_EQ(answer->enabled(), enabled);
        EXPECT_EQ(answer->authorizationStatus(), code);
    }
}

TEST_F(DeviceDataDaoTest, BackgroundRefreshAndForegroundAreAnsweredOnTheSdkThread) {
    struct Case {
        std::optional<platform::BackgroundRefreshStatus> refresh;
        platform::ApplicationState state;
        bool background, foreground;
    };
    const Case cases[] = {
        {platform::BackgroundRefreshStatus::Available, platform::ApplicationState::Active, true, true},
        {platform::BackgroundRefreshStatus::Denied, platform::ApplicationState::Inactive, false, false},
        {platform::BackgroundRefreshStatus::Restricted, platform::ApplicationState::Background, false, false},
        {std::nullopt, platform::ApplicationState::Active, true, true},
    };
    for (const auto& c : cases) {
        env.device->backgroundTasks()->setBackgroundRefreshStatus(c.refresh);
        env.device->application()->setApplicationState(c.state);
        std::optional<bool> background, foreground;
        int onSdkThread = 0;
        dao->backgroundExecutionEnabled([&](bool v) {
            onSdkThread += timer->isRunThread();
            background = v;
        });
        dao->appInForeground([&](bool v) {
            onSdkThread += timer->isRunThread();
            foreground = v;
        });
        env.runUntilIdle();
        EXPECT_EQ(background, c.background);
        EXPECT_EQ(foreground, c.foreground);
        EXPECT_EQ(onSdkThread, 2);
    }
}

TEST_F(DeviceDataDaoTest, DeviceWithoutFacilitiesGivesCautiousAnswers) {
    platform::Services bare;  // no device services at all
    auto lonely = std::make_shared<ZarnPSystemDeviceDataDao>(settings, timer, bare);
    EXPECT_EQ(lonely->hardwareModel(), std::nullopt);
    EXPECT_EQ(lonely->framework(), "native");
    EXPECT_FALSE(lonely->locationServicesEnabled());
    EXPECT_FALSE(lonely->hasGeofences());
    std::shared_ptr<ZarnPNotificationsEnabledCallback> answer;
    lonely->notificationServicesEnabled([&](auto values) { answer = values; });
    env.runUntilIdle();
    ASSERT_NE(answer, nullptr);
    EXPECT_FALSE(answer->enabled());
}

TEST(NetworkDaoTest, ConnectionTypeFromTheReachabilityFlags) {
    test::TestEnvironment env;
    using namespace platform;
    struct Case {
        std::optional<uint32_t> flags;
        const char* type;
        bool metered;
    };
    const Case cases[] = {
        {kReachabilityFlagReachable, "WIFI", false},
        {kReachabilityFlagReachable | kReachabilityFlagIsWWAN, "MOBILE", true},
        {kReachabilityFlagReachable | kReachabilityFlagConnectionRequired, "NONE", true},
        {0u, "NONE", true},
        {kReachabilityFlagIsWWAN, "NONE", true},
        {std::nullopt, "UNKNOWN", true},
    };
    ZarnPNetworkDao dao("service.zarn.test", platform::current().reachability);
    for (const auto& c : cases) {
        env.device->reachability()->setReachabilityFlags(c.flags);
        EXPECT_EQ(dao.connectionType(), c.type);
        EXPECT_EQ(dao.isMeteredConnection(), c.metered) << c.type;
        EXPECT_FALSE(dao.isRoaming());
    }
    EXPECT_EQ(env.device->reachability()->reachabilityQueries().front(), "service.zarn.test");

    platform::uninstall();  // no reachability at all
    EXPECT_EQ(ZarnPNetworkDao("service.zarn.test", platform::current().reachability).connectionType(),
              "UNKNOWN");
}

TEST(BatteryDaoTest, LevelAndPluggedStateSwitchMonitoringOnOnce) {
    test::TestEnvironment env;
    struct Case {
        double level;
        BatteryState state;
        int percent;
        bool plugged;
    };
    const Case cases[] = {
        {0.255, BatteryState::Unplugged, 25, false}, {1.0, BatteryState::Full, 100, true},
        {0.0, BatteryState::Charging, 0, true},      {-1.0, BatteryState::Unknown, -100, true},
        {0.999, BatteryState::Unplugged, 99, false}, {7.5, BatteryState::Charging, -100, true},
    };
    ZarnPBatteryDao dao{platform::current().battery};
    for (const auto& c : cases) {
        env.device->battery()->setBattery(c.level, c.state);
        EXPECT_EQ(dao.batteryLevel(), c.percent) << c.level;
        EXPECT_EQ(dao.isPlugged(), c.plugged) << c.level;
    }
    EXPECT_TRUE(env.device->battery()->isBatteryMonitoringEnabled());
    EXPECT_EQ(env.device->battery()->batteryMonitoringSwitches(), 1);
}

TEST(DelegateDataDaoTest, ReportsWhichCallbacksTheDelegateSets) {
    auto delegate = std::make_shared<ZarnDelegate>();
    ZarnPDelegateDataDao dao(delegate);
    EXPECT_FALSE(dao.hasNotificationFilter());
    EXPECT_FALSE(dao.hasCustomNotificationHandler());
    EXPECT_FALSE(dao.hasCustomGeotriggerHandler());

    delegate->zarnFilterNotifications = [](auto) {};
    delegate->zarnHandleNotificationResponse = [](const std::string&, const NotificationResponse&) {};
    EXPECT_TRUE(dao.hasNotificationFilter());
    EXPECT_TRUE(dao.hasCustomNotificationHandler());
    EXPECT_FALSE(dao.hasCustomGeotriggerHandler());

    delegate->zarnHandleNotificationResponse = nullptr;
    delegate->zarnHandleNotificationData = [](const NotificationRequest&, const std::string&) {};
    delegate->zarnHandleGeotriggers = [](auto) {};
    EXPECT_TRUE(dao.hasCustomNotificationHandler());
    EXPECT_TRUE(dao.hasCustomGeotriggerHandler());

    EXPECT_FALSE(ZarnPDelegateDataDao(nullptr).hasNotificationFilter());
}

}  // namespace
}  // namespace zarn
