#include "store/dataupdate/ZarnPSqLiteNotificationEntryDao.h"

#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/FlatBuffersUtil.h"

namespace zarn {

void ZarnPSqLiteNotificationEntryDao::saveEntry(std::string_view insertSql, const flatbuffers::String* key,
                                                const flatbuffers::String* value, int64_t notificationId) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareSaveStatementIfNotPrepared(insertSql);
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        connection->bindLong(statement, 1, notificationId);
        FlatBuffersUtil::bindStringOrNull(key, statement, 2, *db());
        FlatBuffersUtil::bindStringOrNull(value, statement, 3, *db());
    }
    executeStatement(statement);
}

}  // namespace zarn
