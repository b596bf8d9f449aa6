#include "services/ZarnPCommonMatchService.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPStringReading.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUserInfoKeys.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/system/ZarnPDeviceDataDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPGeofence.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventLogging.h"
#include "store/ZarnPBeaconNotificationDao.h"
#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPExternalNotificationDao.h"
#include "store/ZarnPLocalNotificationDao.h"
#include "store/ZarnPSentTriggerDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPTransaction.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/ZarnValues.h"

namespace zarn {

namespace {
constexpr int kProvisionalStatus = 3;

std::vector<ZarnPCooldownGroup> cooldownGroupsOf(const Value& userInfo) {
    std::vector<ZarnPCooldownGroup> groups;
    const Value* list = ZarnPDictionaryHelper::entry(userInfo, userinfo::kCooldownGroups);
    if (!list || !list->is_array())
        return groups;
    for (const auto& item : *list)
        if (auto group = ZarnPCooldownGroup::fromDictionary(item))
            groups.push_back(*group);
    return groups;
}

Value matchPayloadOf(const Value& userInfo) {
    const Value* payload = ZarnPDictionaryHelper::entry(userInfo, userinfo::kMatchPayload);
    return payload && payload->is_object() ? *payload : Value::object();
}

// The short id ("campaign;region") of a notification identifier, with or without experiment.
std::string shortIdOf(const std::string& identifier) {
    auto first = identifier.find(';');
    if (first == std::string::npos)
        return identifier;
    auto second = identifier.find(';', first + 1);
    return second == std::string::npos ? identifier : identifier.substr(0, second);
}

Value eventExtras(const char* idKey, const std::optional<std::string>& identifierWithExperiment,
                  const std::optional<std::string>& matchIdentifier, const Value& userInfo) {
    Value extras = Value::object();
    if (identifierWithExperiment)
        extras[idKey] = *identifierWithExperiment;
    if (matchIdentifier)
        extras["match_id"] = *matchIdentifier;
    return ZarnPCommonMatchService::addPayloadToEventsDict(extras, matchPayloadOf(userInfo));
}

// Takes one offer of `identifier` (when there is one) off the list of those being offered.
void forgetOffered(std::vector<std::string>& offered, const std::optional<std::string>& identifier) {
    if (!identifier)
        return;
    auto it = std::find(offered.begin(), offered.end(), *identifier);
    if (it != offered.end())
        offered.erase(it);
}
}  // namespace

std::shared_ptr<ZarnPCommonMatchService> ZarnPCommonMatchService::create(Collaborators collaborators) {
    return std::shared_ptr<ZarnPCommonMatchService>(new ZarnPCommonMatchService(std::move(collaborators)));
}

ZarnPCommonMatchService::ZarnPCommonMatchService(Collaborators collaborators) : c_(std::move(collaborators)) {
    ZARN_REQUIRE(c_.notificationDao);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.deviceDataDao);
    ZARN_REQUIRE(c_.contextualPageDao);
    ZARN_REQUIRE(c_.sentTriggerDao);
    ZARN_REQUIRE(c_.keyValueDao);
    ZARN_REQUIRE(c_.clockDao);
    ZARN_REQUIRE(c_.contextService);
    ZARN_REQUIRE(c_.uiNotificationDao);
    ZARN_REQUIRE(c_.fenceDao);
    ZARN_REQUIRE(c_.uuidGenerator);
    ZARN_REQUIRE(c_.beaconNotificationDao);
    ZARN_REQUIRE(c_.externalNotificationDao);
    ZARN_REQUIRE(c_.eventService);
    ZARN_REQUIRE(c_.timerDao);
}

