#pragma once
// The nearest-notification read store over a fresh database with every table its reads join,
// filled from data-update descriptions through the data update's own table writers. The one
// store fixture of the matching tests: a fixture that needs more stores derives from it, builds
// them, then opens the file, so that every store migrates its tables.
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "core/ZarnPSystemClockDao.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPTransaction.h"
#include "store/dataupdate/ZarnPSqLiteCooldownGroupDao.h"
#include "testing/VirtualTimeSource.h"
#include "tests/store/dataupdate/DataUpdateTestSupport.h"
#include "zarn/platform/Platform.h"

namespace zarn::test {

struct NearestStore {
    // A store on `path` whose clock reads `time`, its file open.
    NearestStore(const std::string& path, std::shared_ptr<platform::VirtualTimeSource> timeSource)
        : NearestStore(path, std::move(timeSource), DeferOpen{}) {
        db->database();
    }

  protected:
    // The stores built, the file not opened yet: the deriving fixture opens it.
    struct DeferOpen {};
    NearestStore(const std::string& path, std::shared_ptr<platform::VirtualTimeSource> timeSource, DeferOpen)
        : time(std::move(timeSource)),
          clock(std::make_shared<ZarnPSystemClockDao>(time)),
          db(makeDb(path)),
          tables(db),
          cooldownGroups(std::make_shared<ZarnPSqLiteCooldownGroupDao>(db)),
          cooldowns(std::make_shared<ZarnPSqLiteCooldownDao>(db)),
          segmentation(std::make_shared<ZarnPSqLiteSegmentationDao>(db)),
          history(std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db)),
          validator(std::make_shared<ZarnPSegmentationPropertyValidator>(clock, history)),
          read(std::make_shared<ZarnPSqLiteNotificationReadDao>(db, cooldowns, clock, segmentation,
                                                                validator)) {}

  public:
    static std::shared_ptr<ZarnPSqLiteDb> makeDb(const std::string& path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        auto out = std::make_shared<ZarnPSqLiteDb>(22, path, platform::current().fileSystem);
        out->disableThreadCheck();
        return out;
    }

    // Writes the campaigns, cooldown groups and tiles of the update in one transaction and drops
    // the nearest read's cache; the notification row ids in the order of the description.
    std::vector<int64_t> save(const sim::DataUpdateDescription& description) {
        auto bytes = sim::DataUpdateBuilder::build(description);
        const auto* root = fbs::GetDataUpdateResponseDTO(bytes.data());
        std::vector<int64_t> ids;
        ZarnPTransaction transaction(db->database(), ZarnPDurability::Normal);
        std::map<uint32_t, int64_t> campaignRows;
        if (root->campaigns())
            for (const auto* c : *root->campaigns())
                campaignRows[c->temporaryId()] = tables.campaign->save(*c);
        if (root->cooldownGroups())
            for (const auto* g : *root->cooldownGroups()) cooldownGroups->save(*g);
        if (root->updatedGeohashes())
            for (const auto* tile : *root->updatedGeohashes()) {
                int64_t tileId = tables.geohash->save(*tile, nullptr);
                if (!tile->changedNotifications())
                    continue;
                for (const auto* n : *tile->changedNotifications()) {
                    int64_t id =
                        tables.notification->save(*n, campaignRows[n->temporaryCampaignId()], tileId);
                    tables.polygon->saveCirclesIfPresent(id, *n);
                    ids.push_back(id);
                }
            }
        transaction.commit();
        read->invalidate();
        return ids;
    }

    std::shared_ptr<platform::VirtualTimeSource> time;
    std::shared_ptr<ZarnPSystemClockDao> clock;
    std::shared_ptr<ZarnPSqLiteDb> db;
    DataUpdateStores tables;
    std::shared_ptr<ZarnPSqLiteCooldownGroupDao> cooldownGroups;
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldowns;
    std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentation;
    std::shared_ptr<ZarnPSqLiteSegmentationHistoryDao> history;
    std::shared_ptr<ZarnPSegmentationPropertyValidator> validator;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> read;
};

}  // namespace zarn::test
