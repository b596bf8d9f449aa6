// The whole library started through its public entry: the app's own notification-centre
// delegate keeps hearing its notifications, and a tap on one of the library's opens its web
// address through the device and is recorded as viewed.
#include <gtest/gtest.h>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemTimerDao.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/SimUrlOpener.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "tests/support/StartedLibrary.h"

namespace zarn::test {
namespace {

class AppDelegate final : public platform::LocalNotificationCenterDelegate {
  public:
    void willPresentNotification(const Notification&, std::function<void(unsigned)> completion) override {
        completion(platform::kNotificationPresentationBadge);
    }
    void didReceiveNotificationResponse(const NotificationResponse& r,
                                        std::function<void()> completion) override {
        taps.push_back(r.notification.request.identifier);
        completion();
    }
    std::vector<std::string> taps;
};

class NotificationTapScenarioTest : public StartedLibraryTest {};

TEST_F(NotificationTapScenarioTest, LibraryTapsOpenAndAppTapsReachTheApp) {
    auto centre = env.device->localNotificationCenter();
    auto app = std::make_shared<AppDelegate>();
    centre->setDelegate(app);
    initialize();
    ASSERT_TRUE(module());
    EXPECT_NE(centre->delegate(), app);  // the library stands in front

    NotificationRequest own;
    own.identifier = "m-own";
    own.content.body = "Coffee nearby";
    own.content.userInfo = Value{{"notificationHandlerType", "regular"},
                                 {"action", "https://coffee.example/today"},
                                 {"identifierWithExperiment", "n-1-e2"},
                                 {"matchIdentifier", "m-own"}};
    NotificationRequest mine;
    mine.identifier = "app-reminder";
    mine.content.userInfo = Value{{"kind", "reminder"}};
    centre->addNotificationRequest(own, nullptr);
    centre->addNotificationRequest(mine, nullptr);
    env.runUntilIdle();
    ASSERT_TRUE(centre->tap("m-own"));
    ASSERT_TRUE(centre->tap("app-reminder"));
    env.advanceBy(1);

    EXPECT_EQ(env.device->urlOpener()->opened(), std::vector<std::string>{"https://coffee.example/today"});
    EXPECT_EQ(app->taps, std::vector<std::string>{"app-reminder"});
    EXPECT_EQ(centre->completedResponses(), 2);
    int viewed = 0;
    module()->timerDao()->invokeBlockOnRunLoop(
        [&] {
            for (auto& e : module()->eventDao()->getEvents())
                if (e->eventType() == ZarnPLogEventTypeNotificationViewed &&
                    e->extra().value("notification_id", "") == "n-1-e2")
                    ++viewed;
        },
        true);
    EXPECT_EQ(viewed, 1);

    restart();  // the released library hands the centre back to the app
    EXPECT_EQ(centre->delegate(), app);
}

}  // namespace
}  // namespace zarn::test
