#include "store/ZarnPDatabase.h"

#include <sqlite3.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <iterator>
#include <thread>
#include <unordered_map>
#include <utility>

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabaseException.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "DB";

// Sets a flag (executing, closing) for a call and clears it on every way out of it.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

bool succeeded(int rc) {
    return rc == SQLITE_OK || rc == SQLITE_DONE;
}

}  // namespace

std::shared_ptr<ZarnPDatabase> ZarnPDatabase::databaseWithPath(std::optional<std::string> path) {
    return std::make_shared<ZarnPDatabase>(Key{}, std::move(path));
}

ZarnPDatabase::ZarnPDatabase(Key, std::optional<std::string> path) : databasePath_(std::move(path)) {
    ZARN_REQUIRE(sqlite3_threadsafe() != 0);
}

ZarnPDatabase::~ZarnPDatabase() {
    if (!close() && db_) {
        // Still busy after every retry: let SQLite release the handle once it can.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    for (ZarnPStatement* s : std::vector<ZarnPStatement*>(statements_.begin(), statements_.end()))
        s->detachFromDatabase();
    statements_.clear();
}

std::string ZarnPDatabase::description() const {
    return format("<ZarnPDatabase: 0x%llx>",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
}

bool ZarnPDatabase::openWithFlags(int flags) {
    if (db_)
        close();
    const char* file = databasePath_ ? databasePath_->c_str() : ":memory:";
    int rc = sqlite3_open_v2(file, &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        LogInfo(kDomain, "error opening!: %d", rc);
        return false;
    }
    open_ = true;
    // Set by the first statement: the level SQLite starts at is a build option.
    synchronous_ = -1;
    defaultSynchronous_ = 2;
    unsynced_ = false;
    mainFileUnsynced_ = false;
    durableCommitRequired_ = false;
    // In place of SQLite's own hook, which only checkpoints.
    sqlite3_wal_hook(db_, &ZarnPDatabase::onLogCommit, this);
    if (!watchedWrites_.empty())
        sqlite3_update_hook(db_, &ZarnPDatabase::onRowWrite, this);
    return true;
}

bool ZarnPDatabase::close() {
    // What closes now is finalized, not kept.
    FlagScope closing(closing_);
    finishAfterCommit(false, "the connection closed");
    if (!afterSync_.empty())
        LogInfo(kDomain, "%d step(s) waiting for a sync dropped: the connection closed",
                static_cast<int>(afterSync_.size()));
    afterSync_.clear();
    closeOpenResultSets();
    clearStatementCache();
    sqlite3_finalize(schemaVersionStatement_);
    schemaVersionStatement_ = nullptr;
    for (sqlite3_stmt*& statement : synchronousStatements_) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    if (!db_)
        return true;
    int retries = 0;
    bool finalizedLeaked = false;
    for (;;) {
        int rc = sqlite3_close(db_);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (!finalizedLeaked) {
                finalizedLeaked = true;
                finalizeLeakedStatements();
            }
            if (!retryWhileBusy(retries, "Database busy, unable to close"))
                return false;
            continue;
        }
        if (rc != SQLITE_OK)
            LogInfo(kDomain, "error closing!: %d", rc);
        break;
    }
    db_ = nullptr;
    open_ = false;
    return true;
}

void ZarnPDatabase::finalizeLeakedStatements() {
    std::unordered_map<sqlite3_stmt*, ZarnPStatement*> owned;
    for (ZarnPStatement* s : statements_)
        if (s->statement())
            owned[s->statement()] = s;
    while (sqlite3_stmt* stmt = sqlite3_next_stmt(db_, nullptr)) {
        LogInfo(kDomain, "Closing leaked statement");
        auto it = owned.find(stmt);
        if (it != owned.end()) {
            // Its owner keeps the object; the handle goes, so later uses are refused.
            it->second->close();
            owned.erase(it);
        } else {
            sqlite3_finalize(stmt);
        }
    }
}

bool ZarnPDatabase::retryWhileBusy(int& retries, const char* giveUpMessage) const {
    if (retries > busyRetryTimeout_) {
        LogInfo(kDomain, "%@", giveUpMessage);
        return false;
    }
    ++retries;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
    return true;
}

bool ZarnPDatabase::checkUsable() {
    if (!open_) {
        LogInfo(kDomain, "The ZarnPDatabase %@ is not open.", *this);
        return false;
    }
    if (isExecutingStatement_) {
        LogInfo(kDomain, "The ZarnPDatabase %@ is currently in use.", *this);
        return false;
    }
    return true;
}

sqlite3_stmt* ZarnPDatabase::prepareOrReuse(std::string_view sql, Error* error) {
    dropCacheIfSchemaChanged();
    if (auto it = cache_.find(sql); it != cache_.end()) {
        sqlite3_stmt* stmt = it->second.statement;
        cache_.erase(it);
        return stmt;
    }
    return prepare(sql, error);
}

std::optional<int64_t> ZarnPDatabase::schemaVersion() {
    if (!db_)
        return std::nullopt;
    if (!schemaVersionStatement_ && sqlite3_prepare_v2(db_, "PRAGMA schema_version", -1,
                                                       &schemaVersionStatement_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(schemaVersionStatement_);
        schemaVersionStatement_ = nullptr;
    }
    std::optional<int64_t> version;
    if (schemaVersionStatement_) {
        int rc = sqlite3_step(schemaVersionStatement_);
        if (rc == SQLITE_ROW)
            version = sqlite3_column_int64(schemaVersionStatement_, 0);
        else
            noteResult(rc);
        sqlite3_reset(schemaVersionStatement_);
    }
    return version;
}

void ZarnPDatabase::noteResult(int rc) {
    if ((rc & 0xff) != SQLITE_CORRUPT && (rc & 0xff) != SQLITE_NOTADB)
        return;
    ++damageCount_;
    const char* message = db_ ? sqlite3_errmsg(db_) : nullptr;
    lastDamage_ = message && *message ? message : sqlite3_errstr(rc);
    if (damageListener_)
        std::exchange(damageListener_, nullptr)();
}

void ZarnPDatabase::dropCacheIfSchemaChanged() {
    if (!db_)
        return;
    std::optional<int64_t> version = schemaVersion();
    // A version that cannot be read may be any: nothing kept is trusted then.
    if (!version || version != cacheSchemaVersion_)
        clearStatementCache();
    cacheSchemaVersion_ = version;
}

void ZarnPDatabase::putBack(sqlite3_stmt* statement) {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    const char* sql = sqlite3_sql(statement);
    if (closing_ || !open_ || !sql || !cacheSchemaVersion_ || cache_.count(std::string_view(sql))) {
        sqlite3_finalize(statement);
        return;
    }
    if (cache_.size() >= kCachedStatements) {
        auto oldest = cache_.begin();
        for (auto it = cache_.begin(); it != cache_.end(); ++it)
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        sqlite3_finalize(oldest->second.statement);
        cache_.erase(oldest);
    }
    cache_.emplace(sql, Cached{statement, ++useTick_});
}

void ZarnPDatabase::clearStatementCache() {
    for (auto& [sql, cached] : cache_) sqlite3_finalize(cached.statement);
    cache_.clear();
    cacheSchemaVersion_.reset();
}

sqlite3_stmt* ZarnPDatabase::prepare(std::string_view sql, Error* error) {
    if (sql.size() >= static_cast<size_t>(INT_MAX)) {
        LogInfo(kDomain, "DB Query: %@", "(statement too long)");
        return nullptr;
    }
    sqlite3_stmt* stmt = nullptr;
    int retries = 0;
    for (;;) {
        stmt = nullptr;
        ++preparedCount_;
        int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
        if (rc == SQLITE_OK && stmt)
            return stmt;
        noteResult(rc);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            sqlite3_finalize(stmt);
            if (retryWhileBusy(retries, "Database busy"))
                continue;
            if (error)
                *error = errorWithMessage(lastErrorMessage());
            return nullptr;
        }
        // Also an empty text, which prepares without error and without a statement.
        if (logsErrors_) {
            LogInfo(kDomain, "DB Error: %d \"%@\"", lastErrorCode(), lastErrorMessage());
            LogInfo(kDomain, "DB Query: %@", sql);
            LogInfo(kDomain, "DB Path: %@", databasePath_);
        }
        sqlite3_finalize(stmt);
        if (error)
            *error = errorWithMessage(lastErrorMessage());
        return nullptr;
    }
}

void ZarnPDatabase::bindObject(const ZarnPSqlValue& value, int idx, sqlite3_stmt* statement) {
    switch (value.type()) {
        case ZarnPSqlValue::Type::Null:
            sqlite3_bind_null(statement, idx);
            break;
        case ZarnPSqlValue::Type::Integer:
            sqlite3_bind_int64(statement, idx, value.integer());
            break;
        case ZarnPSqlValue::Type::Double:
            sqlite3_bind_double(statement, idx, value.real());
            break;
        case ZarnPSqlValue::Type::Text: {
            const std::string& t = value.text();
            sqlite3_bind_text64(statement, idx, t.data(), t.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        case ZarnPSqlValue::Type::Blob: {
            // A null pointer would bind NULL: an empty blob is bound from a valid one.
            const std::string& b = value.blob();
            sqlite3_bind_blob64(statement, idx, b.empty() ? "" : b.data(), b.size(), SQLITE_TRANSIENT);
            break;
        }
    }
}

int ZarnPDatabase::bindArguments(sqlite3_stmt* statement, const std::vector<ZarnPSqlValue>* arrayArgs,
                                 const ZarnPSqlParameters* dictionaryArgs) {
    int queryCount = sqlite3_bind_parameter_count(statement);
    int idx = 0;
    if (dictionaryArgs) {
        for (const auto& [key, value] : *dictionaryArgs) {
            std::string name = ":" + key;
            int namedIdx = sqlite3_bind_parameter_index(statement, name.c_str());
            if (namedIdx > 0) {
                bindObject(value, namedIdx, statement);
                ++idx;
            } else {
                LogInfo(kDomain, "Could not find index for %@", key);
            }
        }
    } else if (arrayArgs) {
        while (idx < queryCount && static_cast<size_t>(idx) < arrayArgs->size()) {
            bindObject((*arrayArgs)[static_cast<size_t>(idx)], idx + 1, statement);
            ++idx;
        }
    }
    return idx;
}

std::unique_ptr<ZarnPResultSet> ZarnPDatabase::executeQueryWithArgumentsInArray(
    std::string_view sql, const std::vector<ZarnPSqlValue>& arguments) {
    return executeQueryBound(sql, &arguments, nullptr);
}

std::unique_ptr<ZarnPResultSet> ZarnPDatabase::executeQueryWithParameterDictionary(
    std::string_view sql, const ZarnPSqlParameters& arguments) {
    return executeQueryBound(sql, nullptr, &arguments);
}

std::unique_ptr<ZarnPResultSet> ZarnPDatabase::executeQueryBound(std::string_view sql,
                                                                 const std::vector<ZarnPSqlValue>* arrayArgs,
                                                                 const ZarnPSqlParameters* dictionaryArgs) {
    if (!checkUsable())
        return nullptr;
    settleSynchronous();
    FlagScope executing(isExecutingStatement_);
    sqlite3_stmt* stmt = prepareOrReuse(sql, nullptr);
    if (!stmt)
        return nullptr;
    int bound = bindArguments(stmt, arrayArgs, dictionaryArgs);
    if (bound != sqlite3_bind_parameter_count(stmt)) {
        LogInfo(kDomain, "Error: the bind count is not correct for the # of variables (executeQuery)");
        putBack(stmt);
        return nullptr;
    }
    auto statement = std::make_unique<ZarnPStatement>(this, stmt, std::string(sql));
    statement->keepForReuse();
    statement->setUseCount(statement->useCount() + 1);
    auto rs = ZarnPResultSet::resultSetWithStatement(std::move(statement), shared_from_this());
    openResultSets_.insert(rs.get());
    return rs;
}

bool ZarnPDatabase::executeUpdateWithParameters(std::string_view sql,
                                                const std::vector<ZarnPSqlValue>& parameters) {
    return executeUpdateWithError(nullptr, sql, &parameters, nullptr);
}

bool ZarnPDatabase::executeUpdateWithParameterDictionary(std::string_view sql,
                                                         const ZarnPSqlParameters& arguments) {
    return executeUpdateWithError(nullptr, sql, nullptr, &arguments);
}

bool ZarnPDatabase::executeUpdateWithParameterDictionary(ZarnPDurability durability, std::string_view sql,
                                                         const ZarnPSqlParameters& arguments) {
    if (!open_ || hasOpenTransaction()) {
        bool updated = executeUpdateWithParameterDictionary(sql, arguments);
        if (updated && durability == ZarnPDurability::Full && changes() > 0)
            requireDurableCommit();
        return updated;
    }
    settleSynchronous();
    if (durability == ZarnPDurability::Full || defaultSynchronous_ < 2)
        return executeUpdateWithParameterDictionary(sql, arguments);
    bool updated;
    {
        FlagScope ownLevel(ownLevel_);
        setSynchronous(1);
        updated = executeUpdateWithParameterDictionary(sql, arguments);
    }
    // The default level comes back before the next statement, so that this one's error stays
    // readable.
    return updated;
}

bool ZarnPDatabase::executeUpdateWithError(Error* error, std::string_view sql,
                                           const std::vector<ZarnPSqlValue>* arrayArgs,
                                           const ZarnPSqlParameters* dictionaryArgs) {
    bool ok = runUpdate(error, sql, arrayArgs, dictionaryArgs);
    if (!ok) {
        ++failedUpdateCount_;
        lastUpdateFailure_ = hadError() ? lastError() : Error{"Zarn", -3, ZarnPDatabaseException::kReason};
    }
    return ok;
}

void ZarnPDatabase::holdCommits(bool held) {
    int (*refuse)(void*) = [](void*) { return 1; };
    if (open_)
        sqlite3_commit_hook(db_, held ? refuse : nullptr, nullptr);
}

bool ZarnPDatabase::runUpdate(Error* error, std::string_view sql, const std::vector<ZarnPSqlValue>* arrayArgs,
                              const ZarnPSqlParameters* dictionaryArgs) {
    if (!checkUsable())
        return false;
    settleSynchronous();
    FlagScope executing(isExecutingStatement_);
    sqlite3_stmt* stmt = prepareOrReuse(sql, error);
    if (!stmt)
        return false;
    int bound = bindArguments(stmt, arrayArgs, dictionaryArgs);
    int queryCount = sqlite3_bind_parameter_count(stmt);
    if (bound != queryCount) {
        LogInfo(kDomain,
                "Error: the bind count (%d) is not correct for the # of variables in the query (%d) (%@) "
                "(executeUpdate)",
                bound, queryCount, sql);
        putBack(stmt);
        return false;
    }

    int rc;
    int retries = 0;
    for (;;) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (rc == SQLITE_LOCKED) {
                int resetRc = sqlite3_reset(stmt);
                if (resetRc != SQLITE_LOCKED)
                    LogInfo(kDomain, "Unexpected result from sqlite3_reset (%d) eu", resetRc);
            }
            if (retryWhileBusy(retries, "Database busy"))
                continue;
            break;
        }
        if (rc == SQLITE_DONE) {
        } else if (rc == SQLITE_ROW) {
            // A query run as an update: refused, never stepped further.
            LogInfo(kDomain, "A executeUpdate is being called with a query string '%@'", sql);
        } else if (rc == SQLITE_ERROR) {
            LogInfo(kDomain, "Error calling sqlite3_step (%d: %s) SQLITE_ERROR", rc, sqlite3_errmsg(db_));
            LogInfo(kDomain, "DB Query: %@", sql);
        } else if (rc == SQLITE_MISUSE) {
            LogInfo(kDomain, "Error calling sqlite3_step (%d: %s) SQLITE_MISUSE", rc, sqlite3_errmsg(db_));
            LogInfo(kDomain, "DB Query: %@", sql);
        } else {
            LogInfo(kDomain, "Unknown error calling sqlite3_step (%d: %s) eu", rc, sqlite3_errmsg(db_));
            LogInfo(kDomain, "DB Query: %@", sql);
        }
        break;
    }
    noteResult(rc);
    int closeRc = sqlite3_reset(stmt);
    putBack(stmt);
    if (closeRc != SQLITE_OK) {
        LogInfo(kDomain, "Unknown error finalizing or resetting statement (%d: %s)", closeRc,
                sqlite3_errmsg(db_));
        LogInfo(kDomain, "DB Query: %@", sql);
    }
    return succeeded(rc);
}

bool ZarnPDatabase::beginTransaction(ZarnPDurability durability) {
    if (!checkUsable())
        return false;
    settleSynchronous();
    // A level SQLite refuses leaves the transaction at the default one, the safer side.
    if (durability == ZarnPDurability::Normal && defaultSynchronous_ > 1 && !hasOpenTransaction())
        setSynchronous(1);
    durableCommitRequired_ = false;
    // Left over from a transaction SQLite ended by itself: its commit never came.
    if (!hasOpenTransaction())
        finishAfterCommit(false, "their transaction ended without a commit");
    bool begun;
    {
        FlagScope ownLevel(ownLevel_);
        begun = executeUpdate("begin exclusive transaction");
    }
    return begun;
}

bool ZarnPDatabase::commit() {
    bool committed = executeUpdate("commit transaction");
    if (committed && !hasOpenTransaction()) {
        // A joined write of the Full tier: the log synced now costs what a FULL commit would.
        if (durableCommitRequired_ && unsynced_ && !syncUnsyncedCommits()) {
            LogInfo(kDomain, "Failed to sync the log after a commit");
            // Committed, not yet durable: what waits for it goes once the log is synced.
            afterSync_.insert(afterSync_.end(), std::make_move_iterator(afterCommit_.begin()),
                              std::make_move_iterator(afterCommit_.end()));
            afterCommit_.clear();
        }
        durableCommitRequired_ = false;
        settleSynchronous();
        finishAfterCommit(true, "");
        // A commit at FULL synced the log, and what waited for an earlier failed sync with it.
        if (!unsynced_)
            runAfterSync();
    } else if (!hasOpenTransaction()) {
        finishAfterCommit(false, "the commit failed");
    }
    return committed;
}

bool ZarnPDatabase::rollback() {
    bool rolledBack = executeUpdate("rollback transaction");
    if (!hasOpenTransaction()) {
        durableCommitRequired_ = false;
        finishAfterCommit(false, "it was rolled back");
    }
    return rolledBack;
}

void ZarnPDatabase::runAfterDurableCommit(std::function<void()> action) {
    if (!action)
        return;
    if (!hasOpenTransaction()) {
        // Steps still waiting belong to a transaction SQLite ended by itself, never committed.
        finishAfterCommit(false, "their transaction ended without a commit");
        std::vector<std::function<void()>> now{std::move(action)};
        runSteps(now);
        return;
    }
    durableCommitRequired_ = true;
    afterCommit_.push_back(std::move(action));
}

void ZarnPDatabase::runAfterSync() {
    auto actions = std::move(afterSync_);
    afterSync_.clear();
    runSteps(actions);
}

void ZarnPDatabase::runSteps(std::vector<std::function<void()>>& actions) {
    for (auto& action : actions) {
        try {
            action();
        } catch (const std::exception& e) {
            LogError(kDomain, "A step after a commit failed: %@", e.what());
        }
    }
}

void ZarnPDatabase::finishAfterCommit(bool durable, const char* why) {
    if (afterCommit_.empty())
        return;
    auto actions = std::move(afterCommit_);
    afterCommit_.clear();
    if (!durable) {
        LogInfo(kDomain, "%d step(s) waiting for a commit dropped: %@", static_cast<int>(actions.size()),
                why);
        return;
    }
    runSteps(actions);
}

int64_t ZarnPDatabase::totalChanges() const {
    return open_ ? sqlite3_total_changes64(db_) : 0;
}

uint64_t ZarnPDatabase::writesTo(std::string_view table) {
    for (const auto& [name, count] : watchedWrites_)
        if (name == table)
            return count;
    // Installed with the first table asked for: a connection nobody asks costs nothing.
    if (watchedWrites_.empty() && open_)
        sqlite3_update_hook(db_, &ZarnPDatabase::onRowWrite, this);
    watchedWrites_.emplace_back(table, 0);
    return 0;
}

void ZarnPDatabase::onRowWrite(void* self, int, const char*, const char* table, long long) {
    // Called for every row a save writes: a comparison that stops at the first character apart.
    for (auto& [name, count] : static_cast<ZarnPDatabase*>(self)->watchedWrites_)
        if (std::strcmp(name.c_str(), table) == 0)
            ++count;
}

void ZarnPDatabase::requireDurableCommit() {
    if (hasOpenTransaction())
        durableCommitRequired_ = true;
}

bool ZarnPDatabase::setSynchronous(int level) {
    if (!db_ || level < 0 || level > 2)
        return false;
    sqlite3_stmt*& statement = synchronousStatements_[level];
    static constexpr const char* kLevels[] = {"PRAGMA synchronous = 0", "PRAGMA synchronous = 1",
                                              "PRAGMA synchronous = 2"};
    if (!statement && sqlite3_prepare_v2(db_, kLevels[level], -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        statement = nullptr;
        return false;
    }
    int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (!succeeded(rc))
        return false;
    synchronous_ = level;
    return true;
}

bool ZarnPDatabase::setDefaultSynchronous(int level) {
    if (!open_ || hasOpenTransaction() || !setSynchronous(level))
        return false;
    defaultSynchronous_ = level;
    if (level == 0)
        mainFileUnsynced_ = true;
    return true;
}

int ZarnPDatabase::onLogCommit(void* self, sqlite3* db, const char* name, int frames) {
    auto* me = static_cast<ZarnPDatabase*>(self);
    // At FULL the commit synced the log, and with it every frame before it.
    if (me->synchronous_ == 2) {
        me->unsynced_ = false;
        me->syncMainFileIfUnsynced();
    } else {
        me->noteUnsynced();
    }
    if (frames >= kCheckpointFrames) {
        int logFrames = 0, copied = 0;
        // A checkpoint syncs the log before it copies it into the file, and the file after.
        if (sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied) ==
                SQLITE_OK &&
            copied >= logFrames && me->synchronous_ > 0) {
            me->unsynced_ = false;
            me->mainFileUnsynced_ = false;
        }
    }
    return SQLITE_OK;
}

void ZarnPDatabase::syncMainFileIfUnsynced() {
    if (!mainFileUnsynced_)
        return;
    // What was written at OFF (a new file's header, with the switch to the log) is synced before
    // the log is trusted with a durable commit: SQLite drops the log of a file without pages.
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
        file->pMethods && file->pMethods->xSync(file, SQLITE_SYNC_NORMAL) == SQLITE_OK)
        mainFileUnsynced_ = false;
}

