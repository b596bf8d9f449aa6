#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "schema/dataupdate_generated.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/dataupdate/DataUpdateSaveResult.h"

namespace zarn {

class ZarnPContext;
class ZarnPPublicLogging;
class ZarnPSegmentationDao;
class ZarnPSqLiteCampaignDao;
class ZarnPSqLiteCooldownGroupDao;
class ZarnPSqLiteGeohashDao;
class ZarnPSqLiteNotificationWriteDao;

// Writes one data update into the store in one exclusive transaction: the deletions a full or
// quick-sync update asks for, the orphan passes, cooldown groups, the service's segmentation
// values, campaigns, tiles and notifications with their children. Either every change of a save
// is committed or, on failure, none: the transaction is rolled back, the failure is written to the
// public debug log and raised again to the caller. A campaign without a readable id, or a tile
// without a readable value, cannot be stored: it is left out with its notifications, and logged,
// so that one bad text does not refuse the whole update each time the service sends it again.
//
// It takes no lock: callers serialise saves (the data-update exchange holds its save lock). SDK
// thread only, like the connection.
class ZarnPSqLiteDataUpdateSaveOrchestrator final : public ZarnPSqLiteDao {
  public:
    // A temporary campaign id of the update to the campaign's new row id (positive); kLeftOut for
    // a campaign left out (no readable id), whose notifications are left out with it. One entry
    // per campaign of the update, tens of thousands in a large one: kept small.
    using CampaignIdMapping = std::unordered_map<uint32_t, int64_t>;
    static constexpr int64_t kLeftOut = -1;

    // Both are required. Builds the data-update stores on the database; the first store of each
    // class registers for the migrations, so the module builds one orchestrator at start-up.
    ZarnPSqLiteDataUpdateSaveOrchestrator(std::shared_ptr<ZarnPSqLiteDb> db,
                                          std::shared_ptr<ZarnPPublicLogging> publicLogDao);
    ~ZarnPSqLiteDataUpdateSaveOrchestrator() override;

    // Builds the data-update stores on the database so that their tables are created and migrated
    // when it opens. Stores stay registered only while alive: the caller keeps what this returns.
    [[nodiscard]] static std::vector<std::shared_ptr<ZarnPSqLiteDao>> registerDaos(
        const std::shared_ptr<ZarnPSqLiteDb>& db);

    // Saves the update. Raises ZarnPDatabaseException (or what a store raised) after rolling back
    // when any step fails, and without touching anything when the transaction cannot begin.
    DataUpdateSaveResult save(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
                              const std::shared_ptr<ZarnPContext>& context);
    // Deletes every tile, and with their links the notifications' membership; in no transaction
    // of its own (inside a save, in the save's). Raises when the deletion fails.
    void clearAllData(const std::shared_ptr<ZarnPContext>& context);

    // The steps of a save, in the order save() runs them; each raises on failure.
    void deleteNotificationsBeforeUpdate(
        const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
        ZarnPSqLiteNotificationWriteDao& notificationDao);
    void deleteGeohashesForUpdate(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
                                  ZarnPSqLiteGeohashDao& geohashDao,
                                  ZarnPSqLiteNotificationWriteDao& notificationWriteDao,
                                  ZarnPSqLiteCampaignDao& campaignDao, bool deleteAll,
                                  const std::shared_ptr<ZarnPContext>& context);
    void deleteDeletedNotifications(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
                                    ZarnPSqLiteGeohashDao& geohashDao,
                                    ZarnPSqLiteNotificationWriteDao& notificationDao,
                                    ZarnPSqLiteCampaignDao& campaignDao);
    void replaceOldCooldownGroupsWithNewOnes(
        const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
        ZarnPSqLiteCooldownGroupDao& cooldownGroupDao);
    void saveServerSegmentationProperties(
        const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
        ZarnPSegmentationDao& segmentationDao);
    CampaignIdMapping saveNewCampaigns(
        const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
        ZarnPSqLiteCampaignDao& campaignDao);
    std::set<std::string> saveNewGeohashesAndNotificationsAndReturnBeaconUuids(
        const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
        ZarnPSqLiteGeohashDao& geohashDao, ZarnPSqLiteNotificationWriteDao& notificationDao, bool isQuickSync,
        const CampaignIdMapping& responseCampaignIdToDbId, const std::shared_ptr<ZarnPContext>& context);
    // Every non-empty beacon UUID of the stored notifications; raises when the query fails.
    std::set<std::string> storedBeaconUuids();

  private:
    struct Stores;
    static std::unique_ptr<Stores> buildStores(const std::shared_ptr<ZarnPSqLiteDb>& db,
                                               std::shared_ptr<ZarnPPublicLogging> publicLogDao);
    DataUpdateSaveResult runSteps(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update,
                                  const std::shared_ptr<ZarnPContext>& context);

    std::shared_ptr<ZarnPPublicLogging> publicLogDao_;
    std::unique_ptr<Stores> stores_;
    // Whether stores_ has served a save: their id counters are then stale, so the next save
    // builds fresh ones that read each table's highest id again.
    bool storesUsed_ = false;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
