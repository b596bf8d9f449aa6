// Offering matches to the app: the filter and geotrigger hooks, their answers coming back to the
// common matching on the SDK thread, their release, and the stand-alone hooks.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "core/ZarnPSentTrigger.h"
#include "entry/ZarnPTestZarnFilterNotifications.h"
#include "entry/ZarnPZarnFilterNotifications.h"
#include "entry/ZarnPZarnHandleGeotriggers.h"
#include "tests/support/OfferDoubles.h"

namespace zarn::test {
namespace {

using Requests = std::vector<NotificationRequest>;
using Ids = std::vector<std::string>;

struct FilterCase {
    const char* name;
    bool hasFilter;
    // What the app does with the hook: picks by index, answers again, or keeps it unanswered.
    std::optional<std::vector<size_t>> answer;
    bool answersTwice;
    Ids shown;           // chosen list of the one show, when there is a show
    bool expectShow;     // the common matching is asked to show
    bool expectDealloc;  // the hook's release reached the common matching
};

class OfferingHooksTest : public OfferingFacadeTest {};

TEST_F(OfferingHooksTest, FilterChoosesWhatIsShown) {
    const FilterCase cases[] = {
        {"no filter shows all", false, std::nullopt, false, {"a", "b", "c"}, true, false},
        {"filter picks two", true, std::vector<size_t>{0, 2}, false, {"a", "c"}, true, true},
        {"filter picks none", true, std::vector<size_t>{}, false, {}, true, true},
        {"second answer is dropped", true, std::vector<size_t>{1}, true, {"b"}, true, true},
        {"unanswered hook shows nothing", true, std::nullopt, false, {}, false, true},
    };
    for (auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        {
            std::lock_guard lk(common->mutex);
            common->shows.clear();
            common->offeredIds.clear();
            common->deallocs.clear();
        }
        std::weak_ptr<ZarnPBackgroundTask> weakTask;
        bool calledOnMain = false;
        delegate->zarnFilterNotifications = nullptr;
        if (tc.hasFilter)
            delegate->zarnFilterNotifications = [&](std::shared_ptr<ZarnFilterNotifications> hook) {
                calledOnMain = platform::isMainThread();
                if (!tc.answer)
                    return;
                Requests chosen;
                for (size_t i : *tc.answer) chosen.push_back(hook->uiNotifications()[i]);
                hook->showNotifications(chosen);
                if (tc.answersTwice)
                    hook->showNotifications(hook->uiNotifications());
            };
        auto context = contextService->startContext(ZarnTriggerContextForeground);
        onSdk([&] {
            auto task = newTask();
            weakTask = task;
            facade->offerLocalNotifications({request("a"), request("b"), request("c")}, task, context);
        });
        env.runUntilIdle();

        std::lock_guard lk(common->mutex);
        ASSERT_EQ(common->shows.size(), tc.expectShow ? 1u : 0u);
        if (tc.expectShow) {
            auto& show = common->shows[0];
            EXPECT_EQ(identifiersOf(show.chosen), tc.shown);
            EXPECT_EQ(identifiersOf(show.offered), (Ids{"a", "b", "c"}));
            EXPECT_TRUE(show.task);
            EXPECT_EQ(show.context, context);
        }
        EXPECT_EQ(common->offeredIds, tc.hasFilter ? (Ids{"n-a", "n-b", "n-c"}) : Ids{});
        EXPECT_EQ(common->deallocs.size(), tc.expectDealloc ? 1u : 0u);
        if (tc.expectDealloc) {
            EXPECT_EQ(common->deallocs[0], (Ids{"a", "b", "c"}));
        }
        EXPECT_EQ(calledOnMain, tc.hasFilter);
        common->shows.clear();  // the recorded task goes; nothing else may hold it
        EXPECT_TRUE(weakTask.expired());
    }
}

TEST_F(OfferingHooksTest, HandlerPassesOnlyOfferedGeotriggersItMarked) {
    std::vector<std::shared_ptr<ZarnGeotrigger>> received;
    delegate->zarnHandleGeotriggers = [&](std::shared_ptr<ZarnHandleGeotriggers> hook) {
        received = hook->geotriggers();
        auto stranger = ZarnGeotrigger::initializeWithUserInfo(request("x", "geotrigger").content.userInfo);
        auto noId = ZarnGeotrigger::initializeWithUserInfo(Value{{"identifier", "n-y"}});
        // One offered twice, one never offered, one without an identifier, one null.
        hook->markGeotriggersHandled({received[2], stranger, received[0], noId, received[2], nullptr});
    };
    onSdk([&] {
        facade->offerGeotriggers(
            {request("a", "geotrigger"), request("b", "geotrigger"), request("c", "geotrigger")}, newTask(),
            nullptr);
    });
    env.runUntilIdle();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1]->userInfo().value("matchIdentifier", ""), "b");
    // The handler answered without a context: an incomplete answer is not processed.
    EXPECT_TRUE(common->shows.empty());
    int warnedOnce = env.consoleCount("Ignoring a geotrigger that was not offered");
    EXPECT_GE(warnedOnce, 3);  // the stranger, the one without an identifier, the null one

