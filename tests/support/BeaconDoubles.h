#pragma once
// The world of the beacon and external-region matching: the real stores on a temporary
// database, the real event, context and public-log services, and a common matching that records
// what reaches it instead of offering anything.
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/ZarnPSystemPublicLogDao.h"
#include "device/ZarnPSystemUINotificationDao.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteKeyValueDao.h"
#include "tests/store/NearestTestSupport.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn::test {

class RecordingCommonMatching final : public ZarnPCommonMatching {
  public:
    struct Filtered {
        std::vector<NotificationRequest> requests;
        std::shared_ptr<ZarnPContext> context;
    };
    struct Offered {
        std::vector<ZarnPNotification> notifications;
        int regionType = -1;
        std::shared_ptr<ZarnPContext> context;
    };
    struct Cancelled {
        std::set<std::string> identifiers;
        int regionType = -1;
    };

    void setDelegate(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate>) override {}
    std::shared_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate() const override { return nullptr; }
    int getCooldownPeriod() override { return 0; }
    bool isInCooldown(int) override { return false; }
    // Answers from the queue, then NO.
    bool shouldAbortMatchRunBecauseOfCoolDown() override {
        if (abortAnswers.empty())
            return false;
        bool answer = abortAnswers.front();
        abortAnswers.pop_front();
        return answer;
    }
    bool isInCooldownGroup(const std::vector<ZarnPCooldownGroup>& groups, int regionType,
                           int subtractSeconds) override {
        groupChecks.push_back({regionType, subtractSeconds});
        for (const auto& g : groups)
            if (groupsInCooldown.count(g.identifier()))
                return true;
        return false;
    }
    bool shouldIncreaseMatchRange() override { return false; }
    void monitorNotifications(const std::vector<ZarnPNotificationWithDistance>&) override {}
    void cancelNotifications(const std::set<std::string>& identifiers, int regionType) override {
        cancelled.push_back({identifiers, regionType});
    }
    void saveSentDwellingNotification(const std::string& matchIdentifier, Date) override {
        sentDwellings.push_back(matchIdentifier);
    }
    void offerNotifications(const std::vector<ZarnPNotification>& notifications, int regionType,
                            const std::shared_ptr<ZarnPBackgroundTask>&,
                            const std::shared_ptr<ZarnPContext>& context) override {
        offered.push_back({notifications, regionType, context});
    }
    void sendNotificationsToFilter(const std::vector<NotificationRequest>& requests,
                                   const std::shared_ptr<ZarnPBackgroundTask>&,
                                   const std::shared_ptr<ZarnPContext>& context) override {
        filtered.push_back({requests, context});
    }
    void showNotifications(const std::vector<NotificationRequest>&, const std::vector<NotificationRequest>&,
                           const std::shared_ptr<ZarnPBackgroundTask>&,
                           const std::shared_ptr<ZarnPContext>&) override {}
    void notificationIsOffered(const std::string&) override {}
    void filteredNotificationsDealloc(const std::vector<NotificationRequest>&) override {}
    void filteredGeotriggerDealloc(const std::vector<std::shared_ptr<ZarnGeotrigger>>&) override {}

    std::deque<bool> abortAnswers;
    std::set<std::string> groupsInCooldown;
    std::vector<std::pair<int, int>> groupChecks;  // region type, seconds subtracted
    std::vector<Filtered> filtered;
    std::vector<Offered> offered;
    std::vector<Cancelled> cancelled;
    std::vector<std::string> sentDwellings;
};

