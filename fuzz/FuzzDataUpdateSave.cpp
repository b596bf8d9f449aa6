// libFuzzer target: arbitrary bytes read as a data update, every accessor walked, then saved into
// a database emptied for the input, twice (the second save meets the first one's rows). A save
// either completes, with each beacon UUID it names stored, or raises the database exception and
// leaves every table as it was.
#include <unistd.h>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/ZarnPLogger.h"
#include "core/ZarnPPublicLogging.h"
#include "sim/service/DataUpdateWalker.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "zarn/platform/FileSystem.h"

namespace {

constexpr const char* kTables[] = {"geohash_notification",
                                   "custom_region_fields",
                                   "trigger_properties",
                                   "polygon",
                                   "notification",
                                   "segmentation_property",
                                   "timespan",
                                   "campaign",
                                   "geohash",
                                   "cooldown_group",
                                   "set_segmentation_property"};

class CountingPublicLog final : public zarn::ZarnPPublicLogging {
  public:
    void logMessageIfEnabledAndArguments(const std::shared_ptr<zarn::ZarnPContext>&, std::string_view format,
                                         const std::vector<zarn::FormatArg>& arguments) override {
        (void)zarn::formatArgs(format, arguments);
    }
};

class RawDao final : public zarn::ZarnPSqLiteDao {
  public:
    explicit RawDao(std::shared_ptr<zarn::ZarnPSqLiteDb> db)
        : ZarnPSqLiteDao(std::move(db), Registration::DoNotRegister) {}
    std::shared_ptr<zarn::ZarnPDatabase> connection() const { return database(); }
};

struct World {
    std::shared_ptr<zarn::ZarnPSqLiteDb> db;
    std::vector<std::shared_ptr<zarn::ZarnPSqLiteDao>> stores;
    std::shared_ptr<RawDao> raw;
    World() {
        zarn::ZarnPLogger::instance().setLevel(zarn::ZarnPLogLevelNone);
        // Memory-backed when there is such a folder: every save is a durable commit.
        char shm[] = "/dev/shm/zarn-fuzz-save-XXXXXX";
        char tmp[] = "/tmp/zarn-fuzz-save-XXXXXX";
        const char* made = ::mkdtemp(shm);
        std::string directory = made ? made : ::mkdtemp(tmp);
        db = std::make_shared<zarn::ZarnPSqLiteDb>(
            22, directory + "/zarn.db", std::make_shared<zarn::platform::PosixFileSystem>(directory));
        db->disableThreadCheck();
        stores = zarn::ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db);
        raw = std::make_shared<RawDao>(db);
        if (!raw->connection())
            std::abort();
    }
    // Every row of every table as one text, to tell whether a failed save changed anything.
    std::string contents() {
        std::string out;
        for (const char* table : kTables) {
            std::string columns;
            auto names = raw->connection()->executeQuery("SELECT name FROM pragma_table_info(?)", table);
            while (names && names->next())
                columns += (columns.empty() ? "quote(\"" : " || '|' || quote(\"") +
                           names->stringForColumnIndex(0).value_or("") + "\")";
            auto rs = raw->connection()->executeQuery("SELECT " + columns + " FROM " + table + " ORDER BY 1");
            if (!rs)
                std::abort();
            while (rs->next()) out += rs->stringForColumnIndex(0).value_or("~") + "\n";
        }
        return out;
    }
    void empty() {
        auto connection = raw->connection();
        connection->executeUpdate("BEGIN");
        for (const char* table : kTables) connection->executeUpdate(std::string("DELETE FROM ") + table);
        connection->executeUpdate("COMMIT");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact copy: libFuzzer's buffer is not always aligned for the update's 64-bit scalars.
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(copy.get(), data, size);
    const auto* root = zarn::ZarnPDataUpdateReader::read(std::span<const std::uint8_t>(copy.get(), size));
    if (!root)
        return 0;
    auto walk = zarn::sim::DataUpdateWalker::walk(*root);
    if (walk.notifications < walk.locations)
        std::abort();

    static World world;
    world.empty();
    auto log = std::make_shared<CountingPublicLog>();
    for (int round = 0; round < 2; ++round) {
        std::string before = world.contents();
        zarn::ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(world.db, log);
        try {
            auto result = orchestrator.save(*root, nullptr);
            for (const auto& uuid : result.beaconUuids())
                if (!result.storedBeaconUuids().count(uuid))
                    std::abort();
        } catch (const zarn::ZarnPDatabaseException&) {
            if (world.contents() != before)
                std::abort();
        }
        if (world.raw->connection()->inTransaction())
            std::abort();
    }
    return 0;
}
