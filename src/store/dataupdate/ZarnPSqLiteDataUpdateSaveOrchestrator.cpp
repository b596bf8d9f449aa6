#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"

#include <exception>
#include <optional>

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPPublicLogging.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPTransaction.h"
#include "store/dataupdate/FlatBuffersUtil.h"
#include "store/dataupdate/ZarnPSqLiteCampaignDao.h"
#include "store/dataupdate/ZarnPSqLiteCooldownGroupDao.h"
#include "store/dataupdate/ZarnPSqLiteCustomRegionFieldsDao.h"
#include "store/dataupdate/ZarnPSqLiteGeohashDao.h"
#include "store/dataupdate/ZarnPSqLiteGeohashNotificationDao.h"
#include "store/dataupdate/ZarnPSqLiteNotificationWriteDao.h"
#include "store/dataupdate/ZarnPSqLitePolygonDao.h"
#include "store/dataupdate/ZarnPSqLiteSegmentationPropertiesDao.h"
#include "store/dataupdate/ZarnPSqLiteTimeSpanDao.h"
#include "store/dataupdate/ZarnPSqLiteTriggerPropertiesDao.h"

namespace zarn {

namespace fb = com::zarnkit::velto::dataupdate::fb;

namespace {

constexpr const char* kDomain = "DataUpdateSaveOrchestrator";

using Pairs = std::vector<std::vector<std::string>>;

// A pair of ids that names a notification; fewer than two ids when one is missing, which the
// deletion refuses before it deletes anything.
std::vector<std::string> pairOf(const std::optional<std::string>& campaignId,
                                const std::optional<std::string>& geofenceId) {
    std::vector<std::string> pair;
    if (campaignId && geofenceId) {
        pair.push_back(*campaignId);
        pair.push_back(*geofenceId);
    }
    return pair;
}

// Whether a save fills the nearest reads' index once, after its rows, instead of row by row
// through its triggers: when it rewrites every notification, writes as many as a quarter of those
// stored, or finds the index broken or missing. Either way the save stays linear in what it writes.
bool fillsIndexAfterRows(const fb::DataUpdateResponseDTO& update, ZarnPDatabase& db) {
    if ((update.deleteAllOldData() && !update.isQuickSyncUpdate()) ||
        !ZarnPSqLiteNotificationAreaDao::isWhole(db))
        return true;
    int64_t written = 0;
    if (const auto* geohashes = update.updatedGeohashes())
        for (const fb::GeohashDTO* geohash : *geohashes)
            if (const auto* notifications = geohash->changedNotifications())
                written += notifications->size();
    // Ids count up from the highest stored: at least the number of notifications stored.
    auto rs = db.executeQuery("SELECT max(id) FROM notification");
    int64_t stored = rs && rs->next() ? rs->longForColumnIndex(0) : 0;
    return written * 4 >= stored;
}

std::string describeException(const std::exception& e) {
    if (const auto* zarnException = dynamic_cast<const ZarnException*>(&e))
        return zarnException->description();
    return e.what();
}

}  // namespace

// The eleven stores of a save, built in the order in which they register, and the nearest
// read's index of the notifications, last: its migration builds it over the tables they make.
struct ZarnPSqLiteDataUpdateSaveOrchestrator::Stores {
    std::shared_ptr<ZarnPSqLiteGeohashNotificationDao> geohashNotificationDao;
    std::shared_ptr<ZarnPSqLiteGeohashDao> geohashDao;
    std::shared_ptr<ZarnPSqLiteCustomRegionFieldsDao> customRegionFieldsDao;
    std::shared_ptr<ZarnPSqLiteTriggerPropertiesDao> triggerPropertiesDao;
    std::shared_ptr<ZarnPSqLiteNotificationWriteDao> notificationWriteDao;
    std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentationDao;
    std::shared_ptr<ZarnPSqLiteSegmentationPropertiesDao> segmentationPropertiesDao;
    std::shared_ptr<ZarnPSqLiteTimeSpanDao> timeSpanDao;
    std::shared_ptr<ZarnPSqLiteCampaignDao> campaignDao;
    std::shared_ptr<ZarnPSqLiteCooldownGroupDao> cooldownGroupDao;
    std::shared_ptr<ZarnPSqLitePolygonDao> polygonDao;
    std::shared_ptr<ZarnPSqLiteNotificationAreaDao> notificationAreaDao;

