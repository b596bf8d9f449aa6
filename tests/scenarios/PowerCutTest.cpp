// Power cuts under the started library: at many points of a simulated day, of a first start with
// its first data update, and of a large data update, the files are taken as a power cut would
// leave them (every write no sync of its file covered dropped) beside what a killed process would
// leave, and checked: the file opens as the library opens it, whole, its index agreeing with its
// rows; every notification the system was handed is recorded with its sent event; the user's
// choice is never lost; events the service accepted and that the library deleted stay deleted; and
// what the cut took back is a tail of the commits, whole: nothing older than something kept.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/Device.h"
#include "sim/Route.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"
#include "testing/PowerCutVfs.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/CrashTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/platform/NotificationCenter.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

const platform::LocationCoordinate2D kHome{52.5200, 13.4050};
const platform::LocationCoordinate2D kWork{52.4800, 13.3500};

// What a file holds of what the checks read.
struct Image {
    bool tables = false;
    std::string integrity;
    struct Event {
        std::string type;
        double date = 0;
        std::string matchId;
    };
    std::map<std::string, Event> events;
    std::set<std::string> sent;  // match identifiers of shown notifications
    std::map<std::string, std::string> settings;
    long long notifications = 0;
    std::set<std::string> dwelling;  // match identifiers of waiting dwellings, of every kind

    explicit Image(const std::string& path) {
        test::RawSqlite raw(path);
        raw.exec("PRAGMA synchronous = OFF");  // a copy: its closing checkpoint need not sync
        tables = raw.hasTable("events");
        if (!tables)
            return;
        integrity = raw.text("PRAGMA integrity_check").value_or("");
        each(raw, "SELECT identifier, eventType, date, extra FROM events", [&](sqlite3_stmt* s) {
            Value extra = Value::parse(text(s, 3), nullptr, false);
            events[text(s, 0)] = {text(s, 1), sqlite3_column_double(s, 2),
                                  extra.is_object() ? extra.value("match_id", "") : ""};
        });
        each(raw, "SELECT match_identifier FROM notification_sent WHERE date_sent NOT NULL",
             [&](sqlite3_stmt* s) { sent.insert(text(s, 0)); });
        each(raw, "SELECT key, value FROM keyvalue",
             [&](sqlite3_stmt* s) { settings[text(s, 0)] = text(s, 1); });
        notifications = raw.integer("SELECT COUNT(*) FROM notification");
        for (const char* kind : {"", "beacon_", "external_"})
            each(
                raw,
                ("SELECT match_identifier FROM " + std::string(kind) + "notifications_user_dwelling").c_str(),
                [&](sqlite3_stmt* s) { dwelling.insert(text(s, 0)); });
    }
    std::optional<std::string> setting(const std::string& key) const {
        auto it = settings.find(key);
        return it == settings.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

  private:
    static std::string text(sqlite3_stmt* s, int column) {
        auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
        return t ? std::string(t, static_cast<size_t>(sqlite3_column_bytes(s, column))) : std::string();
    }
    template <typename F>
    static void each(test::RawSqlite& raw, const char* sql, F&& row) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(raw.handle(), sql, -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW) row(s);
        sqlite3_finalize(s);
    }
};

class PowerCutTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        test::installTestService(service);
        test::SyncCountingVfs::install();  // under the cut layer, both before the file opens
        cuts.watch(env.path("Documents"));
        StartedLibraryTest::SetUp();
        // Posted once the choice is committed: from then on the app and the user may count on it.
        center->addObserver(this, "Zarn_Disabled", [this](const platform::Broadcast&) { choice = 2; });
        center->addObserver(this, "Zarn_Enabled", [this](const platform::Broadcast&) { choice = 1; });
    }
    void TearDown() override {
        cuts.setCutHook(nullptr);
        center->removeObserver(this);
        StartedLibraryTest::TearDown();
        cuts.stopWatching();
    }

    // What the world outside had been told when a cut was taken.
    struct Cut {
        std::string dir;
        uint64_t call = 0;
        std::set<std::string> shown;         // match identifiers handed to the system
        std::set<std::string> accepted;      // events a 2xx answer took
        std::set<std::string> acceptedSent;  // match identifiers of accepted "notification_sent" events
        int choice = 0;                      // the last choice broadcast: 1 enabled, 2 disabled
        // Before a sync a commit of either tier may be written and not yet synced; before a
        // write every commit the killed process shows has ended, a durable one synced.
        bool beforeSync = false;
    };

    // Cuts before every sync, and before every `stride`-th write, from now on.
    void cutAt(uint64_t stride, bool alsoKilled = true) {
        cuts.setCutHook([this, stride, alsoKilled](uint64_t call, bool sync) {
            if (!sync && call % stride != 0)
                return;
            Cut cut;
            cut.call = call;
            cut.dir = env.path("cuts/" + std::to_string(call));
            cuts.copyInto(cut.dir + "/power", true);
            if (alsoKilled)
                cuts.copyInto(cut.dir + "/killed", false);
            for (const auto& r : env.device->localNotificationCenter()->addedRequests())
                cut.shown.insert(r.content.userInfo.value("matchIdentifier", ""));
            for (const auto& r : service->requests()) {
                if (!r.answered.delivered || r.answered.status < 200 || r.answered.status > 299 || !r.json)
                    continue;
                for (const auto& e : r.json->value("events", Value::array())) {
                    cut.accepted.insert(e.value("localId", ""));
                    if (e.value("eventType", "") == "notification_sent")
                        cut.acceptedSent.insert(e.value("extra", Value::object()).value("match_id", ""));
                }
            }
            cut.choice = choice;
            cut.beforeSync = sync;
            std::lock_guard lk(mutex);
            taken.push_back(std::move(cut));
        });
    }

    // The checks of one cut whose killed image was kept, with the library's own opening when
    // `reopen`; counts what the cut exercised.
    void check(const Cut& cut, bool reopen) {
        SCOPED_TRACE("cut before call " + std::to_string(cut.call));
        Image power(cut.dir + "/power/zarn.db");
        Image killed(cut.dir + "/killed/zarn.db");
        ASSERT_TRUE(killed.tables || !power.tables);
        if (killed.tables) {
            EXPECT_EQ(killed.integrity, "ok");
        }
        if (power.tables) {
            EXPECT_EQ(power.integrity, "ok");
            ++withTables;
        }
        // Told: every notification the system was handed is recorded, with its sent event.
        for (const auto& match : cut.shown) EXPECT_TRUE(power.sent.count(match)) << "shown, lost: " << match;
        std::set<std::string> sentEvents;
        for (const auto& [id, e] : power.events)
            if (e.type == "notification_sent")
                sentEvents.insert(e.matchId);
        for (const auto& match : power.sent)
            EXPECT_TRUE(sentEvents.count(match) || cut.acceptedSent.count(match))
                << "a sent row without its event";
        shownKept += cut.shown.size();
        // The user's choice, once the library acted on it, is kept; an opt-out is never lost.
        if (cut.choice) {
            EXPECT_EQ(power.setting("zarn_enabled"),
                      std::optional<std::string>(cut.choice == 1 ? "enabled" : "disabled"));
        }
        afterOptOut += cut.choice == 2 ? 1 : 0;
        if (!cut.beforeSync) {
            // Every durable commit made is synced: the choice as the killed process left it, and
            // a deletion of accepted events, once made, stays made.
            EXPECT_EQ(power.setting("zarn_enabled"), killed.setting("zarn_enabled"));
            for (const auto& id : cut.accepted) {
                if (!killed.events.count(id)) {
                    EXPECT_FALSE(power.events.count(id)) << "accepted and deleted, back again: " << id;
                }
            }
        }
        // What the cut took back is a tail: no kept event is newer than a lost one, and an event
        // gone only from the cut file was deleted after the service took it.
        double newestKept = 0;
        for (const auto& [id, e] : power.events) {
            if (killed.events.count(id)) {
                newestKept = std::max(newestKept, e.date);
            } else {  // deleted since: taken by the service, or the oldest past their type's cap
                EXPECT_TRUE(cut.accepted.count(id) || e.type == "error")
                    << "an event the killed process no longer had: " << id;
            }
        }
        size_t lost = 0;
        for (const auto& [id, e] : killed.events) {
            if (!power.events.count(id)) {
                ++lost;
                EXPECT_GE(e.date, newestKept) << "lost while a later one was kept: " << id;
            }
        }
        if (lost > 0)
            ++withLostTail;
        // A run's end is whole: the time of the last run kept comes with its location events.
        if (auto lastRun = power.setting("zarn_last_match_run")) {
            double at = std::stod(*lastRun);
            for (const auto& [id, e] : killed.events) {
                if (e.type == "location_acquired" && std::abs(e.date - at) < 1e-3) {
                    EXPECT_TRUE(power.events.count(id) || cut.accepted.count(id)) << "half a run: " << id;
                }
            }
        }
        // Opened as the library opens it: never set aside, its index agreeing with its rows.
        if (power.tables && reopen) {
            test::expectOpensCleanly(cut.dir + "/power/zarn.db", 22, cut.dir);
            EXPECT_FALSE(std::filesystem::exists(cut.dir + "/power/zarn.db.damaged"));
        }
    }

    std::vector<Cut> takenCuts() {
        std::lock_guard lk(mutex);
        return taken;
    }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    test::PowerCutVfs& cuts = test::PowerCutVfs::install();
    std::shared_ptr<platform::NotificationCenter> center = platform::defaultCenter();
    std::atomic<int> choice{0};
    std::mutex mutex;
    std::vector<Cut> taken;
    size_t withTables = 0, withLostTail = 0, afterOptOut = 0, shownKept = 0;
};

