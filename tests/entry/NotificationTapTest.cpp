// A tapped notification on the simulated device: the centre's delegate hands the library's own
// to the facade, which records the opening and opens what the handler type asks for; other
// notifications go to the app's earlier delegate as far as it takes part.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "core/ZarnPClockDao.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "sim/Device.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/SimUrlOpener.h"
#include "store/ZarnPSentTriggerDao.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "tests/support/OfferDoubles.h"

namespace zarn::test {
namespace {

using Strings = std::vector<std::string>;

class NotificationTapTest : public OfferingFacadeTest {
  protected:
    std::shared_ptr<sim::SimLocalNotificationCenter> centre() {
        return env.device->localNotificationCenter();
    }

    // Shows the request as the library would (stored as sent, delivered), then taps it.
    void showAndTap(const NotificationRequest& r, bool storeSent = true) {
        if (storeSent)
            onSdk([&] { sentTriggerDao->saveSentTrigger(r, clock->now()); });
        centre()->addNotificationRequest(r, nullptr);
        env.runUntilIdle();
        ASSERT_TRUE(centre()->tap(r.identifier));
        env.runUntilIdle();
    }
    std::vector<std::shared_ptr<ZarnPEvent>> viewedEvents() {
        std::vector<std::shared_ptr<ZarnPEvent>> out;
        onSdk([&] {
            for (auto& e : eventDao->getEvents())
                if (e->eventType() == ZarnPLogEventTypeNotificationViewed)
                    out.push_back(e);
        });
        return out;
    }
};

struct TapCase {
    const char* name;
    const char* handlerType;
    const char* action;
    Strings openableSchemes;
    bool appHandlesData;
    bool appHandlesResponse;
    Strings expectOpened;
    Strings expectLandingPages;
    Strings expectAppCalls;
    bool expectUnableToOpen;
};

TEST_F(NotificationTapTest, EachHandlerTypeOpensWhatItShould) {
    const char* applink = R"({"iosAppUrl":"myapp://offer/1","iosFallbackUrl":"https://shop.example/1"})";
    const char* applinkNoFallback = R"({"iosAppUrl":"myapp://offer/1"})";
    // clang-format off
    const TapCase cases[] = {
        // name, type, action, openable schemes, app data / response handlers,
        // opened addresses, landing pages, app calls, "Unable to open url."
        {"landing page", "landingPage", "https://lp.example/a", {"https"}, true, true,
         {}, {"https://lp.example/a"}, {}, false},
        {"app link opens in the app", "applink", applink, {"myapp", "https"}, false, false,
         {"myapp://offer/1"}, {}, {}, false},
        {"app link falls back", "applink", applink, {"https"}, false, false,
         {"myapp://offer/1", "https://shop.example/1"}, {}, {}, false},
        {"app link whose fallback fails", "applink", applink, {}, false, false,
         {"myapp://offer/1", "https://shop.example/1"}, {}, {}, true},
        {"app link without fallback: nothing more", "applink", applinkNoFallback, {"https"}, false, false,
         {"myapp://offer/1"}, {}, {}, false},
        {"app link that is no JSON: nothing to open", "applink", "not json", {"https"}, false, false,
         {}, {}, {}, false},
        {"web address", "regular", "https://web.example/x", {"https"}, false, false,
         {"https://web.example/x"}, {}, {}, false},
        {"empty action opens nothing", "regular", "", {"https"}, false, false, {}, {}, {}, false},
        {"address nobody opens", "regular", "ftp://files.example", {"https"}, false, false,
         {"ftp://files.example"}, {}, {}, true},
        {"app handles both ways", "regular", "deal-7", {"https"}, true, true,
         {}, {}, {"data:deal-7", "response:deal-7"}, false},
        {"app handles the response only", "other", "deal-8", {"https"}, false, true,
         {}, {}, {"response:deal-8"}, false},
    };
    // clang-format on
    int round = 0;
    for (auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        std::string id = "m" + std::to_string(++round);
        env.device->urlOpener()->setOpenableSchemes(tc.openableSchemes);
        size_t openedBefore = env.device->urlOpener()->opened().size();
        size_t pagesBefore = landingPage->shown.size();
        int errorsBefore = env.consoleCount("Unable to open url.");
        int updatesBefore = locationUpdates->count("updateOrLog");
        Strings appCalls;
        std::vector<std::shared_ptr<ZarnSentNotification>> opened;
        delegate->zarnHandleNotificationData = nullptr;
        delegate->zarnHandleNotificationResponse = nullptr;
        if (tc.appHandlesData)
            delegate->zarnHandleNotificationData = [&](const NotificationRequest& r,
                                                       const std::string& data) {
                EXPECT_EQ(r.identifier, id);
                appCalls.push_back("data:" + data);
            };
        if (tc.appHandlesResponse)
            delegate->zarnHandleNotificationResponse = [&](const std::string& data,
                                                           const NotificationResponse& r) {
                EXPECT_EQ(r.notification.request.identifier, id);
                appCalls.push_back("response:" + data);
            };
        delegate->zarnNotificationOpenedEvent = [&](std::shared_ptr<ZarnSentNotification> n) {
            opened.push_back(std::move(n));
        };
        int completedBefore = centre()->completedResponses();

        showAndTap(request(id, tc.handlerType, tc.action));

        auto urls = env.device->urlOpener()->opened();
        EXPECT_EQ(Strings(urls.begin() + static_cast<long>(openedBefore), urls.end()), tc.expectOpened);
        EXPECT_EQ(
            Strings(landingPage->shown.begin() + static_cast<long>(pagesBefore), landingPage->shown.end()),
            tc.expectLandingPages);
        EXPECT_TRUE(std::all_of(landingPage->onMainThread.begin(), landingPage->onMainThread.end(),
                                [](bool b) { return b; }));
        EXPECT_EQ(appCalls, tc.expectAppCalls);
        EXPECT_EQ(env.consoleCount("Unable to open url.") > errorsBefore, tc.expectUnableToOpen);
        EXPECT_EQ(centre()->completedResponses(), completedBefore + 1);
        // The opening is recorded whatever is opened.
        auto removals = centre()->removeCalls();
        ASSERT_FALSE(removals.empty());
        EXPECT_EQ(removals.back(), Strings{id});
        EXPECT_EQ(locationUpdates->count("updateOrLog"), updatesBefore + 1);
        auto viewed = viewedEvents();
        ASSERT_EQ(viewed.size(), static_cast<size_t>(round));
        EXPECT_EQ(viewed.back()->extra().value("notification_id", ""), "n-" + id + "-e1");
        EXPECT_EQ(viewed.back()->extra().value("match_id", ""), id);
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_TRUE(opened[0]->dateOpened());
        EXPECT_EQ(opened[0]->userInfo().value("matchIdentifier", ""), id);
    }
}

TEST_F(NotificationTapTest, TapWithoutActionReleasesItsContextAndRecordsNothing) {
    auto r = request("m1");
    r.content.userInfo.erase("action");
    for (bool viaCentre : {false, true}) {
        SCOPED_TRACE(viaCentre ? "tapped" : "handed over");
        auto context = contextService->startContext(ZarnTriggerContextForeground);
        if (viaCentre) {
            int completed = centre()->completedResponses();
            showAndTap(r, false);
            EXPECT_EQ(centre()->completedResponses(), completed + 1);
        } else {
            facade->handleNotification(NotificationResponse{Notification{r, Date{}}}, context);
            env.runUntilIdle();
            EXPECT_EQ(context->referenceCount(), -1);
        }
    }
    EXPECT_TRUE(viewedEvents().empty());
    EXPECT_TRUE(centre()->removeCalls().empty());
    EXPECT_EQ(locationUpdates->count("updateOrLog"), 0);
}

TEST_F(NotificationTapTest, OpeningWithoutSentRecordSkipsTheMarkAndTheCallback) {
    int opened = 0;
    delegate->zarnNotificationOpenedEvent = [&](std::shared_ptr<ZarnSentNotification>) { ++opened; };
    auto noMatch = request("m1", "regular", "");
    noMatch.content.userInfo.erase("matchIdentifier");
    showAndTap(noMatch, false);
    EXPECT_EQ(env.consoleCount("has no matchIdentifier"), 1);
    showAndTap(request("m2", "regular", ""), false);  // never stored as sent
    EXPECT_EQ(env.consoleCount("No sent notification m2"), 1);
    EXPECT_EQ(opened, 0);
    auto viewed = viewedEvents();
    ASSERT_EQ(viewed.size(), 2u);
    EXPECT_FALSE(viewed[0]->extra().contains("match_id"));
    EXPECT_EQ(viewed[1]->extra().value("match_id", ""), "m2");
}

// The app's own delegate, in front of which the library installs itself.
class AppCentreDelegate final : public platform::LocalNotificationCenterDelegate {
  public:
    AppCentreDelegate(bool present, bool respond) : present_(present), respond_(respond) {}
    void willPresentNotification(const Notification&, std::function<void(unsigned)> completion) override {
        ++presented;
        completion(platform::kNotificationPresentationBadge);
    }
    void didReceiveNotificationResponse(const NotificationResponse&,
                                        std::function<void()> completion) override {
        ++responses;
        completion();
    }
    bool respondsToWillPresentNotification() const override { return present_; }
    bool respondsToDidReceiveNotificationResponse() const override { return respond_; }
    int presented = 0;
    int responses = 0;

