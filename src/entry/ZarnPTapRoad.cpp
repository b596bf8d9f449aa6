#include "entry/ZarnPTapRoad.h"

#include "core/ZarnPClockDao.h"
#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPObjectWithContextWrapper.h"
#include "core/ZarnPSentTrigger.h"
#include "core/ZarnPUserInfoKeys.h"
#include "device/exchange/ZarnPApplink.h"
#include "device/exchange/ZarnPApplinkMarshaller.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "entry/ZarnPAppCall.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "services/ZarnPBeaconMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPGeofenceMatching.h"
#include "services/ZarnPLandingPageShowing.h"
#include "services/ZarnPLocationUpdating.h"
#include "store/ZarnPSentTriggerDao.h"
#include "zarn/platform/LocalNotificationCenter.h"
#include "zarn/platform/UrlOpener.h"

namespace zarn {

namespace {

std::string actionOf(const NotificationRequest& request) {
    return ZarnPDictionaryHelper::stringEntry(request.content.userInfo, userinfo::kAction).value_or("");
}

// Opens `url`, or logs that it could not.
void openOrLog(const std::shared_ptr<platform::UrlOpener>& opener, const std::string& url) {
    if (!opener) {
        LogError(kFacadeDomain, "Unable to open url.");
        return;
    }
    opener->openUrl(url, [](bool success) {
        if (!success)
            LogError(kFacadeDomain, "Unable to open url.");
    });
}

}  // namespace

ZarnPTapRoad::ZarnPTapRoad(Collaborators c, const ZarnPFacadeState& state, const ZarnPFacadeHops& hops)
    : c_(std::move(c)), state_(state), hops_(hops) {}

void ZarnPTapRoad::handleNotification(const NotificationResponse& response,
                                      std::shared_ptr<ZarnPContext> zarnContext) {
    auto wrapper = std::make_shared<ZarnPObjectWithContextWrapper>(response, std::move(zarnContext));
    hops_.inRunLoop([this, wrapper] { handleNotificationInRunLoop(wrapper); });
}

void ZarnPTapRoad::handleNotificationInRunLoop(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper) {
    auto response = wrapper ? wrapper->objectAs<NotificationResponse>() : nullptr;
    auto context = wrapper ? wrapper->zarnContext() : nullptr;
    const NotificationRequest* request = response ? &response->notification.request : nullptr;
    if (!request || !ZarnPDictionaryHelper::stringEntry(request->content.userInfo, userinfo::kAction)) {
        // Nothing follows that would release the context opened for the tap.
        LogDebug(kFacadeDomain, "Tapped notification without an action; ignoring it");
        c_.contextService->decrementContext(context);
        return;
    }
    if (c_.localNotificationCenter)
        c_.localNotificationCenter->removePendingNotificationRequests({request->identifier});
    auto type =
        ZarnPDictionaryHelper::stringEntry(request->content.userInfo, userinfo::kNotificationHandlerType)
            .value_or("");
    auto delegate = state_.delegate();
    if (type == userinfo::kHandlerLandingPage)
        handleNotificationLandingPage(*response, context);
    else if (type == userinfo::kHandlerApplink)
        handleNotificationApplink(*response, context);
    else if (delegate && (delegate->zarnHandleNotificationData || delegate->zarnHandleNotificationResponse))
        handleNotificationExternally(*response, context);
    else
        handleNotificationInternally(*response, context);
}

void ZarnPTapRoad::handleNotificationLandingPage(const NotificationResponse& response,
                                                 std::shared_ptr<ZarnPContext> zarnContext) {
    auto& request = response.notification.request;
    openedNotification(request, std::move(zarnContext));
    hops_.onMainThread([this, action = actionOf(request)] { showLandingPage(action); });
}

void ZarnPTapRoad::handleNotificationApplink(const NotificationResponse& response,
                                             std::shared_ptr<ZarnPContext> zarnContext) {
    auto& request = response.notification.request;
    openedNotification(request, std::move(zarnContext));
    // An action that is no app link has nothing to open; the marshaller has said why.
    auto applink = ZarnPApplinkMarshaller::createApplinkFromJsonString(actionOf(request));
    if (!applink)
        return;
    hops_.onMainThread([this, applink] { showApplink(applink); });
}

void ZarnPTapRoad::handleNotificationExternally(const NotificationResponse& response,
                                                std::shared_ptr<ZarnPContext> zarnContext) {
    openedNotification(response.notification.request, std::move(zarnContext));
    hops_.onMainThread([this, response] { handleNotificationExternallyByCallingCallback(response); });
}

void ZarnPTapRoad::handleNotificationInternally(const NotificationResponse& response,
                                                std::shared_ptr<ZarnPContext> zarnContext) {
    auto& request = response.notification.request;
    openedNotification(request, std::move(zarnContext));
    auto action = actionOf(request);
    if (!action.empty())
        hops_.onMainThread([this, action] { openUrl(action); });
}

void ZarnPTapRoad::openedNotification(const NotificationRequest& request,
                                      std::shared_ptr<ZarnPContext> zarnContext) {
    auto& userInfo = request.content.userInfo;
    auto identifierWithExperiment =
        ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kIdentifierWithExperiment);
    auto matchIdentifier = ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kMatchIdentifier);
    // A failing dwelling check must not stop the opening from being recorded.
    try {
        c_.geofenceMatchService->checkForSentDwellingGeofences(zarnContext);
        c_.beaconMatchService->checkForSentDwellingBeacons(zarnContext);
    } catch (const std::exception& e) {
        LogError(kFacadeDomain, "Dwelling check failed: %@", e.what());
    }
    c_.locationUpdateService->performFullUpdateOrLogCurrentLocationWithContext(zarnContext);
    Value extra = Value::object();
    if (identifierWithExperiment)
        extra["notification_id"] = *identifierWithExperiment;
    if (matchIdentifier)
        extra["match_id"] = *matchIdentifier;
    c_.eventService->logEventWithType(ZarnPLogEventTypeNotificationViewed, extra, zarnContext);
    c_.publicLogDao->logNotificationOpened(identifierWithExperiment.value_or(""), request.content.body,
                                           zarnContext);
    if (!matchIdentifier) {
        LogDebug(kFacadeDomain, "Opened notification has no matchIdentifier; not marking it opened");
    } else if (auto error = c_.sentTriggerDao->markNotificationOpened(*matchIdentifier, c_.clockDao->now())) {
        LogNsError(kFacadeDomain, *error, "Unable to mark notification opened");
    }
    if (matchIdentifier) {
        if (auto sent = c_.sentTriggerDao->sentNotification(*matchIdentifier))
            notificationOpenedEvent(std::move(sent));
        else
            LogDebug(kFacadeDomain, "No sent notification %@; the app is not told of the opening",
                     *matchIdentifier);
    }
    c_.contextService->decrementContext(zarnContext);
}

