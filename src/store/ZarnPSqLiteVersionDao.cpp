#include "store/ZarnPSqLiteVersionDao.h"

#include <exception>

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

void ZarnPSqLiteVersionDao::createOrUpdate(int) {
    if (auto connection = database())
        connection->executeUpdate("CREATE TABLE IF NOT EXISTS version (v INTEGER NOT NULL);");
}

int ZarnPSqLiteVersionDao::currentVersion() {
    auto connection = database();
    if (!connection)
        return 0;
    auto rs = connection->executeQuery("SELECT v FROM version;");
    if (rs && rs->next())
        return rs->intForColumn("v");
    return 0;
}

bool ZarnPSqLiteVersionDao::setCurrentVersion(int version) {
    // A version row lost half way would make the next opening migrate from 0 and rebuild tables,
    // so the two statements stand or fall together, with the migration when it has one open.
    try {
        ZarnPTransaction transaction(database(), ZarnPDurability::Normal,
                                     ZarnPTransaction::Mode::JoinOrBegin);
        executeUpdate("DELETE FROM version;");
        executeUpdateWithParameterDictionary("INSERT INTO version(v) VALUES (:version)",
                                             {{"version", version}});
        transaction.commit();
        return true;
    } catch (const std::exception& e) {
        LogError("SqLiteDb", "Failed to store the schema version %d: %@", version, e);
        return false;
    }
}

}  // namespace zarn
