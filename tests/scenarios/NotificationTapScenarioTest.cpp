// The whole library started through its public entry: the app's own notification-centre
// delegate keeps hearing its notifications, and a tap on one of the library's opens its web
// address through the device and is recorded as viewed. Then notifications of every handler type
// that an app-reported region brought: each tap opens what its type says and is recorded.
#include <gtest/gtest.h>

#include <map>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "sim/Device.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/SimUrlOpener.h"
#include "sim/SimWebView.h"
#include "sim/SimWindowSystem.h"
#include "sim/service/DataUpdateBuilder.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

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
    for (auto& e : ground()->storedEvents())
        if (e->eventType() == ZarnPLogEventTypeNotificationViewed &&
            e->extra().value("notification_id", "") == "n-1-e2")
            ++viewed;
    EXPECT_EQ(viewed, 1);

    restart();  // the released library hands the centre back to the app
    EXPECT_EQ(centre->delegate(), app);
}

class TapEveryHandlerTypeScenarioTest : public StartedLibraryTest {
  protected:
    void SetUp() override {
        installTestService(service);
        StartedLibraryTest::SetUp();
        filter.installOn(*app);
        sim::DataUpdateDescription d{
            .deleteAllOldData = true,
            .campaigns = {
                {.campaignId = "menu", .message = "Today's menu", .data = "menu-42", .handlerType = 1},
                {.campaignId = "app",
                 .message = "Order in the app",
                 .data = R"({"iosAppUrl":"cafe://order","iosFallbackUrl":"https://cafe.example/order"})",
                 .handlerType = 3},
                {.campaignId = "page",
                 .message = "Our story",
                 .data = "https://cafe.example/story",
                 .handlerType = 4}}};
        sim::DataUpdateTile tile{.value = "u33d"};
        for (const char* campaign : {"menu", "app", "page"})
            tile.notifications.push_back(
                {.campaign = campaign, .geofenceId = "t", .triggerProperties = {{"till", "1"}}});
        d.tiles.push_back(tile);
        service->setDataUpdate(sim::DataUpdateBuilder::build(d));
        env.location->position()->set({52.5200, 13.4000});
        env.device->windowSystem()->addScene(platform::SceneActivationState::ForegroundActive);
        app->zarnHandleNotificationData = [this](const NotificationRequest& request,
                                                 const std::string& data) {
            handled.push_back(request.content.body + " " + data);
            handledOnMain.push_back(platform::isMainThread());
        };
        app->zarnNotificationOpenedEvent = [this](std::shared_ptr<ZarnSentNotification> sent) {
            opened.push_back(sent->userInfo().value("identifier", ""));
        };
    }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    std::shared_ptr<ZarnDelegate> app = std::make_shared<ZarnDelegate>();
    RecordingFilter filter;
    std::vector<std::string> handled;
    std::vector<bool> handledOnMain;
    std::vector<std::string> opened;
};

TEST_F(TapEveryHandlerTypeScenarioTest, EachTapOpensWhatItsTypeSaysAndIsRecorded) {
    env.device->urlOpener()->setOpenableSchemes({"https"});  // the app of the app link is missing
    auto c = ZarnConfiguration::create();
    c->setPublicToken(std::string("token-1"));
    c->setDelegate(app);
    ZarnBase::performInitializationWithConfiguration(c);
    env.runUntilIdle();
    env.advanceBy(10);
    ASSERT_TRUE(ZarnBase::isEnabled());
    env.device->application()->resignActive();
    env.advanceBy(1);

    ZarnBase::externalRegionTrigger(Value::array({{{"till", "1"}}}), "enter");
    env.advanceBy(5);
    // The regular one goes through the app's filter; the app link and the landing page are
    // shown at once.
    ASSERT_EQ(filter.offers.size(), 1u);
    EXPECT_EQ(bodiesOf(filter.offers[0]), std::vector<std::string>{"Today's menu"});
    auto shown = shownRequests(env);
    ASSERT_EQ(shown.size(), 3u);
    std::map<std::string, std::string> idOf;  // body to request identifier
    for (auto& r : shown) idOf[r.content.body] = r.identifier;
    ASSERT_EQ(idOf.size(), 3u);

    auto centre = env.device->localNotificationCenter();
    for (const char* body : {"Today's menu", "Order in the app", "Our story"}) {
        ASSERT_TRUE(centre->tap(idOf[body])) << body;
        env.advanceBy(1);
    }

    EXPECT_EQ(handled, std::vector<std::string>{"Today's menu menu-42"}) << "the app's handler has the data";
    EXPECT_EQ(handledOnMain, std::vector<bool>{true});
    EXPECT_EQ(env.device->urlOpener()->opened(),
              (std::vector<std::string>{"cafe://order", "https://cafe.example/order"}))
        << "the app link's app address, then its fallback";
    // The landing page opens on the main thread with its loading page, then the address.
    std::shared_ptr<sim::SimWebView> page;
    for (auto& weak : env.device->windowSystem()->webViews())
        if (auto view = weak.lock())
            page = view;
    ASSERT_TRUE(page) << "the landing page shows a web view";
    ASSERT_EQ(page->loads().size(), 1u);
    EXPECT_TRUE(page->loads()[0].html);
    page->completeLoad();
    env.advanceBy(1);
    ASSERT_EQ(page->loads().size(), 2u);
    EXPECT_FALSE(page->loads()[1].html);
    EXPECT_EQ(page->loads()[1].content, "https://cafe.example/story");

    // Each opening is recorded: a viewed event with its ids, the sent notification marked
    // opened, and the app told.
    std::map<std::string, std::string> viewed;  // notification id to match id
    for (auto& e : ground()->storedEvents())
        if (e->eventType() == ZarnPLogEventTypeNotificationViewed)
            viewed[e->extra().value("notification_id", "")] = e->extra().value("match_id", "");
    EXPECT_EQ(viewed, (std::map<std::string, std::string>{{"menu;t", idOf["Today's menu"]},
                                                          {"app;t", idOf["Order in the app"]},
                                                          {"page;t", idOf["Our story"]}}));
    EXPECT_EQ(opened, (std::vector<std::string>{"menu;t", "app;t", "page;t"}));
    auto sent = ZarnBase::sentNotifications();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->size(), 3u);
    for (auto& n : *sent) EXPECT_TRUE(n->dateOpened()) << n->userInfo().value("message", "");
    EXPECT_TRUE(centre->pendingRequests().empty());

    // The user closes the page: its window goes, and nothing of it stays alive.
    page.reset();
    for (auto& weak : env.device->windowSystem()->buttons())
        if (auto button = weak.lock())
            button->tap();
    env.runUntilIdle();
    EXPECT_EQ(env.device->windowSystem()->liveWindowCount(), 0u);
}

}  // namespace
}  // namespace zarn::test
