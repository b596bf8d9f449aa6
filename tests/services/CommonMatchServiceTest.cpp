// The common matching over the real stores on a temporary database and the simulated device's
// notification centre: cooldown rules, the regions to monitor, the offer road and the show loop.
#include "services/ZarnPCommonMatchService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <regex>
#include <stdexcept>

#include "core/ZarnPClockDao.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPSentTrigger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemUINotificationDao.h"
#include "services/ZarnPContextService.h"
#include "sim/Device.h"
#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "testing/SyncCountingVfs.h"
#include "tests/services/ServiceTestSupport.h"
#include "tests/support/FenceDoubles.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

using platform::NotificationAuthorizationStatus;

// A clock the test sets, so that stored match dates can lie in the past or the future.
class SetClock final : public ZarnPClockDao {
  public:
    Date now() override { return dateWithTimeIntervalSince1970(seconds.load()); }
    int64_t nowWithTimeZoneOffsetMilliseconds() override {
        return static_cast<int64_t>(seconds.load() * 1000);
    }
    std::atomic<double> seconds{test::TestEnvironment::kStart};
};

class RecordingFences final : public test::IgnoringFences {
  public:
    void monitorGeofenceNotifications(const std::vector<ZarnPGeofence>& geofences) override {
        calls.push_back(geofences);
    }
    std::vector<std::vector<ZarnPGeofence>> calls;
};

class RecordingOffers final : public ZarnPMatchServiceOfferNotificationDelegate {
  public:
    void offerLocalNotifications(const std::vector<NotificationRequest>& n,
                                 std::shared_ptr<ZarnPBackgroundTask>,
                                 std::shared_ptr<ZarnPContext>) override {
        offered.insert(offered.end(), n.begin(), n.end());
    }
    void offerGeotriggers(const std::vector<NotificationRequest>& g, std::shared_ptr<ZarnPBackgroundTask>,
                          std::shared_ptr<ZarnPContext>) override {
        geotriggers.insert(geotriggers.end(), g.begin(), g.end());
        if (onGeotriggers)
            onGeotriggers();
    }
    // Runs as the app is handed geotriggers.
    std::function<void()> onGeotriggers;
    void notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> t) override { sent.push_back(t); }
    void notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger>) override {}
    std::vector<NotificationRequest> offered;
    std::vector<NotificationRequest> geotriggers;
    std::vector<std::shared_ptr<ZarnPSentTrigger>> sent;
};

// The real sent-trigger store, refusing (by throwing) the request of one identifier.
class FlakySentTriggers final : public ZarnPSentTriggerDao {
  public:
    explicit FlakySentTriggers(std::shared_ptr<ZarnPSentTriggerDao> real) : real_(std::move(real)) {}
    void saveSentTrigger(const NotificationRequest& r, std::optional<Date> now) override {
        if (!failFor.empty() && r.content.userInfo.value("identifier", "") == failFor)
            throw std::runtime_error("disk I/O error");
        real_->saveSentTrigger(r, now);
    }
    std::optional<Error> saveDwellingTrigger(const std::string& m, Date now) override {
        return real_->saveDwellingTrigger(m, now);
    }
    std::optional<Error> markNotificationOpened(const std::string& m, Date now) override {
        return real_->markNotificationOpened(m, now);
    }
    std::optional<Error> markGeotriggerHandled(const std::string& m, Date now) override {
        return real_->markGeotriggerHandled(m, now);
    }
    std::shared_ptr<ZarnPSentTrigger> sentNotification(const std::string& m) override {
        return real_->sentNotification(m);
    }
    std::vector<std::shared_ptr<ZarnPSentTrigger>> sentNotifications() override {
        return real_->sentNotifications();
    }
    std::vector<std::shared_ptr<ZarnPSentTrigger>> sentGeotriggers() override {
        return real_->sentGeotriggers();
    }
    void clearSentNotifications() override { real_->clearSentNotifications(); }
    void clearSentGeotriggers() override { real_->clearSentGeotriggers(); }
    std::optional<Error> deleteUnsentTriggers(const std::vector<std::string>& ids) override {
        return real_->deleteUnsentTriggers(ids);
    }
    std::string failFor;

  private:
    std::shared_ptr<ZarnPSentTriggerDao> real_;
};

struct RequestShape {
    std::string campaign;
    unsigned handler = ZarnPNotificationHandlerTypeRegular;
    int dwellingMinutes = 0;
    std::vector<ZarnPCooldownGroup> groups = {};
    bool exit = false;
    std::optional<std::string> experiment = std::nullopt;
};

