#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Mutex.h"

namespace zarn {

namespace platform {
class FileSystem;
}

class ZarnPDatabase;
class ZarnPSqLiteDao;
class ZarnPSqLiteVersionDao;

// The library's one SQLite file. Opened lazily by the first database() call, which first brings
// the schema to appVersion: every registered store migrates its own tables from the version found
// in the file, the version is stored, and foreign keys are switched on. A store whose migration
// raises is logged and skipped; the version is then not stored, so the next opening migrates
// again from the old one.
//
// The file runs in write-ahead-log mode with full synchronisation: one fdatasync per commit.
// Whatever copies, moves or removes the file handles its "-wal" and "-shm" files with it.
//
// Threads: no lock. The object, its connection and every store on it are used on the SDK thread
// only; opening from the main thread is allowed but logged.
class ZarnPSqLiteDb {
  public:
    static constexpr int kOpenTries = 3;

    // The file system expands "~" in the path, makes the file's folder and moves a damaged file
    // aside (required).
    ZarnPSqLiteDb(int version, std::string path, std::shared_ptr<platform::FileSystem> fileSystem);
    ~ZarnPSqLiteDb();
    ZarnPSqLiteDb(const ZarnPSqLiteDb&) = delete;
    ZarnPSqLiteDb& operator=(const ZarnPSqLiteDb&) = delete;

    // Non-owning: every store registers itself when built and leaves when destroyed, so the
    // caller keeps its stores alive until the database has been opened. Of several live stores of
    // one class, the first registered migrates, once.
    void registerDao(ZarnPSqLiteDao* dao);
    void unregisterDao(ZarnPSqLiteDao* dao);
    // The stores that migrate: the first live one of each class, in registration order.
    std::vector<ZarnPSqLiteDao*> registeredDaos() const;

    void disableThreadCheck() { checkThread_ = false; }

    // The open connection, or nullptr when the file cannot be opened (the next call tries the
    // whole opening again).
    std::shared_ptr<ZarnPDatabase> database();

    int appVersion() const { return appVersion_; }
    int currentVersion() const;
    const std::string& path() const { return path_; }

    // Pause between two failed tries to open the file (100 ms).
    void setOpenRetryDelay(std::chrono::milliseconds delay) { openRetryDelay_ = delay; }
    // After the tries of one opening have failed, later calls fail at once for this long (60 s),
    // so that a file that cannot be opened costs no sleep per call.
    void setOpenBackOff(std::chrono::milliseconds backOff) { openBackOff_ = backOff; }

  private:
    // kOpenTries tries with a pause between them; null when none opened the file.
    std::shared_ptr<ZarnPDatabase> openWithTries(const std::string& path);
    // What SQLite reports of a damaged file (not a database, corrupt), or nothing.
    std::optional<std::string> damageOf(ZarnPDatabase& database);
    // Moves the file and its -wal and -shm files aside; the new name, or nothing.
    std::optional<std::string> moveAside(const std::string& path);
    // Each store's migration; false when one failed.
    bool migrateStores() ZARN_REQUIRES(openMutex_);
    void updateVersion() ZARN_REQUIRES(openMutex_);
    // Journal mode WAL with synchronous = FULL; logged when SQLite refuses either.
    void useDurableWriteAheadLog() ZARN_REQUIRES(openMutex_);
    void switchOnForeignKeys() ZARN_REQUIRES(openMutex_);
    bool isRegistered(const ZarnPSqLiteDao* dao) const;

    std::string path_;
    std::shared_ptr<platform::FileSystem> fileSystem_;
    // Guards the lazy opening, which any thread may start; recursive because the migrations
    // that run inside it reach the connection through database() again, each store by its own
    // road.
    mutable RecursiveMutex openMutex_;
    std::shared_ptr<ZarnPDatabase> database_ ZARN_GUARDED_BY(openMutex_);
    int appVersion_;
    int currentVersion_ ZARN_GUARDED_BY(openMutex_) = 0;
    std::vector<ZarnPSqLiteDao*> daos_;
    bool checkThread_ = true;
    std::chrono::milliseconds openRetryDelay_{100};
    std::chrono::milliseconds openBackOff_{60000};
    std::optional<std::chrono::steady_clock::time_point> openFailedAt_ ZARN_GUARDED_BY(openMutex_);
    // Declared last: it leaves the registry while the registry still exists.
    std::shared_ptr<ZarnPSqLiteVersionDao> versionDao_ ZARN_GUARDED_BY(openMutex_);
};

}  // namespace zarn
