#include "store/ZarnPTransaction.h"

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"

namespace zarn {

namespace {
Error failure(const std::shared_ptr<ZarnPDatabase>& db) {
    if (db && db->hadError())
        return db->lastError();
    return Error{"Zarn", -3, ZarnPDatabaseException::kReason};
}
}  // namespace

ZarnPTransaction::ZarnPTransaction(std::shared_ptr<ZarnPDatabase> database, Mode mode)
    : database_(std::move(database)) {
    if (!database_)
        throw ZarnPDatabaseException(failure(database_));
    // Any open transaction, however it was begun.
    if (mode == Mode::JoinOrBegin && database_->inTransaction())
        return;
    if (!database_->beginTransaction())
        throw ZarnPDatabaseException(failure(database_));
    owns_ = true;
}

ZarnPTransaction::~ZarnPTransaction() {
    if (owns_ && !finished_)
        rollback();
}

void ZarnPTransaction::commit() {
    if (!owns_ || finished_)
        return;
    if (!database_->commit())
        throw ZarnPDatabaseException(failure(database_));
    finished_ = true;
}

void ZarnPTransaction::rollback() {
    if (!owns_ || finished_)
        return;
    finished_ = true;
    // SQLite may already have rolled back by itself (a full disk, an I/O error).
    if (!database_->inTransaction())
        return;
    if (!database_->rollback())
        LogError("SqLiteDb", "Failed to roll back a transaction");
}

}  // namespace zarn
