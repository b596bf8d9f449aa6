// Values the app hands in, nested far past the stated bound: every entry logs, ignores the value
// and the process goes on, where copying or writing it would have overflowed the stack. A value
// at the bound is still taken.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "entry/ZarnPZarnFilterNotifications.h"
#include "entry/ZarnPZarnHandleGeotriggers.h"
#include "sim/Device.h"
#include "sim/SimLocalNotificationCenter.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnHooks.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {
namespace {

// {"k": {"k": ... 1}} with `depth` dictionaries, built without recursion (moves only).
Value nested(int depth) {
    Value v = 1;
    for (int i = 0; i < depth; ++i) {
        Value outer = Value::object();
        outer["k"] = std::move(v);
        v = std::move(outer);
    }
    return v;
}

// A dictionary of `depth` levels whose other entries are `entries`.
Value withDeepEntry(Value entries, int depth) {
    entries["deep"] = nested(depth - 1);
    return entries;
}

class DeepValueTest : public test::StartedLibraryTest {};

TEST_F(DeepValueTest, EveryEntryRefusesAValueNestedPastItsBoundAndTakesOneAtIt) {
    initialize();
    ASSERT_TRUE(ZarnBase::isEnabled());
    auto center = std::make_shared<platform::NotificationCenter>();
    int shown = 0, handled = 0;
    center->addObserver(this, "Zarn_Offered_Notification_Show", [&](const platform::Broadcast& b) {
        shown += static_cast<int>(b.get<std::vector<NotificationRequest>>("notifications_show")->size());
    });
    center->addObserver(this, "Zarn_Offered_Geotrigger_Handled", [&](const platform::Broadcast& b) {
        handled += static_cast<int>(b.get<std::vector<NotificationRequest>>("geotriggers_handled")->size());
    });
    auto begun = [&] {
        return static_cast<int>(env.device->backgroundTasks()->begunBackgroundTasks().size());
    };
    auto request = [](Value userInfo) {
        return NotificationRequest{"m1", {"", "", true, std::move(userInfo)}, std::nullopt};
    };
    const Value offeredInfo = {{"matchIdentifier", "m1"}, {"message", "hi"}};
    // The library's hooks, each offering one match.
    auto filterHook = [&] {
        return std::make_shared<ZarnPZarnFilterNotifications>(
            center, std::vector<NotificationRequest>{request(offeredInfo)}, nullptr, nullptr);
    };
    auto geotriggerHook = [&] {
        return std::make_shared<ZarnPZarnHandleGeotriggers>(
            center, std::vector{ZarnGeotrigger::initializeWithUserInfo(offeredInfo)}, nullptr, nullptr);
    };
    int newData = 0;
    auto filterApp = std::make_shared<ZarnDelegate>();
    filterApp->zarnFilterNotifications = [](std::shared_ptr<ZarnFilterNotifications> hook) {
        hook->showNotifications(hook->uiNotifications());
    };

    struct Row {
        const char* entry;
        int bound;
        std::function<void(int depth)> hand;  // builds a value of that depth and hands it in
        std::function<int()> taken;           // grows when the entry took the value
    };
    const std::vector<Row> rows = {
        {"remote notification userInfo", kMaxValueDepth,
         [&](int depth) {
             ZarnBase::didReceiveRemoteNotification(withDeepEntry({{"zarn_v2", ""}}, depth),
                                                    [&](BackgroundFetchResult r) {
                                                        if (r == BackgroundFetchResult::NewData)
                                                            ++newData;
                                                    });
         },
         [&] { return newData; }},
        // Properties that nest at all are of the wrong shape (a region's values are texts): at
        // the bound they pass the depth check and are refused for their shape instead.
        {"external region properties", kMaxValueDepth,
         [&](int depth) {
             Value properties = Value::array();
             properties.push_back(withDeepEntry({{"room", "lobby"}}, depth - 1));
             ZarnBase::externalRegionTrigger(properties, "enter");
         },
         [&] { return env.consoleCount("got a dictionary at properties[0][\"deep\"]"); }},
        {"external region match payload", kMaxValueDepth,
         [&](int depth) {
             ZarnBase::externalRegionTrigger(Value::array({{{"room", "lobby"}}}), "enter",
                                             withDeepEntry({{"visit", "1"}}, depth));
         },
         begun},
        {"tapped notification userInfo", kMaxUserInfoDepth,
         [&](int depth) {
             NotificationResponse response;
             response.notification.request =
                 request(withDeepEntry({{"notificationHandlerType", "regular"}}, depth));
             // The library's delegate in front of the centre, as the system calls it.
             env.device->localNotificationCenter()->delegate()->didReceiveNotificationResponse(response,
                                                                                               [] {});
         },
         [&] { return env.consoleCount("Tapped notification without an action"); }},
        {"filter match payload entry", kMaxValueDepth,
         [&](int depth) {
             auto hook = filterHook();
             hook->addToMatchPayload("entry", nested(depth));
             if (hook->uiNotifications()[0].content.userInfo.contains("matchPayload"))
                 ++shown;
         },
         [&] { return shown; }},
        {"filter answer", kMaxUserInfoDepth,
         [&](int depth) {
             auto hook = filterHook();
             std::vector<NotificationRequest> answer;
             answer.push_back(request(withDeepEntry(offeredInfo, depth)));
             hook->showNotifications(answer);
         },
         [&] { return shown; }},
        {"filter tried out by the app", kMaxUserInfoDepth,
         [&](int depth) {
             std::vector<NotificationRequest> offered;
             offered.push_back(request(withDeepEntry(offeredInfo, depth)));
             auto chosen = ZarnFilterNotifications::testFilterNotifications(offered, filterApp);
             if (chosen && chosen->size() == 1)
                 ++shown;
         },
         [&] { return shown; }},
        {"geotrigger match payload entry", kMaxValueDepth,
         [&](int depth) {
             auto hook = geotriggerHook();
             hook->addToMatchPayload("entry", nested(depth));
             if (hook->geotriggers()[0]->userInfo().contains("matchPayload"))
                 ++handled;
         },
         [&] { return handled; }},
        // Geotriggers the app makes or changes: the value is an lvalue, whose copy into a
        // by-value parameter would overflow before any check.
        {"geotrigger made by the app and marked handled", kMaxUserInfoDepth,
         [&](int depth) {
             auto hook = geotriggerHook();
             const Value info = withDeepEntry(offeredInfo, depth);
             hook->markGeotriggersHandled({ZarnGeotrigger::initializeWithUserInfo(info)});
         },
         [&] { return handled; }},
        {"geotrigger userInfo set by the app", kMaxUserInfoDepth,
         [&](int depth) {
             auto geotrigger = ZarnGeotrigger::initializeWithUserInfo(offeredInfo);
             const Value info = withDeepEntry(offeredInfo, depth);
             geotrigger->setUserInfo(info);
             if (geotrigger->userInfo().contains("deep"))
                 ++handled;
         },
         [&] { return handled; }},
    };

    // The refusal's own line (its "error" event is logged too, at DEBUG).
    auto refusals = [&] {
        int n = 0;
        for (const auto& line : env.console->lines())
            n += line.rfind("ERROR|", 0) == 0 && line.find("nested deeper than") != std::string::npos;
        return n;
    };
    for (const auto& row : rows) {
        for (int depth : {100000, row.bound + 1, row.bound}) {
            SCOPED_TRACE(::testing::Message() << row.entry << " at depth " << depth);
            bool takes = depth <= row.bound;
            int before = row.taken();
            int refused = refusals();
            row.hand(depth);
            env.runUntilIdle();
            EXPECT_EQ(row.taken() > before, takes);
            EXPECT_EQ(refusals() - refused, takes ? 0 : 1);
        }
    }
    center->removeObserver(this);
}

}  // namespace
}  // namespace zarn
