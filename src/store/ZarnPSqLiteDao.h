#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "store/ZarnPSqlValue.h"
#include "store/ZarnPStatement.h"
#include "zarn/Error.h"

namespace zarn {

class ZarnPDatabase;
class ZarnPSqLiteDb;

// Base of every table's store. Building one registers it with the database object, which calls
// createOrUpdate() with the schema version found in the file when it first opens. It turns
// database failures into error objects (the connection's own error, or domain "Zarn" code -3
// "Failed to execute query") and into ZarnPDatabaseException for the statements that must not
// fail silently, and offers one prepared INSERT per store with a 64-bit id counter for bulk
// saving. SDK thread only, like the connection.
class ZarnPSqLiteDao {
  public:
    enum class Registration { Register, DoNotRegister };

    // A null database stops the process. DoNotRegister is for stores that own no table and
    // take no part in the migrations.
    explicit ZarnPSqLiteDao(std::shared_ptr<ZarnPSqLiteDb> db,
                            Registration registration = Registration::Register);
    virtual ~ZarnPSqLiteDao();
    ZarnPSqLiteDao(const ZarnPSqLiteDao&) = delete;
    ZarnPSqLiteDao& operator=(const ZarnPSqLiteDao&) = delete;

    // Migration hook: `version` is the schema version found in the file (0 for a new file).
    // Each store compares it with its own thresholds and touches only its own tables. Every hook
    // runs inside the opening's one transaction: a store's own transactions join it, and what
    // SQLite refuses inside a transaction (some pragmas) does not belong here.
    virtual void createOrUpdate(int version);

    // A table and the columns the store's statements name in it, separated by blanks.
    struct TableShape {
        std::string table;
        std::string columns;
    };
    // The tables this store's migration makes. A file that lacks one of them, or one of their
    // columns, once migrated is damaged: no statement of the store would ever succeed on it.
    virtual std::vector<TableShape> tableShapes() const { return {}; }
    // Whether a statement of this store's migration that fails without raising fails the whole
    // migration (the default), or only makes the store log, as the cooldown merge does.
    virtual bool migrationFailsOnAFailedStatement() const { return true; }
    // What of this store must outlive its file when the file is set aside and a new one started
    // (the user's own choices): read from the old file when called, and written into the new one
    // by the function returned, within the new file's first migration. Empty: nothing to keep.
    virtual std::function<void()> keepAcrossNewFile() { return {}; }

    // Work of the opening that waits until the migration has committed and runs outside any
    // transaction: what may fail on its own without costing the opening (an index that only
    // speeds reads up). It begins and ends its own transactions and never raises.
    virtual void afterMigration() {}
    // Called once the whole file has been read and found whole: what only a read of every row
    // can tell. It begins and ends its own transactions and never raises.
    virtual void afterWholeFileCheck() {}

    const std::shared_ptr<ZarnPSqLiteDb>& db() const { return db_; }
    const std::string& tableName() const { return tableName_; }
    int64_t lastSavedId() const { return lastSavedId_; }
    bool preparedForSave() const { return preparedForSave_; }

  protected:
    // The open connection, or nullptr when the file cannot be opened.
    std::shared_ptr<ZarnPDatabase> database() const;

    // True when the connection reports an error; then stores it into `error` when given.
    bool setErrorOnError(Error* error);
    // As above; when the statement failed and `error` is still empty, stores the -3 error.
    // True when the connection had an error or the statement failed.
    bool setErrorOnError(Error* error, bool success);
    // The same rule as a value: the error after a statement, or nothing.
    std::optional<Error> errorAfterStatement(bool success);
    // Raises ZarnPDatabaseException for an error.
    static void throwDbExceptionIfNeeded(const std::optional<Error>& error);
    static void throwDbExceptionIfNeeded(const Error* error);

    // Run the statement, then raise ZarnPDatabaseException when it failed.
    void executeUpdateWithParameterDictionary(std::string_view sql, const ZarnPSqlParameters& arguments);
    template <typename... A>
    requires(std::is_constructible_v<ZarnPSqlValue, const A&>&&...) void executeUpdate(std::string_view sql,
                                                                                       const A&... args) {
        executeUpdateWithParameters(sql, std::vector<ZarnPSqlValue>{ZarnPSqlValue(args)...});
    }
    void executeUpdateWithParameters(std::string_view sql, const std::vector<ZarnPSqlValue>& parameters);
    void commit();
    // Steps and resets a prepared statement.
    void executeStatement(ZarnPStatement& statement);

    // lastSavedId = MAX(id) of tableName (0 for an empty table).
    void fetchLastSavedId();
    // The first time only: fetchLastSavedId(), then prepare `insertSql` (positional parameters)
    // into savePreparedStatement; again once that statement was closed with its connection (a
    // damaged file replaced by a new one). Raises when the statement cannot be prepared.
    void prepareForSaveIfNotPrepared(std::string_view insertSql);
    void prepareSaveStatementIfNotPrepared(std::string_view insertSql);
    // The id for the next saved row.
    int64_t nextSavedId() { return ++lastSavedId_; }
    // Present after prepareForSaveIfNotPrepared() succeeded (it may read closed once the
    // connection has closed: executing it then raises).
    ZarnPStatement* savePreparedStatement() const { return savePreparedStatement_.get(); }

    void setTableName(std::string tableName) { tableName_ = std::move(tableName); }
    void setLastSavedId(int64_t id) { lastSavedId_ = id; }

  private:
    std::shared_ptr<ZarnPSqLiteDb> db_;
    std::string tableName_;
    int64_t lastSavedId_ = -1;
    std::unique_ptr<ZarnPStatement> savePreparedStatement_;
    bool preparedForSave_ = false;
    bool registered_ = false;
};

}  // namespace zarn
