#include "device/system/ZarnPSystemFenceDao.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/ZarnException.h"
#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPContextStarting.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPObjectWithContextWrapper.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPBackgroundTaskDao.h"
#include "device/system/ZarnPBeaconRanging.h"
#include "device/system/ZarnPFenceDaoDelegate.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SystemFenceDao";

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isDoubleEqualTo(double a, double b) {
    return std::fabs(a - b) < ZarnPSystemFenceDao::kCoordinateTolerance;
}
}  // namespace

ZarnPSystemFenceDao::ZarnPSystemFenceDao(
    std::shared_ptr<platform::LocationManager> locationManager,
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
    std::shared_ptr<ZarnPSystemTimerDao> timerDao, std::shared_ptr<ZarnPContextStarting> contextService,
    std::shared_ptr<platform::LocationManagerFactory> locationManagerFactory,
    std::shared_ptr<platform::LocationAuthorization> locationAuthorization)
    : locationManager_(std::move(locationManager)),
      backgroundTaskDao_(std::move(backgroundTaskDao)),
      keyValueDao_(std::move(keyValueDao)),
      timerDao_(std::move(timerDao)),
      contextService_(std::move(contextService)),
      locationManagerFactory_(std::move(locationManagerFactory)) {
    ZARN_REQUIRE(backgroundTaskDao_);
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(contextService_);
    ZARN_REQUIRE(locationManagerFactory_);
    ZARN_REQUIRE(locationAuthorization);
    fencesAvailable_ = locationAuthorization->regionMonitoringAvailable();
}

ZarnPSystemFenceDao::~ZarnPSystemFenceDao() = default;

void ZarnPSystemFenceDao::setDelegate(std::shared_ptr<ZarnPFenceDaoDelegate> delegate) {
    ZARN_CHECK_SEQUENCE(sequence_);
    delegate_ = std::move(delegate);
}

void ZarnPSystemFenceDao::loadLocationManager() {
    if (!locationManager_) {
        LogDebug(kDomain, "loadLocationManager");
        locationManager_ = locationManagerFactory_->createLocationManager();
    }
    if (!managerWired_) {
        locationManager_->setDelegate(weak_from_this());
        managerWired_ = true;
    }
}

std::optional<std::string> ZarnPSystemFenceDao::prefixIdentifier(
    const std::optional<std::string>& identifier) {
    if (!identifier)
        return std::nullopt;
    return std::string(kGeofencePrefix) + *identifier;
}

bool ZarnPSystemFenceDao::isBeaconRegion(const std::string& identifier) {
    return startsWith(identifier, kBeaconPrefix);
}

bool ZarnPSystemFenceDao::isGeofenceRegion(const std::string& identifier) {
    return !isBeaconRegion(identifier) && startsWith(identifier, kGeofencePrefix);
}

std::vector<Uuid> ZarnPSystemFenceDao::convertToUuids(const std::vector<std::string>& strings) {
    std::vector<Uuid> out;
    for (const auto& s : strings) {
        std::string hex;
        std::copy_if(s.begin(), s.end(), std::back_inserter(hex), [](char c) { return c != '-'; });
        auto uuid = ZarnPBeaconUtil::stringToUuid(hex);
        if (!uuid) {
            LogWarn(kDomain, "Skipping beacon UUID that is not 32 hexadecimal digits: %@", s);
            continue;
        }
        out.push_back(*uuid);
    }
    return out;
}

bool ZarnPSystemFenceDao::isBeaconSupported() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto available = locationManagerFactory_->isRangingAvailable();
    if (!available)
        return false;
    LogDebug(kDomain, "isRangingAvailable: %@", *available ? "yes" : "no");
    return *available;
}

bool ZarnPSystemFenceDao::isRegionExitSupported() {
    return locationManagerFactory_->regionsHaveNotifyOnExit();
}

