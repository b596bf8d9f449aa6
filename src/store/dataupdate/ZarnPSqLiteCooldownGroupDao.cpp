#include "store/dataupdate/ZarnPSqLiteCooldownGroupDao.h"

#include <algorithm>

#include "core/Format.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/dataupdate/FlatBuffersUtil.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteCooldownGroupDao";
}

ZarnPSqLiteCooldownGroupDao::ZarnPSqLiteCooldownGroupDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("cooldown_group");
}

void ZarnPSqLiteCooldownGroupDao::createOrUpdate(int version) {
    if (version < 18)
        executeUpdate(
            "CREATE TABLE IF NOT EXISTS cooldown_group (id varchar(32) NOT NULL, value integer(10) NOT NULL, "
            "PRIMARY KEY (id))");
}

void ZarnPSqLiteCooldownGroupDao::save(
    const com::zarnkit::velto::dataupdate::fb::CooldownGroupDTO& cooldownGroup) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto id = FlatBuffersUtil::readString(cooldownGroup.id());
    if (!id) {
        // The id column is NOT NULL: storing it would fail the whole update, on every retry.
        LogInfo(kDomain, "Skipping cooldown group without an id (value %d)", cooldownGroup.value());
        return;
    }
    save(*id, cooldownGroup.value());
}

void ZarnPSqLiteCooldownGroupDao::save(const std::string& id, int64_t value) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareForSaveIfNotPrepared("INSERT INTO cooldown_group(id, value) VALUES (?, ?)");
    auto db = database();
    ZarnPStatement* statement = savePreparedStatement();
    if (!db || !statement)
        throw ZarnPDatabaseException(Error{"Zarn", -3, ZarnPDatabaseException::kReason});
    db->bindString(*statement, 1, id);
    db->bindLong(*statement, 2, value);
    executeStatement(*statement);
}

void ZarnPSqLiteCooldownGroupDao::deleteByIds(const std::vector<std::string>& ids) {
    ZARN_CHECK_SEQUENCE(sequence_);
    for (size_t first = 0; first < ids.size(); first += kMaxIdsPerDelete) {
        size_t last = std::min(ids.size(), first + kMaxIdsPerDelete);
        std::string names;
        ZarnPSqlParameters parameters;
        parameters.reserve(last - first);
        for (size_t i = first; i < last; ++i) {
            int n = static_cast<int>(i - first + 1);
            if (i != first)
                names += ",";
            names += format(":n%d", n);
            parameters.emplace_back(format("n%d", n), ids[i]);
        }
        executeUpdateWithParameterDictionary(format("DELETE FROM %@ WHERE id IN (%@);", tableName(), names),
                                             parameters);
    }
}

std::vector<std::string> ZarnPSqLiteCooldownGroupDao::listIds() {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::vector<std::string> ids;
    auto db = database();
    auto rs = db ? db->executeQuery("SELECT id FROM cooldown_group;") : nullptr;
    while (rs && rs->next())
        if (auto id = rs->stringForColumnIndex(0))
            ids.push_back(*id);
    return ids;
}

}  // namespace zarn