  private:
    bool present_, respond_;
};

class RecordingResponses final : public ZarnPNotificationResponseHandling {
  public:
    void handleNotification(const NotificationResponse& response,
                            std::shared_ptr<ZarnPContext> context) override {
        handled.push_back(response.notification.request.identifier);
        triggers.push_back(context ? context->triggerContext() : 99u);
    }
    Strings handled;
    std::vector<unsigned> triggers;
};

struct ForeignCase {
    const char* name;
    bool hasFallback, fallbackPresents, fallbackResponds;
    unsigned expectOptions;
    int expectPresented, expectResponses;
};

TEST_F(NotificationTapTest, ForeignNotificationsGoOnlyWhereTheAppTakesPart) {
    const ForeignCase cases[] = {
        {"no earlier delegate", false, false, false, 0, 0, 0},
        {"earlier delegate takes both", true, true, true, platform::kNotificationPresentationBadge, 1, 1},
        {"earlier delegate takes neither", true, false, false, 0, 0, 0},
        {"earlier delegate takes responses only", true, false, true, 0, 0, 1},
    };
    centreDelegate.reset();
    auto handler = std::make_shared<RecordingResponses>();
    NotificationRequest own = request("own");
    NotificationRequest foreign;
    foreign.identifier = "app-reminder";
    foreign.content.userInfo = Value{{"action", "https://app.example"}};
    for (auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        auto app = std::make_shared<AppCentreDelegate>(tc.fallbackPresents, tc.fallbackResponds);
        centre()->setDelegate(tc.hasFallback ? std::weak_ptr<platform::LocalNotificationCenterDelegate>(app)
                                             : std::weak_ptr<platform::LocalNotificationCenterDelegate>());
        auto ours = ZarnPUserNotificationCenterDelegate::create(handler, centre(), contextService);
        EXPECT_EQ(centre()->delegate(), ours);
        std::optional<unsigned> options;
        int completions = 0;
        ours->willPresentNotification(Notification{foreign, Date{}}, [&](unsigned o) { options = o; });
        ours->didReceiveNotificationResponse(NotificationResponse{Notification{foreign, Date{}}},
                                             [&] { ++completions; });
        EXPECT_EQ(options, tc.expectOptions);
        EXPECT_EQ(completions, 1);
        EXPECT_EQ(app->presented, tc.expectPresented);
        EXPECT_EQ(app->responses, tc.expectResponses);

        // The library's own never reach the app's delegate.
        ours->willPresentNotification(Notification{own, Date{}}, [&](unsigned o) { options = o; });
        ours->didReceiveNotificationResponse(NotificationResponse{Notification{own, Date{}}},
                                             [&] { ++completions; });
        EXPECT_EQ(options,
                  platform::kNotificationPresentationAlert | platform::kNotificationPresentationSound);
        EXPECT_EQ(completions, 2);
        EXPECT_EQ(app->presented + app->responses, tc.expectPresented + tc.expectResponses);

        ours.reset();  // released, it hands the centre back to the app's delegate
        EXPECT_EQ(centre()->delegate(), tc.hasFallback ? app : nullptr);
    }
    EXPECT_EQ(handler->handled, Strings(4, "own"));
    EXPECT_EQ(handler->triggers, std::vector<unsigned>(4, 1u));
}

}  // namespace
}  // namespace zarn::test
