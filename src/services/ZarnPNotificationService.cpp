#include "services/ZarnPNotificationService.h"

#include <cmath>
#include <optional>
#include <utility>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPContextStarting.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogger.h"
#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPLoadedNotificationStore.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPNotificationServiceDelegate.h"
#include "services/ZarnPSegmentationReading.h"
#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPEventDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"

namespace zarn {

namespace {
constexpr unsigned kUserInitiated = 0;
}  // namespace

std::shared_ptr<ZarnPNotificationService> ZarnPNotificationService::create(Collaborators collaborators) {
    return std::shared_ptr<ZarnPNotificationService>(new ZarnPNotificationService(std::move(collaborators)));
}

ZarnPNotificationService::ZarnPNotificationService(Collaborators collaborators)
    : c_(std::move(collaborators)) {
    ZARN_REQUIRE(c_.remoteDao);
    ZARN_REQUIRE(c_.eventDao);
    ZARN_REQUIRE(c_.keyValueDao);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.eventService);
    ZARN_REQUIRE(c_.contextService);
    ZARN_REQUIRE(c_.segmentationService);
    ZARN_REQUIRE(c_.clockDao);
}

void ZarnPNotificationService::setDelegate(std::weak_ptr<ZarnPNotificationServiceDelegate> delegate) {
    // Wiring: called by the module on its building thread, before any use.
    delegate_ = std::move(delegate);
}

bool ZarnPNotificationService::shouldPerformDataUpdate(bool inForeground) {
    ZARN_CHECK_SEQUENCE(sequence_);
    Date now = c_.clockDao->now();
    bool forced = c_.keyValueDao->getBoolPropertyValueForKey(setting::kForceUpdate);
    if (forced &&
        (!lastRequestedForceUpdate_ ||
         std::fabs(timeIntervalBetween(now, *lastRequestedForceUpdate_)) > kForceUpdateIntervalSeconds)) {
        lastRequestedNotifications_ = now;
        lastRequestedForceUpdate_ = now;
        c_.keyValueDao->setBoolPropertyValue(false, setting::kForceUpdate);
        return true;
    }
    double threshold = inForeground ? kForegroundIntervalSeconds : kBackgroundIntervalSeconds;
    double suspend = c_.keyValueDao->getIntPropertyValueForKey(setting::kSuspendInterval);
    if (lastRequestedNotifications_) {
        double elapsed = std::fabs(timeIntervalBetween(now, *lastRequestedNotifications_));
        if (!(elapsed > threshold && elapsed > suspend))
            return false;
    }
    lastRequestedNotifications_ = now;
    return true;
}

void ZarnPNotificationService::storeEventsAndUpdateNotificationsForLocation(
    const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool inForeground, bool supportsRegionExit,
    bool supportsBeacon, const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto token = c_.keyValueDao->getPropertyValueForKey(setting::kPublicToken);
    if (!token) {
        LogError(kDomain, "Public token not yet initialized");
        // Nothing to exchange, but the run must not stay open.
        completeStep(zarnContext);
        return;
    }
    std::optional<ZarnPCommitGroup> commits;
    // A forced update's flag and the location sent: one commit, ended before the request.
    commits.emplace(c_.db, ZarnPDurability::Normal, kDomain);
    if (location && shouldPerformDataUpdate(inForeground)) {
        auto events = c_.eventDao->getEvents();
        c_.keyValueDao->setDoublePropertyValue(location->latitude(), setting::kLastMatchLocationLatitude);
        c_.keyValueDao->setDoublePropertyValue(location->longitude(), setting::kLastMatchLocationLongitude);
        c_.keyValueDao->setDoublePropertyValue(location->accuracy(), setting::kLastMatchLocationAccuracy);
        commits.reset();
        auto advertisingId = c_.segmentationService->getAdvertisingIdentifier();
        auto advertisingEnabled = c_.segmentationService->isAdvertisingEnabled();
        auto properties = c_.segmentationService->getSegmentationProperties();
        c_.remoteDao->storeEventsAndLoadNotifications(events, location, supportsRegionExit, supportsBeacon,
                                                      *token, advertisingId, advertisingEnabled, properties,
                                                      shared_from_this(), zarnContext);
        return;
    }
    commits.reset();
    loadNotificationsCompleted({}, *token, true, zarnContext, std::nullopt);
}

