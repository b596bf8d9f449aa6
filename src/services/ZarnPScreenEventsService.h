#pragma once
#include <memory>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPScreenEventTracking.h"

namespace zarn {

class ZarnPContextStarting;
class ZarnPEventLogging;
class ZarnPLocationUpdating;
class ZarnPSystemPublicLogDao;
class ZarnPSystemTimerDao;
namespace platform {
class NotificationCenter;
}

// Reports each move of the app to the foreground or the background: an "attribution" event
// and a public-log line for a foreground context, then a full location and data update with
// it. The app-state broadcasts arrive on the main thread; the work is moved to the SDK thread.
class ZarnPScreenEventsService final : public ZarnPScreenEventTracking,
                                       public std::enable_shared_from_this<ZarnPScreenEventsService> {
  public:
    // Every collaborator is required.
    ZarnPScreenEventsService(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                             std::shared_ptr<ZarnPEventLogging> eventService,
                             std::shared_ptr<ZarnPContextStarting> contextService,
                             std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao,
                             std::shared_ptr<ZarnPLocationUpdating> locationUpdateService,
                             std::shared_ptr<platform::NotificationCenter> center);
    ~ZarnPScreenEventsService() override;
    ZarnPScreenEventsService(const ZarnPScreenEventsService&) = delete;
    ZarnPScreenEventsService& operator=(const ZarnPScreenEventsService&) = delete;

    // Main thread; only the first call registers (and, in the foreground, reports at once).
    void registerHandlers(bool isInForeground) override;
    // Main thread: post the move to the SDK thread without waiting.
    void moveForeground();
    void moveBackground();
    // SDK thread.
    void handleMove(const std::string& action);

    bool isInitialized() const { return isInitialized_; }

  private:
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<ZarnPEventLogging> eventService_;
    std::shared_ptr<ZarnPContextStarting> contextService_;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao_;
    std::shared_ptr<ZarnPLocationUpdating> locationUpdateService_;
    std::shared_ptr<platform::NotificationCenter> center_;
    bool isInitialized_ = false;     // main thread
    ZarnPSequenceChecker sequence_;  // the SDK-thread side
};

}  // namespace zarn
