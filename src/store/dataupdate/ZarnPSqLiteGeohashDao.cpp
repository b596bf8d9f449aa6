#include "store/dataupdate/ZarnPSqLiteGeohashDao.h"

#include "core/ZarnPPublicLogging.h"
#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/FlatBuffersUtil.h"

namespace zarn {

namespace {
constexpr const char* kInsert = "INSERT INTO geohash(id, version, value) VALUES (?, ?, ?)";
}

ZarnPSqLiteGeohashDao::ZarnPSqLiteGeohashDao(std::shared_ptr<ZarnPSqLiteDb> db,
                                             std::shared_ptr<ZarnPPublicLogging> publicLogDao)
    : ZarnPSqLiteDao(std::move(db)), publicLogDao_(std::move(publicLogDao)) {
    setTableName("geohash");
}

void ZarnPSqLiteGeohashDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (version < 18)
        executeUpdate(
            "CREATE TABLE IF NOT EXISTS geohash (id INTEGER NOT NULL PRIMARY KEY, version INTEGER NOT NULL, "
            "value VARCHAR NOT NULL)");
    if (version < 20)
        deleteAll();
}

int64_t ZarnPSqLiteGeohashDao::save(const dataupdate::GeohashDTO& geohash,
                                    const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareForSaveIfNotPrepared(kInsert);
    int64_t id = nextSavedId();
    save(geohash, id, context);
    return id;
}

void ZarnPSqLiteGeohashDao::save(const dataupdate::GeohashDTO& geohash, int64_t id,
                                 const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareForSaveIfNotPrepared(kInsert);
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        connection->bindLong(statement, 1, id);
        connection->bindLong(statement, 2, geohash.lastVersion());
        // A tile without a readable value is refused by the NOT NULL column.
        FlatBuffersUtil::bindStringOrNull(geohash.value(), statement, 3, *db());
    }
    if (publicLogDao_) {
        auto notifications = geohash.changedNotifications();
        publicLogDao_->logMessageIfEnabled(context, "Saving geohash %@ %@",
                                           FlatBuffersUtil::readString(geohash.value()),
                                           std::to_string(notifications ? notifications->size() : 0));
    }
    executeStatement(statement);
}

int64_t ZarnPSqLiteGeohashDao::getOrSave(const dataupdate::GeohashDTO& geohash,
                                         const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto value = FlatBuffersUtil::readString(geohash.value());
    if (auto connection = database(); connection && value) {
        auto rs = connection->executeQueryWithParameterDictionary(
            "SELECT id from geohash where value=:geohashvalue", {{"geohashvalue", *value}});
        if (rs && rs->next())
            return rs->longForColumn("id");
    }
    return save(geohash, context);
}

void ZarnPSqLiteGeohashDao::deleteByValue(std::string_view value) {
    ZARN_CHECK_SEQUENCE(sequence_);
    executeUpdate("DELETE FROM geohash WHERE value=?", value);
}

void ZarnPSqLiteGeohashDao::deleteAll() {
    ZARN_CHECK_SEQUENCE(sequence_);
    executeUpdate("DELETE FROM geohash");
}

}  // namespace zarn
