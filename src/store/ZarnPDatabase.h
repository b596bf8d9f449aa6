#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/ZarnPDurability.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqlValue.h"
#include "store/ZarnPStatement.h"
#include "zarn/Error.h"

struct sqlite3;

namespace zarn {

// One SQLite connection. Queries and updates take every value as a bound parameter; their
// statements are kept for reuse, keyed by their SQL text (a few dozen, the least recently used
// finalized first), and prepared anew whenever the schema has changed since; transactions are
// exclusive, each at the durability tier its beginner names (the connection's own level is FULL); a
// busy or locked database is retried a bounded number of times. Nothing here throws: failures
// are logged in the domain "DB" and answered as nullptr, false or 0, and the connection's error stays
// readable until the next call.
//
// Threads: the connection takes no lock. It and everything it hands out (result sets,
// statements) are used on the SDK thread only.
class ZarnPDatabase : public std::enable_shared_from_this<ZarnPDatabase> {
    struct Key {};

  public:
    // How often a busy or locked database is retried (20 microseconds apart) before giving up.
    static constexpr int kDefaultBusyRetryTimeout = 500;
    // How many statements are kept for reuse.
    static constexpr size_t kCachedStatements = 48;
    // The log is checkpointed into the file once a commit leaves it this long (in pages), as
    // SQLite does by default.
    static constexpr int kCheckpointFrames = 1000;

    // A closed connection on the file, or on a private in-memory database without a path.
    static std::shared_ptr<ZarnPDatabase> databaseWithPath(std::optional<std::string> path);
    ZarnPDatabase(Key, std::optional<std::string> path);
    // Closes the connection.
    ~ZarnPDatabase();
    ZarnPDatabase(const ZarnPDatabase&) = delete;
    ZarnPDatabase& operator=(const ZarnPDatabase&) = delete;

    // Opens with the given SQLite open flags. On failure the handle stays set, so that
    // lastErrorMessage() tells why; close() releases it.
    bool openWithFlags(int flags);
    // Closes every open result set, finalizes statements still prepared on the connection and
    // closes it. False only when the database stays busy.
    bool close();
    bool isOpen() const { return open_; }
    const std::optional<std::string>& databasePath() const { return databasePath_; }

    // Queries: nullptr on failure; nothing is stepped until next().
    template <typename... A>
    requires(std::is_constructible_v<ZarnPSqlValue, const A&>&&...)
        std::unique_ptr<ZarnPResultSet> executeQuery(std::string_view sql, const A&... args) {
        return executeQueryWithArgumentsInArray(sql, std::vector<ZarnPSqlValue>{ZarnPSqlValue(args)...});
    }
    std::unique_ptr<ZarnPResultSet> executeQueryWithArgumentsInArray(
        std::string_view sql, const std::vector<ZarnPSqlValue>& arguments);
    std::unique_ptr<ZarnPResultSet> executeQueryWithParameterDictionary(std::string_view sql,
                                                                        const ZarnPSqlParameters& arguments);

    // Updates: true when the statement ran to its end. A statement that yields a row is not an
    // update and fails.
    template <typename... A>
    requires(std::is_constructible_v<ZarnPSqlValue, const A&>&&...) bool executeUpdate(std::string_view sql,
                                                                                       const A&... args) {
        return executeUpdateWithParameters(sql, std::vector<ZarnPSqlValue>{ZarnPSqlValue(args)...});
    }
    bool executeUpdateWithParameters(std::string_view sql, const std::vector<ZarnPSqlValue>& parameters);
    bool executeUpdateWithParameterDictionary(std::string_view sql, const ZarnPSqlParameters& arguments);
    // One update of the given durability tier: it joins the open transaction when there is one (of
    // the Full tier, it makes that transaction's commit durable), else it commits by itself at
    // that tier.
    bool executeUpdateWithParameterDictionary(ZarnPDurability durability, std::string_view sql,
                                              const ZarnPSqlParameters& arguments);
    // The common form: one of the two argument sources (or none); `error` receives the prepare
    // error when given. A failed step is not reported there: read hadError() / lastError().
    bool executeUpdateWithError(Error* error, std::string_view sql,
                                const std::vector<ZarnPSqlValue>* arrayArgs,
                                const ZarnPSqlParameters* dictionaryArgs);

