#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPCollaborator.h"
#include "zarn/Error.h"
#include "zarn/NotificationRequest.h"
#include "zarn/Value.h"
#include "zarn/ViewController.h"
#include "zarn/ZarnBase.h"

namespace zarn {

class ZarnPContext;
class ZarnPContextService;
class ZarnPDebugLogMailer;
class ZarnPEventService;
class ZarnPExternalRegionTriggering;
class ZarnPFacadeHops;
class ZarnPFacadeState;
class ZarnPLocationUpdating;
class ZarnPMatchRunDispatching;
class ZarnPNotificationLoading;
class ZarnPPhoneStateReporting;
class ZarnPPushMessaging;
class ZarnPSegmentationSetting;
class ZarnPSentTriggerDao;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;
class ZarnPUINotificationDao;

// The facade's remaining operations: segmentation values, the lists of loaded and sent
// notifications and geotriggers, clearing, attribution, app-reported regions, clearing all
// data, mailing the debug log and the push pass-throughs. Any thread: each posts its work to
// the SDK thread (the lists wait for it), but the push pass-throughs, which go straight on.
class ZarnPOperationsRoad {
  public:
    struct Collaborators {
        ZarnPRequired<ZarnPContextService> contextService;
        ZarnPRequired<ZarnPSegmentationSetting> segmentationService;
        ZarnPRequired<ZarnPSystemPublicLogDao> publicLogDao;
        ZarnPRequired<ZarnPNotificationLoading> notificationService;
        ZarnPRequired<ZarnPUINotificationDao> uiNotificationDao;
        ZarnPRequired<ZarnPSentTriggerDao> sentTriggerDao;
        ZarnPRequired<ZarnPLocationUpdating> locationUpdateService;
        ZarnPRequired<ZarnPEventService> eventService;
        ZarnPRequired<ZarnPPhoneStateReporting> phoneStateService;
        ZarnPRequired<ZarnPMatchRunDispatching> matchService;
        ZarnPRequired<ZarnPSqLiteDb> db;
        ZarnPRequired<ZarnPPushMessaging> gcmClient;
        ZarnPOptional<ZarnPExternalRegionTriggering> externalRegionService;  // without it none is matched
        ZarnPOptional<ZarnPDebugLogMailer> debugLogMailer;                   // without it no mail is sent
    };

    ZarnPOperationsRoad(Collaborators c, const ZarnPFacadeState& state, const ZarnPFacadeHops& hops);

    void setValue(std::optional<std::string> value, const std::string& property);
    void setAdvertisingIdentifier(std::optional<std::string> uuid, bool advertisingTrackingEnabled);
    // Empty unless initialised and enabled.
    std::vector<NotificationRequest> loadedNotifications();
    std::vector<std::shared_ptr<ZarnGeotrigger>> loadedGeotriggers();
    std::vector<std::shared_ptr<ZarnSentNotification>> sentNotifications();
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> sentGeotriggers();
    void clearSentNotifications();
    void clearSentGeotriggers();
    void sendAttributionEvent(const std::string& actionName, const std::string& itemId);
    void externalRegionTrigger(const Value& properties, int triggerType, const Value& matchPayload);
    void clearAllDataAndResetDeviceId();
    void mailDebugLog(std::shared_ptr<ViewController> parent);
    void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken);
    void didFailToRegisterForRemoteNotificationsWithError(const Error& error);
    void didReceiveRemoteNotification(const Value& userInfo,
                                      std::function<void(BackgroundFetchResult)> completion);

  private:
    // Runs the step on the SDK thread and waits for its answer; empty unless initialised and enabled.
    template <typename R>
    R inRunLoopWaiting(R (ZarnPOperationsRoad::*step)());
    void setValueForPropertyInRunLoop(const std::string& value, const std::string& key);
    std::vector<NotificationRequest> loadedNotificationsInRunLoop();
    std::vector<std::shared_ptr<ZarnGeotrigger>> loadedGeotriggersInRunLoop();
    std::vector<std::shared_ptr<ZarnSentNotification>> sentNotificationsInRunLoop();
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> sentGeotriggersInRunLoop();
    void sendAttributionEventInRunLoop(const Value& extra);
    void clearAllDataAndResetDeviceIdInRunLoop(std::shared_ptr<ZarnPContext> context);

    Collaborators c_;
    const ZarnPFacadeState& state_;
    const ZarnPFacadeHops& hops_;
};

}  // namespace zarn
