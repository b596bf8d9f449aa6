// Event and settings writes killed at any point of their file writes: a child process stores
// events (capped and not, after deleting an uploaded batch) or rewrites settings and segmentation
// values, and dies by SIGKILL at a chosen write or sync of the file layer. Every event row is then
// whole or absent and the writes form a prefix of what the child did; every setting holds its
// old or its new value; the opt-out and the segmentation values survive; the writes of a run
// grouped into one commit land together or not at all; the file opens cleanly and the stores keep
// working.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/ZarnPEvent.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogEventType.h"
#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/store/CrashTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

constexpr int kVersion = 22;

// The stores over one file, as the library opens them.
struct Stores {
    explicit Stores(const std::string& path)
        : db(std::make_shared<ZarnPSqLiteDb>(kVersion, path, zarn::platform::current().fileSystem)) {
        db->disableThreadCheck();
        db->setOpenRetryDelay(std::chrono::milliseconds(0));
        events = std::make_shared<ZarnPSqLiteEventDao>(db);
        strings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        segmentation = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
        db->database();
        settings = strings->keyValueDao();
    }
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteEventDao> events;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings;
    std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentation;
    std::shared_ptr<ZarnPKeyValueDao> settings;
};

// Kill points spread over a run's writes; the first run and the last four are never killed.
// The first measures the writes; later runs write more (a deleted batch, a checkpoint).
long long killPoint(int run, int runs, long long length) {
    return run == 0 || run >= runs - 4 ? 0 : 1 + length * 4 / 3 * (run - 1) / (runs - 5);
}

long long readCount(const std::string& countFile) {
    long long n = 0;
    std::ifstream(countFile) >> n;
    return n;
}

// The child runs of one test over one file. A child does its work under the killing layer and
// dies at a point spread over the writes and syncs of the first run, which is never killed and
// must make more than `leastCalls` of them; the file is then opened as the library opens it.
class KilledRuns {
  public:
    KilledRuns(std::string path, int runs, long long leastCalls)
        : path_(std::move(path)), runs_(runs), leastCalls_(leastCalls) {}

    // How the child ended; nothing, with the failure recorded, when the test cannot go on.
    template <typename Work>
    std::optional<test::ChildEnd> run(int run, const std::string& trace, Work work) {
        const std::string countFile = path_ + ".count";
        test::ChildEnd end = test::runInChild([&] {
            auto& vfs = test::KillingVfs::install(killPoint(run, runs_, length_));
            work(*std::make_unique<Stores>(path_));  // closed before the count is written
            std::ofstream(countFile) << vfs.calls();
            return true;
        });
        if (run == 0)
            length_ = readCount(countFile);
        completed_ += end.finished;
        bool ok = (end.killed || end.finished) && (run != 0 || (end.finished && length_ > leastCalls_));
        EXPECT_TRUE(ok) << trace << ": status " << end.status << ", " << length_ << " calls in the first run";
        test::expectOpensCleanly(path_, kVersion, trace);
        if (!ok || ::testing::Test::HasFatalFailure())
            return std::nullopt;
        return end;
    }
    // Some runs finish, some are killed.
    void expectBothEnds() const {
        EXPECT_GE(completed_, 4);
        EXPECT_LT(completed_, runs_);
        EXPECT_FALSE(std::filesystem::exists(path_ + ".damaged"));
    }

  private:
    std::string path_;
    int runs_;
    long long leastCalls_;
    long long length_ = 0;
    int completed_ = 0;
};

// Events

struct StoredEvent {
    std::string type;
    double date = 0;
    Value extra;
    bool operator==(const StoredEvent&) const = default;
};
using EventRows = std::map<std::string, StoredEvent>;

constexpr int kEventsPerRun = 30;
constexpr int kCap = 12;

