#include "store/ZarnPSqLiteDb.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <typeindex>
#include <typeinfo>
#include <unordered_set>
#include <utility>

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqLiteVersionDao.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteDb";
// Beside the file: when its every page was last read and found whole.
constexpr const char* kCheckedSuffix = "-checked";
constexpr double kWholeFileCheckInterval = 24 * 60 * 60;

bool isDamageCode(int code) {
    return (code & 0xff) == SQLITE_NOTADB || (code & 0xff) == SQLITE_CORRUPT;
}

bool isDamage(const Error& error) {
    return error.domain == "ZarnPDatabase" && isDamageCode(error.code);
}

// Failures that say nothing about the file: the same migration may succeed at a later opening.
bool isPassing(const Error& error) {
    if (error.domain != "ZarnPDatabase")
        return false;
    switch (error.code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_NOMEM:
        case SQLITE_READONLY:
        case SQLITE_INTERRUPT:
        case SQLITE_IOERR:
        case SQLITE_FULL:
        case SQLITE_CANTOPEN:
        case SQLITE_PROTOCOL:
            return true;
        default:
            return false;
    }
}
}  // namespace

ZarnPSqLiteDb::ZarnPSqLiteDb(int version, std::string path, std::shared_ptr<platform::FileSystem> fileSystem)
    : path_(std::move(path)), fileSystem_(std::move(fileSystem)), appVersion_(version) {
    ZARN_REQUIRE(fileSystem_);
    daos_.reserve(10);
}

ZarnPSqLiteDb::~ZarnPSqLiteDb() {
    // The version store holds this object without owning it; it goes first.
    versionDao_.reset();
}

void ZarnPSqLiteDb::registerDao(ZarnPSqLiteDao* dao) {
    MutexLock lk(registryMutex_);
    if (dao && std::find(daos_.begin(), daos_.end(), dao) == daos_.end())
        daos_.push_back(dao);
}

void ZarnPSqLiteDb::unregisterDao(ZarnPSqLiteDao* dao) {
    MutexLock lk(registryMutex_);
    daos_.erase(std::remove(daos_.begin(), daos_.end(), dao), daos_.end());
}

bool ZarnPSqLiteDb::isRegistered(const ZarnPSqLiteDao* dao) const {
    MutexLock lk(registryMutex_);
    return std::find(daos_.begin(), daos_.end(), dao) != daos_.end();
}

std::vector<ZarnPSqLiteDao*> ZarnPSqLiteDb::registeredDaos() const {
    // Classes are told apart only now, when every store is fully built.
    std::vector<ZarnPSqLiteDao*> out;
    std::unordered_set<std::type_index> seen;
    MutexLock lk(registryMutex_);
    for (ZarnPSqLiteDao* dao : daos_)
        if (seen.insert(std::type_index(typeid(*dao))).second)
            out.push_back(dao);
    return out;
}

int ZarnPSqLiteDb::currentVersion() const {
    RecursiveMutexLock lk(openMutex_);
    return currentVersion_;
}

std::shared_ptr<ZarnPDatabase> ZarnPSqLiteDb::database() {
    RecursiveMutexLock lk(openMutex_);
    if (database_)
        return database_;
    if (openFailedAt_ && std::chrono::steady_clock::now() - *openFailedAt_ < openBackOff_)
        return nullptr;
    if (checkThread_ && platform::isMainThread())
        LogError(kDomain, "Initializing DB from main thread!");

    auto& fileSystem = fileSystem_;
    std::string path = fileSystem ? fileSystem->expandTilde(path_) : path_;

    std::string parent = std::filesystem::path(path).parent_path().string();
    // Only the file's own folder: a missing folder above it is a failure to open.
    if (fileSystem && !parent.empty() && !fileSystem->fileExists(parent) &&
        !fileSystem->createDirectory(parent, false)) {
        LogNsError(kDomain, Error{kDomain, -1, format("Could not create the folder %@", parent)},
                   "Failed to create directory");
    }

    std::shared_ptr<ZarnPDatabase> opened = openWithTries(path);
    std::vector<std::function<void()>> kept;
    if (opened) {
        if (auto damage = damageOf(*opened, Check::HeaderAndSchema)) {
            kept = keptFrom(opened);
            opened = startAnew(path, std::move(opened), *damage);
        }
    }
    if (opened) {
        // Set before the migrations: the stores reach the connection through database().
        database_ = std::move(opened);
        configureConnection();
        MigrationResult result = updateVersion(kept);
        if (result.outcome == Migration::FileUnusable) {
            replaceDamagedFile(path, result.reason);
        } else if (result.outcome != Migration::Done) {
            database_->close();
            database_.reset();
        }
    }
    return finishOrBackOff(path);
}

