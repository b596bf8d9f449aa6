#pragma once
#include <atomic>
#include <memory>

#include "device/system/ZarnPBaseUINotificationDao.h"

namespace zarn {

namespace platform {
class DeviceInfo;
class LocalNotificationCenter;
}  // namespace platform

class ZarnPSystemTimerDao;

// Local notifications over the platform's notification centre. Scheduling, listing and
// cancelling go to the centre, which answers on a thread of its own (the cancels finish there);
// the permission request and the settings query run on the main thread, and the settings
// answer comes back on the SDK thread. Without a centre nothing is scheduled or asked, and
// notifications count as allowed (a system without the settings query). Every method is safe
// from any thread; the two permission switches are read when the request is made.
class ZarnPSystemUINotificationDao final : public ZarnPBaseUINotificationDao {
  public:
    // The timer wrapper is required; the centre and the device facts (the system version that
    // decides on the provisional option, later systems assumed without them) may be absent.
    ZarnPSystemUINotificationDao(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                                 std::shared_ptr<platform::LocalNotificationCenter> center,
                                 std::shared_ptr<platform::DeviceInfo> deviceInfo);

    void send(const NotificationRequest& request) override;
    void cancelNotifications(const std::vector<std::string>& identifiers) override;
    void cancelAllNotifications() override;
    void scheduledNotificationRequests(std::function<void(std::vector<NotificationRequest>)> block) override;
    void registerForNotifications() override;
    void isRegisteredForNotifications(
        std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block) override;

    bool automaticallyAskNotificationPermission() const override { return automaticallyAsk_; }
    void setAutomaticallyAskNotificationPermission(bool v) override { automaticallyAsk_ = v; }
    bool provisionalNotificationPermission() const override { return provisional_; }
    void setProvisionalNotificationPermission(bool v) override { provisional_ = v; }

  private:
    // Removes the pending library requests that `matches` picks, in one call.
    void cancelMatching(std::function<bool(const Value& userInfo)> matches);
    bool systemAtLeast12() const;

    std::weak_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<platform::LocalNotificationCenter> center_;
    std::shared_ptr<platform::DeviceInfo> deviceInfo_;
    std::atomic<bool> automaticallyAsk_{true};
    std::atomic<bool> provisional_{false};
};

}  // namespace zarn