void ZarnPNotificationService::loadNotificationsCompleted(
    const std::vector<std::shared_ptr<ZarnPEvent>>& events, const std::string& publicToken, bool storeEvents,
    const std::shared_ptr<ZarnPContext>& zarnContext, const std::optional<Error>& error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // The deletion of events the service has accepted is durable: lost, they would go twice.
    std::optional<ZarnPCommitGroup> commits(
        std::in_place, c_.db, events.empty() || error ? ZarnPDurability::Normal : ZarnPDurability::Full,
        kDomain);
    auto token = c_.keyValueDao->getPropertyValueForKey(setting::kPublicToken);
    if (!error && token && *token == publicToken) {
        c_.eventDao->deleteEvents(events);
        c_.keyValueDao->setBoolPropertyValue(storeEvents, setting::kStoreEvents);
        c_.eventService->sendEventsIfNeeded();
    }
    if (error) {
        c_.publicLogDao->logFailedDataUpdate(zarnContext);
        c_.eventService->logDataError(*error, "dataupdate", zarnContext);
    }
    // On disk before the run goes on.
    commits.reset();
    completeStep(zarnContext);
}

void ZarnPNotificationService::completeStep(const std::shared_ptr<ZarnPContext>& zarnContext) {
    if (auto delegate = delegate_.lock())
        delegate->locationNotificationServiceUpdatedNotifications(zarnContext);
}

void ZarnPNotificationService::loadPushedNotificationsCompleted(
    const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (auto delegate = delegate_.lock())
        delegate->notificationServiceReceivedPushForLocation(zarnContext);
}

std::optional<std::vector<std::shared_ptr<ZarnPNotification>>>
ZarnPNotificationService::getLoadedNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (c_.keyValueDao->hasProperty(setting::kLastMatchLocationLatitude)) {
        ZarnPLocationWithAccuracy location(
            c_.keyValueDao->getDoublePropertyValueForKey(setting::kLastMatchLocationLatitude),
            c_.keyValueDao->getDoublePropertyValueForKey(setting::kLastMatchLocationLongitude),
            c_.keyValueDao->getDoublePropertyValueForKey(setting::kLastMatchLocationAccuracy));
        if (!c_.localDao)
            return std::vector<std::shared_ptr<ZarnPNotification>>{};
        Error error;
        auto notifications = c_.localDao->getAllNear(location, &error);
        if (!error.domain.empty()) {
            LogNsError(kDomain, error, "Failed to obtain loaded notifications");
            return std::nullopt;
        }
        return notifications;
    }
    if (auto updates = locationUpdateService_.lock())
        updates->performFullUpdate(c_.contextService->startContext(kUserInitiated));
    return std::vector<std::shared_ptr<ZarnPNotification>>{};
}

std::optional<std::vector<std::shared_ptr<ZarnPBeaconNotification>>>
ZarnPNotificationService::getLoadedBeaconNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!c_.beaconDao)
        return std::vector<std::shared_ptr<ZarnPBeaconNotification>>{};
    Error error;
    auto notifications = c_.beaconDao->getAllBeaconNotifications(&error);
    if (!error.domain.empty()) {
        LogNsError(kDomain, error, "Failed to obtain loaded notifications");
        return std::nullopt;
    }
    return notifications;
}

void ZarnPNotificationService::deleteNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (c_.beaconDao)
        if (auto error = c_.beaconDao->replaceNotificationsWithNone())
            LogNsError(kDomain, *error, "Failed to remove loaded beacon notifications");
    if (c_.localDao)
        if (auto error = c_.localDao->replaceNotificationsWithNone())
            LogNsError(kDomain, *error, "Failed to remove loaded local notifications");
}

void ZarnPNotificationService::clearData() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (c_.beaconDao)
        if (auto error = c_.beaconDao->clearNotifications())
            LogNsError(kDomain, *error, "Failed to clear notifications for beacon");
    if (c_.localDao)
        if (auto error = c_.localDao->clearNotifications())
            LogNsError(kDomain, *error, "Failed to clear notifications for local notifications");
    c_.keyValueDao->unsetPropertyKey(setting::kForceUpdate);
    // A new token's campaigns are fetched at the next run, not an hour later.
    lastRequestedNotifications_.reset();
    lastRequestedForceUpdate_.reset();
    c_.remoteDao->clearData();
}

}  // namespace zarn
