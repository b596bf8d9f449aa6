#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Mutex.h"
#include "zarn/Date.h"
#include "zarn/Error.h"

namespace zarn {

namespace platform {
class FileSystem;
}

class ZarnPDatabase;
class ZarnPSqLiteDao;
class ZarnPSqLiteVersionDao;

// The library's one SQLite file. Opened lazily by the first database() call, which first brings
// the schema to appVersion: every registered store migrates its own tables from the version found
// in the file, the version is stored, and foreign keys are switched on. The whole migration is one
// transaction, which the stores' own transactions join: it commits with the new version, or the
// file stays exactly as it was, so no opening ever repeats a step over what was written since.
//
// A file that is damaged, whose migration cannot complete on it, or whose tables lack what the
// stores read and write is set aside with its log files and a new file started; what the stores
// keep (the user's opt-out, the app's token) goes over to it; so is a file on which any statement
// of the opening (the migration and the work after it included) met a corrupt page. The opening
// reads only the header and the schema; damage deeper in the file is found by
// checkWholeFileIfDue(), which the owner calls later, or by any statement that meets it while the
// library runs: the owner hears of that through the damage listener and calls setAsideIfDamaged()
// once no statement runs. A migration that fails for a passing reason (a full disk, a busy file,
// an I/O error) or on a file without tables leaves the file as it was: the opening fails and is
// tried again after the back-off; a statement that fails so while the library runs leaves it too.
// A file of a newer version is used as it is. Once the migration has committed, each store does
// what may fail on its own (afterMigration()), each in its own transaction.
//
// The file runs in write-ahead-log mode with full synchronisation: one fdatasync per commit of the
// Full tier, none for a commit of the Normal tier, which its owner bounds in time through
// syncUnsyncedCommits() (see ZarnPSyncDeadline). Whatever copies, moves or removes the file
// handles its "-wal" and "-shm" files with it.
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

    // Reads every page of the open file, at most once a day (the time of the last check that
    // found the file whole is kept beside it); a damaged file is set aside and a new one started
    // as at the opening. SDK thread.
    void checkWholeFileIfDue(Date now);
    // Called once per file, when a statement meets damage on it (a corrupt page, not a database)
    // after its opening, inside that statement on its thread: it must not use the connection. Kept
    // for every file.
    void setDamageListener(std::function<void()> listener);
    // When a statement has met damage on the open file since its opening, the file is read whole,
    // set aside and a new one started, as the whole-file check does; nothing otherwise. SDK
    // thread, where no statement and no transaction is open.
    void setAsideIfDamaged();

    // Called when a commit of the Normal tier is left unsynced and none was before, on the
    // committing thread, inside the commit: it must not use the connection. Kept for every
    // connection the file gets.
    void setUnsyncedCommitListener(std::function<void()> listener);
    // Makes every commit so far durable (one fdatasync of the log when one is unsynced); false,
    // logged, when that fails. SDK thread.
    bool syncUnsyncedCommits();

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
    enum class Check { HeaderAndSchema, Full };
    // What SQLite reports of a damaged file (not a database, corrupt), or nothing.
    std::optional<std::string> damageOf(ZarnPDatabase& database, Check check);
    // Moves the file and its -wal and -shm files aside; the new name, or nothing.
    std::optional<std::string> moveAside(const std::string& path);
    // Closes `old`, sets its file aside and opens a new one at `path`; null when either fails.
    std::shared_ptr<ZarnPDatabase> startAnew(const std::string& path, std::shared_ptr<ZarnPDatabase> old,
                                             const std::string& reason);
    // Sets the damaged file of database_ aside for a new one, which takes over what the stores
    // keep; database_ is then the new file, migrated, or nothing.
    void replaceDamagedFile(const std::string& path, const std::string& reason) ZARN_REQUIRES(openMutex_);
    // The file of database_ finished for use, or the back-off begun when there is none.
    std::shared_ptr<ZarnPDatabase> finishOrBackOff(const std::string& path) ZARN_REQUIRES(openMutex_);
    // What the stores keep of the file on `connection` for the file that replaces it.
    std::vector<std::function<void()>> keptFrom(std::shared_ptr<ZarnPDatabase> connection)
        ZARN_REQUIRES(openMutex_);

