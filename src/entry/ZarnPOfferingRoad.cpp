#include "entry/ZarnPOfferingRoad.h"

#include <optional>
#include <utility>

#include "core/ZarnException.h"
#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPObjectWithContextWrapper.h"
#include "core/ZarnPSentTrigger.h"
#include "core/ZarnPUserInfoKeys.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "entry/ZarnPAppCall.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "entry/ZarnPZarnFilterNotifications.h"
#include "entry/ZarnPZarnHandleGeotriggers.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPCommonMatching.h"

namespace zarn {

namespace {

// An answer broadcast's entries; nothing when one of them is missing.
struct OfferAnswer {
    std::vector<NotificationRequest> chosen;
    std::vector<NotificationRequest> offered;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask;
    std::shared_ptr<ZarnPContext> zarnContext;
};

std::optional<OfferAnswer> readAnswer(const platform::Broadcast::UserInfo& userInfo, const char* chosenKey,
                                      const char* offeredKey, const char* taskKey) {
    platform::Broadcast b{"", nullptr, userInfo};
    auto chosen = b.get<std::vector<NotificationRequest>>(chosenKey);
    auto offered = b.get<std::vector<NotificationRequest>>(offeredKey);
    auto task = b.get<std::shared_ptr<ZarnPBackgroundTask>>(taskKey);
    auto context = b.get<std::shared_ptr<ZarnPContext>>(broadcast::kHookContextKey);
    if (!chosen || !offered || !task || !*task || !context || !*context)
        return std::nullopt;
    return OfferAnswer{std::move(*chosen), std::move(*offered), std::move(*task), std::move(*context)};
}

std::string offeredIdentifier(const NotificationRequest& request) {
    return ZarnPDictionaryHelper::stringEntry(request.content.userInfo, userinfo::kIdentifier).value_or("");
}

}  // namespace

ZarnPOfferingRoad::ZarnPOfferingRoad(Collaborators c, const ZarnPFacadeState& state,
                                     const ZarnPFacadeHops& hops)
    : c_(std::move(c)), state_(state), hops_(hops) {}

void ZarnPOfferingRoad::startOffering(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> facade) {
    c_.commonMatchService->setDelegate(std::move(facade));
    // The answers of the app-side hooks come back as broadcasts from any thread.
    using Step = void (ZarnPOfferingRoad::*)(const platform::Broadcast&);
    for (auto [name, step] :
         {std::pair<const char*, Step>{broadcast::kOfferedNotificationShow,
                                       &ZarnPOfferingRoad::showFilteredNotifications},
          {broadcast::kOfferedNotificationDealloc, &ZarnPOfferingRoad::filteredNotificationDealloc},
          {broadcast::kOfferedGeotriggerHandled, &ZarnPOfferingRoad::showHandledGeotriggers},
          {broadcast::kOfferedGeotriggerDealloc, &ZarnPOfferingRoad::handledGeotriggerDealloc}}) {
        hops_.observe(this, name, [this, step = step](const platform::Broadcast& b) { (this->*step)(b); });
    }
}

void ZarnPOfferingRoad::stopObserving() {
    hops_.stopObserving(this);
}

void ZarnPOfferingRoad::offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                                std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                                std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_REQUIRE(backgroundTask);
    auto delegate = state_.delegate();
    if (!delegate || !delegate->zarnFilterNotifications) {
        sendNotificationsInRunLoop(notifications, std::move(backgroundTask), std::move(zarnContext));
        return;
    }
    for (auto& request : notifications)
        c_.commonMatchService->notificationIsOffered(offeredIdentifier(request));
    c_.publicLogDao->logOfferNotificationCount(static_cast<long>(notifications.size()), zarnContext);
    auto wrapper = std::make_shared<ZarnPObjectWithContextWrapper>(
        std::make_pair(notifications, std::move(backgroundTask)), std::move(zarnContext));
    hops_.onMainThread([this, wrapper] { offerNotificationOnMainThread(wrapper); });
}

void ZarnPOfferingRoad::offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                                         std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                         std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_REQUIRE(backgroundTask);
    auto delegate = state_.delegate();
    if (!delegate || !delegate->zarnHandleGeotriggers) {
        sendNotificationsInRunLoop(geotriggers, std::move(backgroundTask), std::move(zarnContext));
        return;
    }
    std::vector<std::shared_ptr<ZarnGeotrigger>> offered;
    offered.reserve(geotriggers.size());
    for (auto& request : geotriggers) {
        c_.commonMatchService->notificationIsOffered(offeredIdentifier(request));
        offered.push_back(ZarnGeotrigger::initializeWithUserInfo(request.content.userInfo));
    }
    c_.publicLogDao->logOfferGeotriggerCount(static_cast<long>(offered.size()), zarnContext);
    auto wrapper = std::make_shared<ZarnPObjectWithContextWrapper>(
        std::make_pair(std::move(offered), std::move(backgroundTask)), std::move(zarnContext));
    hops_.onMainThread([this, wrapper] { offerGeotriggerOnMainThread(wrapper); });
}

void ZarnPOfferingRoad::offerNotificationOnMainThread(
    std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper) {
    using Carried = std::pair<std::vector<NotificationRequest>, std::shared_ptr<ZarnPBackgroundTask>>;
    auto carried = wrapper ? wrapper->objectAs<Carried>() : nullptr;
    if (!carried)
        return;
    auto hook = std::make_shared<ZarnPZarnFilterNotifications>(c_.notificationCenter, carried->first,
                                                               carried->second, wrapper->zarnContext());
    wrapper.reset();  // the hook alone holds the task now
    auto delegate = state_.delegate();
    if (delegate && delegate->zarnFilterNotifications)
        callApp("zarnFilterNotifications", [&] { delegate->zarnFilterNotifications(hook); });
}

