#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/ZarnPStoreEventsDelegate.h"
#include "zarn/ValueFwd.h"

namespace zarn {

class ZarnPEvent;

// The exchanges with the service. Only the events upload exists so far; the data-update
// exchange joins it with the transport.
class ZarnPRemoteEventAndNotificationDao {
  public:
    virtual ~ZarnPRemoteEventAndNotificationDao() = default;
    // Sends the events; the delegate hears the outcome on the SDK thread.
    virtual void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                             const std::string& publicToken, const std::optional<std::string>& advertisingId,
                             std::optional<bool> advertisingEnabled, const Value& segmentationProperties,
                             std::shared_ptr<ZarnPStoreEventsDelegate> delegate) = 0;
};

}  // namespace zarn
