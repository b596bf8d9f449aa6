#include "store/ZarnPMigrationSteps.h"

#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
Error statementError(const std::shared_ptr<ZarnPDatabase>& database) {
    if (database && database->hadError())
        return database->lastError();
    return Error{"Zarn", -3, ZarnPDatabaseException::kReason};
}
}  // namespace

ZarnPMigrationSteps::ZarnPMigrationSteps(std::shared_ptr<ZarnPDatabase> database)
    : database_(std::move(database)) {}

void ZarnPMigrationSteps::group(const std::function<void()>& statements) {
    try {
        ZarnPTransaction transaction(database_, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        statements();
        if (error_)
            transaction.rollback();
        else
            transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        fail(e.error());
    }
}

void ZarnPMigrationSteps::run(std::string_view sql) {
    if (error_)
        return;
    if (!database_ || !database_->executeUpdate(sql))
        fail(statementError(database_));
}

void ZarnPMigrationSteps::fail(const Error& error) {
    if (!error_)
        error_ = error;
}

bool ZarnPMigrationSteps::hasColumn(std::string_view table, std::string_view column) {
    if (!database_)
        return false;
    auto rs =
        database_->executeQuery("SELECT COUNT(*) FROM pragma_table_info(?) WHERE name = ?", table, column);
    return rs && rs->next() && rs->longForColumnIndex(0) > 0;
}

bool ZarnPMigrationSteps::hasTable(std::string_view table) {
    if (!database_)
        return false;
    auto rs = database_->executeQuery("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = ?",
                                      table);
    return rs && rs->next() && rs->longForColumnIndex(0) > 0;
}

}  // namespace zarn
