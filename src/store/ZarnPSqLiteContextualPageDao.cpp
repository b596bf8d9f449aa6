#include "store/ZarnPSqLiteContextualPageDao.h"

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPTransaction.h"
#include "zarn/Value.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteContextualPageDao";
}  // namespace

ZarnPSqLiteContextualPageDao::ZarnPSqLiteContextualPageDao(std::shared_ptr<ZarnPSqLiteDb> db,
                                                           std::shared_ptr<ZarnPClockDao> clockDao)
    : ZarnPSqLiteDao(std::move(db)), clockDao_(std::move(clockDao)) {
    ZARN_REQUIRE(clockDao_);
    setTableName("closest_contextual_page");
}

void ZarnPSqLiteContextualPageDao::createOrUpdate(int version) {
    auto db = database();
    if (!db || version >= 22)
        return;
    db->executeUpdate("DROP TABLE IF EXISTS closest_contextual_page;");
    db->executeUpdate(
        "CREATE TABLE closest_contextual_page (id INTEGER PRIMARY KEY AUTOINCREMENT, identifier VARCHAR(255) "
        "NOT NULL, data VARCHAR(255) NOT NULL, match_payload BLOB , date DOUBLE NOT NULL, match_run_type "
        "VARCHAR(255) NOT NULL);");
    if (db->hadError())
        LogNsError(kDomain, db->lastError(), "Failed to initialize contextual page");
}

std::optional<Error> ZarnPSqLiteContextualPageDao::setClosestContextualPage(
    const std::string& identifier, const std::string& data, const std::optional<Value>& matchPayload, Date,
    const std::string& matchRunType) {
    ZARN_CHECK_SEQUENCE(sequence_);
    ZarnPSqlParameters parameters{{"identifier", identifier},
                                  {"data", data},
                                  {"date", timeIntervalSince1970(clockDao_->now())},
                                  {"match_run_type", matchRunType}};
    if (matchPayload) {
        if (!matchPayload->is_object()) {
            Error error{"Zarn", -3, "Match payload is not a dictionary"};
            LogNsError(kDomain, error, "Error in serializing extra");
            return error;
        }
        parameters.emplace_back("serializedMatchPayload", ZarnPSqlBlob{ZarnPJson::serialise(*matchPayload)});
    }
    LogDebug(kDomain, "Saving contextual page %@", identifier);
    auto db = database();
    if (!db)
        return Error{"Zarn", -3, ZarnPDatabaseException::kReason};
    try {
        // One row per run type: the page of a type replaces that type's earlier one.
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        bool removed = db->executeUpdateWithParameterDictionary(
            "DELETE FROM closest_contextual_page WHERE match_run_type = :match_run_type",
            {{"match_run_type", matchRunType}});
        if (Error error; setErrorOnError(&error, removed))
            return error;
        bool inserted = db->executeUpdateWithParameterDictionary(
            matchPayload
                ? "INSERT OR REPLACE INTO closest_contextual_page(identifier, data, match_payload, date, "
                  "match_run_type) VALUES (:identifier, :data, :serializedMatchPayload, :date, "
                  ":match_run_type)"
                : "INSERT OR REPLACE INTO closest_contextual_page(identifier, data, date, "
                  "match_run_type) VALUES (:identifier, :data, :date, :match_run_type)",
            parameters);
        if (Error error; setErrorOnError(&error, inserted))
            return error;
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        return e.error();
    }
    return std::nullopt;
}

std::optional<Value> ZarnPSqLiteContextualPageDao::getClosestContextualPage() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db)
        return std::nullopt;
    auto rs = db->executeQuery(
        "SELECT identifier, data, match_payload, date FROM closest_contextual_page ORDER BY date DESC");
    if (!rs || !rs->next())
        return std::nullopt;
    Value page = Value::object();
    page["id"] = rs->stringForColumnIndex(0).value_or("");
    page["data"] = rs->stringForColumnIndex(1).value_or("");
    page["date"] = rs->doubleForColumnIndex(3);
    if (auto payload = rs->dataForColumnIndex(2)) {
        auto parsed = ZarnPJson::parse(*payload);
        if (parsed && parsed->is_object())
            page["match_payload"] = std::move(*parsed);
        else
            LogWarn(kDomain, "Ignoring stored match payload that does not parse");
    }
    rs->close();
    return page;
}

std::optional<Error> ZarnPSqLiteContextualPageDao::unsetContextualPage(const std::string& matchRunType) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db)
        return Error{"Zarn", -3, ZarnPDatabaseException::kReason};
    bool success = db->executeUpdateWithParameterDictionary(
        "DELETE FROM closest_contextual_page WHERE (:now - date > 15 * 60) OR (match_run_type = "
        ":match_run_type)",
        {{"now", timeIntervalSince1970(clockDao_->now())}, {"match_run_type", matchRunType}});
    LogDebug(kDomain, "Unsetting closest contextual page as not relevant for %@", matchRunType);
    Error error;
    if (setErrorOnError(&error, success))
        return error;
    return std::nullopt;
}

}  // namespace zarn
