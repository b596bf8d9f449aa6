#include "services/ZarnPBeaconMatchingService.h"

#include <map>

#include "core/ZarnException.h"
#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPNotification.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "store/ZarnPBeaconNotificationDao.h"
#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPContextualPageDao.h"
#include "store/ZarnPNotificationReadDao.h"
#include "zarn/Value.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "BeaconMatchingService";
constexpr const char* kRunType = "beacon";

std::string joined(const std::set<Uuid>& uuids) {
    std::string out;
    for (const auto& u : uuids) {
        if (!out.empty())
            out += ", ";
        out += ZarnPBeaconUtil::uuidToSaveString(u);
    }
    return out;
}

std::string describe(const std::set<std::string>& ids) {
    std::string out = "{";
    for (const auto& id : ids) out += (out.size() > 1 ? ", " : "") + id;
    return out + "}";
}

bool sameBeacon(const ZarnPNotification& n, const platform::Beacon& b) {
    return n.majorId() && *n.majorId() == b.major && n.minorId() && *n.minorId() == b.minor &&
           n.beaconUuid() && *n.beaconUuid() == Uuid(b.proximityUuid);
}

std::string beaconUuidText(const ZarnPNotification& n) {
    return n.beaconUuid() ? ZarnPBeaconUtil::uuidToSaveString(*n.beaconUuid()) : std::string();
}

// Writes the ranged beacons to the public log; their UUIDs, each once.
std::vector<Uuid> logRangedBeacons(ZarnPSystemPublicLogDao& publicLog,
                                   const std::vector<platform::Beacon>& rangedBeacons,
                                   const std::shared_ptr<ZarnPContext>& context) {
    std::set<Uuid> uuids;
    std::vector<ZarnPSystemPublicLogDao::Beacon> logged;
    for (const auto& b : rangedBeacons) {
        uuids.insert(Uuid(b.proximityUuid));
        logged.push_back({ZarnPBeaconUtil::uuidToSaveString(Uuid(b.proximityUuid)), b.major, b.minor});
    }
    publicLog.logRangedBeacons(logged, context);
    return {uuids.begin(), uuids.end()};
}

}  // namespace

ZarnPBeaconMatchingService::ZarnPBeaconMatchingService(Collaborators collaborators)
    : c_(std::move(collaborators)) {
    ZARN_REQUIRE(c_.beaconNotificationDao);
    ZARN_REQUIRE(c_.eventService);
    ZARN_REQUIRE(c_.notificationReadDao);
    ZARN_REQUIRE(c_.commonMatchService);
    ZARN_REQUIRE(c_.uuidGenerator);
    ZARN_REQUIRE(c_.contextualPageDao);
    ZARN_REQUIRE(c_.clockDao);
    ZARN_REQUIRE(c_.uiNotificationDao);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.contextService);
}

NotificationRequest ZarnPBeaconMatchingService::offerBeaconNotification(const ZarnPNotification& notification,
                                                                        bool isAppInForeground,
                                                                        const std::string& beaconUuid) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto matchIdentifier = c_.uuidGenerator->createLowerCase();
    LogDebug(kDomain, "Offering %@ for beacon %@ as %@", notification.getShortId(), beaconUuid,
             matchIdentifier);
    return c_.uiNotificationDao->createNotification(notification, matchIdentifier,
                                                    ZarnPNotificationRegionTypeBeacon, isAppInForeground);
}

std::vector<ZarnPNotification> ZarnPBeaconMatchingService::candidates(
    const std::shared_ptr<ZarnPLocationWithAccuracy>& location, const std::set<std::string>& enteredIds) {
    std::vector<std::string> include(enteredIds.begin(), enteredIds.end());
    std::vector<ZarnPNotification> found;
    if (location) {
        found = c_.notificationReadDao->findNearestBeaconNotifications(*location, false, include);
    } else {
        // Without a fix only the entered notifications can be judged.
        LogDebug(kDomain, "No location for the beacon run: judging only entered notifications");
        found = c_.notificationReadDao->findByIds(include);
    }
    // The entered ones are added after the nearest ones, so one may come twice.
    std::vector<ZarnPNotification> out;
    std::set<std::string> seen;
    for (auto& n : found)
        if (seen.insert(n.getShortId()).second)
            out.push_back(std::move(n));
    return out;
}