    std::vector<std::shared_ptr<ZarnPSqLiteDao>> all() const {
        return {geohashNotificationDao,    geohashDao,           customRegionFieldsDao,
                triggerPropertiesDao,      notificationWriteDao, segmentationDao,
                segmentationPropertiesDao, timeSpanDao,          campaignDao,
                cooldownGroupDao,          polygonDao,           notificationAreaDao};
    }
};

std::unique_ptr<ZarnPSqLiteDataUpdateSaveOrchestrator::Stores>
ZarnPSqLiteDataUpdateSaveOrchestrator::buildStores(const std::shared_ptr<ZarnPSqLiteDb>& db,
                                                   std::shared_ptr<ZarnPPublicLogging> publicLogDao) {
    auto stores = std::make_unique<Stores>();
    stores->geohashNotificationDao = std::make_shared<ZarnPSqLiteGeohashNotificationDao>(db);
    stores->geohashDao = std::make_shared<ZarnPSqLiteGeohashDao>(db, std::move(publicLogDao));
    stores->customRegionFieldsDao = std::make_shared<ZarnPSqLiteCustomRegionFieldsDao>(db);
    stores->triggerPropertiesDao = std::make_shared<ZarnPSqLiteTriggerPropertiesDao>(db);
    stores->notificationWriteDao = std::make_shared<ZarnPSqLiteNotificationWriteDao>(
        db, stores->geohashNotificationDao, stores->customRegionFieldsDao, stores->triggerPropertiesDao);
    stores->segmentationDao = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
    stores->segmentationPropertiesDao = std::make_shared<ZarnPSqLiteSegmentationPropertiesDao>(db);
    stores->timeSpanDao = std::make_shared<ZarnPSqLiteTimeSpanDao>(db);
    stores->campaignDao =
        std::make_shared<ZarnPSqLiteCampaignDao>(db, stores->segmentationPropertiesDao, stores->timeSpanDao);
    stores->cooldownGroupDao = std::make_shared<ZarnPSqLiteCooldownGroupDao>(db);
    stores->polygonDao = std::make_shared<ZarnPSqLitePolygonDao>(db);
    stores->notificationAreaDao = std::make_shared<ZarnPSqLiteNotificationAreaDao>(db);
    return stores;
}

ZarnPSqLiteDataUpdateSaveOrchestrator::ZarnPSqLiteDataUpdateSaveOrchestrator(
    std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPPublicLogging> publicLogDao)
    : ZarnPSqLiteDao(std::move(db), Registration::DoNotRegister), publicLogDao_(std::move(publicLogDao)) {
    ZARN_REQUIRE(publicLogDao_);
    stores_ = buildStores(this->db(), publicLogDao_);
}

ZarnPSqLiteDataUpdateSaveOrchestrator::~ZarnPSqLiteDataUpdateSaveOrchestrator() = default;

std::vector<std::shared_ptr<ZarnPSqLiteDao>> ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(
    const std::shared_ptr<ZarnPSqLiteDb>& db) {
    ZARN_REQUIRE(db);
    auto stores = buildStores(db, nullptr);
    auto all = stores->all();
    // Building registered each store; registering again keeps the first of each class.
    for (const auto& dao : all) db->registerDao(dao.get());
    return all;
}

DataUpdateSaveResult ZarnPSqLiteDataUpdateSaveOrchestrator::save(
    const fb::DataUpdateResponseDTO& update, const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (storesUsed_)
        stores_ = buildStores(db(), publicLogDao_);
    storesUsed_ = true;
    try {
        return runSteps(update, context);
    } catch (const std::exception& e) {
        publicLogDao_->logMessageIfEnabled(context, "Exception occurred while saving data update due to: %@",
                                           describeException(e));
        throw;
    } catch (...) {
        publicLogDao_->logMessageIfEnabled(context, "Exception occurred while saving data update due to: %@",
                                           "unknown exception");
        throw;
    }
}

DataUpdateSaveResult ZarnPSqLiteDataUpdateSaveOrchestrator::runSteps(
    const fb::DataUpdateResponseDTO& update, const std::shared_ptr<ZarnPContext>& context) {
    Stores& s = *stores_;
    publicLogDao_->logMessageIfEnabled(context, "Saving data update");
    // Raises before anything is written when the transaction cannot begin; rolls back on every
    // way out but the commit.
    ZarnPTransaction transaction(database(), ZarnPDurability::Normal);

    bool isQuickSync = update.isQuickSyncUpdate();
    bool deleteAll = update.deleteAllOldData();
    // The index never fails the save: a failed fill leaves the reads on their full statement.
    auto connection = database();
    bool fillIndex = connection && fillsIndexAfterRows(update, *connection);
    if (fillIndex)
        ZarnPSqLiteNotificationAreaDao::drop(*connection);
    if (isQuickSync) {
        publicLogDao_->logMessageIfEnabled(context, "Saving QuickSync data update");
        deleteNotificationsBeforeUpdate(update, *s.notificationWriteDao);
    } else {
        deleteGeohashesForUpdate(update, *s.geohashDao, *s.notificationWriteDao, *s.campaignDao, deleteAll,
                                 context);
    }
    LogDebug(kDomain, "Deleting deleted notifications");
    deleteDeletedNotifications(update, *s.geohashDao, *s.notificationWriteDao, *s.campaignDao);
    // No circle may outlive its notification and attach to a new one that reuses the id.
    s.polygonDao->deleteOrphanPolygons();
    LogDebug(kDomain, "Replacing cooldowns with new ones");
    replaceOldCooldownGroupsWithNewOnes(update, *s.cooldownGroupDao);
    saveServerSegmentationProperties(update, *s.segmentationDao);
    CampaignIdMapping campaignIds = saveNewCampaigns(update, *s.campaignDao);
    LogDebug(kDomain, "Saving new geohashes");
    std::set<std::string> beaconUuids = saveNewGeohashesAndNotificationsAndReturnBeaconUuids(
        update, *s.geohashDao, *s.notificationWriteDao, isQuickSync, campaignIds, context);
    std::set<std::string> stored = storedBeaconUuids();
    if (fillIndex)
        ZarnPSqLiteNotificationAreaDao::build(*connection);
    transaction.commit();

    DataUpdateSaveResult result(std::move(beaconUuids), deleteAll, std::move(stored));
    std::vector<std::string> listed(result.beaconUuids().begin(), result.beaconUuids().end());
    publicLogDao_->logMessageIfEnabled(context, "Received beacon UUIDs %@", listed);
    publicLogDao_->logMessageIfEnabled(context, "Data update save completed");
    return result;
}

void ZarnPSqLiteDataUpdateSaveOrchestrator::clearAllData(const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    publicLogDao_->logMessageIfEnabled(context, "Deleting all old data");
    if (auto connection = database())
        ZarnPSqLiteNotificationAreaDao::dropLeftovers(*connection);
    stores_->geohashDao->deleteAll();
}

void ZarnPSqLiteDataUpdateSaveOrchestrator::deleteNotificationsBeforeUpdate(
    const fb::DataUpdateResponseDTO& update, ZarnPSqLiteNotificationWriteDao& notificationDao) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // Nothing for a campaign the save leaves out, unless another with its temporary id is saved.
    std::unordered_map<uint32_t, std::optional<std::string>> serverIds;
    if (const auto* campaigns = update.campaigns())
        for (const fb::CampaignDTO* campaign : *campaigns)
            if (auto id = FlatBuffersUtil::readString(campaign->campaignId());
                id || !serverIds.count(campaign->temporaryId()))
                serverIds[campaign->temporaryId()] = std::move(id);
    const auto* geohashes = update.updatedGeohashes();
    if (!geohashes || geohashes->size() == 0)
        return;
    Pairs pairs;
    for (const fb::GeohashDTO* geohash : *geohashes) {
        const auto* notifications = geohash->changedNotifications();
        // What the save leaves out replaces nothing: its stored notifications stay.
        if (!notifications || !FlatBuffersUtil::isReadable(geohash->value()))
            continue;
        for (const fb::NotificationDTO* notification : *notifications) {
            auto found = serverIds.find(notification->temporaryCampaignId());
            if (found != serverIds.end() && !found->second)
                continue;
            pairs.push_back(pairOf(found == serverIds.end() ? std::nullopt : found->second,
                                   FlatBuffersUtil::readString(notification->geofenceId())));
        }
    }
    notificationDao.deleteByCampaignIdsAndGeofenceIds(pairs);
}

