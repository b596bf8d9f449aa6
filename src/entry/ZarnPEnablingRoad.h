#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "core/ZarnPCollaborator.h"

namespace zarn {

class ZarnPContext;
class ZarnPContextService;
class ZarnPEventService;
class ZarnPFacadeHops;
class ZarnPFacadeState;
class ZarnPKeyValueDao;
class ZarnPLocationUpdating;
class ZarnPPushMessaging;
class ZarnPScreenEventTracking;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;
class ZarnPSystemTimerDao;
namespace platform {
class Application;
class Timer;
}  // namespace platform

// The facade's enabling and app-state road: enabling and disabling (stored, logged as events,
// announced), the cooldown setting, the app's foreground and background, and the 60-second
// update timer that runs while the app is active, enabled and allowed background location.
// Public operations may be called from any thread and only post; state changes on the SDK
// thread, the push client and the app state are reached on the main thread.
class ZarnPEnablingRoad {
  public:
    struct Collaborators {
        ZarnPRequired<ZarnPKeyValueDao> keyValueDao;
        ZarnPRequired<ZarnPEventService> eventService;
        ZarnPRequired<ZarnPSystemTimerDao> timerDao;
        ZarnPRequired<ZarnPSystemPublicLogDao> publicLogDao;
        ZarnPRequired<ZarnPLocationUpdating> locationUpdateService;
        ZarnPRequired<ZarnPPushMessaging> gcmClient;
        ZarnPRequired<ZarnPContextService> contextService;
        ZarnPRequired<platform::Application> application;
        ZarnPRequired<ZarnPScreenEventTracking> screenEventsService;
        ZarnPRequired<ZarnPSqLiteDb> db;  // the user's choice and its event commit together
    };

    ZarnPEnablingRoad(Collaborators c, ZarnPFacadeState& state, const ZarnPFacadeHops& hops);

    // Follows the app's becoming active and resigning active until stopObserving().
    void startObserving();
    void stopObserving();

    // The app's choice: whatever it lands on, it is the last word over the library's own steps
    // that were on their way when it was made.
    void enable();
    void disable();
    // The first configuration's enabling, decided when the app had made `choicesSeen` choices:
    // it yields to one the app makes after that, before it runs.
    void enableByDefault(uint64_t choicesSeen);
    // Waits at most 100 ms for the first configuration.
    bool isEnabled();
    void setCooldownPeriod(int seconds);
    // A full update now (SDK thread), in the given run or a new foreground one.
    void update(std::shared_ptr<ZarnPContext> context);

  private:
    // Posts the enabling; with `unlessChoicesPast`, it is dropped when the app has chosen since
    // that count.
    void postEnable(std::optional<uint64_t> unlessChoicesPast);
    void enableInRunLoop(std::shared_ptr<ZarnPContext> context);
    void enableOnMainThread(std::shared_ptr<ZarnPContext> context);
    void disableInRunLoop(std::shared_ptr<ZarnPContext> context);
    void setCooldownPeriodInRunLoop(int seconds);
    void onWillResignActive();
    void onWillResignActiveInRunLoop();
    // From the platform (no context) or from enableOnMainThread (its context).
    void onDidBecomeActiveNotification(std::shared_ptr<ZarnPContext> context);
    void onDidBecomeActiveNotificationInRunLoop(std::shared_ptr<ZarnPContext> context);
    void startUpdateTimer(std::shared_ptr<ZarnPContext> context);
    void stopUpdateTimer();
    // Stores the user's choice with its event.
    void recordChoice(bool enabled, const std::shared_ptr<ZarnPContext>& context);
    void updateInRunLoop(std::shared_ptr<ZarnPContext> context);

    Collaborators c_;
    ZarnPFacadeState& state_;
    const ZarnPFacadeHops& hops_;
    std::shared_ptr<platform::Timer> updateTimer_;  // SDK thread only
};

}  // namespace zarn