// Fences along the commute, and a few hundred more around it for the index.
sim::DataUpdateDescription campaigns(int extra) {
    sim::DataUpdateDescription d{.deleteAllOldData = true,
                                 .campaigns = {{.campaignId = "work", .message = "At work"},
                                               {.campaignId = "home", .message = "Home again"},
                                               {.campaignId = "far", .message = "Far away"}}};
    d.tiles.push_back({.value = "u33d"});
    auto& n = d.tiles.back().notifications;
    n.push_back({.campaign = "work",
                 .geofenceId = "w",
                 .location = {{static_cast<float>(kWork.latitude), static_cast<float>(kWork.longitude)}},
                 .matchRange = 150});
    n.push_back(
        {.campaign = "home",
         .geofenceId = "h",
         .location = {{static_cast<float>(kHome.latitude + 0.01), static_cast<float>(kHome.longitude)}},
         .matchRange = 150});
    for (int i = 0; i < extra; ++i)
        n.push_back({.campaign = "far",
                     .geofenceId = "f" + std::to_string(i),
                     .location = {{static_cast<float>(53.0 + (i % 40) * 0.01),
                                   static_cast<float>(14.0 + (i / 40) * 0.01)}},
                     .matchRange = 100});
    return d;
}

TEST_F(PowerCutTest, ASimulatedDayLosesOnlyAnUnsyncedTailAndNothingAnyoneWasTold) {
    service->setDataUpdate(sim::DataUpdateBuilder::build(campaigns(200)));
    env.location->position()->set(kHome);
    cutAt(25);
    initialize();
    env.device->application()->resignActive();
    // Out at 8, back at 17; the app in front four times; the service unreachable over lunch;
    // at 20 the user opts out.
    env.location->position()->follow(sim::Route({{0, kHome},
                                                 {8 * 3600, kHome},
                                                 {8 * 3600 + 2400, kWork},
                                                 {17 * 3600, kWork},
                                                 {17 * 3600 + 2400, {kHome.latitude + 0.01, kHome.longitude}},
                                                 {24 * 3600, {kHome.latitude + 0.01, kHome.longitude}}}));
    using K = sim::TestAnswer::Kind;
    for (int minute = 0; minute < 24 * 60; ++minute) {
        for (int front : {450, 750, 1080, 1170}) {
            if (minute == front)
                env.device->application()->becomeActive();
            if (minute == front + 10)
                env.device->application()->resignActive();
        }
        if (minute == 12 * 60)
            service->setDefaultAnswer({K::Drop, 200});
        if (minute == 15 * 60)
            service->setDefaultAnswer({});
        if (minute == 20 * 60)
            ZarnBase::disable();
        env.advanceBy(60);
    }
    cuts.setCutHook(nullptr);
    ASSERT_GE(env.device->localNotificationCenter()->addedRequests().size(), 1u);

    auto all = takenCuts();
    for (size_t i = 0; i < all.size(); ++i) check(all[i], i % 2 == 0);
    // The day exercised what the checks are about.
    EXPECT_GE(all.size(), 60u);
    EXPECT_GT(withTables, all.size() / 2);
    EXPECT_GT(withLostTail, 10u) << "no cut found an unsynced tail";
    EXPECT_GT(afterOptOut, 0u);
    EXPECT_GT(shownKept, 0u);
    RecordProperty("cuts", static_cast<int>(all.size()));
    std::printf("power cuts in the day: %zu (%zu with tables, %zu with a tail lost, %zu after the opt-out)\n",
                all.size(), withTables, withLostTail, afterOptOut);
}