void ZarnPSqLiteDataUpdateSaveOrchestrator::deleteGeohashesForUpdate(
    const fb::DataUpdateResponseDTO& update, ZarnPSqLiteGeohashDao& geohashDao,
    ZarnPSqLiteNotificationWriteDao& notificationWriteDao, ZarnPSqLiteCampaignDao& campaignDao,
    bool deleteAll, const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (deleteAll) {
        publicLogDao_->logMessageIfEnabled(context, "Deleting all old data");
        geohashDao.deleteAll();
    } else if (const auto* geohashes = update.updatedGeohashes()) {
        for (const fb::GeohashDTO* geohash : *geohashes) {
            // A tile without a readable value names no stored tile; the save leaves it out.
            auto value = FlatBuffersUtil::readString(geohash->value());
            if (!value)
                continue;
            publicLogDao_->logMessageIfEnabled(context, "Deleting geohash %@", *value);
            geohashDao.deleteByValue(*value);
        }
    }
    publicLogDao_->logMessageIfEnabled(context, "Deleting orphan notifications");
    notificationWriteDao.deleteOrphanNotifications();
    publicLogDao_->logMessageIfEnabled(context, "Deleting orphan campaigns");
    campaignDao.deleteOrphanCampaigns();
}

void ZarnPSqLiteDataUpdateSaveOrchestrator::deleteDeletedNotifications(
    const fb::DataUpdateResponseDTO& update, ZarnPSqLiteGeohashDao&,
    ZarnPSqLiteNotificationWriteDao& notificationDao, ZarnPSqLiteCampaignDao& campaignDao) {
    ZARN_CHECK_SEQUENCE(sequence_);
    const auto* deleted = update.deletedNotifications();
    if (deleted && deleted->size() > 0) {
        Pairs pairs;
        pairs.reserve(deleted->size());
        for (const fb::CompleteNotificationIdDTO* id : *deleted)
            pairs.push_back(pairOf(FlatBuffersUtil::readString(id->campaignId()),
                                   FlatBuffersUtil::readString(id->geofenceId())));
        LogInfo(kDomain, "Deleting notifications %@", pairs);
        notificationDao.deleteByCampaignIdsAndGeofenceIds(pairs);
    }
    campaignDao.deleteOrphanCampaigns();
}