    // "begin exclusive transaction", "commit transaction", "rollback transaction". A transaction
    // begun at the Normal tier runs at synchronous = NORMAL, which SQLite lets change only
    // between transactions: its commit writes the log without a sync. Once it has ended, by
    // these calls or by SQLite itself, the connection is back at FULL before its next statement.
    bool beginTransaction(ZarnPDurability durability = ZarnPDurability::Full);
    bool commit();
    bool rollback();
    // A write that joined the open transaction, and changed rows, is of the Full tier: the
    // transaction's commit is made durable before commit() returns, whatever tier it was begun at.
    void requireDurableCommit();
    // Runs `action` once what was written before this call is committed and durable: at once when
    // no transaction is open (the caller's own commit is behind it), else right after the commit
    // of the open one, which it makes durable as a joined write of the Full tier does; when the
    // sync of that commit fails, after the next sync of the log that succeeds. Dropped, never run,
    // when that transaction is rolled back (by a call or by SQLite) or its commit fails, or the
    // connection closes first. For telling someone outside of what the writes did; the action
    // must not begin a transaction of its own before it returns. An exception it raises is
    // logged.
    void runAfterDurableCommit(std::function<void()> action);
    // Whether a commit since the last sync of the log is not yet durable.
    bool hasUnsyncedCommits() const { return unsynced_; }
    // Makes every commit so far durable: one fdatasync of the write-ahead log, when a commit is
    // unsynced. False when that sync failed (the commits stay unsynced). Not inside a statement.
    bool syncUnsyncedCommits();
    // Called when a commit is left unsynced and none was before, inside the commit on its thread:
    // it must not use the connection.
    void setUnsyncedCommitListener(std::function<void()> listener) {
        unsyncedListener_ = std::move(listener);
    }
    // Sets the level of the commits that name no tier: "PRAGMA synchronous" with 0 (OFF) or 2
    // (FULL, the default); false when SQLite refuses it (inside a transaction). OFF is for a
    // file that holds nothing yet.
    bool setDefaultSynchronous(int level);
    // Whether SQLite has a transaction open on the connection, read from its autocommit state:
    // SQLite may roll back by itself after some errors (a full disk, an I/O error), and a flag of
    // our own would then claim a transaction that is gone.
    bool inTransaction() const { return hasOpenTransaction(); }
    // The same answer, however the transaction was begun.
    bool hasOpenTransaction() const;

    int lastErrorCode() const;
    std::string lastErrorMessage() const;
    // A last error code from 1 to 99 (neither success, nor a row, nor done).
    bool hadError() const;
    // How many updates have failed on this connection so far; a caller compares two readings to
    // tell whether any statement of a step failed.
    uint64_t failedUpdateCount() const { return failedUpdateCount_; }
    // The error of the last update that failed, kept past the statements that ran after it.
    const Error& lastUpdateFailure() const { return lastUpdateFailure_; }
    // Damage that SQLite has reported on any statement of the connection (a corrupt file, or
    // not a database): how many reports so far, and the message of the last one. A caller
    // compares two readings to tell whether a step met damage, whatever the step made of it.
    uint64_t damageCount() const { return damageCount_; }
    const std::string& lastDamage() const { return lastDamage_; }
    // Called with the result of a statement's step or prepare; counts the damage among them.
    void noteResult(int rc);
    // Called at the first damage counted after it was set, inside the statement that met it, on
    // its thread: it must not use the connection. Set again to hear of more.
    void setDamageListener(std::function<void()> listener) { damageListener_ = std::move(listener); }
    // "PRAGMA schema_version" of the file, read through a statement kept for it; nothing when it
    // cannot be read. It changes with every change of the schema, by any connection.
    std::optional<int64_t> schemaVersion();
    // While held, SQLite refuses every commit on the connection, the explicit one and those of
    // statements outside a transaction: when SQLite has rolled a transaction back by itself, the
    // statements that follow then fail instead of taking effect one by one.
    void holdCommits(bool held);
    // Domain "ZarnPDatabase", the last error code, the message.
    Error errorWithMessage(const std::string& message) const;
    Error lastError() const;

