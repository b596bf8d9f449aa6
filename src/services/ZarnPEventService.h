#pragma once
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPEventLogging.h"
#include "core/ZarnPSequenceChecker.h"
#include "device/ZarnPStoreEventsDelegate.h"
#include "zarn/Date.h"
#include "zarn/Error.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPEventDao;
class ZarnPKeyValueDao;
class ZarnPRemoteEventAndNotificationDao;
class ZarnPSegmentationReading;
class ZarnPUuidGenerator;
namespace platform {
class NotificationCenter;
}

// The one place that stores events (with the tracking context's identity) and that uploads
// them by themselves through "storeEvents". Every event is dated by the clock. SDK thread only.
class ZarnPEventService final : public ZarnPEventLogging,
                                public ZarnPStoreEventsDelegate,
                                public std::enable_shared_from_this<ZarnPEventService> {
  public:
    // Every collaborator but the key-value store is required. Observes "Zarn_Disabled" on the
    // notification centre (upload on disable) until it is destroyed.
    static std::shared_ptr<ZarnPEventService> create(
        std::shared_ptr<ZarnPEventDao> eventDao, std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
        std::shared_ptr<ZarnPUuidGenerator> uuidGenerator,
        std::shared_ptr<ZarnPSegmentationReading> segmentationService,
        std::shared_ptr<ZarnPRemoteEventAndNotificationDao> remoteDao,
        std::shared_ptr<ZarnPClockDao> clockDao, std::shared_ptr<platform::NotificationCenter> center);
    ~ZarnPEventService() override;

    void logEventWithType(unsigned type, const Value& extra, Date date,
                          const std::shared_ptr<ZarnPContext>& context);
    void logEventWithType(unsigned type, const Value& extra,
                          const std::shared_ptr<ZarnPContext>& context) override;
    void logEventWithType(unsigned type, const std::shared_ptr<ZarnPContext>& context);

    void sendEventsIfNeeded();
    void sendEvents();
    void sendAndClearEventsIfNonEmpty();
    void onDisable();

    void storeEventsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                              const std::optional<Error>& error,
                              std::shared_ptr<ZarnPContext> zarnContext) override;
    // Connectivity failures become "error" events; anything else is logged as an error.
    void logDataError(const Error& error, const std::string& operation,
                      const std::shared_ptr<ZarnPContext>& context);

    std::optional<Date> lastTimeSentEvents() const { return lastTimeSentEvents_; }

  private:
    ZarnPEventService() = default;

    std::shared_ptr<ZarnPEventDao> eventDao_;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::shared_ptr<ZarnPUuidGenerator> uuidGenerator_;
    std::shared_ptr<ZarnPSegmentationReading> segmentationService_;
    std::shared_ptr<ZarnPRemoteEventAndNotificationDao> remoteDao_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<platform::NotificationCenter> center_;
    std::optional<Date> lastTimeSentEvents_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
