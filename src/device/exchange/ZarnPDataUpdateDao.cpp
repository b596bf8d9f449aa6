#include "device/exchange/ZarnPDataUpdateDao.h"

#include <exception>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnTriggerContext.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/exchange/ZarnPRawHttpRequest.h"
#include "device/exchange/ZarnPServiceResponseHttpRequest.h"
#include "device/exchange/ZarnPStoreEventMarshaller.h"
#include "device/exchange/ZarnPStoreEventsTag.h"
#include "device/system/ZarnPBatteryDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPNetworkDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "store/ZarnPGeohashReadDao.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"

namespace zarn {

namespace {
constexpr const char* kMethod = "POST";

std::shared_ptr<ZarnPStoreEventsTag> tagOf(const std::any& tag) {
    auto* held = std::any_cast<std::shared_ptr<ZarnPStoreEventsTag>>(&tag);
    return held ? *held : nullptr;
}
}  // namespace

std::shared_ptr<ZarnPDataUpdateDao> ZarnPDataUpdateDao::create(Collaborators collaborators) {
    return std::shared_ptr<ZarnPDataUpdateDao>(new ZarnPDataUpdateDao(std::move(collaborators)));
}

ZarnPDataUpdateDao::ZarnPDataUpdateDao(Collaborators collaborators) : c_(std::move(collaborators)) {
    ZARN_REQUIRE(c_.httpDao);
    ZARN_REQUIRE(c_.deviceIdDao);
    ZARN_REQUIRE(c_.networkDao);
    ZARN_REQUIRE(c_.batteryDao);
    ZARN_REQUIRE(c_.geohashReadDao);
    ZARN_REQUIRE(c_.fenceDao);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.keyValueDao);
    ZARN_REQUIRE(c_.clockDao);
    ZARN_REQUIRE(c_.save);
}

std::vector<std::string> ZarnPDataUpdateDao::getDefaultCapabilities() {
    return {"version2response", "multipleUuids",   "cooldownGroups", "cooldownOverride",
            "landingPage",      "resendability",   "geotrigger",     "suspend",
            "applink",          "segmentationIds", "externalRegion", "country"};
}

Error ZarnPDataUpdateDao::bodyError() {
    return Error{"Zarn", -3, "Failed to convert to json"};
}

void ZarnPDataUpdateDao::storeEventsAndLoadNotifications(
    const std::vector<std::shared_ptr<ZarnPEvent>>& events,
    const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool supportsRegionExit, bool supportsBeacon,
    const std::string& publicToken, const std::optional<std::string>& advertisingId,
    std::optional<bool> advertisingEnabled, const Value& segmentationProperties,
    std::shared_ptr<ZarnPStoreEventsAndLoadNotificationsDelegate> delegate,
    std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto sending = takeForSending(events);
    auto capabilities = getDefaultCapabilities();
    if (supportsRegionExit)
        capabilities.emplace_back("regionExit");
    if (supportsBeacon) {
        capabilities.emplace_back("beacon");
        capabilities.emplace_back("beaconUuidFix");
    }
    ZarnPUpdateConditions conditions(
        c_.networkDao->connectionType(), !c_.networkDao->isMeteredConnection(), c_.batteryDao->isPlugged(),
        zarnContext ? ZarnTriggerContext::toString(zarnContext->triggerContext()) : std::string(),
        c_.batteryDao->batteryLevel(), c_.networkDao->isRoaming());
    std::vector<Value> tiles;
    for (const auto& tile : c_.geohashReadDao->getLoadedTiles()) tiles.push_back(tile.asDictionary());
    auto command = ZarnPStoreEventsAndLoadNotifications::storeEventsWithDeviceId(
        c_.deviceIdDao->getDeviceId(), sending, location, std::move(capabilities), advertisingId,
        advertisingEnabled, segmentationProperties, location ? location->accuracy() : 0.0, conditions,
        std::move(tiles), c_.clockDao->now());
    auto tag = std::make_shared<ZarnPStoreEventsTag>();
    tag->loadDelegate = delegate;
    tag->events = sending;
    tag->location = location;
    tag->publicToken = publicToken;
    bool started = c_.httpDao->createRawRequestFor(
        kLoadPath, kMethod, publicToken,
        ZarnPStoreEventMarshaller::storeEventsAndLoadNotificationsToDictionary(command), shared_from_this(),
        tag, zarnContext);
    // Without a request nobody else would ever complete the exchange: the events stay stored
    // and the run goes on.
    if (started)
        return;
    releaseSent(sending);
    if (delegate)
        delegate->loadNotificationsCompleted(sending, publicToken, true, zarnContext, bodyError());
}

