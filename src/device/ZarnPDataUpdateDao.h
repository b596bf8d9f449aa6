#pragma once
#include "core/ZarnPLogger.h"
#include "device/ZarnPRemoteEventAndNotificationDao.h"

namespace zarn {

// PLACEHOLDER until the exchange with the service is built: an upload is not sent and never
// completes, so the events stay stored for a later one.
class ZarnPDataUpdateDao final : public ZarnPRemoteEventAndNotificationDao {
  public:
    void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events, const std::string&,
                     const std::optional<std::string>&, std::optional<bool>, const Value&,
                     std::shared_ptr<ZarnPStoreEventsDelegate>) override {
        LogDebug("DataUpdateDao", "Not sending %d events: the service exchange is not built yet",
                 static_cast<int>(events.size()));
    }
};

}  // namespace zarn