std::string eventId(int run, int i) {
    return "r" + std::to_string(run) + "-e" + std::to_string(i);
}
// Odd events are heartbeats saved under the cap, even ones are opened notifications saved
// without; the texts span several pages, so a torn row could not pass for a whole one.
ZarnPEvent makeEvent(int run, int i) {
    std::string id = eventId(run, i);
    Value extra = {{"run", run},
                   {"n", i},
                   {"text", std::string(900 + 61 * i, static_cast<char>('a' + i % 26))},
                   {"nested", {{"id", id}, {"list", {run, i, id}}}}};
    unsigned type = i % 2 ? ZarnPLogEventTypeHeartbeat : ZarnPLogEventTypeNotificationViewed;
    return ZarnPEvent(id, type,
                      dateWithTimeIntervalSince1970(test::TestEnvironment::kStart + run * 100.0 + i),
                      std::move(extra));
}

EventRows storedEvents(const std::string& path) {
    test::RawSqlite raw(path);
    EventRows rows;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(raw.handle(), "SELECT identifier, eventType, date, extra FROM events", -1, &stmt,
                           nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "events unreadable: " << sqlite3_errmsg(raw.handle());
        return rows;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        auto text = [&](int column) {
            const void* bytes = sqlite3_column_blob(stmt, column);
            return bytes ? std::string(static_cast<const char*>(bytes), sqlite3_column_bytes(stmt, column))
                         : std::string("NULL");
        };
        auto extra = ZarnPJson::parse(text(3));
        rows[text(0)] = {text(1), sqlite3_column_double(stmt, 2), extra ? *extra : Value("torn: " + text(3))};
    }
    sqlite3_finalize(stmt);
    return rows;
}

StoredEvent stored(const ZarnPEvent& e) {
    return {*ZarnPLogEventType::nameForType(e.eventType()), timeIntervalSince1970(e.date()), e.extra()};
}

// What the store must hold after one more saved event: the cap keeps the newest heartbeats.
void addEvent(EventRows& model, const ZarnPEvent& e) {
    model[e.identifier()] = stored(e);
    if (e.eventType() != ZarnPLogEventTypeHeartbeat)
        return;
    std::vector<std::pair<double, std::string>> heartbeats;
    for (auto& [id, row] : model)
        if (row.type == "heartbeat")
            heartbeats.emplace_back(row.date, id);
    std::sort(heartbeats.rbegin(), heartbeats.rend());
    for (size_t k = kCap; k < heartbeats.size(); ++k) model.erase(heartbeats[k].second);
}