std::shared_ptr<ZarnPDatabase> ZarnPSqLiteDb::finishOrBackOff(const std::string& path) {
    if (!database_) {
        // The next call tries the whole opening again, after the back-off.
        openFailedAt_ = std::chrono::steady_clock::now();
        return nullptr;
    }
    finishOpening(path);
    return database_;
}

void ZarnPSqLiteDb::finishOpening(const std::string& path) {
    openFailedAt_.reset();
    if (!fileSystem_->setProtectionNone(path)) {
        LogDebug(kDomain, "Failed to update file protection %@", path);
    }
    switchOnForeignKeys();
    // What the opening met is the opening's; from here on the owner hears of damage.
    damageAtOpening_ = database_->damageCount();
    database_->setDamageListener(damageListener_);
}

void ZarnPSqLiteDb::keepListener(std::function<void()> ZarnPSqLiteDb::*slot, std::function<void()> listener,
                                 void (ZarnPDatabase::*give)(std::function<void()>)) {
    RecursiveMutexLock lk(openMutex_);
    this->*slot = std::move(listener);
    if (database_)
        (*database_.*give)(this->*slot);
}

void ZarnPSqLiteDb::setDamageListener(std::function<void()> listener) {
    keepListener(&ZarnPSqLiteDb::damageListener_, std::move(listener), &ZarnPDatabase::setDamageListener);
}

void ZarnPSqLiteDb::setAsideIfDamaged() {
    RecursiveMutexLock lk(openMutex_);
    if (!database_ || database_->damageCount() == damageAtOpening_)
        return;
    std::string met = database_->lastDamage();
    // The whole file read names what is damaged; what a statement met condemns the file anyway, as
    // at the opening, also where that read finds nothing (an index that disagrees with its table).
    auto damage = damageOf(*database_, Check::Full);
    std::string path = fileSystem_->expandTilde(path_);
    replaceDamagedFile(path, damage.value_or(met));
    finishOrBackOff(path);
}

void ZarnPSqLiteDb::checkWholeFileIfDue(Date now) {
    RecursiveMutexLock lk(openMutex_);
    if (!database_)
        return;
    std::string path = fileSystem_->expandTilde(path_);
    std::string record = path + kCheckedSuffix;
    if (auto last = fileSystem_->readFile(record, 64)) {
        char* end = nullptr;
        double at = std::strtod(last->c_str(), &end);
        double since = timeIntervalSince1970(now) - at;
        if (end != last->c_str() && std::isfinite(at) && since >= 0 && since < kWholeFileCheckInterval)
            return;
    }
    auto damage = damageOf(*database_, Check::Full);
    if (!damage) {
        // Plain text beside the file, not a row in it: remembering the check costs no commit, and
        // losing it to a crash costs one check more.
        fileSystem_->createFile(record, format("%f", timeIntervalSince1970(now)));
        for (ZarnPSqLiteDao* dao : registeredDaos()) {
            if (!isRegistered(dao))
                continue;
            try {
                dao->afterWholeFileCheck();
            } catch (...) {
                LogError(kDomain, "Failed to complete the whole-file check");
            }
            database_->closeOpenResultSets();
        }
        return;
    }
    replaceDamagedFile(path, *damage);
    finishOrBackOff(path);
}

void ZarnPSqLiteDb::replaceDamagedFile(const std::string& path, const std::string& reason) {
    auto kept = keptFrom(database_);
    database_ = startAnew(path, std::exchange(database_, nullptr), reason);
    if (!database_)
        return;
    configureConnection();
    // A new file that cannot be migrated either is not the file's fault: it stays.
    if (updateVersion(kept).outcome == Migration::Done)
        return;
    database_->close();
    database_.reset();
}

std::shared_ptr<ZarnPDatabase> ZarnPSqLiteDb::openWithTries(const std::string& path) {
    std::string lastMessage;
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        auto candidate = ZarnPDatabase::databaseWithPath(path);
        if (candidate->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
            return candidate;
        lastMessage = candidate->lastErrorMessage();
        candidate.reset();
        if (openRetryDelay_.count() > 0)
            std::this_thread::sleep_for(openRetryDelay_);
    }
    LogError(kDomain, "Failed to open db at %@ > %@", path, lastMessage);
    return nullptr;
}

