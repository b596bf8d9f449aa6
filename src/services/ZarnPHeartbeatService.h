#pragma once
#include <memory>

#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPHeartbeatScheduling.h"
#include "zarn/Date.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPDeviceDataDao;
class ZarnPEventLogging;
class ZarnPKeyValueDao;
class ZarnPLocationManagerCreator;
class ZarnPNotificationsEnabledCallback;
class ZarnPSqLiteDb;
class ZarnPSystemTimerDao;
namespace platform {
class Timer;
}

// Stores one "heartbeat" event per UTC day with the permission state: the first one a second
// after start when none was sent on the current UTC day, then one at every UTC midnight. The
// time zone of the device plays no part. SDK thread only.
class ZarnPHeartbeatService final : public ZarnPHeartbeatScheduling,
                                    public std::enable_shared_from_this<ZarnPHeartbeatService> {
  public:
    // Every collaborator is required.
    ZarnPHeartbeatService(std::shared_ptr<ZarnPEventLogging> eventService,
                          std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                          std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                          std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
                          std::shared_ptr<ZarnPClockDao> clockDao,
                          std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator,
                          std::shared_ptr<ZarnPSqLiteDb> db = nullptr);
    ~ZarnPHeartbeatService() override;
    ZarnPHeartbeatService(const ZarnPHeartbeatService&) = delete;
    ZarnPHeartbeatService& operator=(const ZarnPHeartbeatService&) = delete;

    // Schedules the next heartbeat (replacing a waiting one).
    void startTimer() override;
    // Seconds until the next heartbeat is due.
    double getHeartbeatTimeInterval();
    // Asks for the permissions, then registers the heartbeat.
    void sendHeartbeatEvent();
    void registerHeartbeatEvent(
        bool backgroundExecutionEnabled,
        const std::shared_ptr<ZarnPNotificationsEnabledCallback>& notificationServicesEnabled);
    // The date cut to 00:00 UTC of its day.
    static Date dateWithoutHour(Date date);
    // Seconds from now to the next 00:00 UTC.
    double calculateHeartbeatInterval();

    bool hasTimer() const;

  private:
    bool systemAtLeast(int major);

    std::shared_ptr<ZarnPEventLogging> eventService_;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator_;
    // Gathers the heartbeat's date and event into one commit (none: each commits on its own).
    std::shared_ptr<ZarnPSqLiteDb> db_;
    std::shared_ptr<platform::Timer> timer_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
