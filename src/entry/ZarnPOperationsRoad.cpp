#include "entry/ZarnPOperationsRoad.h"

#include "core/ZarnPExternalRegionRequest.h"
#include "core/ZarnPExternalTriggerType.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPNotification.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPSentTrigger.h"
#include "device/push/ZarnPPushMessaging.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "entry/ZarnPAppCall.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPDebugLogMailer.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPExternalRegionTriggering.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "services/ZarnPNotificationLoading.h"
#include "services/ZarnPPhoneStateReporting.h"
#include "services/ZarnPSegmentationSetting.h"
#include "store/ZarnPSentTriggerDao.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"

namespace zarn {

ZarnPOperationsRoad::ZarnPOperationsRoad(Collaborators c, const ZarnPFacadeState& state,
                                         const ZarnPFacadeHops& hops)
    : c_(std::move(c)), state_(state), hops_(hops) {}

// Segmentation

void ZarnPOperationsRoad::setValue(std::optional<std::string> value, const std::string& property) {
    std::string text = value.value_or("");
    LogDebug(kFacadeDomain, "Segmentation set for property %@ with value %@", property, text);
    hops_.inRunLoop([this, text, property] { setValueForPropertyInRunLoop(text, property); });
}

void ZarnPOperationsRoad::setValueForPropertyInRunLoop(const std::string& value, const std::string& key) {
    auto context = c_.contextService->startContext(ZarnTriggerContextUserInitiated);
    c_.segmentationService->setValue(value, key, context);
    c_.publicLogDao->logSegmentationCreatedFor(key, value, context);
    c_.contextService->decrementContext(context);
}

void ZarnPOperationsRoad::setAdvertisingIdentifier(std::optional<std::string> uuid,
                                                   bool advertisingTrackingEnabled) {
    if (!uuid)
        return;
    hops_.inRunLoop([this, uuid, advertisingTrackingEnabled] {
        c_.segmentationService->setAdvertisingIdentifier(uuid, advertisingTrackingEnabled);
    });
}

// The lists

template <typename R>
R ZarnPOperationsRoad::inRunLoopWaiting(R (ZarnPOperationsRoad::*step)()) {
    R out{};
    if (!state_.initializedAndEnabled())
        return out;
    // Waiting: the caller's list outlives the step, and a dropped step leaves it empty.
    hops_.inRunLoopWaiting([this, step, &out] { out = (this->*step)(); });
    return out;
}

std::vector<NotificationRequest> ZarnPOperationsRoad::loadedNotifications() {
    return inRunLoopWaiting(&ZarnPOperationsRoad::loadedNotificationsInRunLoop);
}

std::vector<std::shared_ptr<ZarnGeotrigger>> ZarnPOperationsRoad::loadedGeotriggers() {
    return inRunLoopWaiting(&ZarnPOperationsRoad::loadedGeotriggersInRunLoop);
}

std::vector<std::shared_ptr<ZarnSentNotification>> ZarnPOperationsRoad::sentNotifications() {
    return inRunLoopWaiting(&ZarnPOperationsRoad::sentNotificationsInRunLoop);
}

std::vector<std::shared_ptr<ZarnSentGeotrigger>> ZarnPOperationsRoad::sentGeotriggers() {
    return inRunLoopWaiting(&ZarnPOperationsRoad::sentGeotriggersInRunLoop);
}

std::vector<NotificationRequest> ZarnPOperationsRoad::loadedNotificationsInRunLoop() {
    std::vector<NotificationRequest> out;
    auto loaded = c_.notificationService->getLoadedNotifications();
    if (!loaded)
        return out;
    for (const auto& notification : *loaded) {
        if (!notification ||
            notification->notificationHandlerType() == ZarnPNotificationHandlerTypeGeotrigger)
            continue;
        int regionType = !notification->triggerProperties().empty() ? ZarnPNotificationRegionTypeExternal
                         : notification->beaconUuid()               ? ZarnPNotificationRegionTypeBeacon
                                                                    : ZarnPNotificationRegionTypeGeofence;
        out.push_back(
            c_.uiNotificationDao->createNotification(*notification, std::nullopt, regionType, false));
    }
    return out;
}

std::vector<std::shared_ptr<ZarnGeotrigger>> ZarnPOperationsRoad::loadedGeotriggersInRunLoop() {
    std::vector<std::shared_ptr<ZarnGeotrigger>> out;
    auto loaded = c_.notificationService->getLoadedNotifications();
    if (!loaded)
        return out;
    for (const auto& notification : *loaded)
        if (notification && notification->notificationHandlerType() == ZarnPNotificationHandlerTypeGeotrigger)
            if (auto geotrigger = c_.uiNotificationDao->createGeotriggerFromNotification(*notification))
                out.push_back(std::move(geotrigger));
    return out;
}

std::vector<std::shared_ptr<ZarnSentNotification>> ZarnPOperationsRoad::sentNotificationsInRunLoop() {
    std::vector<std::shared_ptr<ZarnSentNotification>> out;
    for (const auto& trigger : c_.sentTriggerDao->sentNotifications())
        if (trigger)
            if (auto sent = c_.uiNotificationDao->createSentNotification(*trigger))
                out.push_back(std::move(sent));
    return out;
}

std::vector<std::shared_ptr<ZarnSentGeotrigger>> ZarnPOperationsRoad::sentGeotriggersInRunLoop() {
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> out;
    for (const auto& trigger : c_.sentTriggerDao->sentGeotriggers())
        if (trigger)
            if (auto sent = c_.uiNotificationDao->createSentGeotrigger(*trigger))
                out.push_back(std::move(sent));
    return out;
}

void ZarnPOperationsRoad::clearSentNotifications() {
    if (!state_.initializedAndEnabled())
        return;
    hops_.inRunLoop([this] { c_.sentTriggerDao->clearSentNotifications(); });
}

void ZarnPOperationsRoad::clearSentGeotriggers() {
    if (!state_.initializedAndEnabled())
        return;
    hops_.inRunLoop([this] { c_.sentTriggerDao->clearSentGeotriggers(); });
}

// Attribution and app-reported regions

void ZarnPOperationsRoad::sendAttributionEvent(const std::string& actionName, const std::string& itemId) {
    if (actionName.empty()) {
        LogWarn(kFacadeDomain, "Not sending an attribution event without an action name");
        return;
    }
    Value extra = Value::object();
    extra["action_name"] = actionName;
    if (!itemId.empty())
        extra["item_id"] = itemId;
    hops_.inRunLoop([this, extra] { sendAttributionEventInRunLoop(extra); });
}

void ZarnPOperationsRoad::sendAttributionEventInRunLoop(const Value& extra) {
    auto context = c_.contextService->startContext(ZarnTriggerContextAttribution);
    c_.locationUpdateService->performFullUpdateOrLogCurrentLocationWithContext(context);
    c_.eventService->logEventWithType(ZarnPLogEventTypeAttribution, extra, context);
}

void ZarnPOperationsRoad::externalRegionTrigger(const Value& properties, int triggerType,
                                                const Value& matchPayload) {
    // Checked before the request's unsigned type could turn a bad value into a huge one.
    if (triggerType != ZarnPExternalTriggerType::Enter && triggerType != ZarnPExternalTriggerType::Exit) {
        LogError("Zarn", "Ignoring external region trigger of unknown type %@", triggerType);
        return;
    }
    if (!state_.initializedAndEnabled() || !c_.externalRegionService)
        return;
    auto request = std::make_shared<ZarnPExternalRegionRequest>(
        properties, static_cast<unsigned>(triggerType), matchPayload);
    hops_.inRunLoop([this, request] {
        // Asked again here: a disable may have run since the caller's thread looked.
        if (state_.initializedAndEnabled())
            c_.externalRegionService->regionTrigger(request);
    });
}

// Clearing all data. A changed token has already sent the old token's waiting events when it
// calls this, so the clearing finds none of them to send under the new one.

void ZarnPOperationsRoad::clearAllDataAndResetDeviceId() {
    LogDebug(kFacadeDomain, "Clearing all user's data and resetting deviceId");
    auto context = c_.contextService->startContext(ZarnTriggerContextUserInitiated);
    hops_.inRunLoop([this, context] { clearAllDataAndResetDeviceIdInRunLoop(context); });
}

void ZarnPOperationsRoad::clearAllDataAndResetDeviceIdInRunLoop(std::shared_ptr<ZarnPContext> context) {
    c_.eventService->sendAndClearEventsIfNonEmpty();
    c_.phoneStateService->clearData();
    // Its notification service forgets the loaded notifications and the device id.
    c_.locationUpdateService->clearData();
    c_.matchService->clearData();
    try {
        ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(c_.db, c_.publicLogDao);
        orchestrator.clearAllData(context);
    } catch (const std::exception& e) {
        // The rest is still cleared: a stale tile is refetched, a kept identity is not.
        LogError(kFacadeDomain, "Failed to clear the loaded data: %@", e.what());
    }
    c_.contextService->decrementContext(context);
    c_.segmentationService->clearData();
    c_.sentTriggerDao->clearSentNotifications();
    c_.sentTriggerDao->clearSentGeotriggers();
    LogDebug(kFacadeDomain, "All user's data was cleared successfully and resetting deviceId");
}

// Pass-throughs

void ZarnPOperationsRoad::mailDebugLog(std::shared_ptr<ViewController> parent) {
    if (c_.debugLogMailer)
        c_.debugLogMailer->mailDebugLog(std::move(parent));
}

void ZarnPOperationsRoad::didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) {
    c_.gcmClient->didRegisterForRemoteNotificationsWithDeviceToken(deviceToken);
}

void ZarnPOperationsRoad::didFailToRegisterForRemoteNotificationsWithError(const Error& error) {
    c_.gcmClient->didFailToRegisterForRemoteNotificationsWithError(error);
}

void ZarnPOperationsRoad::didReceiveRemoteNotification(
    const Value& userInfo, std::function<void(BackgroundFetchResult)> completion) {
    c_.gcmClient->didReceiveRemoteNotification(userInfo, std::move(completion));
}

}  // namespace zarn