std::optional<std::string> ZarnPSqLiteDb::damageOf(ZarnPDatabase& database, Check check) {
    // The header and the schema only: what every opening reads anyway. The full check reads every
    // page once, so that a valid header over corrupt pages is found too.
    auto rs = database.executeQuery(check == Check::Full ? "PRAGMA quick_check(1)"
                                                         : "SELECT COUNT(*) FROM sqlite_master");
    if (!rs) {
        if (isDamageCode(database.lastErrorCode()))
            return database.lastErrorMessage();
        return std::nullopt;
    }
    std::optional<std::string> damage;
    if (rs->next()) {
        auto answer = rs->stringForColumnIndex(0).value_or("");
        if (check == Check::Full && answer != "ok")
            damage = answer;
    } else if (isDamageCode(database.lastErrorCode())) {
        damage = database.lastErrorMessage();
    }
    rs.reset();
    database.closeOpenResultSets();
    return damage;
}

std::optional<std::string> ZarnPSqLiteDb::moveAside(const std::string& path) {
    auto& fileSystem = fileSystem_;
    std::string aside = path + ".damaged";
    auto move = [&](const std::string& from, const std::string& to) -> bool {
        if (fileSystem) {
            if (!fileSystem->fileExists(from))
                return true;
            return !fileSystem->moveItem(from, to);
        }
        return std::rename(from.c_str(), to.c_str()) == 0 || errno == ENOENT;
    };
    // The log and the shared memory go with the file, or SQLite would replay them into the new one.
    if (!move(path, aside) || !move(path + "-wal", aside + "-wal") || !move(path + "-shm", aside + "-shm"))
        return std::nullopt;
    // The new file has not been checked yet.
    if (fileSystem && fileSystem->fileExists(path + kCheckedSuffix))
        fileSystem->removeItem(path + kCheckedSuffix);
    return aside;
}

std::shared_ptr<ZarnPDatabase> ZarnPSqLiteDb::startAnew(const std::string& path,
                                                        std::shared_ptr<ZarnPDatabase> old,
                                                        const std::string& reason) {
    // Kept as it is, no store could ever read or write it again: start a new file and keep the
    // old one aside for whoever wants to look at it.
    old->close();
    old.reset();
    auto aside = moveAside(path);
    LogError(kDomain, "Database at %@ is damaged (%@); moved to %@ and started anew", path, reason,
             aside.value_or("(could not be moved)"));
    return aside ? openWithTries(path) : nullptr;
}

std::vector<std::function<void()>> ZarnPSqLiteDb::keptFrom(std::shared_ptr<ZarnPDatabase> connection) {
    // The stores reach a file only through database(): point it at the one being set aside.
    auto current = std::exchange(database_, connection);
    std::vector<std::function<void()>> kept;
    for (ZarnPSqLiteDao* dao : registeredDaos())
        if (auto keep = dao->keepAcrossNewFile())
            kept.push_back(std::move(keep));
    connection->closeOpenResultSets();
    database_ = std::move(current);
    return kept;
}

ZarnPSqLiteDb::MigrationResult ZarnPSqLiteDb::updateVersion(const std::vector<std::function<void()>>& kept) {
    // Migrations run without foreign-key enforcement, whatever SQLite's default.
    database_->executeUpdate("PRAGMA foreign_keys = off");
    if (!versionDao_) {
        // Non-owning: this object owns the version store.
        versionDao_ = std::make_shared<ZarnPSqLiteVersionDao>(
            std::shared_ptr<ZarnPSqLiteDb>(std::shared_ptr<void>(), this));
    }
    const uint64_t damageBefore = database_->damageCount();
    // What a new file keeps of a damaged one (the opt-out) is not lost again; the rest is the
    // opening's own, which the next opening makes anew.
    if (!database_->beginTransaction(kept.empty() ? ZarnPDurability::Normal : ZarnPDurability::Full)) {
        LogNsError(kDomain, database_->lastUpdateFailure(), "Failed to begin migrating");
        return {Migration::NotNow, ""};
    }
    // Nothing reaches the file before the one commit below, not even a statement that runs after
    // SQLite has given the transaction up by itself.
    database_->holdCommits(true);
    int found = versionDao_->currentVersion();
    currentVersion_ = found;
    if (found > appVersion_) {
        // Written by a newer library: its tables are not ours to change, nor its version.
        database_->holdCommits(false);
        database_->rollback();
        LogError(kDomain, "Database version %d is newer than %d; it is used as it is, without migrating",
                 found, appVersion_);
        return {Migration::Done, ""};
    }
    std::optional<Error> failure = migrateStores();
    std::optional<std::string> missing = failure ? std::nullopt : missingFromSchema();
    if (!failure && !missing) {
        for (const auto& keep : kept) keep();
        // The same version written again would cost a commit that changes nothing.
        if (found != appVersion_ && !versionDao_->setCurrentVersion(appVersion_))
            failure = database_->lastUpdateFailure();
    }
    database_->holdCommits(false);
    if (!failure && !missing) {
        if (database_->commit()) {
            currentVersion_ = appVersion_;
            completeOpening();
            // Damage met anywhere in the opening condemns the file, whatever the step that met it
            // made of it.
            if (database_->damageCount() != damageBefore)
                return {Migration::FileUnusable, database_->lastDamage()};
            return {Migration::Done, ""};
        }
        failure = database_->lastUpdateFailure();
    }
    return migrationFailed(found, failure, missing, database_->damageCount() != damageBefore);
}