bool ZarnPBeaconMatchingService::isInGroupCooldown(const ZarnPNotification& notification,
                                                   const std::shared_ptr<ZarnPContext>& context) {
    if (!c_.commonMatchService->isInCooldownGroup(
            notification.cooldownGroups(), ZarnPNotificationRegionTypeBeacon, kCooldownGroupSubtractSeconds))
        return false;
    LogDebug(kDomain, "Skipping beacon notification because it is in cooldown period: %@",
             notification.getShortId());
    c_.publicLogDao->logSingleNotificationCooldown(notification.getShortId(), context);
    return true;
}

// What one beacon run knows and decides, sighting by sighting.
struct ZarnPBeaconMatchingService::BeaconRun {
    BeaconRun(bool foreground, const std::shared_ptr<ZarnPContext>& runContext)
        : isAppInForeground(foreground), context(runContext) {}

    const bool isAppInForeground;
    const std::shared_ptr<ZarnPContext>& context;
    std::set<std::string> entered;
    std::set<std::string> justEntered;
    // Decided this run without being entered: not offered, not left.
    std::set<std::string> skipped;
    std::map<std::string, platform::Beacon> toEnter;
    std::vector<NotificationRequest> offers;
    std::optional<ZarnPNotification> page;
};

void ZarnPBeaconMatchingService::checkForBeaconMatches(
    const std::vector<platform::Beacon>& rangedBeacons, bool isAppInForeground,
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask, const std::shared_ptr<ZarnPContext>& context,
    const std::shared_ptr<ZarnPLocationWithAccuracy>& location) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // The entered state and the contextual page: one commit, ended before the offer, whose
    // geotriggers are synced in one more before the app is handed them.
    std::optional<ZarnPCommitGroup> commits(std::in_place, c_.db, ZarnPDurability::Normal, kDomain);
    if (endsForCooldown(context))
        return;
    const std::vector<Uuid> uuids = logRangedBeacons(*c_.publicLogDao, rangedBeacons, context);

    BeaconRun run(isAppInForeground, context);
    run.entered = c_.beaconNotificationDao->getEnteredIdsForBeaconUuids(uuids);
    LogDebug(kDomain, "Previously entered beacon ids:%@", describe(run.entered));
    run.justEntered = c_.beaconNotificationDao->getJustEnteredNotificationsForBeaconUuids(uuids);
    const auto notifications = candidates(location, run.entered);
    for (const auto& beacon : rangedBeacons) {
        int distance = ZarnPBeaconUtil::proximityToDistance(beacon.proximity);
        for (const auto& n : notifications)
            if (sameBeacon(n, beacon) && distance <= n.matchRange())
                judgeSighting(n, beacon, run);
    }
    saveClosestContextualPage(run.page ? &*run.page : nullptr, context);

    if (endsForCooldown(context))
        return;
    const std::set<std::string> left = storeEntered(run);
    for (const auto& n : notifications) {
        if (!n.triggerOnExit() || !left.count(n.getShortId()))
            continue;
        LogDebug(kDomain, "Creating exit notification to be sent %@ - %@", n.getShortId(),
                 n.message().value_or(""));
        run.offers.push_back(offerBeaconNotification(n, isAppInForeground, beaconUuidText(n)));
    }
    commits.reset();
    c_.commonMatchService->sendNotificationsToFilter(run.offers, backgroundTask, context);
}

bool ZarnPBeaconMatchingService::endsForCooldown(const std::shared_ptr<ZarnPContext>& context) {
    if (!c_.commonMatchService->shouldAbortMatchRunBecauseOfCoolDown())
        return false;
    LogDebug(kDomain, "Not checking for beacon matches, because of cooldown");
    c_.contextService->decrementContext(context);
    return true;
}

void ZarnPBeaconMatchingService::judgeSighting(const ZarnPNotification& n, const platform::Beacon& beacon,
                                               BeaconRun& run) {
    auto shortId = n.getShortId();
    // Two sightings of one beacon (or two rangings merged) decide a notification once.
    if (run.toEnter.count(shortId) || run.skipped.count(shortId))
        return;
    if (n.dwellingMinutes() <= 0 && isInGroupCooldown(n, run.context)) {
        run.skipped.insert(shortId);
        return;
    }
    if (n.notificationHandlerType() == ZarnPNotificationHandlerTypeContextualPage) {
        if (!run.page)
            run.page = n;
        return;
    }
    if (run.entered.count(shortId)) {
        LogDebug(kDomain, "Skipping beacon because it was already entered before: %@", shortId);
        run.skipped.insert(shortId);
        return;
    }
    if (run.justEntered.count(shortId)) {
        LogDebug(kDomain, "Skipping beacon because it was just entered");
        run.skipped.insert(shortId);
        return;
    }
    if (n.triggerOnExit()) {
        c_.publicLogDao->logMessageIfEnabled(run.context, "Mark exit beacon entered: %@", shortId);
        run.toEnter[shortId] = beacon;
        return;
    }
    LogDebug(kDomain, "Creating enter notification to be sent %@ - %@", shortId, n.message().value_or(""));
    run.offers.push_back(offerBeaconNotification(n, run.isAppInForeground, beaconUuidText(n)));
    run.toEnter[shortId] = beacon;
}

