#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/ZarnPNotification.h"
#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPGeofenceMatching.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPCommonMatching;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPEventService;
class ZarnPLocalNotificationDao;
class ZarnPNotificationReadDao;
class ZarnPSegmentationHistoryDao;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;

// One geofence match run per fix: reads the nearest geofence notifications, has the nearest
// ones monitored, decides for each whether the user is inside, has to leave first, is in an
// exit geofence, still dwells or has left, keeps the closest contextual page and hands the
// matches to the common matching. Keeps no state between runs: the entered, dwelling and
// has-to-leave sets live in the store. Store failures are logged and the run goes on; nothing
// here raises. SDK thread only.
class ZarnPGeofenceMatchingService final : public ZarnPGeofenceMatching {
  public:
    static constexpr const char* kDomain = "GeofenceMatchingService";
    // A fix at most this inaccurate is good enough for any geofence.
    static constexpr double kAccurateFixMeters = 200.0;
    static constexpr double kMinMarginMeters = 50.0;
    static constexpr double kMaxMarginMeters = 2500.0;
    static constexpr int kIncreasedMatchRangeMeters = 300;
    // Dwelling notifications are judged against their group cooldown this much earlier.
    static constexpr int kDwellingCooldownSubtractSeconds = 7200;

    struct Collaborators {
        std::shared_ptr<ZarnPCommonMatching> commonMatchService;
        std::shared_ptr<ZarnPNotificationReadDao> notificationReadDao;
        std::shared_ptr<ZarnPLocalNotificationDao> notificationDao;
        std::shared_ptr<ZarnPEventService> eventService;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        std::shared_ptr<ZarnPContextService> contextService;
        std::shared_ptr<ZarnPContextualPageDao> contextualPageDao;
        std::shared_ptr<ZarnPClockDao> clockDao;
        std::shared_ptr<ZarnPSegmentationHistoryDao> segmentationHistoryDao;
        // optional: with it, the writes of one run are one commit
        std::shared_ptr<ZarnPSqLiteDb> db;
    };

    // Every collaborator is required but the database.
    explicit ZarnPGeofenceMatchingService(Collaborators collaborators);
    ZarnPGeofenceMatchingService(const ZarnPGeofenceMatchingService&) = delete;
    ZarnPGeofenceMatchingService& operator=(const ZarnPGeofenceMatchingService&) = delete;

    // Turns the dwelling geofences whose time is up into sent notifications.
    void checkForSentDwellingGeofences(const std::shared_ptr<ZarnPContext>& context) override;
    // The match run. Releases the context when nothing is offered (the offer road releases it
    // otherwise); a missing fix ends the run at once.
    void checkForGeofenceMatches(const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                 const std::shared_ptr<ZarnPContext>& context,
                                 const std::shared_ptr<ZarnPLocationWithAccuracy>& location) override;

    // The notifications in order, the first of each short id only.
    static std::vector<ZarnPNotification> filterOutRepeatedNotifications(
        const std::vector<ZarnPNotification>& notifications);

    // The rules of a run, for one geofence of match range `matchRange` metres.
    static bool isAccurateEnough(double accuracy, int matchRange);
    static double exitMargin(int matchRange);
    // The short id ("campaign;region") of a notification identifier, with or without the
    // experiment part.
    static std::string shortIdOfIdentifier(const std::string& identifier);

  private:
    void saveClosestContextualPage(const ZarnPNotification* page,
                                   const std::shared_ptr<ZarnPContext>& context);

    const Collaborators c_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