    // Rows changed by the last update; 0 (with a warning) while a statement is executing.
    int changes();
    // Rows changed on the connection since it opened.
    int64_t totalChanges() const;
    // Rows of `table` written on this connection, by any statement, trigger or module, since it
    // was first asked for (0 then): a caller compares two readings to tell whether the table may
    // have changed. Commits of other connections are not counted ("PRAGMA data_version" tells).
    uint64_t writesTo(std::string_view table);

    void closeOpenResultSets();
    void resultSetDidClose(ZarnPResultSet* resultSet);

    // Raw statement operations for prepared bulk inserts. prepareStatement replaces what
    // `preparedStatement` held. The binds take 1-based indexes and ignore SQLite's answer (a
    // closed statement is left alone); bindings survive executeStatementAndReset, so the caller
    // binds every parameter again before the next execution.
    bool prepareStatement(std::string_view sql, std::unique_ptr<ZarnPStatement>& preparedStatement);
    void bindDouble(ZarnPStatement& statement, int paramIndex, double value);
    void bindInt(ZarnPStatement& statement, int paramIndex, int32_t value);
    void bindLong(ZarnPStatement& statement, int paramIndex, int64_t value);
    // Text is copied; nullptr or nothing binds NULL.
    void bindString(ZarnPStatement& statement, int paramIndex, std::string_view value);
    void bindString(ZarnPStatement& statement, int paramIndex, const std::string& value);
    void bindString(ZarnPStatement& statement, int paramIndex, const char* value);
    void bindString(ZarnPStatement& statement, int paramIndex, const std::optional<std::string>& value);
    void bindBlob(ZarnPStatement& statement, int paramIndex, const ZarnPSqlBlob& value);
    void bindNull(ZarnPStatement& statement, int paramIndex);
    // Steps once, then resets; true only when both succeed.
    bool executeStatementAndReset(ZarnPStatement& statement);

    bool logsErrors() const { return logsErrors_; }
    void setLogsErrors(bool logs) { logsErrors_ = logs; }
    int busyRetryTimeout() const { return busyRetryTimeout_; }
    void setBusyRetryTimeout(int retries) { busyRetryTimeout_ = retries < 0 ? 0 : retries; }

    // Whether the busy rule allows another try after `retries` retries; logs `giveUpMessage`
    // when it does not, else counts the retry and pauses.
    bool retryWhileBusy(int& retries, const char* giveUpMessage) const;

    std::string description() const;

    // Statements kept for reuse now, and how many statements were prepared so far.
    size_t cachedStatementCount() const { return cache_.size(); }
    uint64_t preparedStatementCount() const { return preparedCount_; }