void ZarnPTapRoad::notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    auto delegate = state_.delegate();
    if (!sentTrigger || !delegate || !delegate->zarnNotificationOpenedEvent)
        return;
    auto sent = c_.uiNotificationDao->createSentNotification(*sentTrigger);
    hops_.onMainThread([this, sent] { notificationOpenedEventOnMainThread(sent); });
}

// Main-thread steps

void ZarnPTapRoad::notificationOpenedEventOnMainThread(
    std::shared_ptr<ZarnSentNotification> sentNotification) {
    auto delegate = state_.delegate();
    if (delegate && delegate->zarnNotificationOpenedEvent)
        callApp("zarnNotificationOpenedEvent",
                [&] { delegate->zarnNotificationOpenedEvent(sentNotification); });
}

void ZarnPTapRoad::showLandingPage(const std::string& action) {
    callApp("showLandingPage", [&] { c_.landingPage->showLandingPage(action); });
}

void ZarnPTapRoad::showApplink(std::shared_ptr<ZarnPApplink> applink) {
    auto fallback = applink ? applink->iosFallbackUrl() : std::nullopt;
    // Without a fallback nothing more happens; only a fallback that fails too is an error.
    auto openFallback = [opener = c_.urlOpener, fallback] {
        if (fallback)
            openOrLog(opener, *fallback);
    };
    auto appUrl = applink ? applink->iosAppUrl() : std::nullopt;
    if (!appUrl || !c_.urlOpener) {
        openFallback();
        return;
    }
    c_.urlOpener->openUrl(*appUrl, [openFallback](bool success) {
        if (!success)
            openFallback();
    });
}

void ZarnPTapRoad::handleNotificationExternallyByCallingCallback(const NotificationResponse& response) {
    auto delegate = state_.delegate();
    if (!delegate)
        return;
    auto& request = response.notification.request;
    auto action = actionOf(request);
    if (delegate->zarnHandleNotificationData)
        callApp("zarnHandleNotification", [&] { delegate->zarnHandleNotificationData(request, action); });
    if (delegate->zarnHandleNotificationResponse)
        callApp("zarnHandleNotification",
                [&] { delegate->zarnHandleNotificationResponse(action, response); });
}

void ZarnPTapRoad::openUrl(const std::string& url) {
    openOrLog(c_.urlOpener, url);
}

}  // namespace zarn