class CommonMatchServiceTest : public ::testing::Test {
  public:
    void SetUp() override {
        db->disableThreadCheck();
        env.device->notificationAuthorization()->setNotificationAuthorizationStatus(
            NotificationAuthorizationStatus::Authorized);
        publicLog->setEnabled(true);
        contexts->setTimerDao(timer);
        service = ZarnPCommonMatchService::create({
            .notificationDao = notifications,
            .publicLogDao = publicLog,
            .deviceDataDao = device,
            .contextualPageDao = std::make_shared<ZarnPSqLiteContextualPageDao>(db, clock),
            .sentTriggerDao = sentTriggers,
            .keyValueDao = settings,
            .clockDao = clock,
            .contextService = contexts,
            .uiNotificationDao = ui,
            .fenceDao = fences,
            .uuidGenerator = std::make_shared<ZarnPUuidGenerator>(),
            .beaconNotificationDao = beacons,
            .externalNotificationDao = externals,
            .eventService = events,
            .timerDao = timer,
            .segmentationHistoryDao = history,
            .db = db,
        });
        service->setDelegate(offers);
        onSdk([&] { db->database(); });
    }
    void TearDown() override {
        service.reset();
        env.runUntilIdle();
    }
    void onSdk(const std::function<void()>& block) { timer->invokeBlockOnRunLoop(block, true); }

    static ZarnPNotification notification(const RequestShape& s) {
        ZarnPNotification n;
        n.setCampaignId(s.campaign);
        n.setRegionId("r1");
        n.setMessage("Hello " + s.campaign);
        n.setLocation(ZarnPLocation(52.52, 13.405));
        n.setMatchRange(100);
        n.setNotificationHandlerType(s.handler);
        n.setDwellingMinutes(s.dwellingMinutes);
        n.setCooldownGroups(s.groups);
        n.setTriggerOnExit(s.exit);
        n.setMatchPayload({{"shop", s.campaign}});
        if (s.experiment) {
            n.setExperimentId(s.experiment);
            n.setExperimentMessageNumber(1);
        }
        return n;
    }
    NotificationRequest request(const RequestShape& s, int regionType = ZarnPNotificationRegionTypeGeofence) {
        return ui->createNotification(notification(s), "m-" + s.campaign, regionType, true);
    }
    // Runs one show pass from the SDK thread; the run's own reference stays on the context.
    std::shared_ptr<ZarnPContext> show(const std::vector<NotificationRequest>& requests) {
        auto context = contexts->startContext(0);
        context->incrementReferences();
        onSdk([&] { service->showNotifications(requests, requests, task, context); });
        env.runUntilIdle();
        return context;
    }
    std::vector<std::string> added() {
        std::vector<std::string> out;
        for (auto& r : env.device->localNotificationCenter()->addedRequests()) out.push_back(r.identifier);
        return out;
    }
    void stampGroup(const std::string& group, double offsetSeconds) {
        double base = clock->seconds;
        clock->seconds = base + offsetSeconds;
        onSdk([&] { notifications->updateCooldownLastMatch("x", {ZarnPCooldownGroup(group, 1)}); });
        clock->seconds = base;
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timer =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), nullptr);
    std::shared_ptr<SetClock> clock = std::make_shared<SetClock>();
    std::shared_ptr<ZarnPSqLiteDb> db =
        std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"), platform::current().fileSystem);
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
    std::shared_ptr<ZarnPKeyValueDao> settings = strings->keyValueDao();
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
    std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentation =
        std::make_shared<ZarnPSqLiteSegmentationDao>(db);
    std::shared_ptr<ZarnPSqLiteSegmentationHistoryDao> history =
        std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db);
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> reads = std::make_shared<ZarnPSqLiteNotificationReadDao>(
        db, cooldowns, clock, segmentation,
        std::make_shared<ZarnPSegmentationPropertyValidator>(clock, history));
    std::shared_ptr<ZarnPSqLiteNotificationDao> notifications =
        std::make_shared<ZarnPSqLiteNotificationDao>(db, cooldowns, clock, reads);
    std::shared_ptr<ZarnPSqLiteBeaconNotificationDao> beacons =
        std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db, cooldowns, clock);
    std::shared_ptr<ZarnPSqLiteExternalNotificationDao> externals =
        std::make_shared<ZarnPSqLiteExternalNotificationDao>(db, cooldowns, clock);
    std::shared_ptr<FlakySentTriggers> sentTriggers =
        std::make_shared<FlakySentTriggers>(std::make_shared<ZarnPSqLiteSentTriggerDao>(db));
    std::shared_ptr<test::RecordingEventLogging> events = std::make_shared<test::RecordingEventLogging>();
    std::shared_ptr<ZarnPContextService> contexts = std::make_shared<ZarnPContextService>(clock);
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog = std::make_shared<ZarnPSystemPublicLogDao>(
        clock, nullptr, nullptr, env.fileSystem, env.time, [] { return true; });
    std::shared_ptr<ZarnPSystemUINotificationDao> ui =
        std::make_shared<ZarnPSystemUINotificationDao>(timer, env.device->localNotificationCenter(), nullptr);
    std::shared_ptr<RecordingFences> fences = std::make_shared<RecordingFences>();
    std::shared_ptr<test::FakeDeviceDataDao> device = std::make_shared<test::FakeDeviceDataDao>();
    std::shared_ptr<RecordingOffers> offers = std::make_shared<RecordingOffers>();
    std::shared_ptr<ZarnPBackgroundTask> task = std::make_shared<ZarnPBackgroundTask>(1, nullptr);
    std::shared_ptr<ZarnPCommonMatchService> service;
};

