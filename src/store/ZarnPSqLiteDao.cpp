#include "store/ZarnPSqLiteDao.h"

#include "core/ZarnException.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqliteDaoUtils.h"

namespace zarn {

ZarnPSqLiteDao::ZarnPSqLiteDao(std::shared_ptr<ZarnPSqLiteDb> db, Registration registration)
    : db_(std::move(db)) {
    ZARN_REQUIRE(db_);
    if (registration == Registration::Register) {
        db_->registerDao(this);
        registered_ = true;
    }
}

ZarnPSqLiteDao::~ZarnPSqLiteDao() {
    savePreparedStatement_.reset();
    if (registered_)
        db_->unregisterDao(this);
}

void ZarnPSqLiteDao::createOrUpdate(int) {}

std::shared_ptr<ZarnPDatabase> ZarnPSqLiteDao::database() const {
    return db_->database();
}

bool ZarnPSqLiteDao::setErrorOnError(Error* error) {
    auto connection = database();
    if (!connection || !connection->hadError())
        return false;
    if (error)
        *error = connection->lastError();
    return true;
}

bool ZarnPSqLiteDao::setErrorOnError(Error* error, bool success) {
    Error local;
    Error* target = error ? error : &local;
    bool hadError = setErrorOnError(target);
    if (!success && !hadError && !ZarnPSqliteDaoUtils::holdsError(target)) {
        *target = Error{"Zarn", -3, ZarnPDatabaseException::kReason};
    }
    return hadError || !success;
}

std::optional<Error> ZarnPSqLiteDao::errorAfterStatement(bool success) {
    Error error;
    if (!setErrorOnError(&error, success))
        return std::nullopt;
    return error;
}

void ZarnPSqLiteDao::throwDbExceptionIfNeeded(const std::optional<Error>& error) {
    if (error)
        throw ZarnPDatabaseException(*error);
}

void ZarnPSqLiteDao::throwDbExceptionIfNeeded(const Error* error) {
    if (error)
        throw ZarnPDatabaseException(*error);
}

void ZarnPSqLiteDao::executeUpdateWithParameterDictionary(std::string_view sql,
                                                          const ZarnPSqlParameters& arguments) {
    auto connection = database();
    bool success = connection && connection->executeUpdateWithParameterDictionary(sql, arguments);
    throwDbExceptionIfNeeded(errorAfterStatement(success));
}

void ZarnPSqLiteDao::executeUpdateWithParameters(std::string_view sql,
                                                 const std::vector<ZarnPSqlValue>& parameters) {
    auto connection = database();
    bool success = connection && connection->executeUpdateWithParameters(sql, parameters);
    throwDbExceptionIfNeeded(errorAfterStatement(success));
}

void ZarnPSqLiteDao::commit() {
    auto connection = database();
    bool success = connection && connection->commit();
    throwDbExceptionIfNeeded(errorAfterStatement(success));
}

void ZarnPSqLiteDao::executeStatement(ZarnPStatement& statement) {
    auto connection = database();
    bool success = connection && connection->executeStatementAndReset(statement);
    throwDbExceptionIfNeeded(errorAfterStatement(success));
}

void ZarnPSqLiteDao::fetchLastSavedId() {
    auto connection = database();
    if (!connection)
        return;
    auto rs = connection->executeQuery("SELECT MAX(id) max_id FROM " + tableName_);
    if (rs && rs->next())
        lastSavedId_ = rs->longForColumn("max_id");
}

void ZarnPSqLiteDao::prepareForSaveIfNotPrepared(std::string_view insertSql) {
    // A statement closed with its connection (a damaged file set aside for a new one) is
    // prepared again on the new file, with the counter read from it.
    if (preparedForSave_ && savePreparedStatement_ && !savePreparedStatement_->statement()) {
        savePreparedStatement_.reset();
        preparedForSave_ = false;
    }
    if (preparedForSave_)
        return;
    fetchLastSavedId();
    prepareSaveStatementIfNotPrepared(insertSql);
    preparedForSave_ = true;
}

void ZarnPSqLiteDao::prepareSaveStatementIfNotPrepared(std::string_view insertSql) {
    if (savePreparedStatement_)
        return;
    auto connection = database();
    bool success = connection && connection->prepareStatement(insertSql, savePreparedStatement_);
    throwDbExceptionIfNeeded(errorAfterStatement(success));
}

}  // namespace zarn
