// libFuzzer target: rows of the events table that hold anything at all (a damaged file, a
// downgrade, another writer) read back through the events store. Reading never throws or
// crashes; every event it returns has a known type and an object as its extra, and deleting what
// was read removes no row it did not return.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "zarn/Value.h"
#include "zarn/platform/FileSystem.h"

namespace {

// Reaches the store's connection to write raw rows.
class RawDao final : public zarn::ZarnPSqLiteDao {
  public:
    explicit RawDao(std::shared_ptr<zarn::ZarnPSqLiteDb> db)
        : ZarnPSqLiteDao(std::move(db), Registration::DoNotRegister) {}
    std::shared_ptr<zarn::ZarnPDatabase> connection() const { return database(); }
};

// Takes the input apart into typed SQL values.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::string bytes() {
        std::size_t n = byte();
        n = std::min(n, size_ - pos_);
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }
    zarn::ZarnPSqlValue value() {
        switch (byte() % 6) {
            case 0:
                return zarn::ZarnPSqlValue(nullptr);
            case 1: {
                std::int64_t v = 0;
                for (int i = 0; i < 8; ++i) v = (v << 8) | byte();
                return zarn::ZarnPSqlValue(v);
            }
            case 2: {
                std::uint64_t bits = 0;
                for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
                double d;
                std::memcpy(&d, &bits, sizeof d);
                return zarn::ZarnPSqlValue(d);
            }
            case 3:
                return zarn::ZarnPSqlValue(bytes());
            case 4:
                return zarn::ZarnPSqlValue(zarn::ZarnPSqlBlob{bytes()});
            default: {
                // A well-formed row now and then, so reading past the bad ones is exercised.
                static const char* names[] = {"notification_sent", "error", "heartbeat", "location_acquired"};
                return zarn::ZarnPSqlValue(std::string(names[byte() % 4]));
            }
        }
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct World {
    std::shared_ptr<zarn::ZarnPSqLiteDb> db;
    std::shared_ptr<zarn::ZarnPSqLiteEventDao> events;
    std::shared_ptr<RawDao> raw;
    World() {
        zarn::ZarnPLogger::instance().setLevel(zarn::ZarnPLogLevelNone);
        // Memory-backed when there is such a folder: every row is a durable commit.
        char shm[] = "/dev/shm/zarn-fuzz-events-XXXXXX";
        char tmp[] = "/tmp/zarn-fuzz-events-XXXXXX";
        const char* made = ::mkdtemp(shm);
        std::string directory = made ? made : ::mkdtemp(tmp);
        db = std::make_shared<zarn::ZarnPSqLiteDb>(
            22, directory + "/zarn.db", std::make_shared<zarn::platform::PosixFileSystem>(directory));
        db->disableThreadCheck();
        events = std::make_shared<zarn::ZarnPSqLiteEventDao>(db);
        raw = std::make_shared<RawDao>(db);
        if (!raw->connection())
            std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    auto connection = world.raw->connection();
    connection->executeUpdate("BEGIN");
    connection->executeUpdate("DELETE FROM events;");
    Reader in(data, size);
    for (int row = 0; row < 16 && !in.empty(); ++row) {
        auto identifier = in.value();
        auto type = in.value();
        auto date = in.value();
        // Extras are mostly JSON-ish text so the parser sees objects, arrays and garbage.
        auto extra = (in.byte() & 1) ? zarn::ZarnPSqlValue(zarn::ZarnPSqlBlob{"{\"k\":" + in.bytes() + "}"})
                                     : in.value();
        connection->executeUpdate(
            "INSERT INTO events (identifier, eventType, date, extra) VALUES (?, ?, ?, ?);", identifier, type,
            date, extra);
    }
    connection->executeUpdate("COMMIT");
    int before = world.events->getEventCount();
    auto read = world.events->getEvents();
    for (const auto& event : read) {
        if (!zarn::ZarnPLogEventType::nameForType(event->eventType()) || !event->extra().is_object())
            std::abort();
        (void)event->description();
    }
    world.events->deleteEvents(read);
    int after = world.events->getEventCount();
    if (after > before || after < before - static_cast<int>(read.size()))
        std::abort();
    return 0;
}