TEST(EventAndSettingsCrashTest, KilledEventWritesLeaveWholeRowsInOrder) {
    test::TestEnvironment env;
    std::filesystem::create_directories(env.path("Documents"));
    const std::string path = env.path("Documents/zarn.db");
    ASSERT_EQ(*ZarnPLogEventType::nameForType(ZarnPLogEventTypeHeartbeat), "heartbeat");

    constexpr int kRuns = 36;
    KilledRuns runs(path, kRuns, 2 * kEventsPerRun);  // every commit writes and syncs the log
    EventRows model;
    for (int run = 0; run < kRuns; ++run) {
        std::string trace = "run " + std::to_string(run);
        // The batch an upload took before this run: the first ten events the store hands out.
        std::vector<std::shared_ptr<ZarnPEvent>> uploaded;
        {
            Stores stores(path);
            for (auto& e : stores.events->getEvents())
                if (uploaded.size() < 10)
                    uploaded.push_back(e);
        }
        auto end = runs.run(run, trace, [&](Stores& stores) {
            stores.events->deleteEvents(uploaded);
            for (int i = 0; i < kEventsPerRun; ++i) {
                ZarnPEvent e = makeEvent(run, i);
                if (e.eventType() == ZarnPLogEventTypeHeartbeat)
                    stores.events->saveEvent(e, kCap);
                else
                    stores.events->saveEvent(e);
            }
        });
        if (!end)
            return;
        EventRows now = storedEvents(path);
        // The last event the child committed is always there (the newest of its type).
        int committed = 0;
        for (int i = 0; i < kEventsPerRun; ++i)
            if (now.count(eventId(run, i)))
                committed = i + 1;
        if (end->finished) {
            EXPECT_EQ(committed, kEventsPerRun) << trace;
        }
        // The uploaded batch went in one commit, before the events.
        int uploadedLeft = 0;
        for (auto& e : uploaded) uploadedLeft += static_cast<int>(now.count(e->identifier()));
        EXPECT_TRUE(uploadedLeft == 0 ||
                    (uploadedLeft == static_cast<int>(uploaded.size()) && committed == 0))
            << trace << ": " << uploadedLeft << " of " << uploaded.size() << " uploaded events left";
        if (uploadedLeft == 0)
            for (auto& e : uploaded) model.erase(e->identifier());
        for (int i = 0; i < committed; ++i) addEvent(model, makeEvent(run, i));
        ASSERT_EQ(now.size(), model.size()) << trace << ": " << committed << " events committed";
        for (auto& [id, row] : model)
            ASSERT_TRUE(now.count(id) && now[id] == row) << trace << ": event " << id << " torn or missing";
    }
    runs.expectBothEnds();

    // The store keeps working on the file: counts, reads, a capped save and an upload.
    Stores stores(path);
    EXPECT_EQ(stores.events->getEventCount(), static_cast<int>(model.size()));
    stores.events->saveEvent(makeEvent(kRuns, 1), kCap);
    addEvent(model, makeEvent(kRuns, 1));
    auto batch = stores.events->getEvents();
    EXPECT_EQ(batch.size(), std::min<size_t>(100, model.size()));
    for (auto& e : batch)
        EXPECT_TRUE(model.count(e->identifier()) && stored(*e) == model[e->identifier()]) << e->identifier();
    stores.events->deleteEvents(batch);
    EXPECT_EQ(stores.events->getEventCount(), static_cast<int>(model.size() - batch.size()));
}

// Settings

constexpr int kSettings = 12;

std::string settingKey(int i) {
    return "setting" + std::to_string(i);
}
std::string settingValue(int run, int i) {
    std::string head = "r" + std::to_string(run) + "-k" + std::to_string(i) + ":";
    return head + std::string(1500 + 97 * i, static_cast<char>('A' + (run + i) % 26)) + head;
}

// Everything the child writes, in order: the settings, the opt-out (rewritten with the value it
// has), a segmentation value the user sets, a list and a date.
struct SettingsState {
    std::map<std::string, std::string> settings;
    std::map<std::string, std::string> segmentation;
    bool operator==(const SettingsState&) const = default;
};

SettingsState readSettings(Stores& stores) {
    SettingsState state;
    test::RawSqlite raw(stores.db->path());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(raw.handle(), "SELECT key, value FROM keyvalue", -1, &stmt, nullptr) == SQLITE_OK)
        while (sqlite3_step(stmt) == SQLITE_ROW)
            state.settings[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] =
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    sqlite3_finalize(stmt);
    state.segmentation = stores.segmentation->getSegmentationProperties();
    return state;
}