std::optional<platform::Region> ZarnPSystemFenceDao::notificationToRegion(const ZarnPGeofence& geofence) {
    auto identifier = prefixIdentifier(geofence.shortId);
    if (!identifier || !geofence.location)
        return std::nullopt;
    double radius = static_cast<double>(geofence.matchRange);
    double maximum = locationManager_ ? locationManager_->maximumRegionMonitoringDistance() : radius;
    if (radius > maximum) {
        LogInfo(kDomain, "Match range (%d) larger than supported (%f)", geofence.matchRange, maximum);
        radius = maximum;
    }
    // The margin comes after the cap: a capped exit region reaches past the maximum on purpose.
    if (geofence.triggerOnExit)
        radius += std::max(50.0, std::min(radius / 10.0, 250.0));
    auto region = platform::Region::circular({geofence.location->latitude(), geofence.location->longitude()},
                                             radius, *identifier);
    region.notifyOnEntry = true;
    region.notifyOnExit = geofence.triggerOnExit;
    return region;
}

bool ZarnPSystemFenceDao::matches(const platform::Region& monitored, const ZarnPGeofence& geofence) {
    if (prefixIdentifier(geofence.shortId) != monitored.identifier)
        return false;
    auto wanted = notificationToRegion(geofence);
    if (!wanted || monitored.isBeacon())
        return false;
    if (!isDoubleEqualTo(monitored.center.latitude, wanted->center.latitude) ||
        !isDoubleEqualTo(monitored.center.longitude, wanted->center.longitude) ||
        !isDoubleEqualTo(monitored.radius, wanted->radius))
        return false;
    return !isRegionExitSupported() || monitored.notifyOnExit == geofence.triggerOnExit;
}

void ZarnPSystemFenceDao::removeObsoleteGeofences(const std::vector<ZarnPGeofence>& geofences) {
    for (const auto& region : locationManager_->monitoredRegions()) {
        if (!isGeofenceRegion(region.identifier))
            continue;
        bool wanted = std::any_of(geofences.begin(), geofences.end(),
                                  [&](const ZarnPGeofence& g) { return matches(region, g); });
        if (wanted)
            continue;
        LogDebug(kDomain, "Stop monitoring geofence region: %@", region.identifier);
        locationManager_->stopMonitoringForRegion(region);
    }
}

void ZarnPSystemFenceDao::addGeofences(const std::vector<ZarnPGeofence>& geofences) {
    auto monitored = locationManager_->monitoredRegions();
    std::set<std::string> present;
    for (const auto& r : monitored) present.insert(r.identifier);
    size_t room = monitored.size() < kMaxMonitoredRegions ? kMaxMonitoredRegions - monitored.size() : 0;
    std::vector<platform::Region> taken;
    for (const auto& g : geofences) {
        auto identifier = prefixIdentifier(g.shortId);
        if (!identifier || present.count(*identifier))
            continue;
        if (taken.size() >= room)
            break;
        auto region = notificationToRegion(g);
        if (!region)
            continue;
        present.insert(*identifier);
        taken.push_back(*region);
    }
    for (const auto& region : taken) {
        LogDebug(kDomain, "Start monitoring geofence region: %@", region.identifier);
        locationManager_->startMonitoringForRegion(region);
    }
}

void ZarnPSystemFenceDao::removeObsoleteBeacons(const std::optional<std::vector<Uuid>>& uuids) {
    for (const auto& region : locationManager_->monitoredRegions()) {
        if (!isBeaconRegion(region.identifier))
            continue;
        Uuid uuid(region.proximityUuid);
        if (uuids && std::find(uuids->begin(), uuids->end(), uuid) != uuids->end())
            continue;
        LogDebug(kDomain, "Stop monitoring beacon region: %@", region.identifier);
        stopRanging(region);
        locationManager_->stopMonitoringForRegion(region);
    }
}

void ZarnPSystemFenceDao::addBeacons(const std::vector<Uuid>& uuids) {
    if (!isBeaconSupported())
        return;
    for (const auto& uuid : uuids) {
        std::string identifier = std::string(kBeaconPrefix) + uuid.uuidString();
        std::optional<platform::Region> region;
        for (const auto& r : locationManager_->monitoredRegions())
            if (isBeaconRegion(r.identifier) && r.isBeacon() && Uuid(r.proximityUuid) == uuid &&
                r.identifier == identifier)
                region = r;
        if (!region) {
            region = platform::Region::beacon(uuid.bytes(), identifier);
            region->notifyEntryStateOnDisplay = true;
            LogDebug(kDomain, "Start monitoring beacons: %@ - %@", uuid.uuidString(), identifier);
            locationManager_->startMonitoringForRegion(*region);
        }
        // A device already inside learns it now rather than at the next crossing.
        locationManager_->requestStateForRegion(*region);
    }
}