TEST_F(CommonMatchServiceTest, GlobalCooldownFollowsTheOverrideAndTheLastMatch) {
    struct Case {
        const char* name;
        std::optional<int> override;  // nothing: never stored
        int period;
        std::optional<double> lastMatchOffset;
        int expectedPeriod;
        bool expectedAbort;
    };
    const Case cases[] = {
        {"missing override keeps the served period", std::nullopt, 600, -100, 600, true},
        {"stored -1 keeps the served period", -1, 600, -100, 600, true},
        {"override 0 switches the cooldown off", 0, 600, -100, 0, false},
        {"shorter override has passed", 30, 600, -100, 30, false},
        {"elapsed period", std::nullopt, 600, -700, 600, false},
        {"exactly the period has passed", std::nullopt, 600, -600, 600, false},
        {"last match in the future", std::nullopt, 600, 100, 600, false},
        {"never matched", std::nullopt, 600, std::nullopt, 600, false},
    };
    for (const auto& c : cases) {
        int period = 0;
        bool abort = false;
        onSdk([&] {
            if (c.override)
                settings->setIntPropertyValue(*c.override, "zarn_cooldown_period_override");
            else
                settings->unsetPropertyKey("zarn_cooldown_period_override");
            settings->setIntPropertyValue(c.period, "zarn_cooldown_period");
            if (c.lastMatchOffset)
                settings->setDatePropertyValue(dateByAddingTimeInterval(clock->now(), *c.lastMatchOffset),
                                               "zarn_last_match_date");
            else
                settings->unsetPropertyKey("zarn_last_match_date");
            period = service->getCooldownPeriod();
            abort = service->shouldAbortMatchRunBecauseOfCoolDown();
        });
        EXPECT_EQ(period, c.expectedPeriod) << c.name;
        EXPECT_EQ(abort, c.expectedAbort) << c.name;
    }
}