void ZarnPCommonMatchService::setDelegate(
    std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate) {
    MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<ZarnPMatchServiceOfferNotificationDelegate> ZarnPCommonMatchService::delegate() const {
    MutexLock lock(mutex_);
    return delegate_.lock();
}

ZarnPMatchStateDao& ZarnPCommonMatchService::stateDao(int regionType) const {
    switch (regionType) {
        case ZarnPNotificationRegionTypeBeacon:
            return *c_.beaconNotificationDao;
        case ZarnPNotificationRegionTypeExternal:
            return *c_.externalNotificationDao;
        default:
            return *c_.notificationDao;
    }
}

int ZarnPCommonMatchService::getCooldownPeriod() {
    ZARN_CHECK_SEQUENCE(sequence_);
    // A missing override is no override: reading it as 0 would silence the served period.
    if (c_.keyValueDao->getPropertyValueForKey(setting::kCooldownPeriodOverride)) {
        int override = c_.keyValueDao->getIntPropertyValueForKey(setting::kCooldownPeriodOverride);
        if (override != -1)
            return override;
    }
    return c_.keyValueDao->getIntPropertyValueForKey(setting::kCooldownPeriod);
}

bool ZarnPCommonMatchService::isInCooldown(int period) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (period < 1)
        return false;
    auto last = c_.keyValueDao->getDatePropertyValueForKey(setting::kLastMatchDate);
    if (!last)
        return false;
    Date now = c_.clockDao->now();
    // A last match in the future (a clock set back) never holds the app in cooldown.
    if (*last > now)
        return false;
    return timeIntervalBetween(now, *last) < period;
}

bool ZarnPCommonMatchService::shouldAbortMatchRunBecauseOfCoolDown() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return isInCooldown(getCooldownPeriod());
}

bool ZarnPCommonMatchService::isInCooldownGroup(const std::vector<ZarnPCooldownGroup>& groups, int regionType,
                                                int subtractSeconds) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (groups.empty())
        return false;
    auto& dao = stateDao(regionType);
    Date now = c_.clockDao->now();
    for (const auto& group : groups) {
        auto last = dao.lastCooldownGroupMatch(group.identifier());
        if (!last)
            continue;
        double elapsed = std::fabs(timeIntervalBetween(now, *last));
        std::int64_t limit =
            std::max<std::int64_t>(0, std::int64_t{group.duration()} - std::int64_t{subtractSeconds});
        if (elapsed < static_cast<double>(limit))
            return true;
    }
    return false;
}

bool ZarnPCommonMatchService::shouldIncreaseMatchRange() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto model = c_.deviceDataDao->hardwareModel();
    return !c_.deviceDataDao->hasGeofences() || model == "iPhone3,1" || model == "iPhone3,3";
}

void ZarnPCommonMatchService::monitorNotifications(
    const std::vector<ZarnPNotificationWithDistance>& notifications) {
    ZARN_CHECK_SEQUENCE(sequence_);
    int maximum = c_.keyValueDao->getIntPropertyValueForKey(setting::kMaxRegionsMonitored);
    LogDebug(kDomain, "Monitoring maximum of %d regions.", maximum);
    std::vector<ZarnPGeofence> geofences;
    for (const auto& item : notifications) {
        if (static_cast<long>(geofences.size()) >= maximum)
            break;
        const auto& notification = item.notification;
        // Rows without a place sort first in the nearest read: skip them, or none would be watched.
        if (!notification.location())
            continue;
        geofences.push_back(ZarnPGeofence{notification.getShortId(), notification.location(),
                                          notification.matchRange(), notification.triggerOnExit()});
    }
    c_.fenceDao->monitorGeofenceNotifications(geofences);
}

void ZarnPCommonMatchService::cancelNotifications(const std::set<std::string>& identifiers, int regionType) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (identifiers.empty())
        return;
    auto ended = endDwellings(stateDao(regionType), identifiers);
    if (ended.empty())
        return;
    // Told once the ends are on disk, after the commit of the run they joined.
    ZarnPCommitGroup::afterDurableCommit(
        c_.db, [ui = c_.uiNotificationDao, ended] { ui->cancelNotifications(ended); });
}

