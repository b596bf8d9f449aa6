#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "device/exchange/ZarnPDataUpdateSaving.h"
#include "device/exchange/ZarnPRawHttpRequestDelegate.h"
#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "device/exchange/ZarnPServiceResponseHttpRequestDelegate.h"
#include "platform/Mutex.h"

namespace zarn {

class ZarnPBatteryDao;
class ZarnPClockDao;
class ZarnPDeviceIdDao;
class ZarnPFenceDao;
class ZarnPGeohashReadDao;
class ZarnPHttpDao;
class ZarnPKeyValueDao;
class ZarnPNetworkDao;
class ZarnPSystemPublicLogDao;

// The library's only client of the service: "storeEventsAndLoadNotifications" (events out, a
// data update back, saved at once) and "storeEvents" (events out, judged by the status). It also
// saves pushed data updates. Requests and completions run on the SDK thread; a save may be asked
// from any thread and saves never overlap.
class ZarnPDataUpdateDao final : public ZarnPRemoteEventAndNotificationDao,
                                 public ZarnPRawHttpRequestDelegate,
                                 public ZarnPServiceResponseHttpRequestDelegate,
                                 public std::enable_shared_from_this<ZarnPDataUpdateDao> {
  public:
    static constexpr const char* kDomain = "DataUpdateDao";
    static constexpr const char* kLoadPath = "storeEventsAndLoadNotifications";
    static constexpr const char* kStorePath = "storeEvents";

    struct Collaborators {
        std::shared_ptr<ZarnPHttpDao> httpDao;
        std::shared_ptr<ZarnPDeviceIdDao> deviceIdDao;
        std::shared_ptr<ZarnPNetworkDao> networkDao;
        std::shared_ptr<ZarnPBatteryDao> batteryDao;
        std::shared_ptr<ZarnPGeohashReadDao> geohashReadDao;
        std::shared_ptr<ZarnPFenceDao> fenceDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        // The stored public token is read back before a reply is saved.
        std::shared_ptr<ZarnPKeyValueDao> keyValueDao;
        std::shared_ptr<ZarnPClockDao> clockDao;
        ZarnPDataUpdateSaveFunction save;
        // Optional: called after each successful save.
        ZarnPNotificationCacheInvalidation invalidateCache;
    };

    // Every collaborator but the cache invalidation is required.
    static std::shared_ptr<ZarnPDataUpdateDao> create(Collaborators collaborators);
    ZarnPDataUpdateDao(const ZarnPDataUpdateDao&) = delete;
    ZarnPDataUpdateDao& operator=(const ZarnPDataUpdateDao&) = delete;

    // The capabilities every request names, in their order (12).
    static std::vector<std::string> getDefaultCapabilities();

    // ZarnPRemoteEventAndNotificationDao
    void storeEventsAndLoadNotifications(
        const std::vector<std::shared_ptr<ZarnPEvent>>& events,
        const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool supportsRegionExit,
        bool supportsBeacon, const std::string& publicToken, const std::optional<std::string>& advertisingId,
        std::optional<bool> advertisingEnabled, const Value& segmentationProperties,
        std::shared_ptr<ZarnPStoreEventsAndLoadNotificationsDelegate> delegate,
        std::shared_ptr<ZarnPContext> zarnContext) override;
    void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events, const std::string& publicToken,
                     const std::optional<std::string>& advertisingId, std::optional<bool> advertisingEnabled,
                     const Value& segmentationProperties,
                     std::shared_ptr<ZarnPStoreEventsDelegate> delegate) override;
    void saveDataUpdate(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* root,
                        const std::shared_ptr<ZarnPContext>& zarnContext) override;
    void clearData() override;

    // ZarnPRawHttpRequestDelegate
    void httpRequest(const std::shared_ptr<ZarnPRawHttpRequest>& request,
                     const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* response,
                     const std::optional<Error>& error,
                     const std::shared_ptr<ZarnPContext>& zarnContext) override;
    // ZarnPServiceResponseHttpRequestDelegate
    void completedWithRequest(const std::shared_ptr<ZarnPServiceResponseHttpRequest>& request,
                              const std::optional<Error>& error,
                              const std::shared_ptr<ZarnPContext>& zarnContext) override;

    // Domain "Zarn", code -3: no request body could be made.
    static Error bodyError();

  private:
    explicit ZarnPDataUpdateDao(Collaborators collaborators);

    // Region changes that follow a save, under the save lock.
    void replaceRegions(const ZarnPDataUpdateSaveOutcome& outcome) ZARN_REQUIRES(dataupdateSaveLock_);
    // The events not already carried by a request still out, now marked as carried: an event
    // goes out once at a time, so two answers can never both accept it.
    std::vector<std::shared_ptr<ZarnPEvent>> takeForSending(
        const std::vector<std::shared_ptr<ZarnPEvent>>& events);
    void releaseSent(const std::vector<std::shared_ptr<ZarnPEvent>>& events);

    Collaborators c_;
    std::set<std::string> inFlight_;  // identifiers of the events of the requests still out
    // Serialises the saves and the region changes after each; guards no member.
    Mutex dataupdateSaveLock_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
