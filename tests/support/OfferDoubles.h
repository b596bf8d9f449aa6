#pragma once
// The facade of a module built on the simulated device, with a recording common matching, a
// recording landing page and a recording location update in place of the module's, and the
// notification-centre delegate in front of whatever delegate the centre had.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/ZarnPBackgroundTask.h"
#include "entry/ZarnPModule.h"
#include "entry/ZarnPModuleFactory.h"
#include "entry/ZarnPUserNotificationCenterDelegate.h"
#include "entry/ZarnPZarnInterface.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPLandingPageShowing.h"
#include "services/ZarnPLocationUpdating.h"
#include "sim/Device.h"
#include "tests/support/CmatchDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/Platform.h"
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

class RecordingLocationUpdates final : public ZarnPLocationUpdating {
  public:
    void enable() override {}
    void disable() override {}
    void performFullUpdate(std::shared_ptr<ZarnPContext>) override {}
    void performFullUpdateOrLogCurrentLocationWithContext(std::shared_ptr<ZarnPContext>) override {
        ++updates;
    }
    void clearData() override {}
    std::atomic<int> updates{0};
};

class OfferingFacadeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Without a configuration the module's own facade stays idle.
        module = std::dynamic_pointer_cast<ZarnPModule>(buildDefaultModule(nullptr));
        ASSERT_TRUE(module);
        auto c = module->facade()->collaborators();
        c.commonMatchService = common;
        c.landingPage = landingPage;
        c.locationUpdateService = locationUpdates;
        facade = ZarnPZarnInterface::create(c);
        facade->setZarnDelegate(delegate);
        centreDelegate = ZarnPUserNotificationCenterDelegate::create(
            facade, env.device->localNotificationCenter(), module->contextService());
        env.runUntilIdle();
    }
    void TearDown() override {
        centreDelegate.reset();
        // Its broadcast observers hold it until it cleans up, as the module does with its own.
        facade->cleanUp();
        std::weak_ptr<ZarnPModule> wm = module;
        std::weak_ptr<ZarnPZarnInterface> wf = facade;
        facade.reset();
        module.reset();
        env.runUntilIdle();
        // Nothing the module built may outlive it: a cycle there leaks the whole graph.
        EXPECT_TRUE(wm.expired());
        EXPECT_TRUE(wf.expired());
    }

    template <typename F>
    void onSdk(F f) {
        module->timerDao()->invokeBlockOnRunLoop(std::move(f), true);
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

    TestEnvironment env;
    std::shared_ptr<ZarnPModule> module;
    std::shared_ptr<FacadeRecordingCommonMatching> common = std::make_shared<FacadeRecordingCommonMatching>();
    std::shared_ptr<RecordingLandingPage> landingPage = std::make_shared<RecordingLandingPage>();
    std::shared_ptr<RecordingLocationUpdates> locationUpdates = std::make_shared<RecordingLocationUpdates>();
    std::shared_ptr<ZarnDelegate> delegate = std::make_shared<ZarnDelegate>();
    std::shared_ptr<ZarnPZarnInterface> facade;
    std::shared_ptr<ZarnPUserNotificationCenterDelegate> centreDelegate;
    platform::BackgroundTaskIdentifier taskIds = 0;
};

}  // namespace zarn::test
