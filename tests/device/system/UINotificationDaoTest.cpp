#include "device/system/ZarnPSystemUINotificationDao.h"

#include <gtest/gtest.h>

#include "core/ZarnPNotification.h"
#include "core/ZarnPSentTrigger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "sim/Device.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

class UINotificationDaoTest : public ::testing::Test {
  protected:
    std::shared_ptr<ZarnPSystemUINotificationDao> makeDao(bool withCenter = true) {
        return std::make_shared<ZarnPSystemUINotificationDao>(
            timer, withCenter ? env.device->localNotificationCenter() : nullptr, env.device->deviceInfo());
    }
    ZarnPNotification geofence() {
        ZarnPNotification n;
        n.setCampaignId("c1");
        n.setRegionId(std::string("r7"));
        n.setRegionLabel(std::string("Main Street"));
        n.setMessage(std::string("Welcome to {geofencelabel}, {code}"));
        n.setData(std::string("https://x/{geofenceid}"));
        n.setLocation(ZarnPLocation(52.5, 13.25));
        n.setMatchRange(150);
        n.setNotificationHandlerType(1);
        n.setCustomRegionFields({{"code", "custom"}});
        n.setMatchPayload({{"code", "X1"}});
        n.setCooldownGroups({ZarnPCooldownGroup("g1", 600)});
        return n;
    }
    NotificationRequest withUserInfo(const std::string& id, Value userInfo, double seconds = 60) {
        NotificationRequest r;
        r.identifier = id;
        r.content.userInfo = std::move(userInfo);
        r.trigger = NotificationTrigger{seconds, false};
        return r;
    }
    std::vector<std::string> pendingIds() {
        std::vector<std::string> ids;
        for (auto& r : env.device->localNotificationCenter()->pendingRequests()) ids.push_back(r.identifier);
        return ids;
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timer = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
};

TEST_F(UINotificationDaoTest, NotificationRequestCarriesTheWholeMatchInItsUserInfo) {
    auto dao = makeDao();
    auto n = geofence();
    auto r = dao->createNotification(n, std::string("m1"), 0, true);
    EXPECT_EQ(r.identifier, "m1");
    EXPECT_EQ(r.content.body, "Welcome to Main Street, X1");
    EXPECT_TRUE(r.content.defaultSound);
    EXPECT_FALSE(r.trigger);
    const Value expected = {
        {"identifier", "c1;r7"},
        {"message", "Welcome to Main Street, X1"},
        {"trigger", "enter"},
        {"dwellingMinutes", 0},
        {"notificationHandlerType", "regular"},
        {"regionType", "geofence"},
        {"matchRange", 150},
        {"identifierWithExperiment", "c1;r7"},
        {"isAppInForeground", true},
        {"action", "https://x/r7"},
        {"geofenceLatitude", 52.5},
        {"geofenceLongitude", 13.25},
        {"matchIdentifier", "m1"},
        {"matchPayload", {{"code", "X1"}}},
        {"cooldownGroups", Value::array({{{"identifier", "g1"}, {"duration", 600}}})},
    };
    EXPECT_EQ(r.content.userInfo, expected);
}

TEST_F(UINotificationDaoTest, TriggerHandlerAndRegionTextsFollowTheirRules) {
    struct Case {
        bool exit;
        int dwelling;
        unsigned handler;
        int region;
        const char* trigger;
        const char* handlerText;
        std::optional<std::string> regionText;
    };
    const Case cases[] = {
        {true, 5, 1, 0, "exit", "regular", "geofence"},
        {false, 5, 4, 1, "dwelling", "landingPage", "beacon"},
        {false, 0, 2, 2, "enter", "geotrigger", "external"},
        {false, -1, 3, 3, "enter", "applink", std::nullopt},
        {false, 0, 5, -1, "enter", "regular", std::nullopt},
    };
    auto dao = makeDao();
    for (const auto& c : cases) {
        auto n = geofence();
        n.setTriggerOnExit(c.exit);
        n.setDwellingMinutes(c.dwelling);
        n.setNotificationHandlerType(c.handler);
        n.setData(std::nullopt);
        n.setMessage(std::nullopt);
        n.setLocation(std::nullopt);
        n.setCooldownGroups({});
        auto u = dao->createNotification(n, std::nullopt, c.region, false).content.userInfo;
        SCOPED_TRACE(c.trigger);
        EXPECT_EQ(u["trigger"], c.trigger);
        EXPECT_EQ(u["notificationHandlerType"], c.handlerText);
        EXPECT_EQ(u.contains("regionType"), c.regionText.has_value());
        if (c.regionText) {
            EXPECT_EQ(u["regionType"], *c.regionText);
        }
        EXPECT_EQ(u["dwellingMinutes"], c.dwelling);
        EXPECT_EQ(u["action"], "");
        EXPECT_FALSE(u.contains("message"));
        EXPECT_FALSE(u.contains("matchIdentifier"));
        EXPECT_FALSE(u.contains("geofenceLatitude") || u.contains("geofenceLongitude"));
        EXPECT_FALSE(u.contains("cooldownGroups"));
    }
    auto n = geofence();
    n.setExperimentId(std::string("e3"));
    n.setExperimentMessageNumber(2);
    n.setBeaconUuid(Uuid::fromString("b9407f30-f5f8-466e-aff9-25556b57fe6d"));
    n.setTriggerProperties({{"zone", "A"}});
    auto r = dao->createNotification(n, std::nullopt, 1, false);
    EXPECT_EQ(r.identifier, "unknown");
    EXPECT_EQ(r.content.userInfo["identifierWithExperiment"], "c1;r7;e3;2");
    EXPECT_EQ(r.content.userInfo["beaconUuid"], "B9407F30-F5F8-466E-AFF9-25556B57FE6D");
    EXPECT_EQ(r.content.userInfo["zarnTriggerProperties"], Value({{"zone", "A"}}));
}

TEST_F(UINotificationDaoTest, GeotriggersKeepTheirTextsAndTakeTheRegionTypeFromTheNotification) {
    auto dao = makeDao();
    struct Case {
        bool beacon;
        int triggerProperties;
        const char* region;
    };
    for (auto c : {Case{false, 0, "geofence"}, Case{true, 2, "beacon"}, Case{false, 2, "external"}}) {
        auto n = geofence();
        n.setNotificationHandlerType(2);
        n.setTriggerOnExit(c.beacon);
        if (c.beacon)
            n.setBeaconUuid(Uuid::fromString("b9407f30-f5f8-466e-aff9-25556b57fe6d"));
        if (c.triggerProperties)
            n.setTriggerProperties({{"a", "1"}, {"b", "2"}});
        auto u = dao->createGeotriggerFromNotification(n)->userInfo();
        SCOPED_TRACE(c.region);
        EXPECT_EQ(u["regionType"], c.region);
        EXPECT_EQ(u["message"], "Welcome to {geofencelabel}, {code}");
        EXPECT_EQ(u["action"], "https://x/{geofenceid}");
        EXPECT_EQ(u["trigger"], c.beacon ? "exit" : "enter");
        EXPECT_EQ(u["identifierWithExperiment"], "c1;r7");
        EXPECT_EQ(u["matchRange"], 150);
        EXPECT_FALSE(u.contains("matchIdentifier"));
        EXPECT_FALSE(u.contains("dwellingMinutes") || u.contains("matchPayload") ||
                     u.contains("cooldownGroups"));
        EXPECT_EQ(u.contains("zarnTriggerProperties"), c.triggerProperties > 0);
    }
}

// The notification carries every field a request uses; the geotrigger takes only its own keys,
// never "dwelling", and no placeholder is filled.
TEST_F(UINotificationDaoTest, AGeotriggerFromALoadedNotificationHasExactlyTheGeotriggerLayout) {
    auto dao = makeDao();
    auto n = geofence();
    n.setDwellingMinutes(5);
    n.setBeaconUuid(Uuid::fromString("b9407f30-f5f8-466e-aff9-25556b57fe6d"));
    const Value expected = {
        {"action", "https://x/{geofenceid}"},
        {"identifier", "c1;r7"},
        {"identifierWithExperiment", "c1;r7"},
        {"message", "Welcome to {geofencelabel}, {code}"},
        {"trigger", "enter"},
        {"regionType", "beacon"},
        {"matchRange", 150},
        {"beaconUuid", "B9407F30-F5F8-466E-AFF9-25556B57FE6D"},
        {"geofenceLatitude", 52.5},
        {"geofenceLongitude", 13.25},
    };
    EXPECT_EQ(dao->createGeotriggerFromNotification(n)->userInfo(), expected);
}

TEST_F(UINotificationDaoTest, StoredTriggersBecomePublicValuesWithTheSameLayout) {
    auto dao = makeDao();
    ZarnPSentTrigger t;
    t.setMatchIdentifier(std::string("m9"));
    t.setIdentifier(std::string("c1;r7"));
    t.setMessage(std::string("Shown {geofenceid}"));
    t.setData(std::string("app-data"));
    t.setBeaconUuid(std::string("NULL"));
    t.setLocation(ZarnPLocation(1.5, 2.5));
    t.setMatchRange(30);
    t.setTriggerOnExit(false);
    t.setDwellingMinutes(4);
    t.setNotificationHandlerType(1);
    t.setRegionType(2);
    t.setDateSent(dateWithTimeIntervalSince1970(100));
    t.setDateOpened(dateWithTimeIntervalSince1970(200));
    auto sent = dao->createSentNotification(t);
    const Value expected = {
        {"identifier", "c1;r7"},
        {"message", "Shown {geofenceid}"},
        {"trigger", "dwelling"},
        {"dwellingMinutes", 4},
        {"notificationHandlerType", "regular"},
        {"regionType", "external"},
        {"matchRange", 30},
        {"action", "app-data"},
        {"geofenceLatitude", 1.5},
        {"geofenceLongitude", 2.5},
        {"matchIdentifier", "m9"},
        {"matchPayload", Value::object()},
    };
    EXPECT_EQ(sent->userInfo(), expected);
    EXPECT_EQ(sent->dateSent(), dateWithTimeIntervalSince1970(100));
    EXPECT_EQ(sent->dateOpened(), dateWithTimeIntervalSince1970(200));

    t.setNotificationHandlerType(2);
    t.setBeaconUuid(std::string("UUID-1"));
    auto geotrigger = dao->createSentGeotrigger(t);
    const Value expectedGeotrigger = {
        {"action", "app-data"},    {"identifier", "c1;r7"},    {"message", "Shown {geofenceid}"},
        {"trigger", "enter"},      {"regionType", "external"}, {"matchRange", 30},
        {"beaconUuid", "UUID-1"},  {"geofenceLatitude", 1.5},  {"geofenceLongitude", 2.5},
        {"matchIdentifier", "m9"},
    };
    EXPECT_EQ(geotrigger->userInfo(), expectedGeotrigger);
    EXPECT_EQ(geotrigger->dateHandled(), dateWithTimeIntervalSince1970(200));
}

TEST_F(UINotificationDaoTest, SendCancelAndCancelAllTouchOnlyTheLibrarysPendingRequests) {
    auto dao = makeDao();
    auto center = env.device->localNotificationCenter();
    center->addNotificationRequest(withUserInfo("app-own", {{"kind", "app"}}), nullptr);
    dao->send(withUserInfo("m1", {{"identifier", "c1;r1"}, {"identifierWithExperiment", "c1;r1"}}));
    dao->send(withUserInfo("m2", {{"identifier", "c2;r2"}, {"identifierWithExperiment", "c2;r2;e;1"}}));
    dao->send(withUserInfo("m3", {{"identifier", "c3;r3"}}));
    auto now = dao->createNotification(geofence(), std::string("m4"), 0, true);
    dao->send(now);
    env.runUntilIdle();
    EXPECT_EQ(pendingIds(), (std::vector<std::string>{"app-own", "m1", "m2", "m3"}));
    ASSERT_EQ(center->deliveredNotifications().size(), 1u);
    EXPECT_EQ(center->deliveredNotifications()[0].request.content.body, "Welcome to Main Street, X1");

    std::vector<NotificationRequest> listed;
    dao->scheduledNotificationRequests([&](std::vector<NotificationRequest> r) { listed = std::move(r); });
    env.runUntilIdle();
    EXPECT_EQ(listed.size(), 4u);

    dao->cancelNotifications({"c1;r1", "c2;r2;e;1", "unknown"});
    env.runUntilIdle();
    EXPECT_EQ(pendingIds(), (std::vector<std::string>{"app-own", "m3"}));
    EXPECT_TRUE(env.consoleContains("Cancelling local notification: c2;r2"));
    dao->cancelAllNotifications();
    env.runUntilIdle();
    EXPECT_EQ(pendingIds(), (std::vector<std::string>{"app-own"}));
    ASSERT_EQ(center->removeCalls().size(), 2u);
    EXPECT_EQ(center->removeCalls()[1], (std::vector<std::string>{"m3"}));
    EXPECT_EQ(center->deliveredNotifications().size(), 1u);

    center->setAddFailure(Error{"UNErrorDomain", 1, "refused"});
    dao->send(now);
    env.runUntilIdle();
    EXPECT_TRUE(env.consoleContains("Failed to show notification"));
    EXPECT_EQ(center->deliveredNotifications().size(), 1u);
}

TEST_F(UINotificationDaoTest, PermissionIsAskedWithTheOptionsTheSwitchesAllow) {
    struct Case {
        const char* version;
        bool automatic, provisional;
        std::optional<unsigned> options;
        bool warning;
    };
    const Case cases[] = {
        {"16.4", true, false, 7u, false},
        {"16.4", true, true, 71u, false},
        {"16.4", false, true, 7u, true},
        {"11.0", true, true, 7u, false},
        {"16.4", false, false, std::nullopt, false},
    };
    auto center = env.device->localNotificationCenter();
    center->setAuthorizationAnswer(false, Error{"UN", 1, "nope"});
    for (const auto& c : cases) {
        env.device->deviceInfo()->setSystemVersion(c.version);
        auto dao = makeDao();
        dao->setAutomaticallyAskNotificationPermission(c.automatic);
        dao->setProvisionalNotificationPermission(c.provisional);
        size_t before = center->authorizationRequests().size();
        int denials = env.consoleCount("Authorization denied with error: nope");
        int warnings = env.consoleCount("Using fallback notification permission dialog");
        dao->registerForNotifications();
        env.runUntilIdle();
        auto asked = center->authorizationRequests();
        SCOPED_TRACE(std::string(c.version) + (c.automatic ? " auto" : "") + (c.provisional ? " prov" : ""));
        ASSERT_EQ(asked.size() - before, c.options ? 1u : 0u);
        if (c.options) {
            EXPECT_EQ(asked.back(), *c.options);
            EXPECT_EQ(env.consoleCount("Authorization denied with error: nope"), denials + 1);
        }
        EXPECT_EQ(env.consoleCount("Using fallback notification permission dialog"),
                  warnings + (c.warning ? 1 : 0));
    }
}

TEST_F(UINotificationDaoTest, RegistrationIsAnsweredOnTheSdkThreadAndFollowsAGrantedRequest) {
    auto dao = makeDao();
    using S = platform::NotificationAuthorizationStatus;
    auto ask = [&](ZarnPSystemUINotificationDao& d) {
        std::shared_ptr<ZarnPNotificationsEnabledCallback> answer;
        bool onSdk = false;
        d.isRegisteredForNotifications([&](auto values) {
            onSdk = timer->isRunThread();
            answer = values;
        });
        env.runUntilIdle();
        EXPECT_TRUE(onSdk);
        return answer;
    };
    env.device->notificationAuthorization()->setNotificationAuthorizationStatus(S::Denied);
    auto denied = ask(*dao);
    ASSERT_TRUE(denied);
    EXPECT_FALSE(denied->enabled());
    EXPECT_EQ(denied->authorizationStatus(), 1);
    EXPECT_TRUE(env.consoleContains("Notifications are not authorized"));

    dao->registerForNotifications();
    env.runUntilIdle();
    auto granted = ask(*dao);
    ASSERT_TRUE(granted);
    EXPECT_TRUE(granted->enabled());
    EXPECT_EQ(granted->authorizationStatus(), 2);

    auto withoutCenter = makeDao(false);
    auto assumed = ask(*withoutCenter);
    ASSERT_TRUE(assumed);
    EXPECT_TRUE(assumed->enabled());
}

}  // namespace
}  // namespace zarn