std::set<std::string> ZarnPBeaconMatchingService::storeEntered(const BeaconRun& run) {
    std::set<std::string> left;
    for (const auto& id : run.entered)
        if (!run.skipped.count(id) && !run.toEnter.count(id))
            left.insert(id);
    c_.beaconNotificationDao->removeEnteredIds({left.begin(), left.end()});
    c_.beaconNotificationDao->saveEntered(run.toEnter);
    return left;
}

void ZarnPBeaconMatchingService::saveClosestContextualPage(const ZarnPNotification* page,
                                                           const std::shared_ptr<ZarnPContext>& context) {
    if (auto error = c_.contextualPageDao->unsetContextualPage(kRunType))
        c_.publicLogDao->logMessageIfEnabled(
            context, "Failed to unset not relevant beacon contextual page. %@", error->description());
    if (!page)
        return;
    auto now = c_.clockDao->now();
    std::optional<Value> payload;
    if (!page->matchPayload().empty())
        payload = Value(page->matchPayload());
    if (auto error = c_.contextualPageDao->setClosestContextualPage(
            page->getShortId(), page->data().value_or(""), payload, now, kRunType)) {
        c_.publicLogDao->logMessageIfEnabled(context, "Failed to save closest beacon contextual page. %@",
                                             error->description());
        return;
    }
    Value extra{{"id", page->getId()},
                {"match_payload", Value(page->matchPayload())},
                {"data", page->data().value_or("")}};
    c_.eventService->logEventWithType(ZarnPLogEventTypeContextualPageTriggered, extra, now, context);
}

void ZarnPBeaconMatchingService::checkForBeaconExited(
    const std::set<Uuid>& exitedBeaconUuids, const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
    const std::shared_ptr<ZarnPContext>& context,
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::optional<ZarnPCommitGroup> commits(std::in_place, c_.db, ZarnPDurability::Normal, kDomain);
    LogDebug(kDomain, "checking beacons exits for UUIDS: %@", joined(exitedBeaconUuids));
    auto entered = c_.beaconNotificationDao->getEnteredIdsForBeaconUuids(
        {exitedBeaconUuids.begin(), exitedBeaconUuids.end()});
    std::vector<NotificationRequest> offers;
    std::set<std::string> exited;
    for (const auto& n : candidates(location, entered)) {
        auto shortId = n.getShortId();
        if (!entered.count(shortId) || !n.beaconUuid() || !exitedBeaconUuids.count(*n.beaconUuid()))
            continue;
        if (n.triggerOnExit() && !isInGroupCooldown(n, context))
            offers.push_back(offerBeaconNotification(n, false, beaconUuidText(n)));
        exited.insert(shortId);
    }
    c_.beaconNotificationDao->removeEnteredIds({exited.begin(), exited.end()});
    commits.reset();
    c_.commonMatchService->sendNotificationsToFilter(offers, backgroundTask, context);
}

void ZarnPBeaconMatchingService::checkForSentDwellingBeacons(const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    for (const auto& expired : c_.beaconNotificationDao->expiredDwellingNotifications(c_.clockDao->now())) {
        c_.eventService->logEventWithType(
            ZarnPLogEventTypeNotificationSent,
            Value{{"notification_id", expired.identifier()}, {"match_id", expired.matchIdentifier()}},
            expired.sendDate(), context);
        c_.beaconNotificationDao->removeUserDwelling(expired.identifier());
        c_.beaconNotificationDao->markUserHasToLeaveFirst(expired.identifier());
        c_.beaconNotificationDao->saveNotificationTrigger(expired.identifier());
        c_.commonMatchService->saveSentDwellingNotification(expired.matchIdentifier(), expired.sendDate());
    }
}

}  // namespace zarn