std::vector<std::string> ZarnPCommonMatchService::endDwellings(ZarnPMatchStateDao& dao,
                                                               const std::set<std::string>& identifiers) {
    std::optional<ZarnPTransaction> transaction;
    ZarnPCommitGroup::begin(transaction, c_.db, ZarnPDurability::Full, kDomain, "Ending the dwellings");
    // Store by store, an end would be unsynced: it stays, with its request.
    if (!transaction)
        return {};
    std::vector<std::string> ended;
    for (const auto& identifier : identifiers) {
        if (auto error = dao.removeUserDwelling(identifier))
            LogNsError(kDomain, *error, "Failed to remove dwelling of %@", identifier);
        else
            ended.push_back(identifier);
    }
    // The waiting sent rows of a cancelled dwelling can never be dated: they only crowd the cap.
    std::set<std::string> unsent(ended.begin(), ended.end());
    for (const auto& identifier : ended) unsent.insert(shortIdOf(identifier));
    if (!unsent.empty())
        if (auto error = c_.sentTriggerDao->deleteUnsentTriggers({unsent.begin(), unsent.end()}))
            LogNsError(kDomain, *error, "Failed to delete unsent dwelling notifications.");
    try {
        transaction->commit();
    } catch (const ZarnPDatabaseException& e) {
        LogNsError(kDomain, e.error(), "Failed to end the dwellings");
        return {};
    }
    // A run's transaction that SQLite gave up by itself took the ends with it.
    auto connection = c_.db ? c_.db->database() : nullptr;
    if (!transaction->ownsTransaction() && (!connection || !connection->inTransaction()))
        return {};
    return ended;
}

std::optional<Date> ZarnPCommonMatchService::endWaitingDwellings(std::optional<Date> at) {
    ZARN_CHECK_SEQUENCE(sequence_);
    const Date time = at.value_or(c_.clockDao->now());
    std::vector<std::pair<ZarnPMatchStateDao*, std::set<std::string>>> kinds;
    for (ZarnPMatchStateDao* dao : {static_cast<ZarnPMatchStateDao*>(c_.notificationDao.get()),
                                    static_cast<ZarnPMatchStateDao*>(c_.beaconNotificationDao.get()),
                                    static_cast<ZarnPMatchStateDao*>(c_.externalNotificationDao.get())}) {
        auto waiting = dao->dwellingNotifications();
        // One whose time is up was shown by the system: the dwelling expiry reports it sent.
        for (const auto& expired : dao->expiredDwellingNotifications(time))
            waiting.erase(expired.identifier());
        if (!waiting.empty())
            kinds.emplace_back(dao, std::move(waiting));
    }
    if (kinds.empty())
        return std::nullopt;
    // The three kinds in one synced commit.
    std::optional<ZarnPTransaction> transaction;
    ZarnPCommitGroup::begin(transaction, c_.db, ZarnPDurability::Full, kDomain, "Ending the dwellings");
    if (!transaction)
        return time;
    bool all = true;
    for (const auto& [dao, waiting] : kinds)
        all = endDwellings(*dao, waiting).size() == waiting.size() && all;
    try {
        transaction->commit();
    } catch (const ZarnPDatabaseException& e) {
        LogNsError(kDomain, e.error(), "Failed to end the dwellings");
        return time;
    }
    return all ? std::nullopt : std::optional<Date>(time);
}

void ZarnPCommonMatchService::saveSentDwellingNotification(const std::string& matchIdentifier, Date date) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (auto error = c_.sentTriggerDao->saveDwellingTrigger(matchIdentifier, date))
        LogNsError(kDomain, *error, "Failed to save sent dwelling notification %@", matchIdentifier);
    auto sent = c_.sentTriggerDao->sentNotification(matchIdentifier);
    auto target = delegate();
    if (sent && target)
        target->notificationSentEvent(sent);
}

void ZarnPCommonMatchService::offerNotifications(const std::vector<ZarnPNotification>& notifications,
                                                 int regionType,
                                                 const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                                 const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    ZARN_REQUIRE(backgroundTask);
    auto self = shared_from_this();
    c_.deviceDataDao->appInForeground(
        [self, notifications, regionType, backgroundTask, zarnContext](bool fg) {
            self->offerNotifications(notifications, regionType, fg, backgroundTask, zarnContext);
        });
}