TEST(EventAndSettingsCrashTest, KilledSettingsWritesKeepOldOrNewValues) {
    test::TestEnvironment env;
    std::filesystem::create_directories(env.path("Documents"));
    const std::string path = env.path("Documents/zarn.db");

    SettingsState before;
    {
        Stores stores(path);
        stores.settings->setBoolPropertyValue(false, "zarn_enabled");  // the user opted out
        for (int i = 0; i < kSettings; ++i)
            stores.settings->setPropertyValue(settingValue(-1, i), settingKey(i));
        stores.segmentation->setSegmentationValue(std::string("30"), std::string("age"), false);
        stores.segmentation->setSegmentationValue(std::string("tier-start"), std::string("tier"), false);
        stores.segmentation->setSegmentationValue(std::string("p1"), std::string("plan"), true);
        before = readSettings(stores);
    }
    ASSERT_EQ(before.settings.at("zarn_enabled"), "disabled");

    constexpr int kRuns = 30;
    KilledRuns runs(path, kRuns, kSettings);
    for (int run = 0; run < kRuns; ++run) {
        std::string trace = "run " + std::to_string(run);
        std::vector<std::string> list = {"run", std::to_string(run), std::string(300, 'l')};
        const double date = test::TestEnvironment::kStart + run + 0.25;
        auto end = runs.run(run, trace, [&](Stores& stores) {
            for (int i = 0; i < kSettings; ++i) {
                stores.settings->setPropertyValue(settingValue(run, i), settingKey(i));
                if (i == kSettings / 2) {
                    stores.settings->setBoolPropertyValue(false, "zarn_enabled");
                    stores.segmentation->setSegmentationValue("tier-" + std::to_string(run),
                                                              std::string("tier"), false);
                }
            }
            stores.settings->setStringArrayPropertyValue(list, "zarn_list");
            stores.settings->setDatePropertyValue(dateWithTimeIntervalSince1970(date), "zarn_last_run");
        });
        if (!end)
            return;
        Stores stores(path);
        SettingsState now = readSettings(stores);
        EXPECT_TRUE(stores.settings->isReadable()) << trace;

        // The writes in order, each either done (new value) or not (old value), as a prefix.
        struct Write {
            std::optional<std::string> old, fresh, now;
        };
        auto at = [](const std::map<std::string, std::string>& m, const std::string& k) {
            auto it = m.find(k);
            return it == m.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        std::vector<Write> writes;
        for (int i = 0; i < kSettings; ++i) {
            writes.push_back(
                {at(before.settings, settingKey(i)), settingValue(run, i), at(now.settings, settingKey(i))});
            if (i == kSettings / 2)
                writes.push_back({at(before.segmentation, "tier"), "tier-" + std::to_string(run),
                                  at(now.segmentation, "tier")});
        }
        stores.settings->setStringArrayPropertyValue(list, "scratch_list");
        stores.settings->setDatePropertyValue(dateWithTimeIntervalSince1970(date), "scratch_date");
        writes.push_back({at(before.settings, "zarn_list"),
                          stores.settings->getPropertyValueForKey("scratch_list"),
                          at(now.settings, "zarn_list")});
        writes.push_back({at(before.settings, "zarn_last_run"),
                          stores.settings->getPropertyValueForKey("scratch_date"),
                          at(now.settings, "zarn_last_run")});
        stores.settings->unsetPropertyKey("scratch_list");
        stores.settings->unsetPropertyKey("scratch_date");
        bool stillDone = true;
        for (size_t w = 0; w < writes.size(); ++w) {
            bool done = writes[w].now == writes[w].fresh;
            ASSERT_TRUE(done || writes[w].now == writes[w].old)
                << trace << ": write " << w << " holds neither the old nor the new value";
            ASSERT_TRUE(stillDone || !done) << trace << ": write " << w << " landed after one that did not";
            stillDone = done;
        }
        if (end->finished) {
            EXPECT_TRUE(stillDone) << trace;
        }

        // The opt-out and the values nobody wrote are as they were.
        EXPECT_EQ(at(now.settings, "zarn_enabled"), "disabled") << trace;
        EXPECT_FALSE(stores.settings->getBoolPropertyValueForKey("zarn_enabled", true)) << trace;
        EXPECT_EQ(at(now.segmentation, "age"), "30") << trace;
        EXPECT_EQ(at(now.segmentation, "plan"), "p1") << trace;
        EXPECT_EQ(now.segmentation.size(), 3u) << trace;
        if (stillDone) {
            EXPECT_EQ(stores.settings->getStringArrayPropertyValueForKey("zarn_list"), list) << trace;
            EXPECT_EQ(stores.settings->getDatePropertyValueForKey("zarn_last_run"),
                      std::optional<Date>(dateWithTimeIntervalSince1970(date)))
                << trace;
        }
        before = readSettings(stores);
    }
    runs.expectBothEnds();

    // The stores keep working: the user opts back in, a segmentation value is cleared.
    Stores stores(path);
    stores.settings->setBoolPropertyValue(true, "zarn_enabled");
    stores.segmentation->setSegmentationValue(std::nullopt, std::string("age"), false);
    EXPECT_TRUE(stores.settings->getBoolPropertyValueForKey("zarn_enabled"));
    EXPECT_EQ(stores.segmentation->getPropertyValue("age"), std::nullopt);
    EXPECT_EQ(stores.segmentation->getPropertyValue("plan"), std::optional<std::string>("p1"));
}

// Grouped runs

constexpr int kGroupsPerRun = 8;

// One run's end as the location update writes it: its time, the place of its data update and its
// event, in one commit.
struct GroupedRun {
    int run = 0;
    int group = 0;
    std::string id() const { return "g" + std::to_string(run) + "-" + std::to_string(group); }
    double date() const { return test::TestEnvironment::kStart + run * 1000.0 + group; }
    double latitude() const { return 52.0 + run * 0.01 + group * 0.001; }
    void write(Stores& stores) const {
        ZarnPCommitGroup commits(stores.db, ZarnPDurability::Normal, "Test");
        stores.settings->setDatePropertyValue(dateWithTimeIntervalSince1970(date()), "zarn_last_match_run");
        stores.settings->setDoublePropertyValue(latitude(), "zarn_last_match_location_latitude");
        stores.settings->setDoublePropertyValue(-latitude(), "zarn_last_match_location_longitude");
        stores.settings->setBoolPropertyValue(true, "zarn_store_events");  // mostly unchanged
        // Its own guard inside the group: the event and the cap, whole or not at all.
        stores.events->saveEvent(
            ZarnPEvent(id(), ZarnPLogEventTypeLocationAcquired, dateWithTimeIntervalSince1970(date()),
                       Value{{"text", std::string(700 + 37 * group, 'x')}}),
            kCap);
    }
};

TEST(EventAndSettingsCrashTest, KilledGroupedRunsLandWholeAndInOrder) {
    test::TestEnvironment env;
    std::filesystem::create_directories(env.path("Documents"));
    const std::string path = env.path("Documents/zarn.db");

    constexpr int kRuns = 30;
    KilledRuns runs(path, kRuns, kGroupsPerRun);
    size_t total = 0;
    std::optional<GroupedRun> last;
    for (int run = 0; run < kRuns; ++run) {
        std::string trace = "run " + std::to_string(run);
        auto end = runs.run(run, trace, [&](Stores& stores) {
            for (int g = 0; g < kGroupsPerRun; ++g) GroupedRun{run, g}.write(stores);
        });
        if (!end)
            return;
        EventRows now = storedEvents(path);
        // The groups that landed are the first ones, each with every write it made.
        int landed = 0;
        while (landed < kGroupsPerRun && now.count(GroupedRun{run, landed}.id())) ++landed;
        for (int g = landed; g < kGroupsPerRun; ++g)
            EXPECT_FALSE(now.count(GroupedRun{run, g}.id())) << trace << ": group " << g << " after a gap";
        EXPECT_TRUE(landed == kGroupsPerRun || !end->finished) << trace;
        if (landed > 0)
            last = GroupedRun{run, landed - 1};
        // The cap of each saved event went with it.
        total += landed;
        size_t capped = 0;
        for (auto& [id, row] : now) capped += row.type == "location_acquired";
        EXPECT_EQ(capped, std::min<size_t>(kCap, total)) << trace;

        Stores stores(path);
        ASSERT_TRUE(last) << trace;
        auto& settings = *stores.settings;
        EXPECT_EQ(std::make_tuple(settings.getDatePropertyValueForKey("zarn_last_match_run"),
                                  settings.getDoublePropertyValueForKey("zarn_last_match_location_latitude"),
                                  settings.getDoublePropertyValueForKey("zarn_last_match_location_longitude"),
                                  settings.getBoolPropertyValueForKey("zarn_store_events")),
                  std::make_tuple(std::optional<Date>(dateWithTimeIntervalSince1970(last->date())),
                                  last->latitude(), -last->latitude(), true))
            << trace;
    }
    runs.expectBothEnds();
}

}  // namespace
}  // namespace zarn
