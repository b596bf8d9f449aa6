#pragma once
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPSegmentationReading.h"
#include "services/ZarnPSegmentationSetting.h"

namespace zarn {

class ZarnPContext;
class ZarnPKeyValueDao;
class ZarnPNotificationLoading;
class ZarnPSegmentationDao;
class ZarnPSegmentationHistoryDao;
class ZarnPSystemPublicLogDao;

// The app's segmentation values and its advertising identifier with the tracking flag. A
// changed value makes the loaded campaigns stale: the next data update is forced and the loaded
// notifications are dropped. SDK thread only.
class ZarnPSegmentationService final : public ZarnPSegmentationReading, public ZarnPSegmentationSetting {
  public:
    // Every collaborator is required. The notification service comes later
    // (setNotificationService), as it holds this service itself.
    ZarnPSegmentationService(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                             std::shared_ptr<ZarnPSegmentationDao> segmentationDao,
                             std::shared_ptr<ZarnPSegmentationHistoryDao> historyDao,
                             std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao);
    ZarnPSegmentationService(const ZarnPSegmentationService&) = delete;
    ZarnPSegmentationService& operator=(const ZarnPSegmentationService&) = delete;

    // Held weakly: the notification service owns this one.
    void setNotificationService(std::weak_ptr<ZarnPNotificationLoading> notificationService);

    // `key` is already prefixed by its type.
    void setValue(const std::string& value, const std::string& key,
                  const std::shared_ptr<ZarnPContext>& zarnContext) override;
    void setAdvertisingIdentifier(const std::optional<std::string>& identifier,
                                  bool advertisingTrackingEnabled) override;

    std::optional<std::string> getAdvertisingIdentifier() override;
    std::optional<bool> isAdvertisingEnabled() override;
    Value getSegmentationProperties() override;

    // Removes the advertising settings, every segmentation value and the trigger history.
    void clearData() override;

  private:
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::shared_ptr<ZarnPSegmentationDao> segmentationDao_;
    std::shared_ptr<ZarnPSegmentationHistoryDao> historyDao_;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao_;
    std::weak_ptr<ZarnPNotificationLoading> notificationService_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