void ZarnPCommonMatchService::offerNotifications(const std::vector<ZarnPNotification>& notifications,
                                                 int regionType, bool isAppInForeground,
                                                 const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                                 const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    ZARN_REQUIRE(backgroundTask);
    std::vector<NotificationRequest> requests;
    requests.reserve(notifications.size());
    for (const auto& notification : notifications)
        requests.push_back(c_.uiNotificationDao->createNotification(
            notification, c_.uuidGenerator->createLowerCase(), regionType, isAppInForeground));
    sendNotificationsToFilter(requests, backgroundTask, zarnContext);
}

void ZarnPCommonMatchService::sendNotificationsToFilter(
    const std::vector<NotificationRequest>& requests,
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
    const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    ZARN_REQUIRE(backgroundTask);
    std::vector<NotificationRequest> direct;
    std::vector<NotificationRequest> geotriggers;
    std::vector<NotificationRequest> offered;
    // The geotriggers' events and sent records: one commit, synced before the app is handed them.
    std::optional<ZarnPCommitGroup> records;
    for (const auto& request : requests) {
        const Value& userInfo = request.content.userInfo;
        auto type = ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kNotificationHandlerType);
        if (type == userinfo::kHandlerLandingPage || type == userinfo::kHandlerApplink) {
            direct.push_back(request);
        } else if (type == userinfo::kHandlerGeotrigger) {
            if (!records)
                records.emplace(c_.db, ZarnPDurability::Full, kDomain);
            auto identifierWithExperiment =
                ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kIdentifierWithExperiment);
            c_.publicLogDao->logGeotriggerSent(
                identifierWithExperiment.value_or(""),
                ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kMessage), zarnContext);
            c_.eventService->logEventWithType(
                ZarnPLogEventTypeGeotriggerSent,
                eventExtras("geotrigger_id", identifierWithExperiment,
                            ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kMatchIdentifier),
                            userInfo),
                zarnContext);
            c_.sentTriggerDao->saveSentTrigger(request, c_.clockDao->now());
            geotriggers.push_back(request);
        } else {
            offered.push_back(request);
        }
    }
    records.reset();
    if (direct.empty() && offered.empty() && geotriggers.empty()) {
        c_.contextService->decrementContext(zarnContext);
        return;
    }
    if (!direct.empty())
        showNotifications(direct, direct, backgroundTask, zarnContext);
    auto target = delegate();
    if (!target && (!offered.empty() || !geotriggers.empty()))
        LogWarn(kDomain, "No delegate to offer notifications to.");
    if (target && !offered.empty())
        target->offerLocalNotifications(offered, backgroundTask, zarnContext);
    if (target && !geotriggers.empty())
        target->offerGeotriggers(geotriggers, backgroundTask, zarnContext);
}

bool ZarnPCommonMatchService::registeredFrom(const ZarnPNotificationsEnabledCallback& answer) const {
    if (answer.enabled())
        return true;
    auto version = c_.deviceDataDao->platformVersion();
    bool laterSystem = !version || ZarnPStringReading::intValue(*version) >= 12;
    return laterSystem && answer.authorizationStatus() == kProvisionalStatus;
}

void ZarnPCommonMatchService::showNotifications(const std::vector<NotificationRequest>& notifications,
                                                const std::vector<NotificationRequest>& allOffered,
                                                const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                                const std::shared_ptr<ZarnPContext>& zarnContext) {
    auto self = shared_from_this();
    c_.uiNotificationDao->scheduledNotificationRequests(
        [self, notifications, allOffered, backgroundTask,
         zarnContext](std::vector<NotificationRequest> pending) {
            self->c_.uiNotificationDao->isRegisteredForNotifications(
                [self, notifications, allOffered, backgroundTask, zarnContext,
                 pending = std::move(pending)](std::shared_ptr<ZarnPNotificationsEnabledCallback> answer) {
                    ZarnPShowNotificationsRequest request{
                        .localNotifications = notifications,
                        .allOffered = allOffered,
                        .scheduledRequests = pending,
                        .zarnContext = zarnContext,
                        .backgroundTask = backgroundTask,
                        .isRegisteredForNotifications = answer && self->registeredFrom(*answer),
                    };
                    // Released at the end of the show pass.
                    self->c_.contextService->incrementContext(zarnContext);
                    self->c_.timerDao->invokeBlockOnRunLoop(
                        [self, request = std::move(request)] { self->showNotifications(request); }, false);
                });
        });
}

