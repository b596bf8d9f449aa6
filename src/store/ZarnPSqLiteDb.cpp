#include "store/ZarnPSqLiteDb.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <typeindex>
#include <typeinfo>
#include <unordered_set>

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqLiteVersionDao.h"
#include "zarn/platform/Platform.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteDb";
}

ZarnPSqLiteDb::ZarnPSqLiteDb(int version, std::string path) : path_(std::move(path)), appVersion_(version) {
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

std::shared_ptr<ZarnPDatabase> ZarnPSqLiteDb::database() {
    std::lock_guard lk(openMutex_);
    if (database_)
        return database_;
    if (checkThread_ && platform::isMainThread())
        LogError(kDomain, "Initializing DB from main thread!");

    auto fileSystem = platform::current().fileSystem;
    std::string path = fileSystem ? fileSystem->expandTilde(path_) : path_;

    std::string parent = std::filesystem::path(path).parent_path().string();
    if (fileSystem && !parent.empty() && !fileSystem->fileExists(parent) &&
        !fileSystem->createDirectory(parent)) {
        LogNsError(kDomain, Error{kDomain, -1, format("Could not create the folder %@", parent)},
                   "Failed to create directory");
    }

    std::shared_ptr<ZarnPDatabase> opened;
    std::string lastMessage;
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        auto candidate = ZarnPDatabase::databaseWithPath(path);
        if (candidate->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
            opened = std::move(candidate);
            break;
        }
        lastMessage = candidate->lastErrorMessage();
        candidate.reset();
        if (openRetryDelay_.count() > 0)
            std::this_thread::sleep_for(openRetryDelay_);
    }
    if (!opened) {
        LogError(kDomain, "Failed to open db at %@ > %@", path, lastMessage);
        return nullptr;
    }
    if (fileSystem && !fileSystem->setProtectionNone(path)) {
        LogDebug(kDomain, "Failed to update file protection %@", path);
    }

    // Set before the migrations: the stores reach the connection through database().
    database_ = std::move(opened);
    updateVersion();
    switchOnForeignKeys();
    return database_;
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
        try {
            dao->createOrUpdate(currentVersion_);
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