TEST_F(PowerCutTest, AFirstStartWithItsFirstDataUpdateIsCutAnywhereAndStartsAgain) {
    service->setDataUpdate(sim::DataUpdateBuilder::build(campaigns(50)));
    env.location->position()->set(kWork);
    cutAt(2);
    initialize();
    env.advanceBy(120);
    cuts.setCutHook(nullptr);
    auto all = takenCuts();
    size_t loaded = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        const auto& cut = all[i];
        check(cut, i % 3 == 0);
        Image power(cut.dir + "/power/zarn.db");
        // A save is whole: none or all of it.
        EXPECT_TRUE(power.notifications == 0 || power.notifications == 52) << power.notifications;
        loaded += power.notifications == 52 ? 1 : 0;
    }
    EXPECT_GE(all.size(), 40u);
    EXPECT_GT(loaded, 0u);
    // Started again on the file a cut left, at every tenth cut: enabled, nothing set aside.
    restart();
    cuts.stopWatching();
    for (size_t i = 0; i < all.size(); i += 10) {
        SCOPED_TRACE(all[i].dir);
        std::string live = env.path("Documents/zarn.db");
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(live + suffix);
        for (const char* suffix : {"", "-wal"})
            if (std::filesystem::exists(all[i].dir + "/power/zarn.db" + suffix))
                std::filesystem::copy_file(all[i].dir + "/power/zarn.db" + suffix, live + suffix);
        initialize();
        EXPECT_TRUE(ZarnBase::isEnabled());
        EXPECT_FALSE(std::filesystem::exists(live + ".damaged"));
        restart();
    }
    std::printf("power cuts in the first start: %zu (%zu with the data update)\n", all.size(), loaded);
}

TEST_F(PowerCutTest, ADataUpdateIsKeptWholeOrNotAtAllAndItsIndexAgrees) {
    service->setDataUpdate(sim::DataUpdateBuilder::build(campaigns(100)));
    env.location->position()->set(kWork);
    initialize();
    env.advanceBy(120);
    env.device->application()->resignActive();
    env.advanceBy(3600);  // synced: the deadline has passed
    // A larger update replaces it, saved as a pushed one is; then once more, after the deadline
    // synced the first.
    cutAt(3, false);
    saveDataUpdate(campaigns(1500));
    env.advanceBy(1000);
    saveDataUpdate(campaigns(1500));
    env.runUntilIdle();
    cuts.setCutHook(nullptr);
    auto all = takenCuts();
    size_t whole = 0;
    for (const auto& cut : all) {
        SCOPED_TRACE("cut before call " + std::to_string(cut.call));
        Image power(cut.dir + "/power/zarn.db");
        ASSERT_TRUE(power.tables);
        EXPECT_EQ(power.integrity, "ok");
        EXPECT_TRUE(power.notifications == 102 || power.notifications == 1502) << power.notifications;
        whole += power.notifications == 1502 ? 1 : 0;
        test::expectOpensCleanly(cut.dir + "/power/zarn.db", 22, cut.dir);
    }
    EXPECT_GE(all.size(), 30u);
    std::printf("power cuts in the data update: %zu (%zu with it whole)\n", all.size(), whole);
}

