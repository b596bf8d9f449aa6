#include "store/dataupdate/ZarnPSqLiteCampaignDao.h"

#include "core/ZarnException.h"
#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/FlatBuffersUtil.h"
#include "store/dataupdate/ZarnPSqLiteSegmentationPropertiesDao.h"
#include "store/dataupdate/ZarnPSqLiteTimeSpanDao.h"

namespace zarn {

ZarnPSqLiteCampaignDao::ZarnPSqLiteCampaignDao(
    std::shared_ptr<ZarnPSqLiteDb> db,
    std::shared_ptr<ZarnPSqLiteSegmentationPropertiesDao> segmentationPropertiesDao,
    std::shared_ptr<ZarnPSqLiteTimeSpanDao> timeSpanDao)
    : ZarnPSqLiteDao(std::move(db)),
      segmentationPropertiesDao_(std::move(segmentationPropertiesDao)),
      timeSpanDao_(std::move(timeSpanDao)) {
    ZARN_REQUIRE(segmentationPropertiesDao_);
    ZARN_REQUIRE(timeSpanDao_);
    setTableName("campaign");
}

void ZarnPSqLiteCampaignDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection)
        return;
    if (version < 18)
        connection->executeUpdate(
            "CREATE TABLE IF NOT EXISTS campaign (id INTEGER NOT NULL PRIMARY KEY, server_id varchar(32) NOT "
            "NULL "
            ", message varchar(255), handler_type integer(1), data varchar(255), trigger_on_exit boolean, "
            "dwelling_minutes integer(5), experiment_id varchar(32), experiment_message_id integer(1), "
            "campaign_start_timestamp timestamp, campaign_end_timestamp timestamp, ignore_app_cooldown "
            "integer(1))");
    // Deleting notifications by campaign looks campaigns up by their server id.
    connection->executeUpdate("CREATE INDEX IF NOT EXISTS campaign_server_id_idx ON campaign (server_id)");
}

std::optional<int64_t> ZarnPSqLiteCampaignDao::timestampInSeconds(int64_t milliseconds) {
    int64_t seconds = milliseconds == -1 ? -1 : milliseconds / 1000;
    if (seconds == -1)
        return std::nullopt;
    return seconds;
}

int64_t ZarnPSqLiteCampaignDao::save(const dataupdate::CampaignDTO& campaign) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareForSaveIfNotPrepared(
        "INSERT INTO campaign(id, server_id, message, handler_type, data, trigger_on_exit, dwelling_minutes, "
        "experiment_id, experiment_message_id, campaign_start_timestamp, campaign_end_timestamp, "
        "ignore_app_cooldown) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    int64_t id = nextSavedId();
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        connection->bindLong(statement, 1, id);
        // A campaign without a readable id is refused by the NOT NULL column.
        FlatBuffersUtil::bindStringOrNull(campaign.campaignId(), statement, 2, *db());
        FlatBuffersUtil::bindStringOrNull(campaign.message(), statement, 3, *db());
        auto handlerType = static_cast<int8_t>(campaign.handlerType());
        if (handlerType != 0)
            connection->bindInt(statement, 4, handlerType);
        else
            connection->bindNull(statement, 4);
        FlatBuffersUtil::bindStringOrNull(campaign.data(), statement, 5, *db());
        connection->bindInt(statement, 6, campaign.triggerOnExit() ? 1 : 0);
        FlatBuffersUtil::bindLongOrNull(campaign.dwellingMinutes(), statement, 7, *db(), -1);
        FlatBuffersUtil::bindStringOrNull(campaign.experimentId(), statement, 8, *db());
        FlatBuffersUtil::bindLongOrNull(campaign.experimentMessageId(), statement, 9, *db(), -1);
        auto start = timestampInSeconds(campaign.campaignStartTimestamp());
        auto end = timestampInSeconds(campaign.campaignEndTimestamp());
        FlatBuffersUtil::bindLongOrNull(start.value_or(-1), statement, 10, *db(), -1);
        FlatBuffersUtil::bindLongOrNull(end.value_or(-1), statement, 11, *db(), -1);
        connection->bindInt(statement, 12, campaign.ignoreAppCooldown() ? 1 : 0);
    }
    executeStatement(statement);

    if (const auto* spans = campaign.timeSpans())
        for (const auto* span : *spans) timeSpanDao_->save(*span, id);
    if (const auto* properties = campaign.segmentationProperties())
        for (const auto* property : *properties) segmentationPropertiesDao_->save(*property, id);
    return id;
}

void ZarnPSqLiteCampaignDao::deleteOrphanCampaigns() {
    ZARN_CHECK_SEQUENCE(sequence_);
    executeUpdate("DELETE FROM campaign WHERE id NOT IN (SELECT campaignid FROM notification)");
}

}  // namespace zarn