TEST_F(CommonMatchServiceTest, GroupCooldownComparesTheAbsoluteElapsedTimeWithDurationLessSubtracted) {
    struct Case {
        const char* name;
        int duration;
        int subtract;
        std::optional<double> lastMatchOffset;
        bool expected;
    };
    const Case cases[] = {
        {"never matched", 600, 0, std::nullopt, false},
        {"inside the duration", 600, 0, -100, true},
        {"the duration has passed", 600, 0, -600, false},
        {"a future match counts by its distance", 600, 0, 100, true},
        {"duration below the subtracted seconds never blocks", 600, 7200, -10, false},
        {"inside duration less subtracted", 9000, 7200, -1000, true},
        {"past duration less subtracted", 9000, 7200, -2000, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string id = "g" + std::to_string(n++);
        if (c.lastMatchOffset)
            stampGroup(id, *c.lastMatchOffset);
        bool geofence = false;
        bool external = false;
        onSdk([&] {
            std::vector<ZarnPCooldownGroup> groups{ZarnPCooldownGroup("unmatched", 99999),
                                                   ZarnPCooldownGroup(id, c.duration)};
            geofence = service->isInCooldownGroup(groups, ZarnPNotificationRegionTypeGeofence, c.subtract);
            external = service->isInCooldownGroup(groups, ZarnPNotificationRegionTypeExternal, c.subtract);
        });
        EXPECT_EQ(geofence, c.expected) << c.name;
        // Group matches are shared by every region kind.
        EXPECT_EQ(external, c.expected) << c.name;
    }
}

TEST_F(CommonMatchServiceTest, MonitorsTheNearestGeofencesUpToTheSettingSkippingThoseWithoutPlace) {
    std::vector<ZarnPNotificationWithDistance> nearest;
    auto placeless = notification({"placeless"});
    placeless.setLocation(std::nullopt);
    nearest.push_back({placeless, 0});
    for (int i = 0; i < 30; ++i) nearest.push_back({notification({"c" + std::to_string(i)}), 10.0 * i});
    onSdk([&] {
        settings->setIntPropertyValue(20, "zarn_max_regions_monitored");
        service->monitorNotifications(nearest);
        service->monitorNotifications({});
    });
    ASSERT_EQ(fences->calls.size(), 2u);
    ASSERT_EQ(fences->calls[0].size(), 20u);
    EXPECT_EQ(fences->calls[0].front().shortId, "c0;r1");
    EXPECT_EQ(fences->calls[0].back().shortId, "c19;r1");
    EXPECT_EQ(fences->calls[0].front().matchRange, 100);
    EXPECT_TRUE(fences->calls[1].empty());
}

TEST_F(CommonMatchServiceTest, OfferRoadShowsPagesAndLinksOffersTheRestAndRecordsGeotriggers) {
    std::vector<ZarnPNotification> matched{notification({"page", ZarnPNotificationHandlerTypeLandingPage}),
                                           notification({"regular"}),
                                           notification({"link", ZarnPNotificationHandlerTypeApplink}),
                                           notification({"geo", ZarnPNotificationHandlerTypeGeotrigger})};
    auto context = contexts->startContext(0);
    context->incrementReferences();
    // The app is handed the geotrigger once its records are committed and synced.
    bool recordedDurably = false;
    offers->onGeotriggers = [&] {
        auto connection = db->database();
        recordedDurably = !connection->hasOpenTransaction() && !connection->hasUnsyncedCommits() &&
                          sentTriggers->sentGeotriggers().size() == 1;
    };
    onSdk([&] { service->offerNotifications(matched, ZarnPNotificationRegionTypeGeofence, task, context); });
    env.runUntilIdle();
    EXPECT_TRUE(recordedDurably);

    ASSERT_EQ(offers->offered.size(), 1u);
    EXPECT_EQ(offers->offered[0].content.userInfo["identifier"], "regular;r1");
    EXPECT_TRUE(std::regex_match(offers->offered[0].content.userInfo["matchIdentifier"].get<std::string>(),
                                 std::regex("[0-9a-f]{32}")));
    ASSERT_EQ(offers->geotriggers.size(), 1u);
    // Pages and links are shown without asking the app, in the order of the list.
    auto shown = env.device->localNotificationCenter()->addedRequests();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].content.userInfo["identifier"], "page;r1");
    EXPECT_EQ(shown[1].content.userInfo["identifier"], "link;r1");
    // The geotrigger is recorded as sent when offered, not yet as handled.
    auto sentEvents = events->ofType(ZarnPLogEventTypeGeotriggerSent);
    ASSERT_EQ(sentEvents.size(), 1u);
    EXPECT_EQ(sentEvents[0].extra["geotrigger_id"], "geo;r1");
    EXPECT_EQ(sentEvents[0].extra["match_id"], offers->geotriggers[0].content.userInfo["matchIdentifier"]);
    EXPECT_EQ(sentEvents[0].extra["payload_shop"], "geo");
    EXPECT_TRUE(events->ofType(ZarnPLogEventTypeGeotriggerHandled).empty());
    EXPECT_EQ(events->ofType(ZarnPLogEventTypeNotificationSent).size(), 2u);
    std::size_t geotriggerRows = 0;
    onSdk([&] { geotriggerRows = sentTriggers->sentGeotriggers().size(); });
    EXPECT_EQ(geotriggerRows, 1u);
    // The show released its own reference; the run's stays with the offers.
    EXPECT_EQ(context->referenceCount(), 1);

    auto empty = contexts->startContext(0);
    empty->incrementReferences();
    onSdk([&] { service->sendNotificationsToFilter({}, task, empty); });
    EXPECT_EQ(empty->referenceCount(), 0);
}