void ZarnPSqLiteDb::completeOpening() {
    for (ZarnPSqLiteDao* dao : registeredDaos()) {
        if (!isRegistered(dao))
            continue;
        database_->closeOpenResultSets();
        try {
            dao->afterMigration();
        } catch (const std::exception& e) {
            LogError(kDomain, "Failed to complete the opening: %@", e);
        } catch (...) {
            LogError(kDomain, "Failed to complete the opening");
        }
        // What a store left open is not the opening's to keep.
        if (database_->hasOpenTransaction())
            database_->rollback();
    }
    database_->closeOpenResultSets();
}

ZarnPSqLiteDb::MigrationResult ZarnPSqLiteDb::migrationFailed(int found, const std::optional<Error>& failure,
                                                              const std::optional<std::string>& missing,
                                                              bool damaged) {
    // SQLite gives a transaction up by itself after some failures (a full disk, an I/O error, a
    // corrupt page).
    bool givenUp = !database_->hasOpenTransaction();
    if (!givenUp)
        database_->rollback();
    // Damage is the file's, however the transaction ended; only a passing failure leaves it.
    if (damaged || (failure && isDamage(*failure)))
        return {Migration::FileUnusable, damaged ? database_->lastDamage() : failure->description()};
    // A file without tables holds nothing to set aside: what failed was not the file.
    auto tables = database_->executeQuery("SELECT COUNT(*) FROM sqlite_master");
    bool holdsTables = tables && tables->next() && tables->longForColumnIndex(0) > 0;
    tables.reset();
    database_->closeOpenResultSets();
    if (givenUp || !holdsTables || (failure && isPassing(*failure))) {
        LogError(kDomain, "Database left at version %d; the next opening migrates again", found);
        return {Migration::NotNow, ""};
    }
    if (missing)
        return {Migration::FileUnusable, *missing};
    return {Migration::FileUnusable,
            format("its migration from version %d cannot complete: %@", found, failure->description())};
}

std::optional<Error> ZarnPSqLiteDb::migrateStores() {
    for (ZarnPSqLiteDao* dao : registeredDaos()) {
        if (!isRegistered(dao))
            continue;  // destroyed by an earlier migration
        database_->closeOpenResultSets();
        std::optional<Error> failure;
        uint64_t failedBefore = database_->failedUpdateCount();
        try {
            dao->createOrUpdate(currentVersion_);
            // A CREATE or ALTER that failed quietly leaves the step undone as surely as a throw.
            if (database_->failedUpdateCount() != failedBefore && dao->migrationFailsOnAFailedStatement()) {
                LogError(kDomain, "A statement failed while migrating from version %d to %d", currentVersion_,
                         appVersion_);
                failure = database_->lastUpdateFailure();
            }
        } catch (const ZarnPDatabaseException& e) {
            LogNsError(kDomain, e.error(), "Failed to migrate from version %d to %d", currentVersion_,
                       appVersion_);
            failure = e.error();
        } catch (const std::exception& e) {
            LogError(kDomain, "Failed to migrate from version %d to %d: %@", currentVersion_, appVersion_, e);
            failure = Error{"Zarn", -3, e.what()};
        } catch (...) {
            LogError(kDomain, "Failed to migrate from version %d to %d", currentVersion_, appVersion_);
            failure = Error{"Zarn", -3, ZarnPDatabaseException::kReason};
        }
        if (!failure && !database_->hasOpenTransaction()) {
            // Ended by the store, or given up by SQLite: what it did is gone with it.
            LogError(kDomain, "The migration's transaction ended while migrating from version %d to %d",
                     currentVersion_, appVersion_);
            failure = database_->lastUpdateFailure();
        }
        if (failure) {
            database_->closeOpenResultSets();
            return failure;
        }
    }
    database_->closeOpenResultSets();
    return std::nullopt;
}

