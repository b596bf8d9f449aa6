#pragma once
#include <memory>

#include "device/system/ZarnPDeviceDataDao.h"
#include "zarn/platform/Platform.h"

namespace zarn {

class ZarnPKeyValueDao;
class ZarnPSystemTimerDao;

// The device-data answers over the platform seam: device facts, bundle values, location,
// notification and tracking permissions, the app's state and its wrapping framework.
class ZarnPSystemDeviceDataDao final : public ZarnPDeviceDataDao {
  public:
    // `services` supplies the platform objects; missing device facilities give the cautious
    // answer (nothing, NO, not enabled).
    ZarnPSystemDeviceDataDao(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                             std::shared_ptr<ZarnPSystemTimerDao> timerDao, platform::Services services);

    std::optional<std::string> hardwareModel() override;
    std::optional<std::string> platformVersion() override;
    std::string framework() override;
    std::optional<std::string> frameworkVersion() override;
    std::optional<std::string> appName() override;
    std::optional<std::string> appVersion() override;
    bool locationServicesEnabled() override;
    bool accurateLocationEnabled() override;
    void backgroundExecutionEnabled(std::function<void(bool)> block) override;
    void notificationServicesEnabled(
        std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block) override;
    void appInForeground(std::function<void(bool)> block) override;
    bool hasSignificantLocationChanges() override;
    bool hasGeofences() override;
    bool idfaOptedIn() override;

    // Run the caller's block on the SDK thread without waiting.
    void returnCallback(std::function<void(bool)> block, bool value);
    void returnCallback(std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block,
                        std::shared_ptr<ZarnPNotificationsEnabledCallback> values);

    std::shared_ptr<ZarnPSystemTimerDao> timerDao() const { return timerDao_.lock(); }

  private:
    // Whether the system's major version is at least `major`.
    bool systemAtLeast(int major);
    std::optional<std::string> bundleString(const char* key);
    std::optional<std::string> xamarinVersion();

    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::weak_ptr<ZarnPSystemTimerDao> timerDao_;
    platform::Services services_;
};

}  // namespace zarn