    auto context = contextService->startContext(ZarnTriggerContextForeground);
    onSdk([&] {
        facade->offerGeotriggers(
            {request("a", "geotrigger"), request("b", "geotrigger"), request("c", "geotrigger")}, newTask(),
            context);
    });
    env.runUntilIdle();
    std::lock_guard lk(common->mutex);
    ASSERT_EQ(common->shows.size(), 1u);
    auto& show = common->shows[0];
    EXPECT_EQ(identifiersOf(show.chosen), (Ids{"c", "a"}));
    EXPECT_EQ(identifiersOf(show.offered), (Ids{"a", "b", "c"}));
    EXPECT_EQ(show.chosen[0].content.userInfo.value("identifier", ""), "n-c");
    EXPECT_FALSE(show.chosen[0].trigger);
    EXPECT_EQ(env.consoleCount("Ignoring a geotrigger that was not offered"), 2 * warnedOnce);
    EXPECT_EQ(common->geotriggerDeallocs, (std::vector<size_t>{3, 3}));
}

TEST_F(OfferingHooksTest, WithoutHandlerGeotriggersPassAsShown) {
    onSdk([&] { facade->offerGeotriggers({request("a", "geotrigger")}, newTask(), nullptr); });
    env.runUntilIdle();
    std::lock_guard lk(common->mutex);
    ASSERT_EQ(common->shows.size(), 1u);
    EXPECT_EQ(identifiersOf(common->shows[0].chosen), (Ids{"a"}));
    EXPECT_EQ(identifiersOf(common->shows[0].offered), (Ids{"a"}));
    EXPECT_TRUE(common->offeredIds.empty());
}

TEST_F(OfferingHooksTest, OfTwoConcurrentAnswersExactlyOneIsProcessed) {
    for (int round = 0; round < 20; ++round) {
        std::shared_ptr<ZarnFilterNotifications> kept;
        std::shared_ptr<ZarnHandleGeotriggers> keptHandler;
        delegate->zarnFilterNotifications = [&](std::shared_ptr<ZarnFilterNotifications> hook) {
            kept = hook;
        };
        delegate->zarnHandleGeotriggers = [&](std::shared_ptr<ZarnHandleGeotriggers> hook) {
            keptHandler = hook;
        };
        auto context = contextService->startContext(ZarnTriggerContextForeground);
        onSdk([&] {
            facade->offerLocalNotifications({request("a"), request("b")}, newTask(), context);
            facade->offerGeotriggers({request("g", "geotrigger")}, newTask(), context);
        });
        env.runUntilIdle();
        ASSERT_TRUE(kept && keptHandler);
        auto first = kept->uiNotifications()[0];
        auto second = kept->uiNotifications()[1];
        auto trigger = keptHandler->geotriggers();
        std::thread t1([&] { kept->showNotifications({first}); });
        std::thread t2([&] { kept->showNotifications({second}); });
        std::thread t3([&] { keptHandler->markGeotriggersHandled(trigger); });
        std::thread t4([&] { keptHandler->markGeotriggersHandled(trigger); });
        t1.join();
        t2.join();
        t3.join();
        t4.join();
        kept.reset();
        keptHandler.reset();
        env.runUntilIdle();
        std::lock_guard lk(common->mutex);
        ASSERT_EQ(common->shows.size(), 2u) << "round " << round;
        std::set<std::string> chosen;
        for (auto& show : common->shows) {
            ASSERT_EQ(show.chosen.size(), 1u);
            chosen.insert(show.chosen[0].identifier);
            EXPECT_TRUE(show.task);
        }
        EXPECT_TRUE(chosen.count("g"));
        EXPECT_TRUE(chosen.count("a") + chosen.count("b") == 1);
        common->shows.clear();
    }
}

