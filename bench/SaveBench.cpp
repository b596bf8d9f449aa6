// Saving a full data update of 10,000, 100,000 and 300,000 notifications (campaigns, tiles, a trigger
// property and a custom field each), then replacing it with a second full update of the same
// tiles: through the save orchestrator, and through a bare SQLite loop (the floor) over the same
// file schema with foreign keys on, the same statement texts and bound values, in the same journal
// mode and synchronous level, without the nearest reads' index, which it then fills with the
// statements the library's build ran. Prints both, their ratio, the library's save with no index
// it could build, the file's size and the peak resident size of a process that does only the save
// (this program run again with --save-only FILE).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ZarnPLocationUtil.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPPublicLogging.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPStatement.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "zarn/platform/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietPublicLog final : public zarn::ZarnPPublicLogging {
  public:
    void logMessageIfEnabledAndArguments(const std::shared_ptr<zarn::ZarnPContext>&, std::string_view,
                                         const std::vector<zarn::FormatArg>&) override {}
};

constexpr int kPerTile = 100;
constexpr int kPerCampaign = 10;

// One full update as plain values: the bare loop binds these, the orchestrator reads them from
// the buffer built from them.
struct PlainUpdate {
    struct Notification {
        int campaign;
        int tile;
        std::string geofenceId;
        float latitude;
        float longitude;
        int32_t matchRange;
        std::string field;
        std::string property;
    };
    std::vector<std::string> campaignIds;
    std::vector<std::string> messages;
    std::vector<std::string> tiles;
    std::vector<int64_t> versions;
    std::vector<Notification> notifications;
    std::vector<uint8_t> buffer;
};

PlainUpdate makeUpdate(int count, int generation) {
    PlainUpdate u;
    std::string g = std::to_string(generation);
    int campaigns = (count + kPerCampaign - 1) / kPerCampaign;
    int tiles = (count + kPerTile - 1) / kPerTile;
    for (int c = 0; c < campaigns; ++c) {
        u.campaignIds.push_back(g + "c" + std::to_string(c) + "0123456789abcdef0123456789");
        u.messages.push_back("Message " + g + " of campaign " + std::to_string(c));
    }
    for (int t = 0; t < tiles; ++t) {
        u.tiles.push_back("u1h" + std::to_string(t));  // the same tiles in every generation
        u.versions.push_back(generation * 1000 + t);
    }
    for (int n = 0; n < count; ++n)
        u.notifications.push_back({n % campaigns, n / kPerTile, g + "g" + std::to_string(n),
                                   52.0f + static_cast<float>(n % 1000) * 1e-3f,
                                   4.0f + static_cast<float>(n / 1000) * 1e-3f, 100 + n % 50,
                                   "value " + std::to_string(n), "door " + std::to_string(n % 7)});

    zarn::sim::DataUpdateDescription d;
    for (size_t c = 0; c < u.campaignIds.size(); ++c)
        d.campaigns.push_back({.campaignId = u.campaignIds[c], .message = u.messages[c]});
    for (size_t t = 0; t < u.tiles.size(); ++t)
        d.tiles.push_back({.value = u.tiles[t], .lastVersion = u.versions[t]});
    for (const auto& n : u.notifications)
        d.tiles[n.tile].notifications.push_back(
            {.campaign = u.campaignIds[n.campaign],
             .geofenceId = n.geofenceId,
             .location = zarn::sim::DataUpdateLocation{n.latitude, n.longitude},
             .matchRange = n.matchRange,
             .customRegionFields = {{"shop", n.field}},
             .triggerProperties = {{"entrance", n.property}}});
    u.buffer = zarn::sim::DataUpdateBuilder::build(d);
    return u;
}

const PlainUpdate& update(int count, int generation) {
    static std::map<std::pair<int, int>, PlainUpdate> updates;
    auto key = std::make_pair(count, generation);
    auto found = updates.find(key);
    if (found == updates.end())
        found = updates.emplace(key, makeUpdate(count, generation)).first;
    return found->second;
}

// One folder for the whole run.
std::string freshPath(const std::string& name) {
    static const std::string dir = zarn::bench::benchDirectory("zarn-savebench");
    return zarn::bench::freshPath(dir, name);
}

uintmax_t fileBytes(const std::string& path) {
    uintmax_t total = 0;
    std::error_code ec;
    for (const char* suffix : {"", "-wal"}) {
        auto size = std::filesystem::file_size(path + suffix, ec);
        if (!ec)
            total += size;
    }
    return total;
}

