#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "core/ZarnPNotification.h"
#include "core/ZarnPSequenceChecker.h"
#include "zarn/ValueFwd.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPClockDao;
class ZarnPCommonMatching;
class ZarnPContext;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPEventService;
class ZarnPExternalNotificationDao;
class ZarnPLocationWithAccuracy;
class ZarnPNotificationReadDao;
class ZarnPSegmentationHistoryDao;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;

// Matches a region the app reported (its trigger properties and enter or exit) against the
// external notifications cached near the last refresh, keeps the closest external contextual
// page and offers the matches through the common matching; an exit ends the dwellings of the
// matched notifications. Cooldowns, dwelling and authorisation are left to the common matching's
// show. Input from the app that is not of the expected shape matches nothing. SDK thread only.
class ZarnPExternalRegionMatchingService {
  public:
    struct Collaborators {
        std::shared_ptr<ZarnPExternalNotificationDao> notificationDao;
        std::shared_ptr<ZarnPNotificationReadDao> notificationReadDao;
        std::shared_ptr<ZarnPClockDao> clockDao;
        std::shared_ptr<ZarnPCommonMatching> commonMatchService;
        std::shared_ptr<ZarnPContextService> contextService;
        std::shared_ptr<ZarnPSegmentationHistoryDao> segmentationHistoryDao;
        std::shared_ptr<ZarnPContextualPageDao> contextualPageDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        std::shared_ptr<ZarnPEventService> eventService;
        // optional: with it, the writes of one run are one commit
        std::shared_ptr<ZarnPSqLiteDb> db;
    };

    // Every collaborator is required but the database.
    explicit ZarnPExternalRegionMatchingService(Collaborators collaborators);
    ZarnPExternalRegionMatchingService(const ZarnPExternalRegionMatchingService&) = delete;
    ZarnPExternalRegionMatchingService& operator=(const ZarnPExternalRegionMatchingService&) = delete;

    // `properties` is an array of dictionaries, `matchPayload` a dictionary of texts (may be
    // null or empty). Releases the context when nothing is offered.
    void checkForExternalRegionMatches(const Value& properties, int triggerType, const Value& matchPayload,
                                       const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                       const std::shared_ptr<ZarnPContext>& context);
    // True when one dictionary of `properties` has exactly the notification's trigger properties:
    // the same keys with the same text values, no more and no fewer.
    static bool isTriggerMatch(const ZarnPNotification& notification, const Value& properties);
    void refreshCache(const ZarnPLocationWithAccuracy& location);
    // Unsets the external contextual page, then stores `notification`'s when one is given.
    void saveClosestContextualPage(const ZarnPNotification* notification,
                                   const std::shared_ptr<ZarnPContext>& context);
    // Expired dwelling external notifications become sent notifications.
    void checkForSentDwellingGeofences(const std::shared_ptr<ZarnPContext>& context);
    void clearAccount();

    // Nothing until the first refresh.
    const std::optional<std::vector<ZarnPNotification>>& cachedNotifications() const {
        return cachedNotifications_;
    }

  private:
    Collaborators c_;
    std::optional<std::vector<ZarnPNotification>> cachedNotifications_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