void ZarnPSqLiteDataUpdateSaveOrchestrator::replaceOldCooldownGroupsWithNewOnes(
    const fb::DataUpdateResponseDTO& update, ZarnPSqLiteCooldownGroupDao& cooldownGroupDao) {
    ZARN_CHECK_SEQUENCE(sequence_);
    const auto* groups = update.cooldownGroups();
    if (!groups || groups->size() == 0)
        return;
    std::vector<std::string> ids;
    ids.reserve(groups->size());
    for (const fb::CooldownGroupDTO* group : *groups)
        if (auto id = FlatBuffersUtil::readString(group->id()))
            ids.push_back(*id);
    cooldownGroupDao.deleteByIds(ids);
    for (const fb::CooldownGroupDTO* group : *groups) cooldownGroupDao.save(*group);
}

void ZarnPSqLiteDataUpdateSaveOrchestrator::saveServerSegmentationProperties(
    const fb::DataUpdateResponseDTO& update, ZarnPSegmentationDao& segmentationDao) {
    ZARN_CHECK_SEQUENCE(sequence_);
    uint64_t failedBefore = database() ? database()->failedUpdateCount() : 0;
    if (update.deletePreviousServerSideSegmentationProperties()) {
        LogInfo(kDomain, "Deleting all server side segmentation properties");
        segmentationDao.clearServerSideSegmentationValues();
    }
    LogDebug(kDomain, "Saving server segmentation properties");
    const auto* properties = update.serverSideSegmentationProperties();
    if (properties) {
        for (const fb::ServerSideSegmentationPropertyDTO* property : *properties) {
            auto key = FlatBuffersUtil::readString(property->key());
            auto value = FlatBuffersUtil::readString(property->value());
            if (!key) {
                // No rule can name a value without a key.
                LogInfo(kDomain, "Skipping server segmentation property without a key (value %@)", value);
                continue;
            }
            segmentationDao.setSegmentationValue(value, key, true);
        }
    }
    // The segmentation store logs its failures instead of raising. Inside a save a failed write
    // fails the save: SQLite may have rolled the transaction back with it, and every later
    // statement would then commit on its own.
    auto connection = database();
    if (!connection || connection->failedUpdateCount() != failedBefore || !connection->inTransaction())
        throwDbExceptionIfNeeded(errorAfterStatement(false));
}