void ZarnPDatabase::noteUnsynced() {
    if (unsynced_)
        return;
    unsynced_ = true;
    if (unsyncedListener_)
        unsyncedListener_();
}

bool ZarnPDatabase::syncUnsyncedCommits() {
    if (!open_)
        return true;
    if (!unsynced_) {
        runAfterSync();
        return true;
    }
    // The log's own file, as SQLite's pager holds it: syncing it makes durable every frame
    // written so far, as the sync of a FULL commit does.
    sqlite3_file* log = nullptr;
    int rc = sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log);
    if (rc == SQLITE_OK && log && log->pMethods)
        rc = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
    else
        rc = sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return false;
    unsynced_ = false;
    syncMainFileIfUnsynced();
    runAfterSync();
    return true;
}

bool ZarnPDatabase::hasOpenTransaction() const {
    return open_ && sqlite3_get_autocommit(db_) == 0;
}

int ZarnPDatabase::lastErrorCode() const {
    return db_ ? sqlite3_errcode(db_) : SQLITE_OK;
}

std::string ZarnPDatabase::lastErrorMessage() const {
    if (!db_)
        return "not an error";
    const char* msg = sqlite3_errmsg(db_);
    return msg ? msg : "";
}

bool ZarnPDatabase::hadError() const {
    int code = lastErrorCode();
    return code > SQLITE_OK && code < SQLITE_ROW;
}

