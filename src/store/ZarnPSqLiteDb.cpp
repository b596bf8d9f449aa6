#include "store/ZarnPSqLiteDb.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <typeindex>
#include <typeinfo>
#include <unordered_set>

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
}

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
    if (dao && !isRegistered(dao))
        daos_.push_back(dao);
}

void ZarnPSqLiteDb::unregisterDao(ZarnPSqLiteDao* dao) {
    daos_.erase(std::remove(daos_.begin(), daos_.end(), dao), daos_.end());
}

bool ZarnPSqLiteDb::isRegistered(const ZarnPSqLiteDao* dao) const {
    return std::find(daos_.begin(), daos_.end(), dao) != daos_.end();
}

std::vector<ZarnPSqLiteDao*> ZarnPSqLiteDb::registeredDaos() const {
    // Classes are told apart only now, when every store is fully built.
    std::vector<ZarnPSqLiteDao*> out;
    std::unordered_set<std::type_index> seen;
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
    if (opened) {
        if (auto damage = damageOf(*opened)) {
            // Kept as it is, no store could ever read or write it again: start a new file and
            // keep the old one aside for whoever wants to look at it.
            opened->close();
            opened.reset();
            auto aside = moveAside(path);
            LogError(kDomain, "Database at %@ is damaged (%@); moved to %@ and started anew", path, *damage,
                     aside.value_or("(could not be moved)"));
            if (aside)
                opened = openWithTries(path);
        }
    }
    if (!opened) {
        openFailedAt_ = std::chrono::steady_clock::now();
        return nullptr;
    }
    openFailedAt_.reset();
    if (fileSystem && !fileSystem->setProtectionNone(path)) {
        LogDebug(kDomain, "Failed to update file protection %@", path);
    }

    // Set before the migrations: the stores reach the connection through database().
    database_ = std::move(opened);
    useDurableWriteAheadLog();
    updateVersion();
    switchOnForeignKeys();
    return database_;
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

std::optional<std::string> ZarnPSqLiteDb::damageOf(ZarnPDatabase& database) {
    auto isDamage = [](int code) {
        return (code & 0xff) == SQLITE_NOTADB || (code & 0xff) == SQLITE_CORRUPT;
    };
    // The quick check reads every page once, so a valid header over corrupt pages is found too.
    auto rs = database.executeQuery("PRAGMA quick_check(1)");
    if (!rs) {
        if (isDamage(database.lastErrorCode()))
            return database.lastErrorMessage();
        return std::nullopt;
    }
    std::optional<std::string> damage;
    if (rs->next()) {
        auto answer = rs->stringForColumnIndex(0).value_or("");
        if (answer != "ok")
            damage = answer;
    } else if (isDamage(database.lastErrorCode())) {
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
    return aside;
}

void ZarnPSqLiteDb::updateVersion() {
    // Migrations run without foreign-key enforcement, whatever SQLite's default.
    database_->executeUpdate("PRAGMA foreign_keys = off");
    if (!versionDao_) {
        // Non-owning: this object owns the version store.
        versionDao_ = std::make_shared<ZarnPSqLiteVersionDao>(
            std::shared_ptr<ZarnPSqLiteDb>(std::shared_ptr<void>(), this));
    }
    currentVersion_ = versionDao_->currentVersion();
    if (currentVersion_ > appVersion_) {
        // Written by a newer library: its tables are not ours to change, nor its version.
        LogError(kDomain, "Database version %d is newer than %d; it is used as it is, without migrating",
                 currentVersion_, appVersion_);
        return;
    }
    if (!migrateStores()) {
        LogError(kDomain, "Database left at version %d; the next opening migrates again", currentVersion_);
        return;
    }
    if (versionDao_->setCurrentVersion(appVersion_))
        currentVersion_ = appVersion_;
}

bool ZarnPSqLiteDb::migrateStores() {
    bool allMigrated = true;
    for (ZarnPSqLiteDao* dao : registeredDaos()) {
        if (!isRegistered(dao))
            continue;  // destroyed by an earlier migration
        database_->closeOpenResultSets();
        bool migrated = true;
        uint64_t failedBefore = database_->failedUpdateCount();
        try {
            dao->createOrUpdate(currentVersion_);
            // A CREATE or ALTER that failed quietly leaves the step undone as surely as a throw.
            if (database_->failedUpdateCount() != failedBefore) {
                LogError(kDomain, "A statement failed while migrating from version %d to %d", currentVersion_,
                         appVersion_);
                migrated = false;
            }
        } catch (const ZarnPDatabaseException& e) {
            LogNsError(kDomain, e.error(), "Failed to migrate from version %d to %d", currentVersion_,
                       appVersion_);
            migrated = false;
        } catch (const std::exception& e) {
            LogError(kDomain, "Failed to migrate from version %d to %d: %@", currentVersion_, appVersion_, e);
            migrated = false;
        } catch (...) {
            LogError(kDomain, "Failed to migrate from version %d to %d", currentVersion_, appVersion_);
            migrated = false;
        }
        if (database_->hasOpenTransaction()) {
            // A step that stopped half way: undo what it did not finish.
            if (migrated)
                LogError(kDomain, "A migration left its transaction open; rolling it back");
            database_->rollback();
            migrated = false;
        }
        allMigrated = allMigrated && migrated;
    }
    database_->closeOpenResultSets();
    return allMigrated;
}

void ZarnPSqLiteDb::useDurableWriteAheadLog() {
    // With a write-ahead log and full synchronisation a commit costs one fdatasync of the log and
    // survives a crash or a power loss once it has returned. The mode is stored in the file, which
    // earlier code still opens.
    auto mode = database_->executeQuery("PRAGMA journal_mode = WAL");
    std::string journal = mode && mode->next() ? mode->stringForColumnIndex(0).value_or("") : "";
    mode.reset();
    if (journal != "wal")
        LogError(kDomain, "Failed to switch to write-ahead logging (journal mode %@)", journal);
    bool full = database_->executeUpdate("PRAGMA synchronous = FULL");
    if (full) {
        auto level = database_->executeQuery("PRAGMA synchronous");
        full = level && level->next() && level->intForColumnIndex(0) == 2;
    }
    if (!full)
        LogError(kDomain, "Failed to switch on full synchronisation");
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