TEST_F(OfferingHooksTest, MatchPayloadEntryFillsTheOfferedTexts) {
    Requests shown;
    std::vector<std::shared_ptr<ZarnGeotrigger>> handled;
    delegate->zarnFilterNotifications = [&](std::shared_ptr<ZarnFilterNotifications> hook) {
        hook->addToMatchPayload("coupon", Value("X12"));
        hook->showNotifications(hook->uiNotifications());
    };
    delegate->zarnHandleGeotriggers = [&](std::shared_ptr<ZarnHandleGeotriggers> hook) {
        hook->addToMatchPayload("count", Value(3));
        handled = hook->geotriggers();
    };
    auto offered = request("a");
    offered.content.userInfo["message"] = "Your code {coupon} at {geofencelabel2}";
    offered.content.userInfo["action"] = "https://shop.example/{coupon}";
    offered.content.userInfo["matchPayload"] = Value{{"area", "north"}};
    offered.content.defaultSound = false;
    offered.trigger = NotificationTrigger{120, false};
    auto geotrigger = request("g", "geotrigger");
    geotrigger.content.userInfo["message"] = "{count} left";
    geotrigger.content.userInfo["action"] = "{count}";
    auto context = contextService->startContext(ZarnTriggerContextForeground);
    onSdk([&] {
        facade->offerLocalNotifications({offered}, newTask(), context);
        facade->offerGeotriggers({geotrigger}, newTask(), context);
    });
    env.runUntilIdle();

    std::lock_guard lk(common->mutex);
    ASSERT_EQ(common->shows.size(), 1u);
    auto& r = common->shows[0].chosen.at(0);
    EXPECT_EQ(r.identifier, "a");
    ASSERT_TRUE(r.trigger);
    EXPECT_EQ(r.trigger->timeInterval, 120);
    EXPECT_FALSE(r.content.defaultSound);
    EXPECT_EQ(r.content.body, "Your code X12 at {geofencelabel2}");
    EXPECT_EQ(r.content.userInfo["message"], "Your code X12 at {geofencelabel2}");
    EXPECT_EQ(r.content.userInfo["action"], "https://shop.example/X12");
    EXPECT_EQ(r.content.userInfo["matchPayload"], (Value{{"area", "north"}, {"coupon", "X12"}}));
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0]->userInfo()["action"], "3");
    EXPECT_EQ(handled[0]->userInfo()["message"], "{count} left");
    EXPECT_EQ(handled[0]->userInfo()["matchPayload"], (Value{{"count", 3}}));
}

TEST_F(OfferingHooksTest, SentNotificationReachesTheAppOnTheMainThread) {
    std::vector<std::shared_ptr<ZarnSentNotification>> sent;
    bool onMain = false;
    delegate->zarnNotificationSentEvent = [&](std::shared_ptr<ZarnSentNotification> n) {
        onMain = platform::isMainThread();
        sent.push_back(std::move(n));
    };
    auto trigger = std::make_shared<ZarnPSentTrigger>();
    trigger->setMatchIdentifier(std::string("m-1"));
    trigger->setIdentifier(std::string("n-1"));
    onSdk([&] {
        facade->notificationSentEvent(trigger);
        facade->notificationSentEvent(nullptr);
    });
    env.runUntilIdle();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(sent[0]->userInfo().value("matchIdentifier", ""), "m-1");
}

TEST(StandAloneHooksTest, AnswerAtOnceOrNothingByTheDeadline) {
    auto delegate = std::make_shared<ZarnDelegate>();
    NotificationRequest a, b;
    a.identifier = "a";
    b.identifier = "b";
    EXPECT_FALSE(ZarnFilterNotifications::testFilterNotifications({a, b}, delegate));  // no filter: no wait
    delegate->zarnFilterNotifications = [](std::shared_ptr<ZarnFilterNotifications> hook) {
        hook->showNotifications({hook->uiNotifications()[1]});
        hook->showNotifications({});  // only the first answer counts
    };
    auto chosen = ZarnFilterNotifications::testFilterNotifications({a, b}, delegate);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(identifiersOf(*chosen), (Ids{"b"}));

    // An answer from another thread wakes the waiter.
    std::thread answering;
    delegate->zarnHandleGeotriggers = [&](std::shared_ptr<ZarnHandleGeotriggers> hook) {
        answering = std::thread([hook] { hook->markGeotriggersHandled(hook->geotriggers()); });
    };
    auto g = ZarnGeotrigger::initializeWithUserInfo(Value{{"matchIdentifier", "g"}});
    auto handled = ZarnHandleGeotriggers::testHandleGeotriggers({g}, delegate);
    answering.join();
    ASSERT_TRUE(handled);
    EXPECT_EQ(handled->at(0), g);

    ZarnPTestZarnFilterNotifications unanswered({a}, std::chrono::milliseconds(0));
    EXPECT_FALSE(unanswered.result());
}

}  // namespace
}  // namespace zarn::test