// The library's own file: its schema, write-ahead log, synchronous FULL and foreign keys.
// `withIndex` false: a table stands where the nearest reads' index would keep its nodes, so that
// no build of the index can succeed and the saves run as they would without it.
struct LibraryStore {
    explicit LibraryStore(const std::string& path, bool withIndex = true)
        : db(std::make_shared<zarn::ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem)) {
        if (!withIndex) {
            sqlite3* raw = nullptr;
            sqlite3_open(path.c_str(), &raw);
            sqlite3_exec(raw, "CREATE TABLE notification_area_node (x)", nullptr, nullptr, nullptr);
            sqlite3_close(raw);
        }
        db->disableThreadCheck();
        registered = zarn::ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db);
        db->database();
    }
    void save(const PlainUpdate& u) {
        zarn::ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(db, std::make_shared<QuietPublicLog>());
        orchestrator.save(*zarn::ZarnPDataUpdateReader::read(std::span<const uint8_t>(u.buffer)), nullptr);
    }
    std::shared_ptr<zarn::ZarnPSqLiteDb> db;
    std::vector<std::shared_ptr<zarn::ZarnPSqLiteDao>> registered;
};

// The floor: the statements the save runs for a full update, in the same order, with the same
// texts and values, straight on the C interface, over the library's tables without the nearest
// reads' index; fill() then writes the index's entries with the statements the library's build runs.
class BareLoop {
  public:
    explicit BareLoop(const std::string& path) {
        { LibraryStore schema(path); }  // the same tables and indexes, made by the library
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = FULL");
        exec("PRAGMA foreign_keys = on");
        std::vector<std::string> drops;
        sqlite3_stmt* s = prepare(
            "SELECT name FROM sqlite_master WHERE type = 'trigger' AND name LIKE 'notification_area%'");
        while (sqlite3_step(s) == SQLITE_ROW)
            drops.push_back(std::string("DROP TRIGGER ") +
                            reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        drops.push_back("DROP TABLE notification_area");
        for (const auto& drop : drops) exec(drop.c_str());
    }
    // Makes the index and writes every notification's entry, in one transaction.
    bool fill(const std::vector<std::string>& build) {
        ok_ = true;
        exec("begin exclusive transaction");
        exec("DROP TABLE IF EXISTS notification_area");
        for (const auto& statement : build) exec(statement.c_str());
        exec("commit transaction");
        return ok_;
    }
    ~BareLoop() { sqlite3_close(db_); }

    bool save(const PlainUpdate& u) {
        ok_ = true;
        exec("begin exclusive transaction");
        sqlite3_stmt* s = prepare("DELETE FROM geohash WHERE value=?");
        for (const auto& tile : u.tiles) {
            text(s, 1, tile);
            step(s);
        }
        sqlite3_finalize(s);
        exec(
            "DELETE FROM notification WHERE id IN (SELECT id FROM notification n LEFT OUTER JOIN "
            "geohash_notification gn ON n.id=gn.notificationid WHERE gn.notificationid IS NULL)");
        exec("DELETE FROM campaign WHERE id NOT IN (SELECT campaignid FROM notification)");
        exec("DELETE FROM campaign WHERE id NOT IN (SELECT campaignid FROM notification)");
        exec("DELETE FROM polygon WHERE notification_internal_id NOT IN ( SELECT id FROM notification)");

        int64_t campaignBase = maxId("campaign");
        s = prepare(
            "INSERT INTO campaign(id, server_id, message, handler_type, data, trigger_on_exit, "
            "dwelling_minutes, "
            "experiment_id, experiment_message_id, campaign_start_timestamp, campaign_end_timestamp, "
            "ignore_app_cooldown) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (size_t c = 0; c < u.campaignIds.size(); ++c) {
            sqlite3_bind_int64(s, 1, campaignBase + 1 + static_cast<int64_t>(c));
            text(s, 2, u.campaignIds[c]);
            text(s, 3, u.messages[c]);
            sqlite3_bind_null(s, 4);
            sqlite3_bind_null(s, 5);
            sqlite3_bind_int(s, 6, 0);
            sqlite3_bind_null(s, 7);
            sqlite3_bind_null(s, 8);
            sqlite3_bind_null(s, 9);
            sqlite3_bind_null(s, 10);
            sqlite3_bind_null(s, 11);
            sqlite3_bind_int(s, 12, 0);
            step(s);
        }
        sqlite3_finalize(s);

        int64_t geohashId = maxId("geohash");
        int64_t notificationId = -1;
        sqlite3_stmt* geohash = prepare("INSERT INTO geohash(id, version, value) VALUES (?, ?, ?)");
        sqlite3_stmt* notification = nullptr;
        sqlite3_stmt* link = nullptr;
        sqlite3_stmt* field = nullptr;
        sqlite3_stmt* property = nullptr;
        size_t next = 0;
        for (size_t t = 0; t < u.tiles.size(); ++t) {
            ++geohashId;
            sqlite3_bind_int64(geohash, 1, geohashId);
            sqlite3_bind_int64(geohash, 2, u.versions[t]);
            text(geohash, 3, u.tiles[t]);
            step(geohash);
            for (; next < u.notifications.size() && u.notifications[next].tile == static_cast<int>(t);
                 ++next) {
                const auto& n = u.notifications[next];
                if (!notification) {
                    notificationId = maxId("notification");
                    notification = prepare(
                        "INSERT INTO "
                        "notification(id,campaignid,geofence_id,latitude,longitude,match_range,match_range_"
                        "lat,"
                        "match_range_long,offered,delete_after_match,opening_hours_mon,opening_hours_tue,"
                        "opening_hours_wed,opening_hours_thu,opening_hours_fri,opening_hours_sat,opening_"
                        "hours_"
                        "sun,beacon_uuid,beacon_major_id,beacon_minor_id,region_label, is_polygon, "
                        "is_external_region) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                        "?, ?, "
                        "?, ?, ?)");
                    link =
                        prepare("INSERT INTO geohash_notification(geohashid, notificationid) VALUES (?, ?)");
                    field = prepare(
                        "INSERT INTO custom_region_fields(notificationid, \"key\", value) VALUES (?, ?, ?)");
                    property = prepare(
                        "INSERT INTO trigger_properties(notificationid, \"key\", value) VALUES (?, ?, ?)");
                }
                ++notificationId;
                sqlite3_bind_int64(notification, 1, notificationId);
                sqlite3_bind_int64(notification, 2, campaignBase + 1 + n.campaign);
                text(notification, 3, n.geofenceId);
                sqlite3_bind_double(notification, 4, n.latitude);
                sqlite3_bind_double(notification, 5, n.longitude);
                sqlite3_bind_double(notification, 6, static_cast<double>(n.matchRange));
                sqlite3_bind_double(notification, 7,
                                    zarn::ZarnPLocationUtil::meterToLatitudeDegrees(n.matchRange));
                sqlite3_bind_double(
                    notification, 8,
                    zarn::ZarnPLocationUtil::meterToLongitudeDegrees(n.matchRange, n.latitude));
                for (int i = 9; i <= 21; ++i) sqlite3_bind_null(notification, i);
                sqlite3_bind_int(notification, 22, 0);
                sqlite3_bind_int(notification, 23, 1);
                step(notification);
                sqlite3_bind_int64(link, 1, geohashId);
                sqlite3_bind_int64(link, 2, notificationId);
                step(link);
                sqlite3_bind_int64(field, 1, notificationId);
                text(field, 2, "shop");
                text(field, 3, n.field);
                step(field);
                sqlite3_bind_int64(property, 1, notificationId);
                text(property, 2, "entrance");
                text(property, 3, n.property);
                step(property);
            }
        }
        for (sqlite3_stmt* statement : {geohash, notification, link, field, property})
            sqlite3_finalize(statement);

        s = prepare(
            "SELECT DISTINCT beacon_uuid FROM notification WHERE beacon_uuid IS NOT NULL AND beacon_uuid != "
            "''");
        while (sqlite3_step(s) == SQLITE_ROW) {
        }
        sqlite3_finalize(s);
        exec("commit transaction");
        return ok_;
    }

  private:
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
            ok_ = false;
        return s;
    }
    void exec(const char* sql) {
        sqlite3_stmt* s = prepare(sql);
        while (sqlite3_step(s) == SQLITE_ROW) {
        }
        if (sqlite3_finalize(s) != SQLITE_OK)
            ok_ = false;
    }
    void step(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE)
            ok_ = false;
        sqlite3_reset(s);
    }
    static void text(sqlite3_stmt* s, int index, const std::string& value) {
        sqlite3_bind_text64(s, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    int64_t maxId(const std::string& table) {
        sqlite3_stmt* s = prepare(("SELECT MAX(id) max_id FROM " + table).c_str());
        int64_t id = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
        sqlite3_finalize(s);
        return id;
    }

    sqlite3* db_ = nullptr;
    bool ok_ = true;
};

// Row counts and highest ids of the tables the save writes: both loops must leave the same.
std::string tableFigures(const std::string& path) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        for (const char* table : {"geohash", "geohash_notification", "notification", "campaign",
                                  "custom_region_fields", "trigger_properties"}) {
            sqlite3_stmt* s = nullptr;
            std::string sql = std::string("SELECT COUNT(*), SUM(rowid) FROM ") + table;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
                sqlite3_step(s) == SQLITE_ROW)
                out += std::string(table) + " " + std::to_string(sqlite3_column_int64(s, 0)) + " " +
                       std::to_string(sqlite3_column_int64(s, 1)) + "; ";
            sqlite3_finalize(s);
        }
    }
    sqlite3_close(db);
    return out;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long maxResidentKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The peak resident size, before and after the save, of this program run again to do only the