Error ZarnPDatabase::errorWithMessage(const std::string& message) const {
    return Error{"ZarnPDatabase", lastErrorCode(), message};
}

Error ZarnPDatabase::lastError() const {
    return errorWithMessage(lastErrorMessage());
}

int ZarnPDatabase::changes() {
    if (isExecutingStatement_) {
        LogInfo(kDomain, "The ZarnPDatabase %@ is currently in use.", *this);
        return 0;
    }
    return open_ ? sqlite3_changes(db_) : 0;
}

void ZarnPDatabase::closeOpenResultSets() {
    auto self = weak_from_this().lock();  // the sets may hold the last other references
    std::vector<ZarnPResultSet*> sets(openResultSets_.begin(), openResultSets_.end());
    for (ZarnPResultSet* rs : sets) {
        if (!openResultSets_.count(rs))
            continue;
        openResultSets_.erase(rs);
        rs->setParentDB(nullptr);
        rs->close();
    }
}

void ZarnPDatabase::resultSetDidClose(ZarnPResultSet* resultSet) {
    openResultSets_.erase(resultSet);
}

bool ZarnPDatabase::prepareStatement(std::string_view sql,
                                     std::unique_ptr<ZarnPStatement>& preparedStatement) {
    preparedStatement.reset();
    if (!open_) {
        LogInfo(kDomain, "The ZarnPDatabase %@ is not open.", *this);
        return false;
    }
    if (sql.size() >= static_cast<size_t>(INT_MAX))
        return false;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (!succeeded(rc) || !stmt) {
        sqlite3_finalize(stmt);
        return false;
    }
    preparedStatement = std::make_unique<ZarnPStatement>(this, stmt, std::string(sql));
    return true;
}

