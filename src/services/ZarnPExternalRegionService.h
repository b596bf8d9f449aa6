#pragma once
#include <memory>
#include <optional>

#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPExternalRegionTriggering.h"
#include "zarn/Date.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPBackgroundTaskDao;
class ZarnPClockDao;
class ZarnPContext;
class ZarnPContextService;
class ZarnPCurrentLocationGetting;
class ZarnPExternalRegionMatchingService;
class ZarnPLocationWithAccuracy;
class ZarnPSystemPublicLogDao;

// The entry of a region the app reported: opens a background task and an external tracking
// context, makes sure the cache of nearby external notifications is fresh (refreshing it around
// the current location when it is older than a minute) and has the matching run on it. Without a
// location a cache up to 15 minutes old still serves; an older one drops the report with a debug
// log line. The cache and its date live in memory only. SDK thread only.
class ZarnPExternalRegionService final : public ZarnPExternalRegionTriggering,
                                         public std::enable_shared_from_this<ZarnPExternalRegionService> {
  public:
    struct Collaborators {
        std::shared_ptr<ZarnPExternalRegionMatchingService> regionMatching;
        std::shared_ptr<ZarnPContextService> contextService;
        std::shared_ptr<ZarnPCurrentLocationGetting> locationUpdateService;
        std::shared_ptr<ZarnPClockDao> clockDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao;
    };

    static constexpr double kRecentSeconds = 60.0;
    static constexpr double kUsableSeconds = 900.0;

    // Every collaborator is required.
    explicit ZarnPExternalRegionService(Collaborators collaborators);
    ZarnPExternalRegionService(const ZarnPExternalRegionService&) = delete;
    ZarnPExternalRegionService& operator=(const ZarnPExternalRegionService&) = delete;

    void regionTrigger(const std::shared_ptr<ZarnPExternalRegionRequest>& request) override;

    void regionTriggerWithLoadedCache(const ZarnPExternalRegionRequest& request,
                                      const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                      const std::shared_ptr<ZarnPContext>& context);
    // Refreshed at most 60 seconds ago when strict, at most 900 seconds ago otherwise; never
    // before the first refresh, nor when the clock stands before the refresh.
    bool isCacheRecent(bool strict);
    void updateCache(const ZarnPLocationWithAccuracy& location);

    const std::optional<Date>& lastCacheRefresh() const { return lastCacheRefresh_; }

  private:
    Collaborators c_;
    std::optional<Date> lastCacheRefresh_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
