#include "entry/ZarnPEnablingRoad.h"

#include <algorithm>
#include <chrono>

#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/push/ZarnPPushMessaging.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "entry/ZarnPAppCall.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPScreenEventTracking.h"
#include "store/ZarnPCommitGroup.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/platform/Application.h"

namespace zarn {

ZarnPEnablingRoad::ZarnPEnablingRoad(Collaborators c, ZarnPFacadeState& state, const ZarnPFacadeHops& hops)
    : c_(std::move(c)), state_(state), hops_(hops) {}

void ZarnPEnablingRoad::startObserving() {
    hops_.observe(this, platform::kApplicationDidBecomeActiveNotification,
                  [this](const platform::Broadcast&) { onDidBecomeActiveNotification(nullptr); });
    hops_.observe(this, platform::kApplicationWillResignActiveNotification,
                  [this](const platform::Broadcast&) { onWillResignActive(); });
}

void ZarnPEnablingRoad::stopObserving() {
    hops_.stopObserving(this);
}

// Enabling

void ZarnPEnablingRoad::enable() {
    state_.noteAppChoice();
    postEnable(std::nullopt);
}

void ZarnPEnablingRoad::enableByDefault(uint64_t choicesSeen) {
    postEnable(choicesSeen);
}

void ZarnPEnablingRoad::postEnable(std::optional<uint64_t> unlessChoicesPast) {
    auto context = c_.contextService->startContext(ZarnTriggerContextInit);
    c_.publicLogDao->logZarnEnabled(true, context);
    hops_.inRunLoop([this, context, unlessChoicesPast] {
        // The app chose after this enabling was decided: its own step has the last word.
        if (unlessChoicesPast && state_.appChoices() != *unlessChoicesPast) {
            c_.contextService->decrementContext(context);
            return;
        }
        enableInRunLoop(context);
    });
}

void ZarnPEnablingRoad::enableInRunLoop(std::shared_ptr<ZarnPContext> context) {
    LogInfo(kFacadeDomain, "Zarn enabled");
    state_.setEnabled(true);
    state_.setInitialized();
    recordChoice(true, context);
    c_.locationUpdateService->enable();
    hops_.broadcast(broadcast::kEnabled);
    // Posted from here, after the SDK-thread step, so that a re-enable always reaches it.
    hops_.onMainThread([this, context] { enableOnMainThread(context); });
}

void ZarnPEnablingRoad::enableOnMainThread(std::shared_ptr<ZarnPContext> context) {
    c_.gcmClient->loadGcmWithApnsSandbox(state_.launch().apnsSandbox, state_.quickSyncDisabled());
    bool inBackground = c_.application->applicationState() == platform::ApplicationState::Background;
    c_.screenEventsService->registerHandlers(!inBackground);
    if (!inBackground)
        onDidBecomeActiveNotification(context);
    else
        c_.contextService->decrementContext(context);
}

void ZarnPEnablingRoad::disable() {
    state_.noteAppChoice();
    auto context = c_.contextService->startContext(ZarnTriggerContextUserInitiated);
    c_.publicLogDao->logZarnEnabled(false, context);
    hops_.inRunLoop([this, context] { disableInRunLoop(context); });
}

void ZarnPEnablingRoad::disableInRunLoop(std::shared_ptr<ZarnPContext> context) {
    LogInfo(kFacadeDomain, "Zarn disabled");
    state_.setEnabled(false);
    state_.setInitialized();
    recordChoice(false, context);
    c_.locationUpdateService->disable();
    // A disabled library runs no updates.
    stopUpdateTimer();
    hops_.broadcast(broadcast::kDisabled);
    c_.contextService->decrementContext(context);
}

void ZarnPEnablingRoad::recordChoice(bool enabled, const std::shared_ptr<ZarnPContext>& context) {
    // The choice and its event in one commit, durable: the user made it.
    ZarnPCommitGroup commits(c_.db, ZarnPDurability::Full, kFacadeDomain);
    c_.keyValueDao->setBoolPropertyValue(enabled, setting::kEnabled);
    c_.eventService->logEventWithType(
        enabled ? ZarnPLogEventTypeEnableService : ZarnPLogEventTypeDisableService, Value::object(), context);
}

bool ZarnPEnablingRoad::isEnabled() {
    // Waits at most 100 ms for the first configuration; never longer.
    return state_.enabledWaitingForInitialization(std::chrono::milliseconds(100));
}

void ZarnPEnablingRoad::setCooldownPeriod(int seconds) {
    hops_.inRunLoop([this, seconds] { setCooldownPeriodInRunLoop(seconds); });
}

void ZarnPEnablingRoad::setCooldownPeriodInRunLoop(int seconds) {
    c_.keyValueDao->setIntPropertyValue(std::max(0, seconds), setting::kCooldownPeriod);
}

// App state

void ZarnPEnablingRoad::onWillResignActive() {
    hops_.inRunLoop([this] { onWillResignActiveInRunLoop(); });
}

void ZarnPEnablingRoad::onWillResignActiveInRunLoop() {
    stopUpdateTimer();
    hops_.broadcast(broadcast::kWillResignActive);
}

void ZarnPEnablingRoad::onDidBecomeActiveNotification(std::shared_ptr<ZarnPContext> context) {
    if (!state_.enabled()) {
        if (context)
            c_.contextService->decrementContext(context);
        return;
    }
    if (!context)
        context = c_.contextService->startContext(ZarnTriggerContextForeground);
    hops_.inRunLoop([this, context] { onDidBecomeActiveNotificationInRunLoop(context); });
}

void ZarnPEnablingRoad::onDidBecomeActiveNotificationInRunLoop(std::shared_ptr<ZarnPContext> context) {
    // Asked again here: a disable may have run since the main thread looked.
    if (state_.enabled() && state_.enableBackgroundLocation())
        startUpdateTimer(context);
    else
        c_.contextService->decrementContext(context);  // no run takes it over
}

// The update timer

void ZarnPEnablingRoad::startUpdateTimer(std::shared_ptr<ZarnPContext> context) {
    if (!updateTimer_) {
        // The facade's timer, as its log line names it.
        updateTimer_ = c_.timerDao->scheduledTimerWithTimeInterval(
            60.0, "ZarnPZarnInterface", hops_.guarded([this] { updateInRunLoop(nullptr); }), true);
    }
    update(context);
}

void ZarnPEnablingRoad::stopUpdateTimer() {
    if (updateTimer_)
        updateTimer_->invalidate();
    updateTimer_.reset();
}

void ZarnPEnablingRoad::updateInRunLoop(std::shared_ptr<ZarnPContext> context) {
    update(std::move(context));
}

void ZarnPEnablingRoad::update(std::shared_ptr<ZarnPContext> context) {
    LogDebug(kFacadeDomain, "Checking for update...");
    if (!context)
        context = c_.contextService->startContext(ZarnTriggerContextForeground);
    c_.locationUpdateService->performFullUpdate(context);
}

}  // namespace zarn