ZarnPSqLiteDataUpdateSaveOrchestrator::CampaignIdMapping
ZarnPSqLiteDataUpdateSaveOrchestrator::saveNewCampaigns(const fb::DataUpdateResponseDTO& update,
                                                        ZarnPSqLiteCampaignDao& campaignDao) {
    ZARN_CHECK_SEQUENCE(sequence_);
    CampaignIdMapping mapping;
    const auto* campaigns = update.campaigns();
    LogInfo(kDomain, "Received %@ campaigns", std::to_string(campaigns ? campaigns->size() : 0));
    if (!campaigns)
        return mapping;
    mapping.reserve(campaigns->size());
    for (const fb::CampaignDTO* campaign : *campaigns) {
        // The server id column is NOT NULL.
        if (!FlatBuffersUtil::isReadable(campaign->campaignId())) {
            LogInfo(kDomain,
                    "Skipping campaign without a readable id (temporary id %u) with its notifications",
                    campaign->temporaryId());
            mapping.try_emplace(campaign->temporaryId(), kLeftOut);
            continue;
        }
        mapping[campaign->temporaryId()] = campaignDao.save(*campaign);
    }
    return mapping;
}

std::set<std::string>
ZarnPSqLiteDataUpdateSaveOrchestrator::saveNewGeohashesAndNotificationsAndReturnBeaconUuids(
    const fb::DataUpdateResponseDTO& update, ZarnPSqLiteGeohashDao& geohashDao,
    ZarnPSqLiteNotificationWriteDao& notificationDao, bool isQuickSync,
    const CampaignIdMapping& responseCampaignIdToDbId, const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::set<std::string> beaconUuids;
    const auto* geohashes = update.updatedGeohashes();
    if (!geohashes)
        return beaconUuids;
    for (const fb::GeohashDTO* geohash : *geohashes) {
        const auto* notifications = geohash->changedNotifications();
        // The value column is NOT NULL.
        if (!FlatBuffersUtil::isReadable(geohash->value())) {
            LogInfo(kDomain, "Skipping tile without a readable value with its %u notifications",
                    notifications ? notifications->size() : 0u);
            continue;
        }
        int64_t geohashId =
            isQuickSync ? geohashDao.getOrSave(*geohash, context) : geohashDao.save(*geohash, context);
        if (!notifications)
            continue;
        for (const fb::NotificationDTO* notification : *notifications) {
            auto found = responseCampaignIdToDbId.find(notification->temporaryCampaignId());
            if (found != responseCampaignIdToDbId.end() && found->second == kLeftOut)
                continue;  // its campaign was left out
            int64_t campaignId = found == responseCampaignIdToDbId.end() ? 0 : found->second;
            int64_t notificationId = notificationDao.save(*notification, campaignId, geohashId);
            stores_->polygonDao->saveCirclesIfPresent(notificationId, *notification);
            if (auto uuid = FlatBuffersUtil::readString(notification->beaconUuid()))
                beaconUuids.insert(*uuid);
        }
    }
    return beaconUuids;
}

std::set<std::string> ZarnPSqLiteDataUpdateSaveOrchestrator::storedBeaconUuids() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    auto rs = connection
                  ? connection->executeQuery(
                        "SELECT DISTINCT beacon_uuid FROM notification WHERE beacon_uuid IS NOT NULL AND "
                        "beacon_uuid != ''")
                  : nullptr;
    if (!rs)
        throwDbExceptionIfNeeded(errorAfterStatement(false));
    std::set<std::string> uuids;
    while (rs->next())
        if (auto uuid = rs->stringForColumnIndex(0))
            uuids.insert(*uuid);
    if (connection->hadError())
        throwDbExceptionIfNeeded(errorAfterStatement(false));
    return uuids;
}

}  // namespace zarn
