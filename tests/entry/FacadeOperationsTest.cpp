// The facade's remaining operations through the public entry on the started library: the lists
// of loaded and sent items with their region types, clearing, segmentation, attribution, the
// contextual page with its freshness window and timeout, and clearing all data.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPUuidGenerator.h"
#include "entry/ZarnPZarnHandleGeotriggers.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnValues.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {
namespace {

using sim::DataUpdateNotification;

DataUpdateNotification near(const std::string& campaign, const std::string& id) {
    return {.campaign = campaign, .geofenceId = id, .location = {{52.5200f, 13.4000f}}, .matchRange = 100};
}

class FacadeOperationsTest : public test::StartedLibraryTest {
  protected:
    template <typename F>
    auto onSdk(F f) {
        return ground()->onSdk(std::move(f));
    }
    long long count(const std::string& sql) {
        auto g = ground();
        return g->onSdk([&] { return g->count(sql); });
    }
    std::vector<std::shared_ptr<ZarnPEvent>> events(unsigned type) {
        std::vector<std::shared_ptr<ZarnPEvent>> out;
        for (auto& e : ground()->storedEvents())
            if (e->eventType() == type)
                out.push_back(e);
        return out;
    }
    // The device id the library goes on with: the stored one, or a new one once it was forgotten.
    std::string deviceId() {
        auto g = ground();
        return g->onSdk([&] {
            return ZarnPDeviceIdDao(std::make_shared<ZarnPUuidGenerator>(), g->settings()).getDeviceId();
        });
    }

    // A plain geofence, a beacon, an external region and a geotrigger,
    // all at the device's last match location.
    void loadUpdate() {
        auto bytes = sim::DataUpdateBuilder::build({
            .campaigns = {{.campaignId = "geo", .message = "geofence"},
                          {.campaignId = "bea", .message = "beacon"},
                          {.campaignId = "ext", .message = "external"},
                          {.campaignId = "trg", .message = "geotrigger", .handlerType = 2}},
            .tiles = {{.value = "u33d",
                       .notifications =
                           {near("geo", "g1"),
                            {.campaign = "bea",
                             .geofenceId = "b1",
                             .beaconUuid = "0123456789abcdef0123456789ABCDEF",
                             .beaconMajorId = 7},
                            {.campaign = "ext", .geofenceId = "e1", .triggerProperties = {{"kind", "store"}}},
                            near("trg", "t1")}}},
        });
        auto g = ground();
        g->onSdk([&] {
            g->saveDataUpdate(bytes);
            auto& kv = *g->settings();
            kv.setDoublePropertyValue(52.5200, "zarn_last_match_location_latitude");
            kv.setDoublePropertyValue(13.4000, "zarn_last_match_location_longitude");
            kv.setDoublePropertyValue(10, "zarn_last_match_location_accuracy");
        });
    }

    // Each loaded notification and geotrigger recorded as sent, under its message, as the
    // library records what it showed.
    void sendLoaded() {
        auto requests = ZarnBase::loadedNotifications().value_or(std::vector<NotificationRequest>{});
        for (auto& geotrigger :
             ZarnBase::loadedGeotriggers().value_or(std::vector<std::shared_ptr<ZarnGeotrigger>>{})) {
            // As a geotrigger handed to the app is recorded: its offered request.
            auto request = ZarnPZarnHandleGeotriggers::geotriggerToNotificationRequest(*geotrigger);
            request.content.userInfo["notificationHandlerType"] = "geotrigger";
            requests.push_back(std::move(request));
        }
        auto g = ground();
        g->onSdk([&] {
            ZarnPSqLiteSentTriggerDao sent(g->db);
            for (auto& request : requests) {
                request.content.userInfo["matchIdentifier"] =
                    "m-" + request.content.userInfo.value("message", "");
                sent.saveSentTrigger(request, g->clock->now());
            }
        });
    }
};

TEST_F(FacadeOperationsTest, ListsShowLoadedItemsByRegionTypeAndSentRowsUntilClearedOrDisabled) {
    EXPECT_FALSE(ZarnBase::loadedNotifications());  // nothing before initialisation
    initialize();
    loadUpdate();

    auto loaded = ZarnBase::loadedNotifications();
    ASSERT_TRUE(loaded);
    std::map<std::string, std::set<std::string>> regionTypes;  // message -> region types listed
    for (auto& request : *loaded)
        regionTypes[request.content.userInfo.value("message", "")].insert(
            request.content.userInfo.value("regionType", ""));
    EXPECT_EQ(regionTypes,
              (std::map<std::string, std::set<std::string>>{
                  {"geofence", {"geofence"}}, {"beacon", {"beacon"}}, {"external", {"external"}}}));
    auto geotriggers = ZarnBase::loadedGeotriggers();
    ASSERT_TRUE(geotriggers);
    ASSERT_EQ(geotriggers->size(), 1u);
    EXPECT_EQ((*geotriggers)[0]->userInfo().value("message", ""), "geotrigger");

    sendLoaded();
    auto sent = ZarnBase::sentNotifications();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->size(), 3u);
    ASSERT_EQ(ZarnBase::sentGeotriggers()->size(), 1u);

