#include "sim/SimLocalNotificationCenter.h"

#include <gtest/gtest.h>

#include "sim/Device.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

class RecordingDelegate : public platform::LocalNotificationCenterDelegate {
  public:
    void willPresentNotification(const Notification& n, std::function<void(unsigned)> completion) override {
        presented.push_back(n.request.identifier);
        completion(platform::kNotificationPresentationAlert | platform::kNotificationPresentationSound);
    }
    void didReceiveNotificationResponse(const NotificationResponse& r,
                                        std::function<void()> completion) override {
        tapped.push_back(r.notification.request.identifier + "/" + r.actionIdentifier);
        completion();
    }
    std::vector<std::string> presented;
    std::vector<std::string> tapped;
};

NotificationRequest request(const std::string& id, std::optional<double> after,
                            const std::string& body = "b") {
    NotificationRequest r;
    r.identifier = id;
    r.content.body = body;
    if (after)
        r.trigger = NotificationTrigger{*after, false};
    return r;
}

TEST(SimLocalNotificationCenterTest, RequestsAreDeliveredWhenDueInVirtualTimeAndCanBeTapped) {
    test::TestEnvironment env;
    auto center = env.device->localNotificationCenter();
    auto delegate = std::make_shared<RecordingDelegate>();
    center->setDelegate(delegate);
    std::vector<std::optional<Error>> completions;
    auto record = [&](std::optional<Error> e) { completions.push_back(e); };

    center->addNotificationRequest(request("now", std::nullopt), record);
    center->addNotificationRequest(request("dwell", 300), record);
    center->addNotificationRequest(request("replaced", 100, "old"), record);
    center->addNotificationRequest(request("removed", 80), record);
    EXPECT_TRUE(completions.empty()) << "never inside the call";
    env.runUntilIdle();
    EXPECT_EQ(completions.size(), 4u);
    ASSERT_EQ(center->deliveredNotifications().size(), 1u);
    EXPECT_EQ(delegate->presented, std::vector<std::string>{"now"});

    env.advanceBy(60);
    center->addNotificationRequest(request("replaced", 100, "new"), record);
    center->removePendingNotificationRequests({"removed", "nothing"});
    env.advanceBy(50);  // the first "replaced" would have been due at 100, "removed" at 80
    ASSERT_EQ(center->deliveredNotifications().size(), 1u);
    env.advanceBy(50);  // the new "replaced" is due at 160
    ASSERT_EQ(center->deliveredNotifications().size(), 2u);
    EXPECT_EQ(center->deliveredNotifications()[1].request.content.body, "new");
    EXPECT_EQ(timeIntervalSince1970(center->deliveredNotifications()[1].date),
              test::TestEnvironment::kStart + 160);
    EXPECT_EQ(center->pendingRequests().size(), 1u);

    // Delivered in the background: no foreground presentation.
    env.device->world()->lifecycle().setState(platform::ApplicationState::Background);
    env.advanceBy(139);
    EXPECT_EQ(center->deliveredNotifications().size(), 2u);
    env.advanceBy(1);
    ASSERT_EQ(center->deliveredNotifications().size(), 3u);
    EXPECT_TRUE(center->pendingRequests().empty());
    EXPECT_EQ(delegate->presented, (std::vector<std::string>{"now", "replaced"}));
    EXPECT_EQ(center->presentationAnswers().size(), 2u);

    EXPECT_TRUE(center->tap("dwell"));
    EXPECT_FALSE(center->tap("removed"));
    env.runUntilIdle();
    EXPECT_EQ(delegate->tapped, std::vector<std::string>{"dwell/default"});
    EXPECT_EQ(center->completedResponses(), 1);
}

}  // namespace
}  // namespace zarn
