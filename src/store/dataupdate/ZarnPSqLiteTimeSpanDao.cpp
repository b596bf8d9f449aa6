#include "store/dataupdate/ZarnPSqLiteTimeSpanDao.h"

#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"

namespace zarn {

ZarnPSqLiteTimeSpanDao::ZarnPSqLiteTimeSpanDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("timespan");
}

void ZarnPSqLiteTimeSpanDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection || version >= 18)
        return;
    connection->executeUpdate(
        "CREATE TABLE IF NOT EXISTS timespan (campaignid integer(6) NOT NULL, startTimestamp integer(12), "
        "endTimestamp integer(12), FOREIGN KEY(campaignid) REFERENCES campaign(id) ON DELETE Cascade)");
    connection->executeUpdate("CREATE INDEX IF NOT EXISTS timespan_campaign_idx ON timespan (campaignid)");
}

void ZarnPSqLiteTimeSpanDao::save(const dataupdate::TimeSpanDTO& timeSpan, int64_t campaignId) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareSaveStatementIfNotPrepared(
        "INSERT INTO timespan(campaignid, startTimestamp, endTimestamp) VALUES (?, ?, ?)");
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        connection->bindLong(statement, 1, campaignId);
        connection->bindLong(statement, 2, timeSpan.startTimestamp());
        connection->bindLong(statement, 3, timeSpan.endTimestamp());
    }
    executeStatement(statement);
}

}  // namespace zarn
