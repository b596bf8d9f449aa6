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
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPNotificationWithDistance.h"
#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPContextualPageDao.h"
#include "store/ZarnPLocalNotificationDao.h"
#include "store/ZarnPNotificationReadDao.h"
#include "store/ZarnPSegmentationHistoryDao.h"
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

using Service = ZarnPGeofenceMatchingService;

// The state a run starts from. Dwelling rows are keyed by the identifier with experiment, the
// other sets by short id.
struct StoredSets {
    std::set<std::string> dwelling;
    std::set<std::string> entered;
    std::set<std::string> hasToLeave;
};

// Where the fix puts the user against one geofence.
struct Standing {
    bool accurateEnough = false;
    bool inExitRange = false;
    // An inaccurate fix never counts as leaving.
    bool stillThere = false;
};

Standing standingOf(const ZarnPNotificationWithDistance& item, double accuracy) {
    const ZarnPNotification& notification = item.notification;
    const int range = notification.matchRange();
    Standing standing;
    standing.accurateEnough = Service::isAccurateEnough(accuracy, range);
    standing.inExitRange = !notification.location() || item.distance <= range + Service::exitMargin(range);
    standing.stillThere = standing.inExitRange || !standing.accurateEnough;
    return standing;
}

StoredSets readStoredSets(ZarnPLocalNotificationDao& dao) {
    StoredSets sets{dao.dwellingNotifications(), dao.getUserEntered(), dao.getUserHasToLeaveNotifications()};
    LogDebug(Service::kDomain, "Enter notifications user has to leave: %@",
             std::vector(sets.hasToLeave.begin(), sets.hasToLeave.end()));
    return sets;
}

// The nearest geofence notifications, the stored sets' ones included, each short id once.
std::vector<ZarnPNotification> readNearest(ZarnPNotificationReadDao& readDao,
                                           const ZarnPLocationWithAccuracy& location,
                                           const StoredSets& sets) {
    std::set<std::string> includeIds = sets.entered;
    includeIds.insert(sets.hasToLeave.begin(), sets.hasToLeave.end());
    for (const auto& identifier : sets.dwelling) includeIds.insert(Service::shortIdOfIdentifier(identifier));
    auto nearest = Service::filterOutRepeatedNotifications(readDao.findNearestGeofenceNotifications(
        location, false, std::vector(includeIds.begin(), includeIds.end())));
    if (IsLogDebugEnabled(Service::kDomain))
        LogDebug(Service::kDomain, "Nearest geofence notifications: %@", nearest);
    return nearest;
}

// Each notification with its distance from the fix, its match range raised for this run where
// the device matches on a larger radius.
std::vector<ZarnPNotificationWithDistance> withDistances(std::vector<ZarnPNotification> nearest,
                                                         const ZarnPLocationWithAccuracy& location,
                                                         bool increaseMatchRange) {
    std::vector<ZarnPNotificationWithDistance> wrapped;
    wrapped.reserve(nearest.size());
    for (auto& notification : nearest) {
        double distance = notification.location() ? location.distanceToLocation(*notification.location()) : 0;
        if (increaseMatchRange && notification.matchRange() < Service::kIncreasedMatchRangeMeters)
            notification.setMatchRange(Service::kIncreasedMatchRangeMeters);
        wrapped.push_back({std::move(notification), distance});
    }
    return wrapped;
}

// One run's judgement of the nearest notifications and what follows from it. The has-to-leave
// set is changed as the run goes and stored only when the run is not ended by the cooldown.
class GeofenceMatchRun {
  public:
    GeofenceMatchRun(const Service::Collaborators& c, const ZarnPLocationWithAccuracy& location,
                     const std::shared_ptr<ZarnPContext>& context, StoredSets sets)
        : c_(c), location_(location), context_(context), sets_(std::move(sets)) {}

    void judgeAll(const std::vector<ZarnPNotificationWithDistance>& wrapped);
    const ZarnPNotification* closestPage() const {
        return closestPage_ ? &closestPage_->notification : nullptr;
    }
    void storeHasToLeave();
    void addExits(const std::vector<ZarnPNotificationWithDistance>& wrapped);
    void cancelLeftDwellings();
    void offer(const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask);