    // Clearing one kind leaves the other.
    ZarnBase::clearSentNotifications();
    env.runUntilIdle();
    EXPECT_TRUE(ZarnBase::sentNotifications()->empty());
    EXPECT_EQ(ZarnBase::sentGeotriggers()->size(), 1u);
    ZarnBase::clearSentGeotriggers();
    env.runUntilIdle();
    EXPECT_TRUE(ZarnBase::sentGeotriggers()->empty());

    // Disabled: every list is empty though the update is still stored, and clearing is refused.
    sendLoaded();
    ZarnBase::disable();
    env.runUntilIdle();
    EXPECT_TRUE(ZarnBase::loadedNotifications()->empty());
    EXPECT_TRUE(ZarnBase::loadedGeotriggers()->empty());
    EXPECT_TRUE(ZarnBase::sentNotifications()->empty());
    ZarnBase::clearSentGeotriggers();
    env.runUntilIdle();
    EXPECT_EQ(count("SELECT COUNT(*) FROM geotrigger_sent"), 1);
}

TEST_F(FacadeOperationsTest, SegmentationValuesAndTheAdvertisingIdentifierReachTheirStores) {
    initialize();
    ZarnBase::setStringSegmentationProperty("gold", "tier");
    ZarnBase::setBooleanSegmentationProperty(true, "member");
    ZarnBase::setStringSegmentationProperty("x", "empty");
    env.runUntilIdle();
    // An absent value is the empty text, which the store takes as no value.
    module()->interface()->setValue(std::nullopt, "s_empty");
    ZarnBase::setAdvertisingIdentifier("6D92078A-8246-4BA4-AE5B-76104861E7DC", true);
    ZarnBase::setAdvertisingIdentifier(std::nullopt, false);  // ignored
    env.runUntilIdle();
    EXPECT_EQ(count("SELECT COUNT(*) FROM set_segmentation_property WHERE key = 's_tier' AND value = 'gold'"),
              1);
    EXPECT_EQ(
        count("SELECT COUNT(*) FROM set_segmentation_property WHERE key = 'b_member' AND value = 'true'"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM set_segmentation_property WHERE key = 's_empty'"), 0);
    const std::string emptyLine = "Segmentation set for property s_empty with value ";
    bool loggedEmpty = false;
    for (auto& line : env.console->lines())
        loggedEmpty |= line.size() >= emptyLine.size() &&
                       line.compare(line.size() - emptyLine.size(), emptyLine.size(), emptyLine) == 0;
    EXPECT_TRUE(loggedEmpty);
    EXPECT_TRUE(env.consoleContains("Segmentation set for property s_tier with value gold"));
    auto identifier =
        onSdk([&] { return ground()->settings()->getPropertyValueForKey("zarn_advertising_identifier"); });
    EXPECT_EQ(identifier, "6D92078A-8246-4BA4-AE5B-76104861E7DC");
    EXPECT_TRUE(
        onSdk([&] { return ground()->settings()->getBoolPropertyValueForKey("zarn_advertising_enabled"); }));
}

TEST_F(FacadeOperationsTest, AttributionEventsCarryTheirEntriesAndNeedAnActionName) {
    initialize();
    ZarnBase::sendAttributionEvent("purchase", "sku-1");
    ZarnBase::sendAttributionEvent("view");
    ZarnBase::sendAttributionEvent("", "refused");
    env.runUntilIdle();
    // Only the app's: the screen events report their own attributions under other contexts.
    std::vector<std::shared_ptr<ZarnPEvent>> stored;
    for (auto& e : events(ZarnPLogEventTypeAttribution))
        if (e->extra().value("trigger", "") == "attribution")
            stored.push_back(e);
    ASSERT_EQ(stored.size(), 2u);
    std::map<std::string, std::optional<std::string>> items;
    for (auto& e : stored)
        items[e->extra().value("action_name", "")] =
            e->extra().contains("item_id") ? std::optional<std::string>(e->extra().value("item_id", ""))
                                           : std::nullopt;
    EXPECT_EQ(items, (std::map<std::string, std::optional<std::string>>{{"purchase", "sku-1"},
                                                                        {"view", std::nullopt}}));
}

TEST_F(FacadeOperationsTest, ContextualPageIsFreshForSixtySecondsThenWaitsForTheUpdateOrTimesOutOnce) {
    initialize();
    auto g = ground();
    auto store = [&](const std::string& id, const std::string& data, std::optional<Value> payload) {
        g->onSdk([&] {
            ZarnPSqLiteContextualPageDao(g->db, g->clock)
                .setClosestContextualPage(id, data, payload, g->clock->now(), "geofence");
        });
    };
    std::mutex mutex;
    std::vector<std::optional<Value>> answers;
    auto callback = [&](std::optional<Value> data) {
        std::lock_guard lk(mutex);
        answers.push_back(std::move(data));
    };
    auto answered = [&] {
        std::lock_guard lk(mutex);
        return answers;
    };

    // 30 s old, stored without a payload: answered before the call returns, and the event
    // reports no payload.
    store("p1", "<b>fresh</b>", std::nullopt);
    double storedAt = timeIntervalSince1970(g->clock->now());
    env.advanceBy(30);
    ZarnBase::requestContextualPage(callback);
    ASSERT_EQ(answered().size(), 1u);
    EXPECT_EQ(answered()[0], Value("<b>fresh</b>"));
    auto sentEvents = events(ZarnPLogEventTypeContextualPageSent);
    ASSERT_EQ(sentEvents.size(), 1u);
    EXPECT_EQ(sentEvents[0]->extra().value("id", ""), "p1");
    EXPECT_FALSE(sentEvents[0]->extra().contains("match_payload"));
    EXPECT_DOUBLE_EQ(timeIntervalSince1970(sentEvents[0]->date()), storedAt);

    // With a payload, the event carries it.
    store("p2", "<b>paid</b>", Value{{"shop", "7"}});
    ZarnBase::requestContextualPage(callback);
    ASSERT_EQ(answered().size(), 2u);
    sentEvents = events(ZarnPLogEventTypeContextualPageSent);
    ASSERT_EQ(sentEvents.size(), 2u);
    EXPECT_EQ(sentEvents[1]->extra().value("match_payload", Value()), (Value{{"shop", "7"}}));

    // 90 s old: no event; the update's broadcast (which may come within the request's own
    // step) or the 2-second timeout answers, exactly once, whatever comes later.
    env.advanceBy(90);
    ZarnBase::requestContextualPage(callback);
    env.advanceBy(2.5);
    ASSERT_EQ(answered().size(), 3u);
    if (env.consoleContains("Contextual page request timeout"))
        EXPECT_FALSE(answered()[2]);
    else
        EXPECT_EQ(answered()[2], Value("<b>paid</b>"));
    // The library posts these on the SDK thread.
    onSdk([] {
        platform::defaultCenter()->post("Zarn_Wont_Update");
        platform::defaultCenter()->post("Zarn_Location_Update_Completed_Private");
    });
    env.advanceBy(5);
    EXPECT_EQ(answered().size(), 3u);
    EXPECT_EQ(events(ZarnPLogEventTypeContextualPageSent).size(), 2u);

    // A broadcast before the timeout answers with the page read again.
    ZarnBase::requestContextualPage(callback);
    onSdk([] { platform::defaultCenter()->post("Zarn_Wont_Update"); });
    env.runUntilIdle();
    ASSERT_EQ(answered().size(), 4u);
    EXPECT_EQ(answered()[3], Value("<b>paid</b>"));
    env.advanceBy(3);
    EXPECT_EQ(answered().size(), 4u);

    // Disabled: the callback is never called.
    ZarnBase::disable();
    env.runUntilIdle();
    ZarnBase::requestContextualPage(callback);
    env.advanceBy(3);
    EXPECT_EQ(answered().size(), 4u);
}

TEST_F(FacadeOperationsTest, ClearingAllDataTwiceForgetsTheDeviceIdSentRowsSegmentationAndTiles) {
    initialize();
    loadUpdate();
    sendLoaded();
    ZarnBase::setStringSegmentationProperty("gold", "tier");
    env.runUntilIdle();
    auto before = deviceId();
    ASSERT_GT(count("SELECT COUNT(*) FROM notification_sent"), 0);

    ZarnBase::clearAllDataAndResetDeviceId();
    ZarnBase::clearAllDataAndResetDeviceId();
    env.runUntilIdle();
    EXPECT_EQ(env.consoleCount("All user's data was cleared successfully and resetting deviceId"), 2);
    EXPECT_NE(deviceId(), before);
    EXPECT_EQ(count("SELECT COUNT(*) FROM notification_sent"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM geotrigger_sent"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM set_segmentation_property"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM geohash"), 0);
    EXPECT_TRUE(ZarnBase::loadedNotifications()->empty());
}

}  // namespace
}  // namespace zarn