void ZarnPCommonMatchService::showNotifications(const ZarnPShowNotificationsRequest& request) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // The reference taken before the hop goes, however the pass ends.
    struct Release {
        ZarnPContextService& contexts;
        const std::shared_ptr<ZarnPContext>& context;
        ~Release() { contexts.decrementContext(context); }
    } release{*c_.contextService, request.zarnContext};

    LogDebug(kDomain, "Showing notifications and handling geotriggers");
    int period = getCooldownPeriod();
    bool optOutLogged = false;
    for (const auto& notification : request.localNotifications) {
        try {
            if (showOne(notification, request, period, optOutLogged))
                break;
        } catch (const std::exception& e) {
            // One broken request must not cost the others their show.
            LogError(kDomain, "Failed to show notification %@: %@", notification.identifier, e.what());
        }
    }
}

// What the show pass reads of one request's userInfo.
struct ZarnPCommonMatchService::ShowItem {
    const NotificationRequest& request;
    std::optional<std::string> identifier;
    std::optional<std::string> identifierWithExperiment;
    std::optional<std::string> matchIdentifier;
    bool isGeotrigger = false;
    std::vector<ZarnPCooldownGroup> groups;
    int regionType = 0;
    int dwellingMinutes = 0;

    explicit ShowItem(const NotificationRequest& r)
        : request(r),
          identifier(ZarnPDictionaryHelper::stringEntry(userInfo(), userinfo::kIdentifier)),
          identifierWithExperiment(
              ZarnPDictionaryHelper::stringEntry(userInfo(), userinfo::kIdentifierWithExperiment)),
          matchIdentifier(ZarnPDictionaryHelper::stringEntry(userInfo(), userinfo::kMatchIdentifier)),
          isGeotrigger(ZarnPDictionaryHelper::stringEntry(userInfo(), userinfo::kNotificationHandlerType) ==
                       userinfo::kHandlerGeotrigger),
          groups(cooldownGroupsOf(userInfo())),
          regionType(ZarnPNotificationRegionType::StringToRegion(
              ZarnPDictionaryHelper::stringEntry(userInfo(), userinfo::kRegionType))),
          dwellingMinutes(ZarnPDictionaryHelper::intEntry(userInfo(), userinfo::kDwellingMinutes)) {}

    const Value& userInfo() const { return request.content.userInfo; }
    // The identifier with experiment, else the identifier; only once the identifier is known.
    std::string fullIdentifier() const { return identifierWithExperiment.value_or(*identifier); }
};

// What recording a shown request leaves for after the commit.
struct ZarnPCommonMatchService::Recorded {
    // The request to schedule: a dwelling one under its match identifier, with its delay.
    NotificationRequest toSend;
    // The sent notification to tell the app of.
    std::shared_ptr<ZarnPSentTrigger> sent;
};

bool ZarnPCommonMatchService::showOne(const NotificationRequest& request,
                                      const ZarnPShowNotificationsRequest& show, int period,
                                      bool& optOutLogged) {
    const ShowItem item(request);
    const auto& context = show.zarnContext;
    if (!item.isGeotrigger && !show.isRegisteredForNotifications) {
        if (!optOutLogged) {
            c_.publicLogDao->logUserOptOutForNotification(context);
            optOutLogged = true;
        }
        LogDebug(kDomain, "User has opted-out for notifications. Not showing notifications.");
        return false;
    }
    if (!passesCooldowns(item, period))
        return false;

    auto& dao = stateDao(item.regionType);
    if (auto error = dao.updateCooldownLastMatch(*item.identifier, item.groups))
        LogNsError(kDomain, *error, "Failed to update last cooldown group match.");
    if (item.dwellingMinutes > 0 && !mayScheduleDwelling(item, dao, show))
        return false;

    const Recorded recorded = recordShown(item, dao, context);
    // Only a send that is on disk reaches the app: a failed commit leaves it nothing to hear of.
    if (auto target = delegate(); target && recorded.sent)
        target->notificationSentEvent(recorded.sent);
    announceShown(item, recorded.toSend, context);

    if (period > 0) {
        c_.publicLogDao->logNotificationCooldown(context);
        return true;
    }
    return false;
}