// A cut right after each removal the system is told of: a dwelling whose request it was told to
// drop has ended on disk, synced, so that neither a power cut nor a kill leaves it to be
// reported sent once its time is up. Left before their time: a geofence and an app-reported
// region; then a disable while both wait.
TEST_F(PowerCutTest, ADwellingTheSystemWasToldToDropHasEndedOnDiskFirst) {
    sim::DataUpdateDescription d{
        .deleteAllOldData = true,
        .campaigns = {{.campaignId = "stay", .message = "Stay", .dwellingMinutes = 5},
                      {.campaignId = "room", .message = "Room", .dwellingMinutes = 5}}};
    d.tiles.push_back({.value = "u33d"});
    d.tiles.back().notifications = {
        {.campaign = "stay",
         .geofenceId = "w",
         .location = {{static_cast<float>(kWork.latitude), static_cast<float>(kWork.longitude)}},
         .matchRange = 150},
        {.campaign = "room", .geofenceId = "r", .triggerProperties = {{"room", "r1"}}}};
    service->setDataUpdate(sim::DataUpdateBuilder::build(d));
    env.location->position()->set(kHome);
    initialize();
    env.advanceBy(120);
    env.device->application()->resignActive();

    struct Removal {
        std::string dir;
        std::vector<std::string> identifiers;
    };
    std::vector<Removal> removals;
    auto notifications = env.device->localNotificationCenter();
    notifications->setRemoveHook([&](const std::vector<std::string>& identifiers) {
        std::lock_guard lk(mutex);
        Removal removal{env.path("removals/" + std::to_string(removals.size())), identifiers};
        cuts.copyInto(removal.dir + "/power", true);
        cuts.copyInto(removal.dir + "/killed", false);
        removals.push_back(std::move(removal));
    });
    const Value room = Value::array({{{"room", "r1"}}});
    auto toWorkAndBack = [&](double stay) {
        env.location->position()->follow(
            sim::Route({{0, kHome}, {600, kWork}, {600 + stay, kWork}, {1200 + stay, kHome}}));
        env.advanceBy(1300 + stay);
    };
    toWorkAndBack(120);
    ZarnBase::externalRegionTrigger(room, "enter");
    env.advanceBy(60);
    ZarnBase::externalRegionTrigger(room, "exit");
    env.advanceBy(60);
    env.location->position()->follow(sim::Route({{0, kHome}, {600, kWork}}));
    env.advanceBy(700);
    ZarnBase::externalRegionTrigger(room, "enter");
    env.advanceBy(60);
    ZarnBase::disable();
    env.advanceBy(600);
    notifications->setRemoveHook(nullptr);

    size_t dwellingsDropped = 0;
    for (const auto& removal : removals) {
        SCOPED_TRACE(removal.dir);
        Image power(removal.dir + "/power/zarn.db");
        Image killed(removal.dir + "/killed/zarn.db");
        for (const auto& identifier : removal.identifiers) {
            EXPECT_FALSE(power.dwelling.count(identifier)) << "dropped, still dwelling after a cut";
            EXPECT_FALSE(killed.dwelling.count(identifier)) << "dropped, still dwelling after a kill";
        }
        for (const auto& request : notifications->addedRequests())
            if (request.trigger &&
                std::count(removal.identifiers.begin(), removal.identifiers.end(), request.identifier))
                ++dwellingsDropped;
    }
    EXPECT_GE(dwellingsDropped, 4u) << "the geofence, the room and both at the disable";
}

}  // namespace
}  // namespace zarn