// save of the update's buffer, written to a file for it; in KiB.
std::pair<long, long> saveOnlyPeak(const PlainUpdate& u) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {-1, -1};
    self[length] = 0;
    std::string bufferPath = freshPath("update.bin");
    {
        std::ofstream out(bufferPath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(u.buffer.data()),
                  static_cast<std::streamsize>(u.buffer.size()));
    }
    std::string command = std::string("'") + self + "' --save-only '" + bufferPath + "'";
    FILE* pipe = popen(command.c_str(), "r");
    long before = -1, after = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%ld %ld", &before, &after) != 2)
            before = after = -1;
        pclose(pipe);
    }
    return {before, after};
}

// The statements that made and filled the nearest reads' index during `save`, as they ran.
std::vector<std::string> indexBuild(LibraryStore& store, const std::function<void()>& save) {
    std::unique_ptr<zarn::ZarnPStatement> statement;
    store.db->database()->prepareStatement("SELECT 1", statement);
    sqlite3* handle = sqlite3_db_handle(statement->statement());
    statement.reset();
    std::vector<std::string> build;
    sqlite3_trace_v2(
        handle, SQLITE_TRACE_STMT,
        [](unsigned, void* out, void* stmt, void*) {
            const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(stmt));
            if (!sql || (std::strncmp(sql, "CREATE VIRTUAL TABLE notification_area", 38) != 0 &&
                         std::strncmp(sql, "INSERT INTO notification_area", 29) != 0))
                return 0;
            // With the values it was run with: the fill runs one statement per part of the rows.
            // Only these are expanded, so that the trace costs the save nothing it measures.
            char* expanded = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(stmt));
            if (expanded)
                static_cast<std::vector<std::string>*>(out)->push_back(expanded);
            sqlite3_free(expanded);
            return 0;
        },
        &build);
    save();
    sqlite3_trace_v2(handle, 0, nullptr, nullptr);
    return build;
}

