#include "services/ZarnPFenceMatchService.h"

#include <algorithm>
#include <exception>

#include "core/ZarnException.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPPublicLogging.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPDeviceDataDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "services/ZarnPBeaconMatching.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPDwellingEnding.h"
#include "services/ZarnPGeofenceMatching.h"
#include "services/ZarnPMatchServiceProximityTriggeredDelegate.h"
#include "store/ZarnPCommitGroup.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "MatchService";
}  // namespace

std::shared_ptr<ZarnPFenceMatchService> ZarnPFenceMatchService::create(
    std::shared_ptr<ZarnPFenceDao> fenceDao, std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao,
    std::shared_ptr<ZarnPContextService> contextService, std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao, std::shared_ptr<ZarnPPublicLogging> publicLogDao,
    std::shared_ptr<ZarnPGeofenceMatching> geofenceMatchingService,
    std::shared_ptr<ZarnPBeaconMatching> beaconMatchingService,
    std::shared_ptr<platform::NotificationCenter> center, std::shared_ptr<ZarnPDwellingEnding> dwellings,
    std::shared_ptr<ZarnPSqLiteDb> db) {
    ZARN_REQUIRE(fenceDao);
    ZARN_REQUIRE(uiNotificationDao);
    ZARN_REQUIRE(contextService);
    ZARN_REQUIRE(deviceDataDao);
    ZARN_REQUIRE(keyValueDao);
    ZARN_REQUIRE(geofenceMatchingService);
    ZARN_REQUIRE(beaconMatchingService);
    ZARN_REQUIRE(center);
    ZARN_REQUIRE(dwellings);
    std::shared_ptr<ZarnPFenceMatchService> service(new ZarnPFenceMatchService());
    service->fenceDao_ = std::move(fenceDao);
    service->uiNotificationDao_ = std::move(uiNotificationDao);
    service->contextService_ = std::move(contextService);
    service->deviceDataDao_ = std::move(deviceDataDao);
    service->keyValueDao_ = std::move(keyValueDao);
    service->publicLogDao_ = std::move(publicLogDao);
    service->geofenceMatchingService_ = std::move(geofenceMatchingService);
    service->beaconMatchingService_ = std::move(beaconMatchingService);
    service->center_ = std::move(center);
    service->dwellings_ = std::move(dwellings);
    service->db_ = std::move(db);
    std::weak_ptr<ZarnPFenceMatchService> weak = service;
    service->center_->addObserver(service.get(), broadcast::kEnabled, [weak](const platform::Broadcast&) {
        if (auto self = weak.lock())
            self->enable();
    });
    service->center_->addObserver(service.get(), broadcast::kDisabled, [weak](const platform::Broadcast&) {
        if (auto self = weak.lock())
            self->disable();
    });
    return service;
}

ZarnPFenceMatchService::~ZarnPFenceMatchService() {
    if (center_)
        center_->removeObserver(this);
}

void ZarnPFenceMatchService::enable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogInfo(kDomain, "Zarn started");
    performGeofenceMatchRun_ = true;
    {
        // The sets start empty again; the lock itself stays, so that nobody holds a lock that goes.
        MutexLock lk(beaconLock_);
        rangedBeacons_.clear();
        exitedBeaconUuids_.clear();
    }
    // Before any dwelling expiry: what waited at the last disable was removed at the centre.
    if (unendedDwellingsAt_)
        unendedDwellingsAt_ = dwellings_->endWaitingDwellings(unendedDwellingsAt_);
    fenceDao_->getReady();
    if (!keyValueDao_->getBoolPropertyValueForKey(setting::kNotificationInitialized)) {
        LogDebug(kDomain, "Removing all scheduled notifications, because DB is empty");
        uiNotificationDao_->cancelAllNotifications();
        uiNotificationDao_->registerForNotifications();
        // Lost to a power cut, it only has the next start cancel what it cancelled again.
        ZarnPCommitGroup commits(db_, ZarnPDurability::Normal, kDomain);
        keyValueDao_->setBoolPropertyValue(true, setting::kNotificationInitialized);
    }
}

void ZarnPFenceMatchService::disable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogInfo(kDomain, "Zarn disabled");
    performGeofenceMatchRun_ = false;
    performBeaconMatchRun_ = false;
    fenceDao_->removeAllFences();
    // The scheduled dwelling notifications go with their dwellings, ended on disk first: one
    // still stored when its time is up would be reported sent after the next enabling. The
    // requests go anyway: the user's opt-out comes first; what could not be ended is ended at
    // the next enabling.
    unendedDwellingsAt_ = dwellings_->endWaitingDwellings(std::nullopt);
    uiNotificationDao_->cancelAllNotifications();
}

void ZarnPFenceMatchService::setPerformGeofenceMatchRun(bool perform) {
    ZARN_CHECK_SEQUENCE(sequence_);
    performGeofenceMatchRun_ = perform;
}

bool ZarnPFenceMatchService::isBeaconSupported() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return fenceDao_->isBeaconSupported();
}

bool ZarnPFenceMatchService::isRegionExitSupported() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return fenceDao_->isRegionExitSupported();
}

void ZarnPFenceMatchService::setRegionTriggeredDelegate(
    std::weak_ptr<ZarnPMatchServiceProximityTriggeredDelegate> delegate) {
    regionTriggeredDelegate_ = std::move(delegate);
}

void ZarnPFenceMatchService::clearData() {
    ZARN_CHECK_SEQUENCE(sequence_);
    uiNotificationDao_->cancelAllNotifications();
}

