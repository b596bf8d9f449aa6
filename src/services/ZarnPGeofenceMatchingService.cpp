#include "services/ZarnPGeofenceMatchingService.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <set>
#include <unordered_set>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPNotificationWithDistance.h"
#include "core/ZarnPSegmentationHistoryDao.h"
#include "device/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "store/ZarnPContextualPageDao.h"
#include "store/ZarnPLocalNotificationDao.h"
#include "store/ZarnPNotificationReadDao.h"
#include "zarn/Value.h"

namespace zarn {

namespace {
constexpr const char* kMatchRunType = "geofence";
constexpr int kRegionType = ZarnPNotificationRegionTypeGeofence;

bool holds(const std::set<std::string>& set, const std::string& id) {
    return set.find(id) != set.end();
}

bool isError(const Error& error) {
    return !error.domain.empty() || error.code != 0;
}
}  // namespace

ZarnPGeofenceMatchingService::ZarnPGeofenceMatchingService(Collaborators collaborators)
    : c_(std::move(collaborators)) {
    ZARN_REQUIRE(c_.commonMatchService);
    ZARN_REQUIRE(c_.notificationReadDao);
    ZARN_REQUIRE(c_.notificationDao);
    ZARN_REQUIRE(c_.eventService);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.contextService);
    ZARN_REQUIRE(c_.contextualPageDao);
    ZARN_REQUIRE(c_.clockDao);
    ZARN_REQUIRE(c_.segmentationHistoryDao);
}

std::vector<ZarnPNotification> ZarnPGeofenceMatchingService::filterOutRepeatedNotifications(
    const std::vector<ZarnPNotification>& notifications) {
    std::vector<ZarnPNotification> out;
    out.reserve(notifications.size());
    std::unordered_set<std::string> seen;
    for (const auto& notification : notifications)
        if (seen.insert(notification.getShortId()).second)
            out.push_back(notification);
    return out;
}

bool ZarnPGeofenceMatchingService::isAccurateEnough(double accuracy, int matchRange) {
    return accuracy <= kAccurateFixMeters || accuracy < 2.0 * matchRange;
}

double ZarnPGeofenceMatchingService::exitMargin(int matchRange) {
    return std::clamp(0.2 * matchRange, kMinMarginMeters, kMaxMarginMeters);
}

std::string ZarnPGeofenceMatchingService::shortIdOfIdentifier(const std::string& identifier) {
    // getId extends the short id by ";experiment;number": the short id is up to the second ";".
    auto first = identifier.find(';');
    if (first == std::string::npos)
        return identifier;
    auto second = identifier.find(';', first + 1);
    return second == std::string::npos ? identifier : identifier.substr(0, second);
}

void ZarnPGeofenceMatchingService::checkForSentDwellingGeofences(
    const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto& dao = *c_.notificationDao;
    for (const auto& expired : dao.expiredDwellingNotifications(c_.clockDao->now())) {
        Value extra = Value::object();
        extra["notification_id"] = expired.identifier();
        extra["match_id"] = expired.matchIdentifier();
        c_.eventService->logEventWithType(ZarnPLogEventTypeNotificationSent, extra, expired.sendDate(),
                                          context);
        // The dwelling row is stored under the identifier with experiment; the has-to-leave mark
        // and the segmentation ids are kept under the short id.
        const std::string shortId = shortIdOfIdentifier(expired.identifier());
        dao.removeUserDwelling(expired.identifier());
        dao.markUserHasToLeaveFirst(shortId);
        dao.saveNotificationTrigger(shortId);
        c_.commonMatchService->saveSentDwellingNotification(expired.matchIdentifier(), expired.sendDate());
    }
}