struct ShowCase {
    const char* name;
    int cooldown;
    NotificationAuthorizationStatus status;
    std::vector<RequestShape> requests;
    std::function<void(CommonMatchServiceTest&)> before;
    std::vector<std::string> expectedAdded;
    std::size_t sentEvents;
    std::size_t handledEvents;
};

class ShowLoopTest : public CommonMatchServiceTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(ShowLoopTest, AppliesCooldownsPermissionAndDwelling) {
    const auto& c = GetParam();
    env.device->notificationAuthorization()->setNotificationAuthorizationStatus(c.status);
    onSdk([&] { settings->setIntPropertyValue(c.cooldown, "zarn_cooldown_period"); });
    if (c.before)
        c.before(*this);
    std::vector<NotificationRequest> requests;
    for (const auto& shape : c.requests) requests.push_back(request(shape));
    auto context = show(requests);

    EXPECT_EQ(added(), c.expectedAdded);
    EXPECT_EQ(events->ofType(ZarnPLogEventTypeNotificationSent).size(), c.sentEvents);
    EXPECT_EQ(events->ofType(ZarnPLogEventTypeGeotriggerHandled).size(), c.handledEvents);
    EXPECT_EQ(context->referenceCount(), 1) << "the show releases what it took";
    EXPECT_EQ(env.consoleCount("Not showing all notifications because of cooldown period in app"),
              c.cooldown > 0 ? 1 : 0);
    EXPECT_EQ(env.consoleCount("User has opt-out for receiving notifications"),
              c.status == NotificationAuthorizationStatus::Denied ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowLoopTest,
    ::testing::Values(
        ShowCase{"NoCooldownShowsAll",
                 0,
                 NotificationAuthorizationStatus::Authorized,
                 {{"a"}, {"b"}, {"c"}},
                 nullptr,
                 {"m-a", "m-b", "m-c"},
                 3,
                 0},
        ShowCase{"CooldownShowsTheFirstOnly",
                 600,
                 NotificationAuthorizationStatus::Authorized,
                 {{"a"}, {"b"}, {"c"}},
                 nullptr,
                 {"m-a"},
                 1,
                 0},
        ShowCase{"OptedOutStillHandlesGeotriggers",
                 0,
                 NotificationAuthorizationStatus::Denied,
                 {{"a"}, {"g", ZarnPNotificationHandlerTypeGeotrigger}, {"b"}},
                 nullptr,
                 {},
                 0,
                 1},
        ShowCase{"ProvisionalCountsAsRegistered",
                 0,
                 NotificationAuthorizationStatus::Provisional,
                 {{"a"}},
                 nullptr,
                 {"m-a"},
                 1,
                 0},
        ShowCase{"DwellingIsScheduledWithoutEvent",
                 0,
                 NotificationAuthorizationStatus::Authorized,
                 {{"d", ZarnPNotificationHandlerTypeRegular, 5}},
                 nullptr,
                 {"m-d"},
                 0,
                 0},
        ShowCase{"DwellingAlreadyRecorded",
                 0,
                 NotificationAuthorizationStatus::Authorized,
                 {{"d", ZarnPNotificationHandlerTypeRegular, 5}},
                 [](CommonMatchServiceTest& t) {
                     t.onSdk(
                         [&] { t.notifications->markUserStartedDwelling("d;r1", "old", t.clock->now()); });
                 },
                 {},
                 0,
                 0},
        ShowCase{"DwellingAlreadyPending",
                 0,
                 NotificationAuthorizationStatus::Authorized,
                 {{"d", ZarnPNotificationHandlerTypeRegular, 5}},
                 [](CommonMatchServiceTest& t) {
                     auto pending = t.request({"d", ZarnPNotificationHandlerTypeRegular, 5});
                     pending.identifier = "earlier";
                     pending.trigger = NotificationTrigger{.timeInterval = 300};
                     t.ui->send(pending);
                     t.env.runUntilIdle();
                 },
                 {"earlier"},
                 0,
                 0},
        ShowCase{"GroupCooldownHoldsNotificationsButNotGeotriggers",
                 0,
                 NotificationAuthorizationStatus::Authorized,
                 {{"a", ZarnPNotificationHandlerTypeRegular, 0, {ZarnPCooldownGroup("busy", 3600)}},
                  {"g", ZarnPNotificationHandlerTypeGeotrigger, 0, {ZarnPCooldownGroup("busy", 3600)}}},
                 [](CommonMatchServiceTest& t) { t.stampGroup("busy", -60); },
                 {},
                 0,
                 1},
        ShowCase{"FailingStoreSkipsOneRequest",
                 0,
                 NotificationAuthorizationStatus::Authorized,
                 {{"a"}, {"b"}, {"c"}},
                 [](CommonMatchServiceTest& t) { t.sentTriggers->failFor = "b;r1"; },
                 {"m-a", "m-c"},
                 3,
                 0}),
    [](const ::testing::TestParamInfo<ShowCase>& info) { return std::string(info.param.name); });

TEST_F(CommonMatchServiceTest, GeotriggerInGroupCooldownRenewsItsGroups) {
    stampGroup("busy", -60);
    show({request({"g", ZarnPNotificationHandlerTypeGeotrigger, 0, {ZarnPCooldownGroup("busy", 3600)}})});
    std::optional<Date> last;
    onSdk([&] { last = notifications->lastCooldownGroupMatch("busy"); });
    ASSERT_TRUE(last);
    EXPECT_EQ(*last, clock->now());
}

TEST_F(CommonMatchServiceTest, DwellingOfAnExperimentIsScheduledThenCancelledUnderItsFullId) {
    auto dwelling = request({"d", ZarnPNotificationHandlerTypeRegular, 5, {}, false, std::string("x")});
    auto entering = request({"e"});
    auto exiting = request({"f", ZarnPNotificationHandlerTypeRegular, 0, {}, true});
    show({dwelling, entering, exiting});

    auto pending = env.device->localNotificationCenter()->pendingRequests();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].identifier, "m-d");
    ASSERT_TRUE(pending[0].trigger);
    EXPECT_EQ(pending[0].trigger->timeInterval, 300);
    EXPECT_FALSE(pending[0].trigger->repeats);
    std::string fullId = dwelling.content.userInfo["identifierWithExperiment"];
    EXPECT_NE(fullId, "d;r1");
    bool dwellingRow = false;
    std::shared_ptr<ZarnPSentTrigger> sentBeforeExpiry;
    std::set<std::string> hasToLeave;
    onSdk([&] {
        dwellingRow = notifications->isUserDwellingIn(fullId);
        sentBeforeExpiry = sentTriggers->sentNotification("m-d");
        hasToLeave = notifications->getUserHasToLeaveNotifications();
    });
    EXPECT_TRUE(dwellingRow);
    EXPECT_EQ(sentBeforeExpiry, nullptr) << "waiting without a sent date";
    EXPECT_EQ(hasToLeave, (std::set<std::string>{"e;r1"})) << "only the entry trigger has to leave";
    EXPECT_EQ(events->ofType(ZarnPLogEventTypeNotificationSent).size(), 2u)
        << "no event for the dwelling yet";

    onSdk([&] { service->cancelNotifications({fullId}, ZarnPNotificationRegionTypeGeofence); });
    env.runUntilIdle();
    std::shared_ptr<ZarnPSentTrigger> sentAfterCancel;
    onSdk([&] {
        dwellingRow = notifications->isUserDwellingIn(fullId);
        // The waiting row is gone: dating it now finds nothing.
        service->saveSentDwellingNotification("m-d", clock->now());
        sentAfterCancel = sentTriggers->sentNotification("m-d");
    });
    EXPECT_FALSE(dwellingRow);
    EXPECT_TRUE(env.device->localNotificationCenter()->pendingRequests().empty());
    EXPECT_EQ(sentAfterCancel, nullptr);
    std::size_t sentEventsToApp = offers->sent.size();
    EXPECT_EQ(sentEventsToApp, 2u) << "only the two shown at once reached the app";
}

