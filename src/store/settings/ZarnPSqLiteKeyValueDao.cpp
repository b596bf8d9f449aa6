#include "store/settings/ZarnPSqLiteKeyValueDao.h"

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/settings/ZarnPBaseKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteKeyValueDao";
}

void ZarnPSqLiteKeyValueDao::createOrUpdate(int version) {
    if (version < 1) {
        if (auto connection = database()) {
            connection->executeUpdate(
                "CREATE TABLE IF NOT EXISTS keyvalue (key VARCHAR(255) NOT NULL PRIMARY KEY,value "
                "VARCHAR(2048) NOT "
                "NULL);");
        }
    }
}

std::optional<std::string> ZarnPSqLiteKeyValueDao::getPropertyValueForKey(const std::string& key) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection)
        return std::nullopt;
    auto rs = connection->executeQueryWithParameterDictionary("SELECT value FROM keyvalue WHERE key = :key",
                                                              {{"key", key}});
    if (rs && rs->next())
        return rs->stringForColumn("value");
    return std::nullopt;
}

void ZarnPSqLiteKeyValueDao::setPropertyValue(const std::optional<std::string>& value,
                                              const std::string& key) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    ZarnPSqlParameters parameters{{"key", key}};
    // Without a value ":value" stays unbound and the statement is refused.
    if (value)
        parameters.emplace_back("value", *value);
    // The value it already holds is left alone: rewriting it would cost a commit for nothing. The
    // comparison is SQLite's, on the stored text as it is, so a value that reads as something
    // else (or no row) is written.
    bool success =
        connection && connection->executeUpdateWithParameterDictionary(
                          "INSERT INTO keyvalue (key, value) VALUES (:key, :value) ON CONFLICT (key) "
                          "DO UPDATE SET value = excluded.value WHERE value IS NOT excluded.value",
                          parameters);
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to store value");
}

void ZarnPSqLiteKeyValueDao::unsetPropertyKey(const std::string& key) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    bool success = connection && connection->executeUpdateWithParameterDictionary(
                                     "DELETE FROM keyvalue WHERE key = :key", {{"key", key}});
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to delete key");
}

bool ZarnPSqLiteKeyValueDao::isReadable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection)
        return false;
    // Names the columns the reads use: a table of another schema is not readable either.
    auto rs = connection->executeQuery("SELECT COUNT(key), COUNT(value) FROM keyvalue");
    return rs && rs->next();
}

std::function<void()> ZarnPSqLiteKeyValueDao::keepAcrossNewFile() {
    if (isReadable()) {
        auto enabled = getPropertyValueForKey(setting::kEnabled);
        // The app's token, which every request of the running library carries: with it, the
        // next run fetches at once what the new file lacks.
        auto token = getPropertyValueForKey(setting::kPublicToken);
        if (!enabled && !token)
            return {};
        return [this, enabled, token] {
            if (enabled)
                setPropertyValue(enabled, setting::kEnabled);
            if (!token)
                return;
            setPropertyValue(token, setting::kPublicToken);
            if (auto typed = keyValueDao())
                typed->setBoolPropertyValue(true, setting::kForceUpdate);
        };
    }
    auto connection = database();
    auto rs = connection
                  ? connection->executeQuery(
                        "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'keyvalue'")
                  : nullptr;
    bool hasTable = rs && rs->next() && rs->longForColumnIndex(0) > 0;
    if (!hasTable)
        return {};
    LogError(kDomain,
             "The opt-out of the file set aside cannot be read; the library stays off until enabled");
    return [this] {
        if (auto typed = keyValueDao())
            typed->setBoolPropertyValue(false, setting::kEnabled);
    };
}

std::shared_ptr<ZarnPStringKeyValueDao> ZarnPSqLiteKeyValueDao::stringKeyValueDao() {
    auto self = weak_from_this().lock();
    return self ? std::shared_ptr<ZarnPStringKeyValueDao>(self,
                                                          static_cast<ZarnPStringKeyValueDao*>(self.get()))
                : nullptr;
}

std::shared_ptr<ZarnPKeyValueDao> ZarnPSqLiteKeyValueDao::keyValueDao() {
    auto strings = stringKeyValueDao();
    return strings ? std::make_shared<ZarnPBaseKeyValueDao>(strings) : nullptr;
}

}  // namespace zarn
