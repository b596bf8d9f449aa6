#include "store/ZarnPSqLiteSegmentationDao.h"

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SegmentationDao";
}

void ZarnPSqLiteSegmentationDao::createOrUpdate(int version) {
    if (version < 18)
        migrateInTransaction(
            {"DROP TABLE IF EXISTS set_segmentation_property;",
             "CREATE TABLE set_segmentation_property (\"key\" VARCHAR(255) PRIMARY KEY, value "
             "VARCHAR(255));"});
    if (version < 19)
        migrateInTransaction(
            {"ALTER TABLE set_segmentation_property ADD COLUMN is_server_property INTEGER NOT NULL DEFAULT "
             "0;"});
}

void ZarnPSqLiteSegmentationDao::migrateInTransaction(std::initializer_list<const char*> statements) {
    auto db = database();
    if (!db)
        return;
    try {
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        for (const char* sql : statements)
            if (setErrorOnError(nullptr, db->executeUpdate(sql))) {
                transaction.rollback();
                return;
            }
        transaction.commit();
    } catch (const ZarnPDatabaseException&) {
        // A begin or commit that failed is a failed statement, which the opening sees.
    }
}

void ZarnPSqLiteSegmentationDao::setSegmentationValue(const std::optional<std::string>& value,
                                                      const std::optional<std::string>& key,
                                                      bool isServerProperty) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (isNilOrEmptyString(key)) {
        // A NULL key would be a row no rule can name, and would stand in for every other one.
        LogInfo(kDomain, "Skipping segmentation value %@ without a key", value);
        return;
    }
    auto db = database();
    bool success;
    if (isNilOrEmptyString(value)) {
        success = db && db->executeUpdateWithParameterDictionary(
                            "DELETE FROM set_segmentation_property WHERE \"key\" = :key", {{"key", *key}});
    } else {
        auto oldValue = getPropertyValue(*key);
        success =
            db && db->executeUpdateWithParameterDictionary(
                      "INSERT OR REPLACE INTO set_segmentation_property (\"key\", value, is_server_property) "
                      "VALUES (:key, :value, :isServerProperty);",
                      {{"key", *key}, {"value", *value}, {"isServerProperty", isServerProperty ? 1 : 0}});
        if (success && oldValue && *oldValue != *value)
            LogInfo(kDomain, "Segmentation key %@ value changed from %@ to %@", *key, *oldValue, *value);
    }
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to update segment property");
}

std::optional<std::string> ZarnPSqLiteSegmentationDao::getPropertyValue(const std::string& key) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    auto rs = db ? db->executeQueryWithParameterDictionary(
                       "SELECT value FROM set_segmentation_property WHERE \"key\" = :key;", {{"key", key}})
                 : nullptr;
    if (rs && rs->next())
        return rs->stringForColumnIndex(0);
    return std::nullopt;
}

std::map<std::string, std::string> ZarnPSqLiteSegmentationDao::getSegmentationProperties() {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::map<std::string, std::string> properties;
    auto db = database();
    auto rs = db ? db->executeQuery("SELECT \"key\", value FROM set_segmentation_property;") : nullptr;
    while (rs && rs->next()) {
        auto key = rs->stringForColumnIndex(0);
        auto value = rs->stringForColumnIndex(1);
        if (key && value)
            properties[*key] = *value;
    }
    return properties;
}

void ZarnPSqLiteSegmentationDao::clearServerSideSegmentationValues() {
    ZARN_CHECK_SEQUENCE(sequence_);
    clearValues(true);
}

void ZarnPSqLiteSegmentationDao::clearSegmentationValues() {
    ZARN_CHECK_SEQUENCE(sequence_);
    clearValues(false);
}

void ZarnPSqLiteSegmentationDao::clearValues(bool serverOnly) {
    auto db = database();
    bool success =
        db &&
        db->executeUpdate(serverOnly ? "DELETE FROM set_segmentation_property WHERE is_server_property = 1;"
                                     : "DELETE FROM set_segmentation_property;");
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to clear segment properties");
}

}  // namespace zarn