void BM_SaveFullUpdateAndReplaceIt(benchmark::State& state) {
    zarn::ZarnPLogger::instance().setLevel(zarn::ZarnPLogLevelError);
    int count = static_cast<int>(state.range(0));
    const PlainUpdate& first = update(count, 1);
    const PlainUpdate& second = update(count, 2);
    double library[2] = {0, 0};
    double unindexed[2] = {0, 0};
    double bare[2] = {0, 0};
    double fill[2] = {0, 0};
    uintmax_t bytes = 0;
    int round = 0;
    std::string libraryFigures;
    std::string unindexedFigures;
    std::string bareFigures;
    std::vector<std::string> build;
    for (auto _ : state) {
        double iteration = 0;
        auto runLibrary = [&](bool withIndex, double* spent, std::string& figures) {
            std::string path = freshPath(withIndex ? "library.db" : "unindexed.db");
            {
                LibraryStore store(path, withIndex);
                auto start = Clock::now();
                store.save(first);
                double firstSave = secondsSince(start);
                start = Clock::now();
                if (withIndex)
                    build = indexBuild(store, [&] { store.save(second); });
                else
                    store.save(second);
                double replacement = secondsSince(start);
                spent[0] += firstSave;
                spent[1] += replacement;
                if (withIndex)
                    iteration = firstSave + replacement;
            }
            if (withIndex)
                bytes = fileBytes(path);
            figures = tableFigures(path);
        };
        auto runBare = [&] {
            std::string path = freshPath("bare.db");
            BareLoop loop(path);
            for (int which = 0; which < 2; ++which) {
                auto start = Clock::now();
                if (!loop.save(which == 0 ? first : second))
                    state.SkipWithError("bare loop failed");
                bare[which] += secondsSince(start);
                start = Clock::now();
                if (!loop.fill(build))
                    state.SkipWithError("bare fill failed");
                fill[which] += secondsSince(start);
            }
            bareFigures = tableFigures(path);
        };
        // Each goes first in turn: the one that follows pays for the other's pages still being
        // written out. The library with its index runs before the bare fill, which replays its build.
        if (round++ % 2 == 0) {
            runLibrary(true, library, libraryFigures);
            runLibrary(false, unindexed, unindexedFigures);
            runBare();
        } else {
            runLibrary(false, unindexed, unindexedFigures);
            runLibrary(true, library, libraryFigures);
            runBare();
        }
        state.SetIterationTime(iteration);
        if (libraryFigures != bareFigures || unindexedFigures != bareFigures) {
            std::printf("library: %s\nwithout index: %s\nbare:    %s\n", libraryFigures.c_str(),
                        unindexedFigures.c_str(), bareFigures.c_str());
            state.SkipWithError("the loops left different rows");
        }
        if (build.size() < 2)
            state.SkipWithError("the replacement did not fill the index once");
    }
    double n = static_cast<double>(state.iterations());
    auto [before, after] = saveOnlyPeak(first);
    double lib = library[0] + library[1], floor = bare[0] + bare[1] + fill[0] + fill[1];
    state.counters["lib_first_ms"] = library[0] / n * 1e3;
    state.counters["lib_replace_ms"] = library[1] / n * 1e3;
    state.counters["bare_first_ms"] = bare[0] / n * 1e3;
    state.counters["bare_replace_ms"] = bare[1] / n * 1e3;
    state.counters["bare_fill_ms"] = (fill[0] + fill[1]) / n * 1e3;
    state.counters["ratio"] = lib / floor;
    state.counters["over_unindexed"] = lib / (unindexed[0] + unindexed[1]);
    state.counters["db_KiB"] = static_cast<double>(bytes) / 1024;
    state.counters["peak_rss_KiB"] = static_cast<double>(after);
    std::printf(
        "save of %d notifications: library %.1f ms + replacement %.1f ms; bare loop %.1f ms + %.1f ms, its "
        "fills of "
        "the index %.1f ms + %.1f ms; ratio %.2fx (first %.2fx, replacement %.2fx); the library's save "
        "without the "
        "index %.1f ms + %.1f ms (%.2fx of it); file %.1f MiB; peak resident %.1f MiB (%.1f MiB before the "
        "save)\n",
        count, library[0] / n * 1e3, library[1] / n * 1e3, bare[0] / n * 1e3, bare[1] / n * 1e3,
        fill[0] / n * 1e3, fill[1] / n * 1e3, lib / floor, library[0] / (bare[0] + fill[0]),
        library[1] / (bare[1] + fill[1]), unindexed[0] / n * 1e3, unindexed[1] / n * 1e3,
        lib / (unindexed[0] + unindexed[1]), static_cast<double>(bytes) / (1 << 20), after / 1024.0,
        before / 1024.0);
    std::printf(
        "cost row 3, a full save of %d and its replacement: %.1f ms against a bare save plus a bare fill "
        "%.1f ms (%.2fx); the save's own peak +%.1f MiB over its process's baseline of %.1f MiB\n",
        count, lib / n * 1e3, floor / n * 1e3, lib / floor, (after - before) / 1024.0, before / 1024.0);
}