TEST_F(CommonMatchServiceTest, ExpiredDwellingBecomesSentAndReachesTheApp) {
    show({request({"d", ZarnPNotificationHandlerTypeRegular, 5})});
    std::shared_ptr<ZarnPSentTrigger> sent;
    onSdk([&] {
        service->saveSentDwellingNotification("m-d", dateByAddingTimeInterval(clock->now(), 300));
        sent = sentTriggers->sentNotification("m-d");
    });
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(sent->dateSent(), dateByAddingTimeInterval(clock->now(), 300));
    ASSERT_EQ(offers->sent.size(), 1u);
    EXPECT_EQ(offers->sent[0]->matchIdentifier(), "m-d");
}

TEST_F(CommonMatchServiceTest, EndingTheWaitingDwellingsLeavesOneTheSystemShowedToBeReportedSent) {
    show({request({"d", ZarnPNotificationHandlerTypeRegular, 5})});
    env.advanceBy(301);
    clock->seconds = clock->seconds + 301;
    ASSERT_EQ(env.device->localNotificationCenter()->deliveredNotifications().size(), 1u);
    std::shared_ptr<ZarnPSentTrigger> sent;
    onSdk([&] {
        EXPECT_FALSE(service->endWaitingDwellings(std::nullopt));
        service->saveSentDwellingNotification("m-d", clock->now());  // the expiry pass's
        sent = sentTriggers->sentNotification("m-d");
    });
    EXPECT_NE(sent, nullptr) << "shown by the system, never recorded as sent";
}

