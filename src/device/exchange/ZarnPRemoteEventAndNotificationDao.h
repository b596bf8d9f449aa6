#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/exchange/ZarnPStoreEventsAndLoadNotificationsDelegate.h"
#include "device/exchange/ZarnPStoreEventsDelegate.h"
#include "zarn/ValueFwd.h"

namespace com::zarnkit::velto::dataupdate::fb {
struct DataUpdateResponseDTO;
}

namespace zarn {

class ZarnPContext;
class ZarnPEvent;
class ZarnPLocationWithAccuracy;

// The exchanges with the service. SDK thread; every delegate is called there, exactly once per
// exchange.
class ZarnPRemoteEventAndNotificationDao {
  public:
    virtual ~ZarnPRemoteEventAndNotificationDao() = default;
    // Sends the events with the device's location, capabilities, loaded tiles and update
    // conditions, and saves the data update that comes back before the delegate hears of it.
    virtual void storeEventsAndLoadNotifications(
        const std::vector<std::shared_ptr<ZarnPEvent>>& events,
        const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool supportsRegionExit,
        bool supportsBeacon, const std::string& publicToken, const std::optional<std::string>& advertisingId,
        std::optional<bool> advertisingEnabled, const Value& segmentationProperties,
        std::shared_ptr<ZarnPStoreEventsAndLoadNotificationsDelegate> delegate,
        std::shared_ptr<ZarnPContext> zarnContext) = 0;
    // Sends the events; the delegate hears the outcome on the SDK thread.
    virtual void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                             const std::string& publicToken, const std::optional<std::string>& advertisingId,
                             std::optional<bool> advertisingEnabled, const Value& segmentationProperties,
                             std::shared_ptr<ZarnPStoreEventsDelegate> delegate) = 0;
    // Saves a data update (a fetched or a pushed one); nothing is "Ignoring empty response".
    virtual void saveDataUpdate(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* root,
                                const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    // All data is cleared: a new device id.
    virtual void clearData() = 0;
};

}  // namespace zarn