  private:
    void judge(const ZarnPNotificationWithDistance& item);
    void skipInGroupCooldown(const ZarnPNotification& notification, const Standing& standing,
                             bool dwellingKind);
    void markEnteredExitGeofence(const std::string& shortId);
    void takeInRange(const ZarnPNotificationWithDistance& item);
    void saveSegmentationHistory();

    const Service::Collaborators& c_;
    const ZarnPLocationWithAccuracy& location_;
    const std::shared_ptr<ZarnPContext>& context_;
    StoredSets sets_;
    std::vector<ZarnPNotification> toOffer_;
    std::set<std::string> inExitGeofence_;
    std::set<std::string> keptDwelling_;
    const ZarnPNotificationWithDistance* closestPage_ = nullptr;
};

void GeofenceMatchRun::judgeAll(const std::vector<ZarnPNotificationWithDistance>& wrapped) {
    LogDebug(Service::kDomain, "exitNotificationsCurrentlyIn: %@",
             std::vector(sets_.entered.begin(), sets_.entered.end()));
    for (const auto& item : wrapped) judge(item);
}

void GeofenceMatchRun::judge(const ZarnPNotificationWithDistance& item) {
    const ZarnPNotification& notification = item.notification;
    const std::string shortId = notification.getShortId();
    const bool dwellingKind = notification.dwellingMinutes() > 0;
    const bool inGroupCooldown = c_.commonMatchService->isInCooldownGroup(
        notification.cooldownGroups(), kRegionType,
        dwellingKind ? Service::kDwellingCooldownSubtractSeconds : 0);
    const Standing standing = standingOf(item, location_.accuracy());

    if (holds(sets_.dwelling, notification.getId()) && standing.stillThere)
        keptDwelling_.insert(notification.getId());
    if (inGroupCooldown) {
        skipInGroupCooldown(notification, standing, dwellingKind);
        return;
    }
    if (holds(sets_.hasToLeave, shortId)) {
        if (standing.stillThere) {
            c_.publicLogDao->logUserHasToLeaveFirst(shortId, notification.message(), context_);
            return;
        }
        sets_.hasToLeave.erase(shortId);
    }
    if (notification.triggerOnExit() && ((standing.inExitRange && standing.accurateEnough) ||
                                         (holds(sets_.entered, shortId) && !standing.accurateEnough)))
        markEnteredExitGeofence(shortId);
    else if (standing.accurateEnough && standing.inExitRange)
        takeInRange(item);
    c_.publicLogDao->logNotificationDistance(shortId, notification.message(), notification.matchRange(),
                                             item.distance, standing.accurateEnough, context_);
}

void GeofenceMatchRun::skipInGroupCooldown(const ZarnPNotification& notification, const Standing& standing,
                                           bool dwellingKind) {
    const std::string shortId = notification.getShortId();
    LogDebug(Service::kDomain, "Skipping %@geofence notification because it is in cooldown period: %@",
             dwellingKind ? "dwelling " : "", shortId);
    c_.publicLogDao->logSingleNotificationCooldown(shortId, context_);
    // Not offered, but the state stays as it is: no fake exit, no second leaving.
    if (notification.triggerOnExit() && holds(sets_.entered, shortId) && standing.stillThere)
        inExitGeofence_.insert(shortId);
    if (holds(sets_.hasToLeave, shortId) && !standing.stillThere)
        sets_.hasToLeave.erase(shortId);
}

void GeofenceMatchRun::markEnteredExitGeofence(const std::string& shortId) {
    LogDebug(Service::kDomain, "user has entered an exit geofence: %@", shortId);
    inExitGeofence_.insert(shortId);
    Error error;
    c_.notificationDao->markUserEntered(true, shortId, &error);
    if (isError(error))
        c_.publicLogDao->logMessageIfEnabled(context_, "Error during mark user entered an exit geofence. %@",
                                             error);
}

void GeofenceMatchRun::takeInRange(const ZarnPNotificationWithDistance& item) {
    if (item.notification.notificationHandlerType() == ZarnPNotificationHandlerTypeContextualPage) {
        // The nearer page wins; of two at one distance the first stays.
        if (!closestPage_ || closestPage_->distance > item.distance)
            closestPage_ = &item;
        return;
    }
    toOffer_.push_back(item.notification);
    sets_.hasToLeave.insert(item.notification.getShortId());
}

