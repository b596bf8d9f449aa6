#include "store/ZarnPCommitGroup.h"

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDb.h"

namespace zarn {

ZarnPCommitGroup::ZarnPCommitGroup(const std::shared_ptr<ZarnPSqLiteDb>& db, ZarnPDurability durability,
                                   const char* domain)
    : domain_(domain) {
    begin(transaction_, db, durability, domain, "Writing the run");
}

void ZarnPCommitGroup::begin(std::optional<ZarnPTransaction>& transaction,
                             const std::shared_ptr<ZarnPSqLiteDb>& db, ZarnPDurability durability,
                             const char* domain, const char* what) {
    auto connection = db ? db->database() : nullptr;
    if (!connection)
        return;
    try {
        transaction.emplace(connection, durability, ZarnPTransaction::Mode::JoinOrBegin);
    } catch (const ZarnPDatabaseException& e) {
        LogWarn(domain, "%@ without one transaction: %@", what, e.what());
    }
}

void ZarnPCommitGroup::afterDurableCommit(const std::shared_ptr<ZarnPSqLiteDb>& db,
                                          std::function<void()> action) {
    auto connection = db ? db->database() : nullptr;
    if (connection)
        connection->runAfterDurableCommit(std::move(action));
    else if (action)
        action();
}

ZarnPCommitGroup::~ZarnPCommitGroup() {
    if (!transaction_)
        return;
    try {
        transaction_->commit();
    } catch (const ZarnPDatabaseException& e) {
        LogNsError(domain_, e.error(), "Failed to commit the writes of the run");
    }
}

}  // namespace zarn
