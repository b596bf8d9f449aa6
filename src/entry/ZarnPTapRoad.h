#pragma once
#include <memory>
#include <string>

#include "core/ZarnPCollaborator.h"
#include "zarn/NotificationRequest.h"

namespace zarn {

class ZarnPApplink;
class ZarnPBeaconMatching;
class ZarnPClockDao;
class ZarnPContext;
class ZarnPContextService;
class ZarnPEventService;
class ZarnPFacadeHops;
class ZarnPFacadeState;
class ZarnPGeofenceMatching;
class ZarnPLandingPageShowing;
class ZarnPLocationUpdating;
class ZarnPObjectWithContextWrapper;
class ZarnPSentTrigger;
class ZarnPSentTriggerDao;
class ZarnPSystemPublicLogDao;
class ZarnPUINotificationDao;
class ZarnSentNotification;
namespace platform {
class LocalNotificationCenter;
class UrlOpener;
}  // namespace platform

// The facade's tap road: a tapped notification of the library's own is moved to the SDK
// thread, its opening recorded (dwelling checks, an update, "notification_viewed", the sent
// trigger marked opened, the app told), and then, by its handler type, the landing page, the
// app link, the app's handler or the action as an address is opened on the main thread.
class ZarnPTapRoad {
  public:
    struct Collaborators {
        ZarnPRequired<ZarnPContextService> contextService;
        ZarnPRequired<ZarnPGeofenceMatching> geofenceMatchService;
        ZarnPRequired<ZarnPBeaconMatching> beaconMatchService;
        ZarnPRequired<ZarnPLocationUpdating> locationUpdateService;
        ZarnPRequired<ZarnPEventService> eventService;
        ZarnPRequired<ZarnPSystemPublicLogDao> publicLogDao;
        ZarnPRequired<ZarnPSentTriggerDao> sentTriggerDao;
        ZarnPRequired<ZarnPClockDao> clockDao;
        ZarnPRequired<ZarnPUINotificationDao> uiNotificationDao;
        ZarnPRequired<ZarnPLandingPageShowing> landingPage;
        // without it a tapped notification's pending request stays scheduled
        ZarnPOptional<platform::LocalNotificationCenter> localNotificationCenter;
        ZarnPOptional<platform::UrlOpener> urlOpener;  // without it no address opens
    };

    ZarnPTapRoad(Collaborators c, const ZarnPFacadeState& state, const ZarnPFacadeHops& hops);

    // Any thread; returns at once.
    void handleNotification(const NotificationResponse& response, std::shared_ptr<ZarnPContext> zarnContext);
    // SDK thread: the app hears of the opening on the main thread.
    void notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger);

  private:
    void handleNotificationInRunLoop(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper);
    void handleNotificationLandingPage(const NotificationResponse& response,
                                       std::shared_ptr<ZarnPContext> zarnContext);
    void handleNotificationApplink(const NotificationResponse& response,
                                   std::shared_ptr<ZarnPContext> zarnContext);
    void handleNotificationExternally(const NotificationResponse& response,
                                      std::shared_ptr<ZarnPContext> zarnContext);
    void handleNotificationInternally(const NotificationResponse& response,
                                      std::shared_ptr<ZarnPContext> zarnContext);
    void openedNotification(const NotificationRequest& request, std::shared_ptr<ZarnPContext> zarnContext);
    // Main thread.
    void showLandingPage(const std::string& action);
    void showApplink(std::shared_ptr<ZarnPApplink> applink);
    void handleNotificationExternallyByCallingCallback(const NotificationResponse& response);
    void openUrl(const std::string& url);
    void notificationOpenedEventOnMainThread(std::shared_ptr<ZarnSentNotification> sentNotification);

    Collaborators c_;
    const ZarnPFacadeState& state_;
    const ZarnPFacadeHops& hops_;
};

}  // namespace zarn