void GeofenceMatchRun::storeHasToLeave() {
    if (auto error = c_.notificationDao->replaceUserHasToLeaveFirstSet(sets_.hasToLeave))
        c_.publicLogDao->logMessageIfEnabled(context_, "Failed to replace areas user has to leave. %@",
                                             *error);
}

// The entered exit geofences the user is no longer in are offered.
void GeofenceMatchRun::addExits(const std::vector<ZarnPNotificationWithDistance>& wrapped) {
    for (const auto& exited : c_.notificationDao->getAndPurgeUserEntered(
             std::vector(inExitGeofence_.begin(), inExitGeofence_.end()))) {
        LogDebug(Service::kDomain, "exitNotificationIdentifiers exit: %@", exited);
        auto it = std::find_if(wrapped.begin(), wrapped.end(),
                               [&](const auto& w) { return w.notification.getShortId() == exited; });
        if (it == wrapped.end())
            continue;
        LogDebug(Service::kDomain, "notificationsToOffer exit: %@", it->notification);
        toOffer_.push_back(it->notification);
    }
}

void GeofenceMatchRun::cancelLeftDwellings() {
    std::set<std::string> leftDwelling;
    std::set_difference(sets_.dwelling.begin(), sets_.dwelling.end(), keptDwelling_.begin(),
                        keptDwelling_.end(), std::inserter(leftDwelling, leftDwelling.end()));
    if (!leftDwelling.empty())
        c_.commonMatchService->cancelNotifications(leftDwelling, kRegionType);
}

// Hands the matches to the common matching, or releases the context when there are none.
void GeofenceMatchRun::offer(const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask) {
    if (toOffer_.empty()) {
        c_.contextService->decrementContext(context_);
        return;
    }
    if (IsLogDebugEnabled(Service::kDomain))
        LogDebug(Service::kDomain, "Offering notifications and geotriggers: %@", toOffer_);
    c_.commonMatchService->offerNotifications(toOffer_, kRegionType, backgroundTask, context_);
    saveSegmentationHistory();
}

void GeofenceMatchRun::saveSegmentationHistory() {
    std::set<std::string> campaignIds;
    for (const auto& notification : toOffer_) campaignIds.insert(notification.campaignId());
    try {
        c_.segmentationHistoryDao->saveSegmentationIdsTrigger(
            std::vector(campaignIds.begin(), campaignIds.end()),
            static_cast<int64_t>(timeIntervalSince1970(c_.clockDao->now())));
    } catch (const std::exception& e) {
        LogError(Service::kDomain, "Failed to save the segmentation history of the offered geofences: %@", e);
    }
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
    // The state, the contextual page and the segmentation history of the run: one commit. The
    // notifications it offers are shown in one more, once the app's filter has answered.
    // None of it is told to anyone: the app hears of the offer after the run (the foreground
    // question goes through the main thread).
    ZarnPCommitGroup commits(c_.db, ZarnPDurability::Normal, kDomain);
    auto& common = *c_.commonMatchService;
    auto& publicLog = *c_.publicLogDao;

    StoredSets sets = readStoredSets(*c_.notificationDao);
    auto nearest = readNearest(*c_.notificationReadDao, *location, sets);
    const bool increaseMatchRange = common.shouldIncreaseMatchRange();
    publicLog.keepLogFileOpen();
    const auto wrapped = withDistances(std::move(nearest), *location, increaseMatchRange);
    common.monitorNotifications(wrapped);

    GeofenceMatchRun run(c_, *location, context, std::move(sets));
    run.judgeAll(wrapped);
    saveClosestContextualPage(run.closestPage(), context);
    publicLog.stopKeepingLogFileOpen();

    if (common.shouldAbortMatchRunBecauseOfCoolDown()) {
        LogDebug(kDomain, "Not checking for geofence matches, because of cooldown");
        c_.contextService->decrementContext(context);
        return;
    }
    run.storeHasToLeave();
    run.addExits(wrapped);
    run.cancelLeftDwellings();
    run.offer(backgroundTask);
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