// --save-only FILE: save the data update in FILE into a fresh database, print the peak resident
// size in KiB before and after the save, and exit, before any benchmark runs.
struct SaveOnlyMode {
    SaveOnlyMode() {
        std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        for (size_t start = 0; start < all.size();) {
            size_t end = all.find('\0', start);
            if (end == std::string::npos)
                end = all.size();
            args.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        for (size_t i = 0; i + 1 < args.size(); ++i) {
            if (args[i] != "--save-only")
                continue;
            zarn::ZarnPLogger::instance().setLevel(zarn::ZarnPLogLevelError);
            PlainUpdate u;
            // Read at its size: a vector grown as it reads would leave a peak of its own behind.
            std::ifstream in(args[i + 1], std::ios::binary | std::ios::ate);
            u.buffer.resize(static_cast<size_t>(in.tellg()));
            in.seekg(0);
            in.read(reinterpret_cast<char*>(u.buffer.data()), static_cast<std::streamsize>(u.buffer.size()));
            long before = maxResidentKib();
            {
                LibraryStore store(freshPath("save-only.db"));
                store.save(u);
            }
            std::printf("%ld %ld\n", before, maxResidentKib());
            std::fflush(stdout);
            _exit(0);
        }
    }
};
const SaveOnlyMode saveOnlyMode;

}  // namespace

BENCHMARK(BM_SaveFullUpdateAndReplaceIt)
    ->Arg(10000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFullUpdateAndReplaceIt)
    ->Arg(100000)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFullUpdateAndReplaceIt)
    ->Arg(300000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
