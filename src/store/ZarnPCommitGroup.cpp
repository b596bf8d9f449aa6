#include "store/ZarnPCommitGroup.h"

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDb.h"

namespace zarn {

ZarnPCommitGroup::ZarnPCommitGroup(const std::shared_ptr<ZarnPSqLiteDb>& db, const char* domain)
    : domain_(domain) {
    auto connection = db ? db->database() : nullptr;
    if (!connection)
        return;
    try {
        transaction_.emplace(connection, ZarnPTransaction::Mode::JoinOrBegin);
    } catch (const ZarnPDatabaseException& e) {
        LogWarn(domain_, "Writing without one commit for the run: %@", e.what());
    }
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