bool ZarnPCommonMatchService::passesCooldowns(const ShowItem& item, int period) {
    bool inCooldown = isInCooldown(period);
    bool inGroupCooldown = isInCooldownGroup(item.groups, item.regionType, 0);
    if (inGroupCooldown && !item.isGeotrigger)
        LogDebug(kDomain, "Not showing notification because it is in Cooldown group");
    // Geotriggers pass both cooldowns.
    return item.identifier && (item.isGeotrigger || (!inCooldown && !inGroupCooldown));
}

bool ZarnPCommonMatchService::mayScheduleDwelling(const ShowItem& item, ZarnPMatchStateDao& dao,
                                                  const ZarnPShowNotificationsRequest& show) {
    if (!show.isRegisteredForNotifications) {
        LogDebug(kDomain, "User has opted-out for notifications. Not showing dwelling notification.");
        return false;
    }
    if (item.isGeotrigger) {
        LogDebug(kDomain, "Geotrigger is set to dwelling, this feature is not supported for iOS.");
        return false;
    }
    const std::string fullIdentifier = item.fullIdentifier();
    if (dao.isUserDwellingIn(fullIdentifier)) {
        LogDebug(kDomain, "Not showing notification %@, because it is already pending", fullIdentifier);
        return false;
    }
    bool scheduled =
        std::any_of(show.scheduledRequests.begin(), show.scheduledRequests.end(),
                    [&](const NotificationRequest& pending) {
                        return item.identifierWithExperiment &&
                               ZarnPDictionaryHelper::stringEntry(pending.content.userInfo,
                                                                  userinfo::kIdentifierWithExperiment) ==
                                   item.identifierWithExperiment;
                    });
    if (scheduled) {
        LogDebug(kDomain, "Not scheduling dwelling notification %@, because it is already been scheduled",
                 fullIdentifier);
        return false;
    }
    return true;
}

ZarnPCommonMatchService::Recorded ZarnPCommonMatchService::recordShown(
    const ShowItem& item, ZarnPMatchStateDao& dao, const std::shared_ptr<ZarnPContext>& context) {
    // Everything the notification records below goes in one commit, synced before the system and
    // the app are told of it: each store would sync on its own otherwise.
    std::optional<ZarnPTransaction> transaction;
    // A store that cannot begin one still writes, as it always did.
    ZarnPCommitGroup::begin(transaction, c_.db, ZarnPDurability::Full, kDomain, "Recording the notification");
    Date now = c_.clockDao->now();
    c_.keyValueDao->setDatePropertyValue(now, setting::kLastMatchDate);

    Recorded recorded{item.request, nullptr};
    if (item.dwellingMinutes < 1)
        recorded.sent = recordShownNow(item, dao, now, context);
    else
        recorded.toSend = recordDwellingStart(item, dao, now);
    if (transaction)
        transaction->commit();
    return recorded;
}

std::shared_ptr<ZarnPSentTrigger> ZarnPCommonMatchService::recordShownNow(
    const ShowItem& item, ZarnPMatchStateDao& dao, Date now, const std::shared_ptr<ZarnPContext>& context) {
    std::shared_ptr<ZarnPSentTrigger> sent;
    if (item.isGeotrigger) {
        c_.eventService->logEventWithType(ZarnPLogEventTypeGeotriggerHandled,
                                          eventExtras("geotrigger_id", item.identifierWithExperiment,
                                                      item.matchIdentifier, item.userInfo()),
                                          context);
        if (item.matchIdentifier)
            c_.sentTriggerDao->markGeotriggerHandled(*item.matchIdentifier, now);
    } else {
        c_.eventService->logEventWithType(ZarnPLogEventTypeNotificationSent,
                                          eventExtras("notification_id", item.identifierWithExperiment,
                                                      item.matchIdentifier, item.userInfo()),
                                          context);
        c_.sentTriggerDao->saveSentTrigger(item.request, now);
        if (item.matchIdentifier)
            sent = c_.sentTriggerDao->sentNotification(*item.matchIdentifier);
    }
    dao.saveNotificationTrigger(*item.identifier);
    if (ZarnPDictionaryHelper::stringEntry(item.userInfo(), userinfo::kTrigger) == userinfo::kTriggerEnter) {
        dao.markUserHasToLeaveFirst(*item.identifier);
        if (item.regionType == ZarnPNotificationRegionTypeBeacon)
            LogDebug(kDomain, "Marked as has to leave beacon notification: %@", *item.identifier);
    }
    return sent;
}