// Everything the two matching services are built from. The stores are built before the file
// is first opened, so that each migrates its tables.
struct MatchingWorld {
    explicit MatchingWorld(TestEnvironment& env)
        : clock(std::make_shared<ZarnPSystemClockDao>(env.time)),
          db(NearestStore::makeDb(env.path("Documents/zarn.db"))),
          tables(db),
          cooldownGroups(std::make_shared<ZarnPSqLiteCooldownGroupDao>(db)),
          cooldowns(std::make_shared<ZarnPSqLiteCooldownDao>(db)),
          segmentation(std::make_shared<ZarnPSqLiteSegmentationDao>(db)),
          history(std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db)),
          validator(std::make_shared<ZarnPSegmentationPropertyValidator>(clock, history)),
          read(std::make_shared<ZarnPSqLiteNotificationReadDao>(db, cooldowns, clock, segmentation,
                                                                validator)),
          center(std::make_shared<platform::NotificationCenter>()),
          timerDao(std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                         platform::current().application)),
          keyValues(std::make_shared<ZarnPSqLiteKeyValueDao>(db)),
          eventDao(std::make_shared<ZarnPSqLiteEventDao>(db)),
          beaconDao(std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db, cooldowns, clock)),
          externalDao(std::make_shared<ZarnPSqLiteExternalNotificationDao>(db, cooldowns, clock)),
          contextualPages(std::make_shared<ZarnPSqLiteContextualPageDao>(db, clock)),
          eventService(ZarnPEventService::create(eventDao, keyValues->keyValueDao(), uuids,
                                                 std::make_shared<FreshSegmentation>(),
                                                 std::make_shared<UnreachableService>(), clock, center)),
          contextService(std::make_shared<ZarnPContextService>(clock, eventService, nullptr)),
          publicLog(std::make_shared<ZarnPSystemPublicLogDao>(clock, nullptr, nullptr, env.fileSystem,
                                                              env.time, [] { return true; })),
          uiNotifications(std::make_shared<ZarnPSystemUINotificationDao>(
              timerDao, env.device->localNotificationCenter(), env.device->deviceInfo())) {
        db->database();
        publicLog->setEnabled(true);
    }

    // Stores the campaigns, cooldown groups and notifications of the update.
    void save(const sim::DataUpdateDescription& description) {
        auto bytes = sim::DataUpdateBuilder::build(description);
        const auto* root = fbs::GetDataUpdateResponseDTO(bytes.data());
        ZarnPTransaction transaction(db->database());
        std::map<uint32_t, int64_t> campaignRows;
        if (root->campaigns())
            for (const auto* c : *root->campaigns())
                campaignRows[c->temporaryId()] = tables.campaign->save(*c);
        if (root->cooldownGroups())
            for (const auto* g : *root->cooldownGroups()) cooldownGroups->save(*g);
        if (root->updatedGeohashes())
            for (const auto* tile : *root->updatedGeohashes()) {
                int64_t tileId = tables.geohash->save(*tile, nullptr);
                if (tile->changedNotifications())
                    for (const auto* n : *tile->changedNotifications())
                        tables.notification->save(*n, campaignRows[n->temporaryCampaignId()], tileId);
            }
        transaction.commit();
        read->invalidate();
    }

    // The events of one type, in the order they were stored.
    std::vector<std::shared_ptr<ZarnPEvent>> events(unsigned type) {
        std::vector<std::shared_ptr<ZarnPEvent>> out;
        for (auto& e : eventDao->getEvents())
            if (e->eventType() == type)
                out.push_back(e);
        return out;
    }
    std::shared_ptr<ZarnPContext> context(unsigned type) { return contextService->startContext(type); }

    std::shared_ptr<ZarnPSystemClockDao> clock;
    std::shared_ptr<ZarnPSqLiteDb> db;
    DataUpdateStores tables;
    std::shared_ptr<ZarnPSqLiteCooldownGroupDao> cooldownGroups;
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldowns;
    std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentation;
    std::shared_ptr<ZarnPSqLiteSegmentationHistoryDao> history;
    std::shared_ptr<ZarnPSegmentationPropertyValidator> validator;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> read;
    std::shared_ptr<platform::NotificationCenter> center;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao;
    std::shared_ptr<ZarnPUuidGenerator> uuids = std::make_shared<ZarnPUuidGenerator>();
    std::shared_ptr<ZarnPSqLiteKeyValueDao> keyValues;
    std::shared_ptr<ZarnPSqLiteEventDao> eventDao;
    std::shared_ptr<ZarnPSqLiteBeaconNotificationDao> beaconDao;
    std::shared_ptr<ZarnPSqLiteExternalNotificationDao> externalDao;
    std::shared_ptr<ZarnPSqLiteContextualPageDao> contextualPages;
    std::shared_ptr<ZarnPEventService> eventService;
    std::shared_ptr<ZarnPContextService> contextService;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog;
    std::shared_ptr<ZarnPSystemUINotificationDao> uiNotifications;
    std::shared_ptr<RecordingCommonMatching> common = std::make_shared<RecordingCommonMatching>();
};

// The short ids ("identifier") of requests, in order.
inline std::vector<std::string> requestIds(const std::vector<NotificationRequest>& requests) {
    std::vector<std::string> out;
    for (const auto& r : requests) out.push_back(r.content.userInfo.value("identifier", std::string()));
    return out;
}

}  // namespace zarn::test
