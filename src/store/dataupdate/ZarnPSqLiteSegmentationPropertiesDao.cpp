#include "store/dataupdate/ZarnPSqLiteSegmentationPropertiesDao.h"

#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/FlatBuffersUtil.h"

namespace zarn {

ZarnPSqLiteSegmentationPropertiesDao::ZarnPSqLiteSegmentationPropertiesDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("segmentation_property");
}

void ZarnPSqLiteSegmentationPropertiesDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection || version >= 18)
        return;
    connection->executeUpdate("DROP TABLE IF EXISTS segmentation_property");
    connection->executeUpdate(
        "CREATE TABLE IF NOT EXISTS segmentation_property (campaignid integer(6) NOT NULL, \"key\" "
        "varchar(255), value varchar(255), property_type integer(1), operator integer(1), interval "
        "integer(10), occurrences integer(5), FOREIGN KEY(campaignid) REFERENCES campaign(id) ON DELETE "
        "Cascade)");
    connection->executeUpdate(
        "CREATE INDEX IF NOT EXISTS segmentation_property_campaign_idx ON segmentation_property "
        "(campaignid)");
}

void ZarnPSqLiteSegmentationPropertiesDao::save(const dataupdate::SegmentationPropertyDTO& property,
                                                int64_t campaignId) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareSaveStatementIfNotPrepared(
        "INSERT INTO segmentation_property(campaignid, \"key\", value, property_type, operator, interval, "
        "occurrences) VALUES (?, ?, ?, ?, ?, ?, ?)");
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        connection->bindLong(statement, 1, campaignId);
        FlatBuffersUtil::bindStringOrNull(property.key(), statement, 2, *db());
        FlatBuffersUtil::bindStringOrNull(property.value(), statement, 3, *db());
        connection->bindInt(statement, 4, static_cast<int8_t>(property.propertyType()));
        connection->bindInt(statement, 5, static_cast<int8_t>(property.operator_()));
        FlatBuffersUtil::bindLongOrNull(property.interval(), statement, 6, *db(), -1);
        FlatBuffersUtil::bindLongOrNull(property.occurrences(), statement, 7, *db(), -1);
    }
    executeStatement(statement);
}

}  // namespace zarn