void ZarnPSystemFenceDao::replaceNotifications(
    const std::vector<ZarnPGeofence>& geofences,
    const std::optional<std::vector<std::string>>& beaconIdentifiers) {
    ZARN_CHECK_SEQUENCE(sequence_);
    loadLocationManager();
    if (!fencesAvailable_) {
        LogDebug(kDomain, "Geofences not available. Won't register fences.");
        return;
    }
    std::optional<std::vector<Uuid>> uuids;
    if (beaconIdentifiers && isBeaconSupported())
        uuids = convertToUuids(*beaconIdentifiers);
    removeObsoleteGeofences(geofences);
    removeObsoleteBeacons(uuids);
    addGeofences(geofences);
    if (uuids)
        addBeacons(*uuids);
}

void ZarnPSystemFenceDao::monitorGeofenceNotifications(const std::vector<ZarnPGeofence>& geofences) {
    ZARN_CHECK_SEQUENCE(sequence_);
    loadLocationManager();
    if (!fencesAvailable_) {
        LogDebug(kDomain, "Geofences not available. Won't register geofences.");
        return;
    }
    removeObsoleteGeofences(geofences);
    addGeofences(geofences);
}

void ZarnPSystemFenceDao::replaceBeaconNotifications(const std::vector<std::string>& beaconUuids) {
    ZARN_CHECK_SEQUENCE(sequence_);
    loadLocationManager();
    if (!fencesAvailable_) {
        LogDebug(kDomain, "Geofences not available. Won't register geofences.");
        return;
    }
    if (!isBeaconSupported()) {
        LogDebug(kDomain, "Beacons are not supported. Won't register beacons.");
        return;
    }
    auto uuids = convertToUuids(beaconUuids);
    removeObsoleteBeacons(uuids);
    addBeacons(uuids);
}

void ZarnPSystemFenceDao::removeAllFences() {
    ZARN_CHECK_SEQUENCE(sequence_);
    loadLocationManager();
    removeObsoleteGeofences({});
    removeObsoleteBeacons(std::nullopt);
}

void ZarnPSystemFenceDao::getReady() {
    ZARN_CHECK_SEQUENCE(sequence_);
    loadLocationManager();
}

void ZarnPSystemFenceDao::startRanging(const platform::Region& region) {
    if (zarnBeaconRangingDao_.getRangingBgTask(region.identifier))
        return;
    LogDebug(kDomain, "StartRanging");
    locationManager_->startRangingBeaconsInRegion(region);
    zarnBeaconRangingDao_.addRangingBgTask(region.identifier, backgroundTaskDao_->startBackgroundTask());
    // A ranging that never gets a pass (a failing radio) must still end and release its task.
    auto ranging = zarnBeaconRangingDao_.getRangingBgTask(region.identifier);
    ranging->setNoPassTimer(scheduleExpiry(region, nullptr));
}

void ZarnPSystemFenceDao::stopRanging(const platform::Region& region) {
    LogDebug(kDomain, "StopRanging");
    zarnBeaconRangingDao_.removeRangingBgTask(region.identifier);
    locationManager_->stopRangingBeaconsInRegion(region);
    auto context = contextService_->startContext(ZarnTriggerContextBeacon);
    if (delegate_)
        delegate_->fenceDaoDidExitBeaconRegion(Uuid(region.proximityUuid), context);
}

std::shared_ptr<platform::Timer> ZarnPSystemFenceDao::scheduleExpiry(
    const platform::Region& region, std::shared_ptr<ZarnPContext> zarnContext) {
    std::weak_ptr<ZarnPSystemFenceDao> weak = weak_from_this();
    auto userInfo = std::make_shared<ZarnPObjectWithContextWrapper>(region, std::move(zarnContext));
    return timerDao_->scheduledTimerWithTimeInterval(
        kRangingExpirySeconds, "ZarnPSystemFenceDao",
        [weak, userInfo] {
            if (auto self = weak.lock())
                self->rangingHasExpired(*userInfo);
        },
        false);
}