std::optional<std::string> ZarnPSqLiteDb::missingFromSchema() {
    // The schema alone: no page of any table is read.
    auto rs = database_->executeQuery(
        "SELECT lower(m.name), lower(p.name) FROM sqlite_master m, pragma_table_info(m.name) p "
        "WHERE m.type = 'table'");
    if (!rs)
        return std::string("its schema cannot be read");
    std::set<std::string> tables;
    std::set<std::pair<std::string, std::string>> columns;
    while (rs->next()) {
        auto table = rs->stringForColumnIndex(0).value_or("");
        columns.emplace(table, rs->stringForColumnIndex(1).value_or(""));
        tables.insert(std::move(table));
    }
    rs.reset();
    database_->closeOpenResultSets();
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (ZarnPSqLiteDao* dao : registeredDaos()) {
        for (const auto& shape : dao->tableShapes()) {
            std::string table = lower(shape.table);
            if (!tables.count(table))
                return format("no table %@", shape.table);
            std::istringstream names(shape.columns);
            for (std::string column; names >> column;)
                if (!columns.count({table, lower(column)}))
                    return format("table %@ has no column %@", shape.table, column);
        }
    }
    return std::nullopt;
}

void ZarnPSqLiteDb::configureConnection() {
    // With a write-ahead log and full synchronisation a commit costs one fdatasync of the log and
    // survives a crash or a power loss once it has returned; a transaction begun at the Normal
    // tier commits without it. The mode is stored in the file, which earlier code still opens.
    auto pages = database_->executeQuery("PRAGMA page_count");
    bool holdsNothing = pages && pages->next() && pages->longForColumnIndex(0) == 0;
    pages.reset();
    // A new file has nothing to lose: its switch, which writes its first page, costs no sync. The
    // connection syncs that page before the log holds anything durable.
    if (holdsNothing)
        database_->setDefaultSynchronous(0);
    auto mode = database_->executeQuery("PRAGMA journal_mode = WAL");
    std::string journal = mode && mode->next() ? mode->stringForColumnIndex(0).value_or("") : "";
    mode.reset();
    if (journal != "wal")
        LogError(kDomain, "Failed to switch to write-ahead logging (journal mode %@)", journal);
    bool full = database_->setDefaultSynchronous(2);
    if (full) {
        auto level = database_->executeQuery("PRAGMA synchronous");
        full = level && level->next() && level->intForColumnIndex(0) == 2;
    }
    if (!full)
        LogError(kDomain, "Failed to switch on full synchronisation");
    database_->setUnsyncedCommitListener(unsyncedListener_);
    // The nearest read sorts and gathers in temporary b-trees: memory, not files. Set outside the
    // migration's transaction, inside which SQLite refuses it.
    database_->executeUpdate("PRAGMA temp_store = MEMORY");
}

void ZarnPSqLiteDb::setUnsyncedCommitListener(std::function<void()> listener) {
    keepListener(&ZarnPSqLiteDb::unsyncedListener_, std::move(listener),
                 &ZarnPDatabase::setUnsyncedCommitListener);
}

bool ZarnPSqLiteDb::syncUnsyncedCommits() {
    RecursiveMutexLock lk(openMutex_);
    if (!database_ || !database_->hasUnsyncedCommits())
        return true;
    if (database_->syncUnsyncedCommits())
        return true;
    LogError(kDomain, "Failed to sync the log: %@", database_->lastErrorMessage());
    return false;
}

void ZarnPSqLiteDb::switchOnForeignKeys() {
    // The pragma does nothing inside a transaction.
    if (database_->hasOpenTransaction())
        database_->rollback();
    bool switched = database_->executeUpdate("PRAGMA foreign_keys = on");
    if (switched) {
        auto rs = database_->executeQuery("PRAGMA foreign_keys");
        switched = rs && rs->next() && rs->intForColumnIndex(0) == 1;
    }
    if (!switched)
        LogError(kDomain, "Failed to switch on foreign keys");
}

}  // namespace zarn
