#include "services/ZarnPExternalRegionMatchingService.h"

#include <cmath>
#include <exception>
#include <set>
#include <string>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPExternalTriggerType.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPContextualPageDao.h"
#include "store/ZarnPExternalNotificationDao.h"
#include "store/ZarnPNotificationReadDao.h"
#include "store/ZarnPSegmentationHistoryDao.h"
#include "zarn/Value.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "ExternalRegionMatchingService";
constexpr const char* kRunType = "external_region";

bool sameProperties(const ZarnPNotification::TriggerProperties& own, const Value& reported) {
    if (!reported.is_object() || reported.size() != own.size())
        return false;
    for (const auto& [key, value] : own) {
        auto it = reported.find(key);
        if (it == reported.end())
            return false;
        // A property without a value matches a reported null only, never an empty text.
        bool same = value ? it->is_string() && it->get_ref<const std::string&>() == *value : it->is_null();
        if (!same)
            return false;
    }
    return true;
}

// The app's payload as the notifications carry it: texts as they are, other values in their
// JSON form.
ZarnPNotification::StringDictionary payloadTexts(const Value& payload) {
    ZarnPNotification::StringDictionary out;
    for (auto it = payload.begin(); it != payload.end(); ++it)
        out[it.key()] = it->is_string() ? it->get<std::string>() : it->dump();
    return out;
}

}  // namespace

ZarnPExternalRegionMatchingService::ZarnPExternalRegionMatchingService(Collaborators collaborators)
    : c_(std::move(collaborators)) {
    ZARN_REQUIRE(c_.notificationDao);
    ZARN_REQUIRE(c_.notificationReadDao);
    ZARN_REQUIRE(c_.clockDao);
    ZARN_REQUIRE(c_.commonMatchService);
    ZARN_REQUIRE(c_.contextService);
    ZARN_REQUIRE(c_.segmentationHistoryDao);
    ZARN_REQUIRE(c_.contextualPageDao);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.eventService);
}

bool ZarnPExternalRegionMatchingService::isTriggerMatch(const ZarnPNotification& notification,
                                                        const Value& properties) {
    if (!properties.is_array())
        return false;
    for (const auto& reported : properties)
        if (sameProperties(notification.triggerProperties(), reported))
            return true;
    return false;
}

void ZarnPExternalRegionMatchingService::refreshCache(const ZarnPLocationWithAccuracy& location) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::vector<ZarnPNotification> fresh;
    std::set<std::string> seen;
    // One notification per campaign and place, so that a report offers each once.
    for (auto& n : c_.notificationReadDao->findNearestExternalNotifications(location, false, {}))
        if (seen.insert(n.getShortId()).second)
            fresh.push_back(std::move(n));
    cachedNotifications_ = std::move(fresh);
}

void ZarnPExternalRegionMatchingService::clearAccount() {
    ZARN_CHECK_SEQUENCE(sequence_);
    cachedNotifications_ = std::vector<ZarnPNotification>{};
}

void ZarnPExternalRegionMatchingService::checkForExternalRegionMatches(
    const Value& properties, int triggerType, const Value& matchPayload,
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
    const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // The dwellings ended, the contextual page and the segmentation history: one commit.
    ZarnPCommitGroup commits(c_.db, ZarnPDurability::Normal, kDomain);
    if (!properties.is_array())
        LogWarn(kDomain, "Trigger properties are not a list; nothing matches");
    auto dwelling = c_.notificationDao->dwellingNotifications();
    std::vector<ZarnPNotification> offers;
    std::set<std::string> toCancel;
    if (cachedNotifications_) {
        for (const auto& n : *cachedNotifications_) {
            if (triggerType == ZarnPExternalTriggerType::Enter) {
                if (n.triggerOnExit() || !isTriggerMatch(n, properties))
                    continue;
                if (n.notificationHandlerType() == ZarnPNotificationHandlerTypeContextualPage)
                    saveClosestContextualPage(&n, context);
                else
                    offers.push_back(n);
            } else if (triggerType == ZarnPExternalTriggerType::Exit) {
                if (!isTriggerMatch(n, properties))
                    continue;
                if (n.triggerOnExit())
                    offers.push_back(n);
                else if (n.dwellingMinutes() > 0 && dwelling.count(n.getId()))
                    // Left before the dwelling time was over; the dwelling set holds full ids.
                    toCancel.insert(n.getId());
            }
        }
    }

    std::set<std::string> campaignIds;
    for (const auto& n : offers) campaignIds.insert(n.campaignId());
    if (!toCancel.empty())
        c_.commonMatchService->cancelNotifications(toCancel, ZarnPNotificationRegionTypeExternal);

    if (offers.empty()) {
        c_.contextService->decrementContext(context);
        return;
    }
    c_.publicLogDao->logOfferingExternalRegionsCount(static_cast<long>(offers.size()), context);
    if (matchPayload.is_object() && !matchPayload.empty()) {
        auto payload = payloadTexts(matchPayload);
        for (auto& n : offers) n.setMatchPayload(payload);
    }
    c_.commonMatchService->offerNotifications(offers, ZarnPNotificationRegionTypeExternal, backgroundTask,
                                              context);
    try {
        c_.segmentationHistoryDao->saveSegmentationIdsTrigger(
            {campaignIds.begin(), campaignIds.end()},
            static_cast<int64_t>(std::floor(timeIntervalSince1970(c_.clockDao->now()))));
    } catch (const std::exception& e) {
        // The offer is made; only the history count misses this trigger.
        LogError(kDomain, "Failed to record the segmentation trigger: %@", std::string(e.what()));
    }
}

void ZarnPExternalRegionMatchingService::saveClosestContextualPage(
    const ZarnPNotification* notification, const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (auto error = c_.contextualPageDao->unsetContextualPage(kRunType))
        c_.publicLogDao->logMessageIfEnabled(
            context, "Failed to unset not relevant external contextual page. %@", error->description());
    if (!notification)
        return;
    auto now = c_.clockDao->now();
    std::optional<Value> payload;
    if (!notification->matchPayload().empty())
        payload = Value(notification->matchPayload());
    if (auto error = c_.contextualPageDao->setClosestContextualPage(
            notification->getShortId(), notification->data().value_or(""), payload, now, kRunType)) {
        c_.publicLogDao->logMessageIfEnabled(context, "Failed to save closest external  contextual page. %@",
                                             error->description());
        return;
    }
    Value extra{{"id", notification->getId()},
                {"match_payload", Value(notification->matchPayload())},
                {"data", notification->data().value_or("")}};
    c_.eventService->logEventWithType(ZarnPLogEventTypeContextualPageTriggered, extra, now, context);
}

void ZarnPExternalRegionMatchingService::checkForSentDwellingGeofences(
    const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    for (const auto& expired : c_.notificationDao->expiredDwellingNotifications(c_.clockDao->now())) {
        c_.eventService->logEventWithType(
            ZarnPLogEventTypeNotificationSent,
            Value{{"notification_id", expired.identifier()}, {"match_id", expired.matchIdentifier()}},
            expired.sendDate(), context);
        c_.notificationDao->removeUserDwelling(expired.identifier());
        c_.notificationDao->markUserHasToLeaveFirst(expired.identifier());
        c_.notificationDao->saveNotificationTrigger(expired.identifier());
        c_.commonMatchService->saveSentDwellingNotification(expired.matchIdentifier(), expired.sendDate());
    }
}

}  // namespace zarn