void ZarnPDatabase::bindDouble(ZarnPStatement& statement, int paramIndex, double value) {
    if (statement.statement())
        sqlite3_bind_double(statement.statement(), paramIndex, value);
}

void ZarnPDatabase::bindInt(ZarnPStatement& statement, int paramIndex, int32_t value) {
    if (statement.statement())
        sqlite3_bind_int(statement.statement(), paramIndex, value);
}

void ZarnPDatabase::bindLong(ZarnPStatement& statement, int paramIndex, int64_t value) {
    if (statement.statement())
        sqlite3_bind_int64(statement.statement(), paramIndex, value);
}

void ZarnPDatabase::bindString(ZarnPStatement& statement, int paramIndex, std::string_view value) {
    if (!statement.statement())
        return;
    // string_view::data() of an empty view may be null, which would bind NULL.
    sqlite3_bind_text64(statement.statement(), paramIndex, value.empty() ? "" : value.data(), value.size(),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

void ZarnPDatabase::bindString(ZarnPStatement& statement, int paramIndex, const std::string& value) {
    bindString(statement, paramIndex, std::string_view(value));
}

void ZarnPDatabase::bindString(ZarnPStatement& statement, int paramIndex, const char* value) {
    if (value) {
        bindString(statement, paramIndex, std::string_view(value));
    } else {
        bindNull(statement, paramIndex);
    }
}

void ZarnPDatabase::bindString(ZarnPStatement& statement, int paramIndex,
                               const std::optional<std::string>& value) {
    if (value) {
        bindString(statement, paramIndex, std::string_view(*value));
    } else {
        bindNull(statement, paramIndex);
    }
}

void ZarnPDatabase::bindBlob(ZarnPStatement& statement, int paramIndex, const ZarnPSqlBlob& value) {
    if (!statement.statement())
        return;
    const std::string& b = value.bytes;
    sqlite3_bind_blob64(statement.statement(), paramIndex, b.empty() ? "" : b.data(), b.size(),
                        SQLITE_TRANSIENT);
}

void ZarnPDatabase::bindNull(ZarnPStatement& statement, int paramIndex) {
    if (statement.statement())
        sqlite3_bind_null(statement.statement(), paramIndex);
}

bool ZarnPDatabase::executeStatementAndReset(ZarnPStatement& statement) {
    sqlite3_stmt* stmt = statement.statement();
    if (!stmt)
        return false;
    settleSynchronous();
    int stepRc = sqlite3_step(stmt);
    noteResult(stepRc);
    int resetRc = sqlite3_reset(stmt);
    return succeeded(stepRc) && succeeded(resetRc);
}

}  // namespace zarn