bool ZarnPFenceMatchService::checkForBeaconExit() {
    MutexLock lk(beaconLock_);
    return checkForBeaconExit_;
}

std::vector<platform::Beacon> ZarnPFenceMatchService::rangedBeacons() {
    MutexLock lk(beaconLock_);
    return rangedBeacons_;
}

std::set<Uuid> ZarnPFenceMatchService::exitedBeaconUuids() {
    MutexLock lk(beaconLock_);
    return exitedBeaconUuids_;
}

void ZarnPFenceMatchService::triggerProximity(const std::shared_ptr<ZarnPContext>& context) {
    if (auto delegate = regionTriggeredDelegate_.lock())
        delegate->proximityTriggered(context);
}

void ZarnPFenceMatchService::geofenceTriggered() {
    // Entry and exit alike: the geofence match run decides what happened.
    performGeofenceMatchRun_ = true;
    triggerProximity(contextService_->startContext(ZarnTriggerContextGeofence));
}

void ZarnPFenceMatchService::fenceDaoDidEnterGeofence(const std::string&) {
    ZARN_CHECK_SEQUENCE(sequence_);
    geofenceTriggered();
}

void ZarnPFenceMatchService::fenceDaoDidExitGeofence(const std::string&) {
    ZARN_CHECK_SEQUENCE(sequence_);
    geofenceTriggered();
}

void ZarnPFenceMatchService::fenceDaoDidExitBeaconRegion(const Uuid& proximityUuid,
                                                         const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    {
        MutexLock lk(beaconLock_);
        checkForBeaconExit_ = true;
        exitedBeaconUuids_.insert(proximityUuid);
    }
    triggerProximity(zarnContext);
}

void ZarnPFenceMatchService::fenceDaoFinishRangingBeacons(
    const std::vector<platform::Beacon>& beacons, const Uuid& beaconUuid,
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
    const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    ZARN_REQUIRE(backgroundTask);
    std::weak_ptr<ZarnPFenceMatchService> weak = weak_from_this();
    deviceDataDao_->appInForeground(
        [weak, beacons, beaconUuid, backgroundTask, zarnContext](bool inForeground) {
            if (auto self = weak.lock())
                self->fenceDaoFinishRangingBeacons(beacons, beaconUuid, inForeground, backgroundTask,
                                                   zarnContext);
        });
}

void ZarnPFenceMatchService::fenceDaoFinishRangingBeacons(
    const std::vector<platform::Beacon>& beacons, const Uuid&, bool,
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
    const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_REQUIRE(backgroundTask);
    {
        MutexLock lk(beaconLock_);
        rangedBeacons_.insert(rangedBeacons_.end(), beacons.begin(), beacons.end());
        performBeaconMatchRun_ = true;
    }
    triggerProximity(zarnContext);
}

void ZarnPFenceMatchService::fenceDaoFinishRanging(const std::shared_ptr<ZarnPBackgroundTask>&,
                                                   const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    performBeaconMatchRun_ = true;
    triggerProximity(zarnContext);
}

void ZarnPFenceMatchService::locationAcquired(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                              const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                              const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (performGeofenceMatchRun_) {
        LogDebug(kDomain, "Performing geofence matchrun");
        geofenceMatchingService_->checkForSentDwellingGeofences(context);
        geofenceMatchingService_->checkForGeofenceMatches(backgroundTask, context, location);
        performGeofenceMatchRun_ = false;
    }
    if (performBeaconMatchRun_) {
        LogDebug(kDomain, "Performing beacon matchrun");
        runBeaconMatch(location, backgroundTask, context);
    }
    if (checkForBeaconExit()) {
        LogDebug(kDomain, "Checking for beacon exits");
        runBeaconExitCheck(location, backgroundTask, context);
    }
}

void ZarnPFenceMatchService::runBeaconMatch(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                            const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                            const std::shared_ptr<ZarnPContext>& context) {
    auto ranged = rangedBeacons();
    if (!stepSucceeded(context, "error while performing match run for beacons %@", [&] {
            beaconMatchingService_->checkForSentDwellingBeacons(context);
            beaconMatchingService_->checkForBeaconMatches(ranged, false, backgroundTask, context, location);
        }))
        return;
    // Ranging only appends: the first ones are those the run matched.
    MutexLock lk(beaconLock_);
    rangedBeacons_.erase(rangedBeacons_.begin(),
                         rangedBeacons_.begin() + std::min(ranged.size(), rangedBeacons_.size()));
    performBeaconMatchRun_ = !rangedBeacons_.empty();
}

void ZarnPFenceMatchService::runBeaconExitCheck(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                                const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                                const std::shared_ptr<ZarnPContext>& context) {
    auto exited = exitedBeaconUuids();
    if (!stepSucceeded(context, "error while triggering beacon exit %@", [&] {
            beaconMatchingService_->checkForBeaconExited(exited, location, context, backgroundTask);
        }))
        return;
    MutexLock lk(beaconLock_);
    for (const auto& uuid : exited) exitedBeaconUuids_.erase(uuid);
    checkForBeaconExit_ = !exitedBeaconUuids_.empty();
}

bool ZarnPFenceMatchService::stepSucceeded(const std::shared_ptr<ZarnPContext>& context,
                                           std::string_view failureFormat,
                                           const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        if (publicLogDao_)
            publicLogDao_->logMessageIfEnabled(context, failureFormat, std::string(e.what()));
        return false;
    }
}

}  // namespace zarn