NotificationRequest ZarnPCommonMatchService::recordDwellingStart(const ShowItem& item,
                                                                 ZarnPMatchStateDao& dao, Date now) {
    double seconds = static_cast<double>(item.dwellingMinutes) * 60.0;
    dao.markUserStartedDwelling(item.fullIdentifier(), item.matchIdentifier.value_or(""),
                                dateByAddingTimeInterval(now, seconds));
    NotificationRequest toSend = item.request;
    toSend.identifier = item.matchIdentifier.value_or(item.request.identifier);
    toSend.trigger = NotificationTrigger{.timeInterval = seconds, .repeats = false};
    // Counts as sent only once the dwelling time has passed.
    c_.sentTriggerDao->saveSentTrigger(toSend, std::nullopt);
    return toSend;
}

void ZarnPCommonMatchService::announceShown(const ShowItem& item, const NotificationRequest& toSend,
                                            const std::shared_ptr<ZarnPContext>& context) {
    if (item.isGeotrigger) {
        LogDebug(kDomain, "Handled geotrigger: %@", *item.identifier);
        c_.publicLogDao->logGeotriggerHandled(
            item.fullIdentifier(), ZarnPDictionaryHelper::stringEntry(item.userInfo(), userinfo::kMessage),
            context);
        return;
    }
    LogDebug(kDomain, "Sending notification: %@ %@", *item.identifier, item.request.content.body);
    c_.publicLogDao->logNotificationSent(item.fullIdentifier(), item.request.content.body, context);
    c_.uiNotificationDao->send(toSend);
}

void ZarnPCommonMatchService::notificationIsOffered(const std::string& identifier) {
    ZARN_CHECK_SEQUENCE(sequence_);
    notificationsBeingOffered_.push_back(identifier);
}

void ZarnPCommonMatchService::filteredNotificationsDealloc(const std::vector<NotificationRequest>& requests) {
    ZARN_CHECK_SEQUENCE(sequence_);
    for (const auto& request : requests) {
        LogDebug(kDomain, "Dealloc: %@", request.content.body);
        forgetOffered(notificationsBeingOffered_,
                      ZarnPDictionaryHelper::stringEntry(request.content.userInfo, userinfo::kIdentifier));
    }
}

void ZarnPCommonMatchService::filteredGeotriggerDealloc(
    const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) {
    ZARN_CHECK_SEQUENCE(sequence_);
    for (const auto& geotrigger : geotriggers) {
        if (!geotrigger)
            continue;
        auto identifier = ZarnPDictionaryHelper::stringEntry(geotrigger->userInfo(), userinfo::kIdentifier);
        LogDebug(kDomain, "Dealloc trigger: %@", identifier.value_or("(null)"));
        forgetOffered(notificationsBeingOffered_, identifier);
    }
}

std::vector<std::string> ZarnPCommonMatchService::notificationsBeingOffered() const {
    return notificationsBeingOffered_;
}

Value& ZarnPCommonMatchService::addPayloadToEventsDict(Value& dict, const Value& matchPayload) {
    if (!dict.is_object() || !matchPayload.is_object())
        return dict;
    for (auto it = matchPayload.begin(); it != matchPayload.end(); ++it)
        dict["payload_" + it.key()] = it.value();
    return dict;
}

}  // namespace zarn
