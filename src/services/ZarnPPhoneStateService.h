#pragma once
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPPhoneStateReporting.h"

namespace zarn {

class ZarnPDelegateDataDao;
class ZarnPDeviceDataDao;
class ZarnPEventLogging;
class ZarnPKeyValueDao;
class ZarnPNotificationsEnabledCallback;
class ZarnPSqLiteDb;
namespace platform {
class NotificationCenter;
}

// Reports the notification permission, the app and device metadata and the location-services
// state as events, each only when it differs from what was stored last time (the settings keep
// the last values under plain keys). Updates on "Zarn_Initialized",
// "Zarn_Location_Update_Completed_Private" and "Zarn_Will_Resign_Active", which are posted on
// the SDK thread. SDK thread only.
class ZarnPPhoneStateService final : public ZarnPPhoneStateReporting,
                                     public std::enable_shared_from_this<ZarnPPhoneStateService> {
  public:
    // Every collaborator is required but the database; the centre is observed until the service
    // is destroyed.
    static std::shared_ptr<ZarnPPhoneStateService> create(
        std::shared_ptr<ZarnPKeyValueDao> keyValueDao, std::shared_ptr<ZarnPEventLogging> eventService,
        std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
        std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao,
        std::shared_ptr<platform::NotificationCenter> center, std::shared_ptr<ZarnPSqLiteDb> db = nullptr);
    ~ZarnPPhoneStateService() override;
    ZarnPPhoneStateService(const ZarnPPhoneStateService&) = delete;
    ZarnPPhoneStateService& operator=(const ZarnPPhoneStateService&) = delete;

    void updateStates();
    void sendNotificationsEnabledEvent();
    void sendNotificationsEnabledEvent(const std::shared_ptr<ZarnPNotificationsEnabledCallback>& state);
    void sendMetaDataEvent();
    void sendLocationServicesAvailabilityEvent();
    void sendLocationServicesAvailabilityEvent(bool backgroundExecutionEnabled);
    // Stores the value when it differs from the stored one (or none is stored); whether it did.
    bool isValueUpdatedForStoredValue(const std::string& value, const std::string& key);
    static std::string nilToEmptyString(const std::optional<std::string>& text);
    static std::string boolToString(bool value);

    void clearData() override;
    std::string getAppInformation() override;

  private:
    ZarnPPhoneStateService(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                           std::shared_ptr<ZarnPEventLogging> eventService,
                           std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
                           std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao,
                           std::shared_ptr<platform::NotificationCenter> center);
    void observe();
    bool systemAtLeast(int major);
    std::string notificationStateName(int state);

    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::shared_ptr<ZarnPEventLogging> eventService_;
    std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao_;
    std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao_;
    std::shared_ptr<platform::NotificationCenter> center_;
    // optional: with it, each state's settings and event are one commit
    std::shared_ptr<ZarnPSqLiteDb> db_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
