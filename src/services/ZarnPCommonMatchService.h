#pragma once
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "platform/Mutex.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPShowNotificationsRequest.h"
#include "zarn/Value.h"

namespace zarn {

class ZarnPSqLiteDb;

class ZarnPBeaconNotificationDao;
class ZarnPClockDao;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPDeviceDataDao;
class ZarnPEventLogging;
class ZarnPExternalNotificationDao;
class ZarnPFenceDao;
class ZarnPKeyValueDao;
class ZarnPLocalNotificationDao;
class ZarnPMatchStateDao;
class ZarnPNotificationsEnabledCallback;
class ZarnPSegmentationHistoryDao;
class ZarnPSentTrigger;
class ZarnPSentTriggerDao;
class ZarnPSystemPublicLogDao;
class ZarnPSystemTimerDao;
class ZarnPUINotificationDao;
class ZarnPUuidGenerator;

// Cooldowns, the geofences to monitor next, the road from matched notifications to the app and
// the final show with its bookkeeping (cooldown dates, dwelling and has-to-leave state, sent
// triggers, events). Every state write goes to the store of the request's region kind. SDK
// thread only, apart from showNotifications with four arguments and the delegate, which any
// thread may use.
class ZarnPCommonMatchService final : public ZarnPCommonMatching,
                                      public std::enable_shared_from_this<ZarnPCommonMatchService> {
  public:
    static constexpr const char* kDomain = "CommonMatchingService";

    struct Collaborators {
        std::shared_ptr<ZarnPLocalNotificationDao> notificationDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao;
        std::shared_ptr<ZarnPContextualPageDao> contextualPageDao;
        std::shared_ptr<ZarnPSentTriggerDao> sentTriggerDao;
        std::shared_ptr<ZarnPKeyValueDao> keyValueDao;
        std::shared_ptr<ZarnPClockDao> clockDao;
        std::shared_ptr<ZarnPContextService> contextService;
        std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao;
        std::shared_ptr<ZarnPFenceDao> fenceDao;
        std::shared_ptr<ZarnPUuidGenerator> uuidGenerator;
        std::shared_ptr<ZarnPBeaconNotificationDao> beaconNotificationDao;
        std::shared_ptr<ZarnPExternalNotificationDao> externalNotificationDao;
        std::shared_ptr<ZarnPEventLogging> eventService;
        std::shared_ptr<ZarnPSystemTimerDao> timerDao;
        std::shared_ptr<ZarnPSegmentationHistoryDao> segmentationHistoryDao;
        // optional: with it, what one shown notification records is one commit
        std::shared_ptr<ZarnPSqLiteDb> db;
    };

    // Every collaborator is required but the segmentation history store.
    static std::shared_ptr<ZarnPCommonMatchService> create(Collaborators collaborators);
    ZarnPCommonMatchService(const ZarnPCommonMatchService&) = delete;
    ZarnPCommonMatchService& operator=(const ZarnPCommonMatchService&) = delete;

    void setDelegate(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate) override;
    std::shared_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate() const override;

    int getCooldownPeriod() override;
    bool isInCooldown(int period) override;
    bool shouldAbortMatchRunBecauseOfCoolDown() override;
    bool isInCooldownGroup(const std::vector<ZarnPCooldownGroup>& groups, int regionType,
                           int subtractSeconds) override;
    bool shouldIncreaseMatchRange() override;
    void monitorNotifications(const std::vector<ZarnPNotificationWithDistance>& notifications) override;
    void cancelNotifications(const std::set<std::string>& identifiers, int regionType) override;
    void saveSentDwellingNotification(const std::string& matchIdentifier, Date date) override;
    std::optional<Date> endWaitingDwellings(std::optional<Date> at) override;
    void offerNotifications(const std::vector<ZarnPNotification>& notifications, int regionType,
                            const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                            const std::shared_ptr<ZarnPContext>& zarnContext) override;
    void offerNotifications(const std::vector<ZarnPNotification>& notifications, int regionType,
                            bool isAppInForeground,
                            const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                            const std::shared_ptr<ZarnPContext>& zarnContext);
    // Called with no transaction open: the geotriggers' records are committed, durable, before
    // the app is handed them.
    void sendNotificationsToFilter(const std::vector<NotificationRequest>& requests,
                                   const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                   const std::shared_ptr<ZarnPContext>& zarnContext) override;
    void showNotifications(const std::vector<NotificationRequest>& notifications,
                           const std::vector<NotificationRequest>& allOffered,
                           const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                           const std::shared_ptr<ZarnPContext>& zarnContext) override;
    // The show pass itself, on the SDK thread; releases one reference on the request's context.
    void showNotifications(const ZarnPShowNotificationsRequest& request);
    void notificationIsOffered(const std::string& identifier) override;
    void filteredNotificationsDealloc(const std::vector<NotificationRequest>& requests) override;
    void filteredGeotriggerDealloc(const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) override;

    // For every key of `matchPayload`, "payload_<key>" in `dict`; the same dictionary back.
    static Value& addPayloadToEventsDict(Value& dict, const Value& matchPayload);

    // The identifiers being offered to the app, oldest first (bookkeeping only).
    std::vector<std::string> notificationsBeingOffered() const;

  private:
    explicit ZarnPCommonMatchService(Collaborators collaborators);

    // The state store of the region type: beacon, external, else geofence.
    ZarnPMatchStateDao& stateDao(int regionType) const;
    // Whether the answer counts as registered on this system.
    bool registeredFrom(const ZarnPNotificationsEnabledCallback& answer) const;
    // One request of the show loop; true when the loop stops for the global cooldown.
    bool showOne(const NotificationRequest& request, const ZarnPShowNotificationsRequest& show, int period,
                 bool& optOutLogged);
    // Removes the dwellings of `identifiers` and their waiting sent rows in one commit of the
    // Full tier (joining an open transaction); those ended, or none when the commit failed.
    std::vector<std::string> endDwellings(ZarnPMatchStateDao& dao, const std::set<std::string>& identifiers);
    struct ShowItem;
    struct Recorded;
    // Whether the request has an identifier and, unless it is a geotrigger, no cooldown holds.
    bool passesCooldowns(const ShowItem& item, int period);
    // Whether a dwelling request may start its dwelling: not a geotrigger, not pending already.
    bool mayScheduleDwelling(const ShowItem& item, ZarnPMatchStateDao& dao,
                             const ZarnPShowNotificationsRequest& show);
    // Everything a shown request records, in one commit when the store can begin one.
    Recorded recordShown(const ShowItem& item, ZarnPMatchStateDao& dao,
                         const std::shared_ptr<ZarnPContext>& context);
    std::shared_ptr<ZarnPSentTrigger> recordShownNow(const ShowItem& item, ZarnPMatchStateDao& dao, Date now,
                                                     const std::shared_ptr<ZarnPContext>& context);
    NotificationRequest recordDwellingStart(const ShowItem& item, ZarnPMatchStateDao& dao, Date now);
    // The log lines of a shown request, and its scheduling when it is a notification.
    void announceShown(const ShowItem& item, const NotificationRequest& toSend,
                       const std::shared_ptr<ZarnPContext>& context);

    Collaborators c_;
    ZarnPSequenceChecker sequence_;
    mutable Mutex mutex_;
    std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate_ ZARN_GUARDED_BY(mutex_);
    std::vector<std::string> notificationsBeingOffered_;
};

}  // namespace zarn
