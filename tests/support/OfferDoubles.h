#pragma once
// A facade built in a facade world on the simulated device (FacadeWorld: real stores, events,
// contexts, public log and local notifications), with a recording common matching and a recording
// landing page in place of the world's, and the notification-centre delegate in front of whatever
// delegate the centre had.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "entry/ZarnPUserNotificationCenterDelegate.h"
#include "entry/ZarnPZarnInterface.h"
#include "services/ZarnPLandingPageShowing.h"
#include "sim/Device.h"
#include "tests/support/CmatchDoubles.h"
#include "tests/support/FacadeWorld.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/RunLoop.h"

namespace zarn::test {

inline std::vector<std::string> identifiersOf(const std::vector<NotificationRequest>& requests) {
    std::vector<std::string> out;
    for (auto& r : requests) out.push_back(r.identifier);
    return out;
}

// The common matching as the facade calls it, recording each call (SDK thread).
class FacadeRecordingCommonMatching final : public DelegateOnlyCommonMatching {
  public:
    struct Show {
        std::vector<NotificationRequest> chosen;
        std::vector<NotificationRequest> offered;
        std::shared_ptr<ZarnPBackgroundTask> task;
        std::shared_ptr<ZarnPContext> context;
    };
    void showNotifications(const std::vector<NotificationRequest>& chosen,
                           const std::vector<NotificationRequest>& offered,
                           const std::shared_ptr<ZarnPBackgroundTask>& task,
                           const std::shared_ptr<ZarnPContext>& context) override {
        std::lock_guard lk(mutex);
        shows.push_back({chosen, offered, task, context});
    }
    void notificationIsOffered(const std::string& identifier) override {
        std::lock_guard lk(mutex);
        offeredIds.push_back(identifier);
    }
    void filteredNotificationsDealloc(const std::vector<NotificationRequest>& requests) override {
        std::lock_guard lk(mutex);
        deallocs.push_back(identifiersOf(requests));
    }
    void filteredGeotriggerDealloc(const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) override {
        std::lock_guard lk(mutex);
        geotriggerDeallocs.push_back(geotriggers.size());
    }

    std::mutex mutex;
    std::vector<Show> shows;
    std::vector<std::string> offeredIds;
    std::vector<std::vector<std::string>> deallocs;
    std::vector<size_t> geotriggerDeallocs;
};

// Records each address and whether it arrived on the main thread.
class RecordingLandingPage final : public ZarnPLandingPageShowing {
  public:
    void showLandingPage(const std::string& address) override {
        std::lock_guard lk(mutex);
        shown.push_back(address);
        onMainThread.push_back(platform::isMainThread());
    }
    std::mutex mutex;
    std::vector<std::string> shown;
    std::vector<bool> onMainThread;
};

class OfferingFacadeTest : public ::testing::Test, public FacadeWorld {
  protected:
    void SetUp() override {
        auto p = parts([] { return false; });
        p.offering.commonMatchService = common;
        p.tap.landingPage = landingPage;
        // Without a configuration the facade stays idle: its roads are reached directly.
        facade = ZarnPZarnInterface::create(p, nullptr);
        facade->setZarnDelegate(delegate);
        centreDelegate = ZarnPUserNotificationCenterDelegate::create(
            facade, env.device->localNotificationCenter(), contextService);
        env.runUntilIdle();
    }
    void TearDown() override {
        centreDelegate.reset();
        // Its broadcast observers hold it until it cleans up, as the module does with its own.
        facade->cleanUp();
        std::weak_ptr<ZarnPZarnInterface> wf = facade;
        facade.reset();
        env.runUntilIdle();
        // Nothing it was built with may keep it alive.
        EXPECT_TRUE(wf.expired());
    }

    std::shared_ptr<ZarnPBackgroundTask> newTask() {
        return std::make_shared<ZarnPBackgroundTask>(++taskIds, nullptr);
    }
    // A request as the library builds it: "identifier" and "matchIdentifier" in its userInfo.
    static NotificationRequest request(const std::string& matchIdentifier,
                                       const std::string& handlerType = "regular",
                                       const std::string& action = "") {
        NotificationRequest r;
        r.identifier = matchIdentifier;
        r.content.body = "Body of " + matchIdentifier;
        r.content.userInfo = Value{{"identifier", "n-" + matchIdentifier},
                                   {"identifierWithExperiment", "n-" + matchIdentifier + "-e1"},
                                   {"matchIdentifier", matchIdentifier},
                                   {"notificationHandlerType", handlerType},
                                   {"message", "Body of " + matchIdentifier},
                                   {"action", action},
                                   {"matchPayload", Value::object()}};
        return r;
    }

    std::shared_ptr<FacadeRecordingCommonMatching> common = std::make_shared<FacadeRecordingCommonMatching>();
    std::shared_ptr<RecordingLandingPage> landingPage = std::make_shared<RecordingLandingPage>();
    std::shared_ptr<ZarnPZarnInterface> facade;
    std::shared_ptr<ZarnPUserNotificationCenterDelegate> centreDelegate;
    platform::BackgroundTaskIdentifier taskIds = 0;
};

}  // namespace zarn::test