    enum class Migration { Done, FileUnusable, NotNow };
    struct MigrationResult {
        Migration outcome;
        std::string reason;  // why the file is unusable
    };
    // Migrates the file on database_ in one transaction; `kept` is written into it on success.
    MigrationResult updateVersion(const std::vector<std::function<void()>>& kept) ZARN_REQUIRES(openMutex_);
    // Ends a migration from version `found` that failed, or found `missing` in the schema, or met
    // damage (`damaged`): rolls back and tells whether the file is to blame.
    MigrationResult migrationFailed(int found, const std::optional<Error>& failure,
                                    const std::optional<std::string>& missing, bool damaged)
        ZARN_REQUIRES(openMutex_);
    // Each store's work after the migration committed (afterMigration()), outside any transaction.
    void completeOpening() ZARN_REQUIRES(openMutex_);
    // Each store's migration, stopping at the first that fails; its error, or nothing.
    std::optional<Error> migrateStores() ZARN_REQUIRES(openMutex_);
    // A table or column that a store needs and the file lacks, described; nothing when none.
    std::optional<std::string> missingFromSchema() ZARN_REQUIRES(openMutex_);
    // Journal mode WAL (switched without a sync on a file that holds nothing) with synchronous =
    // FULL (logged when SQLite refuses either), temporary storage in memory, the unsynced-commit
    // listener.
    void configureConnection() ZARN_REQUIRES(openMutex_);
    void switchOnForeignKeys() ZARN_REQUIRES(openMutex_);
    // What follows a migrated file: the file's protection, foreign keys, no back-off, the damage
    // listener.
    void finishOpening(const std::string& path) ZARN_REQUIRES(openMutex_);
    bool isRegistered(const ZarnPSqLiteDao* dao) const;
    // Keeps a listener for every connection the file gets and gives it to the open one.
    void keepListener(std::function<void()> ZarnPSqLiteDb::*slot, std::function<void()> listener,
                      void (ZarnPDatabase::*give)(std::function<void()>));

    std::string path_;
    std::shared_ptr<platform::FileSystem> fileSystem_;
    // Guards the lazy opening, which any thread may start; recursive because the migrations
    // that run inside it reach the connection through database() again, each store by its own
    // road.
    mutable RecursiveMutex openMutex_;
    std::shared_ptr<ZarnPDatabase> database_ ZARN_GUARDED_BY(openMutex_);
    int appVersion_;
    int currentVersion_ ZARN_GUARDED_BY(openMutex_) = 0;
    // Stores come and go on whichever thread builds or releases them, while the SDK thread
    // walks the registry to migrate.
    mutable Mutex registryMutex_;
    std::vector<ZarnPSqLiteDao*> daos_ ZARN_GUARDED_BY(registryMutex_);
    bool checkThread_ = true;
    std::function<void()> unsyncedListener_ ZARN_GUARDED_BY(openMutex_);
    std::function<void()> damageListener_ ZARN_GUARDED_BY(openMutex_);
    // The damage the open connection had met when its opening finished.
    uint64_t damageAtOpening_ ZARN_GUARDED_BY(openMutex_) = 0;
    std::chrono::milliseconds openRetryDelay_{100};
    std::chrono::milliseconds openBackOff_{60000};
    std::optional<std::chrono::steady_clock::time_point> openFailedAt_ ZARN_GUARDED_BY(openMutex_);
    // Declared last: it leaves the registry while the registry still exists.
    std::shared_ptr<ZarnPSqLiteVersionDao> versionDao_ ZARN_GUARDED_BY(openMutex_);
};

}  // namespace zarn