void ZarnPGeofenceMatchingService::checkForGeofenceMatches(
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask, const std::shared_ptr<ZarnPContext>& context,
    const std::shared_ptr<ZarnPLocationWithAccuracy>& location) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!location) {
        LogWarn(kDomain, "No location to check for geofence matches");
        c_.contextService->decrementContext(context);
        return;
    }
    LogDebug(kDomain, "Check for matches from: %f,%f - %f meter", location->latitude(), location->longitude(),
             location->accuracy());
    auto& dao = *c_.notificationDao;
    auto& common = *c_.commonMatchService;
    auto& publicLog = *c_.publicLogDao;

    // Dwelling rows are keyed by the identifier with experiment, the other sets by short id.
    const std::set<std::string> dwelling = dao.dwellingNotifications();
    const std::set<std::string> entered = dao.getUserEntered();
    std::set<std::string> hasToLeave = dao.getUserHasToLeaveNotifications();
    LogDebug(kDomain, "Enter notifications user has to leave: %@",
             std::vector(hasToLeave.begin(), hasToLeave.end()));

    std::set<std::string> includeIds = entered;
    includeIds.insert(hasToLeave.begin(), hasToLeave.end());
    for (const auto& identifier : dwelling) includeIds.insert(shortIdOfIdentifier(identifier));
    auto nearest = filterOutRepeatedNotifications(c_.notificationReadDao->findNearestGeofenceNotifications(
        *location, false, std::vector(includeIds.begin(), includeIds.end())));
    if (IsLogDebugEnabled(kDomain))
        LogDebug(kDomain, "Nearest geofence notifications: %@", nearest);

    const bool increaseMatchRange = common.shouldIncreaseMatchRange();
    publicLog.keepLogFileOpen();
    std::vector<ZarnPNotificationWithDistance> wrapped;
    wrapped.reserve(nearest.size());
    for (auto& notification : nearest) {
        double distance =
            notification.location() ? location->distanceToLocation(*notification.location()) : 0;
        if (increaseMatchRange && notification.matchRange() < kIncreasedMatchRangeMeters)
            notification.setMatchRange(kIncreasedMatchRangeMeters);
        wrapped.push_back({std::move(notification), distance});
    }
    common.monitorNotifications(wrapped);

    std::vector<ZarnPNotification> toOffer;
    std::set<std::string> inExitGeofence;
    std::set<std::string> keptDwelling;
    const ZarnPNotificationWithDistance* closestPage = nullptr;
    LogDebug(kDomain, "exitNotificationsCurrentlyIn: %@", std::vector(entered.begin(), entered.end()));

    for (const auto& item : wrapped) {
        const ZarnPNotification& notification = item.notification;
        const std::string shortId = notification.getShortId();
        const double distance = item.distance;
        const int range = notification.matchRange();

        const bool dwellingKind = notification.dwellingMinutes() > 0;
        const bool inGroupCooldown = common.isInCooldownGroup(
            notification.cooldownGroups(), kRegionType, dwellingKind ? kDwellingCooldownSubtractSeconds : 0);
        const bool accurateEnough = isAccurateEnough(location->accuracy(), range);
        const bool inExitRange = !notification.location() || distance <= range + exitMargin(range);
        // An inaccurate fix never counts as leaving.
        const bool stillThere = inExitRange || !accurateEnough;

        if (holds(dwelling, notification.getId()) && stillThere)
            keptDwelling.insert(notification.getId());

        if (inGroupCooldown) {
            LogDebug(kDomain, "Skipping %@geofence notification because it is in cooldown period: %@",
                     dwellingKind ? "dwelling " : "", shortId);
            publicLog.logSingleNotificationCooldown(shortId, context);
            // Not offered, but the state stays as it is: no fake exit, no second leaving.
            if (notification.triggerOnExit() && holds(entered, shortId) && stillThere)
                inExitGeofence.insert(shortId);
            if (holds(hasToLeave, shortId) && !stillThere)
                hasToLeave.erase(shortId);
            continue;
        }

        if (holds(hasToLeave, shortId)) {
            if (stillThere) {
                publicLog.logUserHasToLeaveFirst(shortId, notification.message(), context);
                continue;
            }
            hasToLeave.erase(shortId);
        }

        if (notification.triggerOnExit() &&
            ((inExitRange && accurateEnough) || (holds(entered, shortId) && !accurateEnough))) {
            LogDebug(kDomain, "user has entered an exit geofence: %@", shortId);
            inExitGeofence.insert(shortId);
            Error error;
            dao.markUserEntered(true, shortId, &error);
            if (isError(error))
                publicLog.logMessageIfEnabled(context, "Error during mark user entered an exit geofence. %@",
                                              error);
        } else if (accurateEnough && inExitRange) {
            if (notification.notificationHandlerType() == ZarnPNotificationHandlerTypeContextualPage) {
                // The nearer page wins; of two at one distance the first stays.
                if (!closestPage || closestPage->distance > distance)
                    closestPage = &item;
            } else {
                toOffer.push_back(notification);
                hasToLeave.insert(shortId);
            }
        }
        publicLog.logNotificationDistance(shortId, notification.message(), range, distance, accurateEnough,
                                          context);
    }

    saveClosestContextualPage(closestPage ? &closestPage->notification : nullptr, context);
    publicLog.stopKeepingLogFileOpen();

    if (common.shouldAbortMatchRunBecauseOfCoolDown()) {
        LogDebug(kDomain, "Not checking for geofence matches, because of cooldown");
        c_.contextService->decrementContext(context);
        return;
    }

    if (auto error = dao.replaceUserHasToLeaveFirstSet(hasToLeave))
        publicLog.logMessageIfEnabled(context, "Failed to replace areas user has to leave. %@", *error);

    for (const auto& exited :
         dao.getAndPurgeUserEntered(std::vector(inExitGeofence.begin(), inExitGeofence.end()))) {
        LogDebug(kDomain, "exitNotificationIdentifiers exit: %@", exited);
        auto it = std::find_if(wrapped.begin(), wrapped.end(),
                               [&](const auto& w) { return w.notification.getShortId() == exited; });
        if (it == wrapped.end())
            continue;
        LogDebug(kDomain, "notificationsToOffer exit: %@", it->notification);
        toOffer.push_back(it->notification);
    }

    std::set<std::string> leftDwelling;
    std::set_difference(dwelling.begin(), dwelling.end(), keptDwelling.begin(), keptDwelling.end(),
                        std::inserter(leftDwelling, leftDwelling.end()));
    if (!leftDwelling.empty())
        common.cancelNotifications(leftDwelling, kRegionType);

    if (toOffer.empty()) {
        c_.contextService->decrementContext(context);
        return;
    }
    if (IsLogDebugEnabled(kDomain))
        LogDebug(kDomain, "Offering notifications and geotriggers: %@", toOffer);
    std::set<std::string> campaignIds;
    for (const auto& notification : toOffer) campaignIds.insert(notification.campaignId());
    common.offerNotifications(toOffer, kRegionType, backgroundTask, context);
    try {
        c_.segmentationHistoryDao->saveSegmentationIdsTrigger(
            std::vector(campaignIds.begin(), campaignIds.end()),
            static_cast<int64_t>(timeIntervalSince1970(c_.clockDao->now())));
    } catch (const std::exception& e) {
        LogError(kDomain, "Failed to save the segmentation history of the offered geofences: %@", e);
    }
}

void ZarnPGeofenceMatchingService::saveClosestContextualPage(const ZarnPNotification* page,
                                                             const std::shared_ptr<ZarnPContext>& context) {
    auto& pages = *c_.contextualPageDao;
    if (auto error = pages.unsetContextualPage(kMatchRunType))
        c_.publicLogDao->logMessageIfEnabled(
            context, "Failed to unset not relevant geofence contextual page. %@", *error);
    if (!page)
        return;
    Value matchPayload = Value::object();
    for (const auto& [key, value] : page->matchPayload()) matchPayload[key] = value;
    const Date now = c_.clockDao->now();
    if (auto error = pages.setClosestContextualPage(page->getShortId(), page->data().value_or(""),
                                                    matchPayload, now, kMatchRunType)) {
        c_.publicLogDao->logMessageIfEnabled(context, "Failed to save closest geofence contextual page. %@",
                                             *error);
        return;
    }
    Value extra = Value::object();
    extra["id"] = page->getId();
    extra["match_payload"] = matchPayload;
    extra["data"] = page->data() ? Value(*page->data()) : Value();
    c_.eventService->logEventWithType(ZarnPLogEventTypeContextualPageTriggered, extra, now, context);
}

}  // namespace zarn