void ZarnPSystemFenceDao::rangingHasExpired(const ZarnPObjectWithContextWrapper& userInfo) {
    ZARN_CHECK_SEQUENCE(sequence_);
    const auto* region = userInfo.objectAs<platform::Region>();
    if (!region)
        return;
    auto context = userInfo.zarnContext();
    // Without a pass there is no pass context: the result gets a context of its own.
    if (!context)
        context = contextService_->startContext(ZarnTriggerContextBeacon);
    finishRangingAndProcessBeacons(*region, context);
}

void ZarnPSystemFenceDao::finishRangingAndProcessBeacons(const platform::Region& region,
                                                         const std::shared_ptr<ZarnPContext>& zarnContext) {
    auto ranging = zarnBeaconRangingDao_.getRangingBgTask(region.identifier);
    if (!ranging)
        return;
    // Taken out of the table first, so that whatever the delegate does cannot finish it twice.
    zarnBeaconRangingDao_.removeRangingBgTask(region.identifier);
    locationManager_->stopRangingBeaconsInRegion(region);
    if (delegate_)
        delegate_->fenceDaoFinishRangingBeacons(ranging->sightings(), Uuid(region.proximityUuid),
                                                ranging->bgTask(), zarnContext);
}

void ZarnPSystemFenceDao::locationManagerDidEnterRegion(const platform::Region& region) {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "didEnterRegion: %@", region.identifier);
    if (isBeaconRegion(region.identifier))
        startRanging(region);
    else if (delegate_)
        delegate_->fenceDaoDidEnterGeofence(region.identifier);
}

void ZarnPSystemFenceDao::locationManagerDidExitRegion(const platform::Region& region) {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "didExitRegion: %@", region.identifier);
    if (isBeaconRegion(region.identifier))
        stopRanging(region);
    else if (delegate_)
        delegate_->fenceDaoDidExitGeofence(region.identifier);
}

void ZarnPSystemFenceDao::locationManagerDidDetermineState(platform::RegionState state,
                                                           const platform::Region& region) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // Only the library's own beacon regions are ranged; the app's are never touched.
    if (!region.isBeacon() || state != platform::RegionState::Inside || !isBeaconRegion(region.identifier))
        return;
    auto ranged = locationManager_->rangedRegions();
    bool ranging = std::any_of(ranged.begin(), ranged.end(),
                               [&](const platform::Region& r) { return r.identifier == region.identifier; });
    if (!ranging)
        startRanging(region);
}

void ZarnPSystemFenceDao::locationManagerDidRangeBeacons(const std::vector<platform::Beacon>& beacons,
                                                         const platform::Region& region) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!isBeaconRegion(region.identifier)) {
        LogDebug(kDomain, "Ignoring unknown beacon region: %@", region.identifier);
        return;
    }
    Uuid uuid(region.proximityUuid);
    LogDebug(kDomain, "Checking for beacon matches: %@", uuid.uuidString());
    auto ranging = zarnBeaconRangingDao_.getRangingBgTask(region.identifier);
    if (!ranging) {
        LogDebug(kDomain, "No task defined for: %@", region.identifier);
        return;
    }
    auto context = contextService_->startContext(ZarnTriggerContextBeacon);
    if (!ranging->rangingTimer()) {
        if (ranging->noPassTimer())
            ranging->noPassTimer()->invalidate();
        ranging->setNoPassTimer(nullptr);
        ranging->setRangingTimer(scheduleExpiry(region, context));
    }
    ranging->addOrUpdateBeaconSightings(beacons);
    ranging->setRangingCount(ranging->rangingCount() - 1);
    if (ranging->rangingCount() <= 0)
        finishRangingAndProcessBeacons(region, context);
}

void ZarnPSystemFenceDao::locationManagerMonitoringDidFail(const std::optional<platform::Region>& region,
                                                           const Error& error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (error.domain == platform::kLocationErrorDomain &&
        error.code == platform::kLocationErrorRegionMonitoringFailure)
        return;
    if (!region || !locationManager_)
        return;
    auto monitored = locationManager_->monitoredRegions();
    bool stillMonitored = std::any_of(monitored.begin(), monitored.end(), [&](const platform::Region& r) {
        return r.identifier == region->identifier;
    });
    if (stillMonitored)
        LogNsError(kDomain, error, "Failed to monitor for region");
}

void ZarnPSystemFenceDao::locationManagerRangingBeaconsDidFail(const platform::Region&, const Error& error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "rangingBeaconsDidFail: %@", error);
}

}  // namespace zarn
