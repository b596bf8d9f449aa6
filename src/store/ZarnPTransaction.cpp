#include "store/ZarnPTransaction.h"

#include <string>

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"

namespace zarn {

namespace {
// Guards nest strictly, so one name serves every level: each statement names the newest.
constexpr const char* kSavepoint = "zarn_joined";

Error failure(const std::shared_ptr<ZarnPDatabase>& db) {
    if (db && db->hadError())
        return db->lastError();
    return Error{"Zarn", -3, ZarnPDatabaseException::kReason};
}
}  // namespace

ZarnPTransaction::ZarnPTransaction(std::shared_ptr<ZarnPDatabase> database, ZarnPDurability durability,
                                   Mode mode)
    : database_(std::move(database)), durability_(durability) {
    if (!database_)
        throw ZarnPDatabaseException(failure(database_));
    // Any open transaction, however it was begun.
    if (mode == Mode::JoinOrBegin && database_->inTransaction()) {
        changesAtJoin_ = database_->totalChanges();
        // Without its savepoint the guard still joins, as it always did.
        savepoint_ = database_->executeUpdate(std::string("SAVEPOINT ") + kSavepoint);
        return;
    }
    if (!database_->beginTransaction(durability_))
        throw ZarnPDatabaseException(failure(database_));
    owns_ = true;
}

ZarnPTransaction::~ZarnPTransaction() {
    if (owns_ && !finished_)
        rollback();
    if (savepoint_)
        endSavepoint(false);
}

void ZarnPTransaction::endSavepoint(bool keep) {
    savepoint_ = false;
    // Gone with the transaction when SQLite rolled it back by itself.
    if (!database_->inTransaction())
        return;
    std::string name(kSavepoint);
    if (!keep && !database_->executeUpdate("ROLLBACK TO " + name))
        LogError("SqLiteDb", "Failed to roll back to a savepoint");
    if (!database_->executeUpdate("RELEASE " + name))
        LogError("SqLiteDb", "Failed to release a savepoint");
}

void ZarnPTransaction::commit() {
    if (savepoint_)
        endSavepoint(true);
    if (!owns_ && !finished_ && durability_ == ZarnPDurability::Full &&
        database_->totalChanges() != changesAtJoin_)
        database_->requireDurableCommit();
    if (!owns_ || finished_)
        return;
    if (!database_->commit())
        throw ZarnPDatabaseException(failure(database_));
    finished_ = true;
}

void ZarnPTransaction::rollback() {
    if (savepoint_)
        endSavepoint(false);
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
