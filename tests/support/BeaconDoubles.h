#pragma once
// The world of the beacon and external-region matching: the real stores on a temporary
// database, the real event, context and public-log services, and a common matching that records
// what reaches it instead of offering anything (the calls it does not record answer as the
// delegate-only one does).
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
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemUINotificationDao.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "sim/Device.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/store/NearestTestSupport.h"
#include "tests/support/CmatchDoubles.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn::test {

class RecordingCommonMatching final : public DelegateOnlyCommonMatching {
  public:
    struct Filtered {
        std::vector<NotificationRequest> requests;
        std::shared_ptr<ZarnPContext> context;
        // Whether a transaction was open on `db`'s connection when the requests were handed on.
        bool inTransaction = false;
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
        filtered.push_back({requests, context, db && db->database() && db->database()->hasOpenTransaction()});
    }

    std::deque<bool> abortAnswers;
    std::set<std::string> groupsInCooldown;
    std::vector<std::pair<int, int>> groupChecks;  // region type, seconds subtracted
    std::vector<Filtered> filtered;
    std::vector<Offered> offered;
    std::vector<Cancelled> cancelled;
    std::vector<std::string> sentDwellings;
    // Optional: the database whose transaction state each hand-off records.
    std::shared_ptr<ZarnPSqLiteDb> db;
};

// Everything the two matching services are built from: the store fixture and the stores and
// services the matching adds, all built before the file is first opened.
struct MatchingWorld : NearestStore {
    explicit MatchingWorld(TestEnvironment& env)
        : NearestStore(env.path("Documents/zarn.db"), env.time, DeferOpen{}),
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

    // The events of one type, in the order they were stored.
    std::vector<std::shared_ptr<ZarnPEvent>> events(unsigned type) {
        std::vector<std::shared_ptr<ZarnPEvent>> out;
        for (auto& e : eventDao->getEvents())
            if (e->eventType() == type)
                out.push_back(e);
        return out;
    }
    std::shared_ptr<ZarnPContext> context(unsigned type) { return contextService->startContext(type); }

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
