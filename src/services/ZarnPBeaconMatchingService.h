#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "services/ZarnPBeaconMatching.h"
#include "zarn/NotificationRequest.h"

namespace zarn {

class ZarnPBeaconNotificationDao;
class ZarnPClockDao;
class ZarnPCommonMatching;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPEventService;
class ZarnPNotification;
class ZarnPNotificationReadDao;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;
class ZarnPUINotificationDao;
class ZarnPUuidGenerator;

// Matches ranged beacons against the nearest beacon notifications: remembers which ones the
// user entered (under their beacon UUID), offers enter notifications at once and exit
// notifications once their beacon is no longer seen or its region is left, keeps the closest
// beacon contextual page, and turns expired dwelling beacon notifications into sent ones. Every
// run ends by handing its offers (maybe none) to the common matching, or, when a cooldown ends
// it early, by releasing its context itself. A notification is offered at most once per run.
// SDK thread only; a store that raises reaches the caller (the match-run dispatch catches).
class ZarnPBeaconMatchingService final : public ZarnPBeaconMatching {
  public:
    struct Collaborators {
        std::shared_ptr<ZarnPBeaconNotificationDao> beaconNotificationDao;
        std::shared_ptr<ZarnPEventService> eventService;
        std::shared_ptr<ZarnPNotificationReadDao> notificationReadDao;
        std::shared_ptr<ZarnPCommonMatching> commonMatchService;
        std::shared_ptr<ZarnPUuidGenerator> uuidGenerator;
        std::shared_ptr<ZarnPContextualPageDao> contextualPageDao;
        std::shared_ptr<ZarnPClockDao> clockDao;
        std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        std::shared_ptr<ZarnPContextService> contextService;
        // optional: with it, the writes of one run are one commit
        std::shared_ptr<ZarnPSqLiteDb> db;
    };

    // Seconds taken off a cooldown group's duration when a beacon notification is checked.
    static constexpr int kCooldownGroupSubtractSeconds = 7200;

    // Every collaborator is required but the database.
    explicit ZarnPBeaconMatchingService(Collaborators collaborators);
    ZarnPBeaconMatchingService(const ZarnPBeaconMatchingService&) = delete;
    ZarnPBeaconMatchingService& operator=(const ZarnPBeaconMatchingService&) = delete;

    void checkForSentDwellingBeacons(const std::shared_ptr<ZarnPContext>& context) override;
    void checkForBeaconMatches(const std::vector<platform::Beacon>& rangedBeacons, bool isAppInForeground,
                               const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                               const std::shared_ptr<ZarnPContext>& context,
                               const std::shared_ptr<ZarnPLocationWithAccuracy>& location) override;
    void checkForBeaconExited(const std::set<Uuid>& exitedBeaconUuids,
                              const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                              const std::shared_ptr<ZarnPContext>& context,
                              const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask) override;

    // The request that shows `notification` under a fresh match identifier.
    NotificationRequest offerBeaconNotification(const ZarnPNotification& notification, bool isAppInForeground,
                                                const std::string& beaconUuid);

  private:
    // The beacon notifications to judge: the nearest ones and the entered ones, each short id
    // once (the first).
    std::vector<ZarnPNotification> candidates(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                              const std::set<std::string>& enteredIds);
    void saveClosestContextualPage(const ZarnPNotification* page,
                                   const std::shared_ptr<ZarnPContext>& context);
    bool isInGroupCooldown(const ZarnPNotification& notification,
                           const std::shared_ptr<ZarnPContext>& context);
    struct BeaconRun;
    // Whether the global cooldown ends the run here (its context then released).
    bool endsForCooldown(const std::shared_ptr<ZarnPContext>& context);
    // Decides one sighting of a ranged beacon within a notification's match range.
    void judgeSighting(const ZarnPNotification& n, const platform::Beacon& beacon, BeaconRun& run);
    // Stores the entered set the run leaves; the entered ids that were left.
    std::set<std::string> storeEntered(const BeaconRun& run);

    Collaborators c_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