void ZarnPOfferingRoad::offerGeotriggerOnMainThread(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper) {
    using Carried =
        std::pair<std::vector<std::shared_ptr<ZarnGeotrigger>>, std::shared_ptr<ZarnPBackgroundTask>>;
    auto carried = wrapper ? wrapper->objectAs<Carried>() : nullptr;
    if (!carried)
        return;
    auto hook = std::make_shared<ZarnPZarnHandleGeotriggers>(c_.notificationCenter, carried->first,
                                                             carried->second, wrapper->zarnContext());
    wrapper.reset();
    auto delegate = state_.delegate();
    if (delegate && delegate->zarnHandleGeotriggers)
        callApp("zarnHandleGeotriggers", [&] { delegate->zarnHandleGeotriggers(hook); });
}

void ZarnPOfferingRoad::sendNotificationsInRunLoop(const std::vector<NotificationRequest>& notifications,
                                                   std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                                   std::shared_ptr<ZarnPContext> zarnContext) {
    c_.commonMatchService->showNotifications(notifications, notifications, backgroundTask, zarnContext);
}

// The hooks' answers

void ZarnPOfferingRoad::showFilteredNotifications(const platform::Broadcast& broadcast) {
    hops_.inRunLoop([this, info = broadcast.userInfo] { showFilteredNotificationsInRunLoop(info); });
}

void ZarnPOfferingRoad::showFilteredNotificationsInRunLoop(const platform::Broadcast::UserInfo& userInfo) {
    auto answer = readAnswer(userInfo, broadcast::kNotificationsShowKey, broadcast::kNotificationsOfferedKey,
                             broadcast::kNotificationsBackgroundTaskKey);
    if (!answer) {
        LogDebug(kFacadeDomain,
                 "Filter answer not processed: it was incomplete or the hook had already answered");
        return;
    }
    c_.publicLogDao->logPassedNotificationCount(static_cast<long>(answer->chosen.size()),
                                                answer->zarnContext);
    c_.commonMatchService->showNotifications(answer->chosen, answer->offered, answer->backgroundTask,
                                             answer->zarnContext);
}

void ZarnPOfferingRoad::filteredNotificationDealloc(const platform::Broadcast& broadcast) {
    auto offered = broadcast.get<std::vector<NotificationRequest>>(broadcast::kNotificationsOfferedKey);
    if (!offered)
        return;
    hops_.inRunLoop([this, offered = std::move(*offered)] { filteredNotificationDeallocInRunLoop(offered); });
}

void ZarnPOfferingRoad::filteredNotificationDeallocInRunLoop(
    const std::vector<NotificationRequest>& offered) {
    c_.commonMatchService->filteredNotificationsDealloc(offered);
}

void ZarnPOfferingRoad::showHandledGeotriggers(const platform::Broadcast& broadcast) {
    hops_.inRunLoop([this, info = broadcast.userInfo] { showHandledGeotriggersInRunLoop(info); });
}

void ZarnPOfferingRoad::showHandledGeotriggersInRunLoop(const platform::Broadcast::UserInfo& userInfo) {
    auto answer = readAnswer(userInfo, broadcast::kGeotriggersHandledKey, broadcast::kGeotriggersOfferedKey,
                             broadcast::kGeotriggersBackgroundTaskKey);
    if (!answer) {
        LogDebug(kFacadeDomain,
                 "Geotrigger answer not processed: it was incomplete or the hook had already answered");
        return;
    }
    c_.publicLogDao->logPassedGeotriggerCount(static_cast<long>(answer->chosen.size()), answer->zarnContext);
    c_.commonMatchService->showNotifications(answer->chosen, answer->offered, answer->backgroundTask,
                                             answer->zarnContext);
}

void ZarnPOfferingRoad::handledGeotriggerDealloc(const platform::Broadcast& broadcast) {
    auto offered =
        broadcast.get<std::vector<std::shared_ptr<ZarnGeotrigger>>>(broadcast::kGeotriggersOfferedKey);
    if (!offered)
        return;
    hops_.inRunLoop([this, offered = std::move(*offered)] { filteredGeotriggerDeallocInRunLoop(offered); });
}

void ZarnPOfferingRoad::filteredGeotriggerDeallocInRunLoop(
    const std::vector<std::shared_ptr<ZarnGeotrigger>>& offered) {
    c_.commonMatchService->filteredGeotriggerDealloc(offered);
}

// A shown notification, reported to the app

void ZarnPOfferingRoad::notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    auto delegate = state_.delegate();
    if (!sentTrigger || !delegate || !delegate->zarnNotificationSentEvent)
        return;
    auto sent = c_.uiNotificationDao->createSentNotification(*sentTrigger);
    hops_.onMainThread([this, sent] { notificationSentEventOnMainThread(sent); });
}

void ZarnPOfferingRoad::notificationSentEventOnMainThread(
    std::shared_ptr<ZarnSentNotification> sentNotification) {
    auto delegate = state_.delegate();
    if (delegate && delegate->zarnNotificationSentEvent)
        callApp("zarnNotificationSentEvent", [&] { delegate->zarnNotificationSentEvent(sentNotification); });
}

}  // namespace zarn