  private:
    bool runUpdate(Error* error, std::string_view sql, const std::vector<ZarnPSqlValue>* arrayArgs,
                   const ZarnPSqlParameters* dictionaryArgs);
    // One query with either kind of arguments bound.
    std::unique_ptr<ZarnPResultSet> executeQueryBound(std::string_view sql,
                                                      const std::vector<ZarnPSqlValue>* arrayArgs,
                                                      const ZarnPSqlParameters* dictionaryArgs);
    friend class ZarnPStatement;
    // Binds one value; text and blobs are copied.
    static void bindObject(const ZarnPSqlValue& value, int idx, sqlite3_stmt* statement);
    // Common start and prepare; nullptr on failure (logged). Leaves the executing flag set.
    sqlite3_stmt* prepare(std::string_view sql, Error* error);
    // Binds one source; the number of values bound.
    int bindArguments(sqlite3_stmt* statement, const std::vector<ZarnPSqlValue>* arrayArgs,
                      const ZarnPSqlParameters* dictionaryArgs);
    bool checkUsable();
    // Runs "PRAGMA synchronous = <level>" (0 to 2) through a statement kept for it.
    bool setSynchronous(int level);
    // Back at the default level when a transaction at another one has ended, however it ended:
    // before each statement, so that nothing runs at a level it did not name.
    void settleSynchronous() {
        if (synchronous_ != defaultSynchronous_ && open_ && !ownLevel_ && !hasOpenTransaction())
            setSynchronous(defaultSynchronous_);
    }
    // After each commit that wrote to the log: notes whether it was synced, and checkpoints the
    // log as SQLite would by itself (every 1000 pages).
    static int onLogCommit(void* self, sqlite3* db, const char* name, int frames);
    // Counts a written row of a table asked for by writesTo().
    static void onRowWrite(void* self, int operation, const char* database, const char* table,
                           long long rowid);
    void noteUnsynced();
    void syncMainFileIfUnsynced();
    void statementCreated(ZarnPStatement* statement) { statements_.insert(statement); }
    void statementDidClose(ZarnPStatement* statement) { statements_.erase(statement); }
    void finalizeLeakedStatements();
    // The kept statement for `sql`, taken out of the cache, or a new one; null on failure.
    sqlite3_stmt* prepareOrReuse(std::string_view sql, Error* error);
    // Resets a statement, clears its bindings and keeps it for the next call of its SQL
    // (finalizes it when the connection is closing or one is kept already).
    void putBack(sqlite3_stmt* statement);
    // Whether the schema may have changed since the kept statements were prepared; when so, they
    // are finalized.
    void dropCacheIfSchemaChanged();
    void clearStatementCache();

    sqlite3* db_ = nullptr;  // also kept after a failed opening, for its error message
    bool open_ = false;
    std::optional<std::string> databasePath_;
    bool logsErrors_ = true;
    bool isExecutingStatement_ = false;
    uint64_t failedUpdateCount_ = 0;
    uint64_t damageCount_ = 0;
    std::string lastDamage_;
    std::function<void()> damageListener_;
    Error lastUpdateFailure_;
    int busyRetryTimeout_ = kDefaultBusyRetryTimeout;
    std::unordered_set<ZarnPResultSet*> openResultSets_;
    std::unordered_set<ZarnPStatement*> statements_;

    struct TransparentHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Cached {
        sqlite3_stmt* statement;
        uint64_t lastUse;
    };
    std::unordered_map<std::string, Cached, TransparentHash, std::equal_to<>> cache_;
    uint64_t useTick_ = 0;
    uint64_t preparedCount_ = 0;
    bool closing_ = false;
    // "PRAGMA schema_version", kept apart from the cache, and the version the cache was made under.
    sqlite3_stmt* schemaVersionStatement_ = nullptr;
    std::optional<int64_t> cacheSchemaVersion_;
    // "PRAGMA synchronous = 0", "= 1" and "= 2", prepared when first needed.
    sqlite3_stmt* synchronousStatements_[3] = {nullptr, nullptr, nullptr};
    // SQLite's level now, and the one between transactions.
    int synchronous_ = 2;
    int defaultSynchronous_ = 2;
    bool durableCommitRequired_ = false;
    // While a statement runs at a level of its own: the begin of a transaction, a lone update.
    bool ownLevel_ = false;
    bool unsynced_ = false;
    // The main file was written at OFF and not synced since.
    bool mainFileUnsynced_ = false;
    std::function<void()> unsyncedListener_;
    // Waiting for the commit of the open transaction (runAfterDurableCommit).
    std::vector<std::function<void()>> afterCommit_;
    // Committed by a commit whose sync failed: waiting for the next sync of the log.
    std::vector<std::function<void()>> afterSync_;
    // Runs them when `durable`, else drops them with a line saying why.
    void finishAfterCommit(bool durable, const char* why);
    void runAfterSync();
    // Runs each; an exception is logged.
    static void runSteps(std::vector<std::function<void()>>& actions);
    // The tables writesTo() counts, with their counts: few, so a row costs a comparison or two.
    std::vector<std::pair<std::string, uint64_t>> watchedWrites_;
};

}  // namespace zarn