// A full disk refuses the one commit that records a show: the app must not hear of a send that
// left no trace, and hears of each once the disk has room again.
class CommonMatchFullDiskTest : public CommonMatchServiceTest {
  public:
    void SetUp() override {
        test::SyncCountingVfs::install();  // before the store opens its file
        CommonMatchServiceTest::SetUp();
    }
    void TearDown() override {
        test::SyncCountingVfs::install().setDiskFull(false);
        CommonMatchServiceTest::TearDown();
    }
};

// A dwelling's end in a run: rolled back by SQLite itself (played by a trigger), the centre keeps
// the request; committed with a sync that fails, the centre is told once the log is synced.
TEST_F(CommonMatchFullDiskTest, TheCentreDropsADwellingOnlyOnceItsEndIsDurable) {
    auto& disk = test::SyncCountingVfs::install();
    for (bool rolledBack : {true, false}) {
        SCOPED_TRACE(rolledBack ? "rolled back" : "sync failed");
        auto dwelling = request({"d", ZarnPNotificationHandlerTypeRegular, 5});
        show({dwelling});
        std::string id = dwelling.content.userInfo["identifierWithExperiment"];
        auto pending = [&] { return env.device->localNotificationCenter()->pendingRequests().size(); };
        ASSERT_EQ(pending(), 1u);
        bool dwellingLeft = false;
        onSdk([&] {
            auto connection = db->database();
            if (rolledBack)
                connection->executeUpdate(
                    "CREATE TEMP TRIGGER rollback_end BEFORE DELETE ON notification_sent BEGIN SELECT "
                    "RAISE(ROLLBACK, 'rolled back'); END");
            disk.setSyncsFail(!rolledBack);
            {
                ZarnPCommitGroup run(db, ZarnPDurability::Normal, "Run");
                service->cancelNotifications({id}, ZarnPNotificationRegionTypeGeofence);
            }
            disk.setSyncsFail(false);
            connection->executeUpdate("DROP TRIGGER IF EXISTS rollback_end");
            dwellingLeft = notifications->isUserDwellingIn(id);
        });
        env.runUntilIdle();
        EXPECT_EQ(dwellingLeft, rolledBack);
        EXPECT_EQ(pending(), 1u) << "told before the end is durable";
        onSdk([&] { EXPECT_TRUE(db->syncUnsyncedCommits()); });  // the deadline's sync
        env.runUntilIdle();
        EXPECT_EQ(pending(), rolledBack ? 1u : 0u);
        onSdk([&] { notifications->removeUserDwelling(id); });
        env.device->localNotificationCenter()->removePendingNotificationRequests({"m-d"});
    }
}

TEST_F(CommonMatchFullDiskTest, TheAppHearsOnlyOfSendsWhoseCommitSucceeded) {
    auto& disk = test::SyncCountingVfs::install();
    std::vector<NotificationRequest> requests{request({"a"}), request({"b"})};
    disk.setDiskFull(true);
    show(requests);
    disk.setDiskFull(false);
    std::size_t stored = 0;
    onSdk([&] { stored = sentTriggers->sentNotifications().size(); });
    EXPECT_EQ(stored, 0u);
    EXPECT_TRUE(added().empty());
    EXPECT_EQ(offers->sent.size(), 0u) << "told of sends that never happened";

    show(requests);  // room again
    EXPECT_EQ(added(), (std::vector<std::string>{"m-a", "m-b"}));
    EXPECT_EQ(offers->sent.size(), 2u);
}

}  // namespace
}  // namespace zarn