void ZarnPDataUpdateDao::storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                     const std::string& publicToken,
                                     const std::optional<std::string>& advertisingId,
                                     std::optional<bool> advertisingEnabled,
                                     const Value& segmentationProperties,
                                     std::shared_ptr<ZarnPStoreEventsDelegate> delegate) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto sending = takeForSending(events);
    if (sending.empty() && !events.empty()) {
        // Their answer is still to come; they go again if it fails.
        LogDebug(kDomain, "Not sending %d events already on their way", static_cast<int>(events.size()));
        return;
    }
    auto command = ZarnPStoreEvents::storeEventsWithDeviceId(
        c_.deviceIdDao->getDeviceId(), sending, getDefaultCapabilities(), advertisingId, advertisingEnabled,
        segmentationProperties, c_.clockDao->now());
    auto tag = std::make_shared<ZarnPStoreEventsTag>();
    tag->storeDelegate = delegate;
    tag->events = sending;
    tag->publicToken = publicToken;
    bool started = c_.httpDao->createRequestFor(kStorePath, kMethod, publicToken,
                                                ZarnPStoreEventMarshaller::storeEventsToDictionary(command),
                                                shared_from_this(), tag, nullptr);
    if (started)
        return;
    releaseSent(sending);
    if (delegate)
        delegate->storeEventsCompleted(sending, bodyError(), nullptr);
}

void ZarnPDataUpdateDao::httpRequest(
    const std::shared_ptr<ZarnPRawHttpRequest>& request,
    const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* response,
    const std::optional<Error>& error, const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto tag = tagOf(request->requestTag());
    if (!tag) {
        LogError(kDomain, "Completed request without its tag: %@", request->url());
        return;
    }
    releaseSent(tag->events);
    if (request->url().find(kLoadPath) == std::string::npos) {
        if (tag->storeDelegate)
            tag->storeDelegate->storeEventsCompleted(tag->events, error, zarnContext);
        return;
    }
    if (!error) {
        // A reply for a token that has been replaced since belongs to another app account.
        auto stored = c_.keyValueDao->getPropertyValueForKey(setting::kPublicToken);
        if (stored && *stored == tag->publicToken)
            saveDataUpdate(response, zarnContext);
        else
            LogInfo(kDomain, "Dropping the data update: the public token changed since it was requested");
    }
    if (tag->loadDelegate)
        tag->loadDelegate->loadNotificationsCompleted(tag->events, tag->publicToken, true, zarnContext,
                                                      error);
}

void ZarnPDataUpdateDao::completedWithRequest(const std::shared_ptr<ZarnPServiceResponseHttpRequest>& request,
                                              const std::optional<Error>& error,
                                              const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto tag = tagOf(request->requestTag());
    if (!tag) {
        LogError(kDomain, "Completed request without its tag: %@", request->url());
        return;
    }
    releaseSent(tag->events);
    if (tag->storeDelegate)
        tag->storeDelegate->storeEventsCompleted(tag->events, error, zarnContext);
}

std::vector<std::shared_ptr<ZarnPEvent>> ZarnPDataUpdateDao::takeForSending(
    const std::vector<std::shared_ptr<ZarnPEvent>>& events) {
    std::vector<std::shared_ptr<ZarnPEvent>> sending;
    sending.reserve(events.size());
    for (const auto& event : events)
        if (event && inFlight_.insert(event->identifier()).second)
            sending.push_back(event);
    return sending;
}

void ZarnPDataUpdateDao::releaseSent(const std::vector<std::shared_ptr<ZarnPEvent>>& events) {
    for (const auto& event : events)
        if (event)
            inFlight_.erase(event->identifier());
}

void ZarnPDataUpdateDao::saveDataUpdate(
    const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* root,
    const std::shared_ptr<ZarnPContext>& zarnContext) {
    if (!root) {
        LogInfo(kDomain, "Ignoring empty response");
        c_.publicLogDao->logMessageIfEnabled(zarnContext, "Ignoring empty response");
        return;
    }
    MutexLock lock(dataupdateSaveLock_);
    try {
        auto outcome = c_.save(*root, zarnContext);
        replaceRegions(outcome);
        if (c_.invalidateCache)
            c_.invalidateCache();
    } catch (const std::exception& e) {
        LogError(kDomain, "Error during saving dataupdate due to: %@", std::string(e.what()));
        c_.publicLogDao->logMessageIfEnabled(zarnContext, "Error during saving dataupdate due to: %@",
                                             std::string(e.what()));
    } catch (...) {
        LogError(kDomain, "Error during saving dataupdate due to: %@", std::string("unknown exception"));
        c_.publicLogDao->logMessageIfEnabled(zarnContext, "Error during saving dataupdate due to: %@",
                                             std::string("unknown exception"));
    }
}

void ZarnPDataUpdateDao::replaceRegions(const ZarnPDataUpdateSaveOutcome& outcome) {
    if (outcome.deleteAllOldData) {
        if (outcome.beaconUuids.empty()) {
            c_.fenceDao->removeAllFences();
        } else {
            // Geofences are chosen again by the next match run; beacon regions wanted again stay
            // monitored, so no exit is reported for a region the device is still in.
            c_.fenceDao->monitorGeofenceNotifications({});
        }
        c_.fenceDao->replaceBeaconNotifications(outcome.storedBeaconUuids);
    } else if (!outcome.beaconUuids.empty()) {
        // Every stored beacon: the regions of tiles this update did not touch stay.
        c_.fenceDao->replaceBeaconNotifications(outcome.storedBeaconUuids);
    }
}

void ZarnPDataUpdateDao::clearData() {
    ZARN_CHECK_SEQUENCE(sequence_);
    c_.deviceIdDao->resetDeviceId();
}

}  // namespace zarn
