#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPNotification.h"
#include "store/ZarnPNearestCacheHolder.h"
#include "store/ZarnPNotificationReadDao.h"
#include "store/ZarnPSqLiteBaseNotificationDao.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPSegmentationDao;
class ZarnPSegmentationPropertyValidator;
class ZarnPSqLiteCooldownDao;

// The campaigns near the device, one region kind at a time: one statement returns the rows
// nearest to a location (inside first, at most `count` joined rows, plus the included ids), the
// rows outside today's opening hours, the campaign's time spans or its segmentation are dropped,
// and one notification per stored notification is assembled with its cooldown groups, custom
// region fields and trigger properties. Where a box around the device holds few of the stored
// notifications, the nearest rows are found through the spatial index
// (ZarnPSqLiteNotificationAreaDao) when it is whole, with the same rows in the same order.
// Answers are cached per kind for 10 seconds. A failing read answers an empty list; nothing here
// raises. Owns no table; carries the geofence match state of its base (prefix ""). SDK thread
// only.
class ZarnPSqLiteNotificationReadDao final : public ZarnPSqLiteBaseNotificationDao,
                                             public ZarnPNotificationReadDao {
  public:
    static constexpr int kNearestCount = 200;

    // Every collaborator is required.
    ZarnPSqLiteNotificationReadDao(
        std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
        std::shared_ptr<ZarnPClockDao> clockDao, std::shared_ptr<ZarnPSegmentationDao> segmentationDao,
        std::shared_ptr<ZarnPSegmentationPropertyValidator> segmentationPropertyValidator);

    // No table of its own: the stores that make the tables it reads check them.
    std::vector<TableShape> tableShapes() const override { return {}; }
    // A new file, also one that replaces a damaged file, holds none of the answers cached.
    void afterMigration() override { nearestCacheHolder_.invalidate(); }

    // The 200 nearest of the kind. `includeIds` are short ids ("campaign;region") returned
    // after the nearest ones whatever their kind, offered flag, window or distance; an id
    // without ";" is skipped.
    std::vector<ZarnPNotification> findNearestGeofenceNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) override;
    std::vector<ZarnPNotification> findNearestBeaconNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) override;
    std::vector<ZarnPNotification> findNearestExternalNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) override;
    std::vector<ZarnPNotification> findNearestGeofenceNotifications(
        const ZarnPLocationWithAccuracy& location, int count, bool includeOffered,
        const std::vector<std::string>& includeIds);
    std::vector<ZarnPNotification> findNearestBeaconNotifications(const ZarnPLocationWithAccuracy& location,
                                                                  int count, bool includeOffered,
                                                                  const std::vector<std::string>& includeIds);
    std::vector<ZarnPNotification> findNearestExternalNotifications(
        const ZarnPLocationWithAccuracy& location, int count, bool includeOffered,
        const std::vector<std::string>& includeIds);
    // The core of the three: nothing for a region kind other than 0, 1 or 2.
    std::optional<std::vector<ZarnPNotification>> findNearestNotifications(
        const ZarnPLocationWithAccuracy& location, int count, bool includeOffered, int regionType,
        const std::vector<std::string>& includeIds);

    // The stored notifications of the short ids that today's filters let through, offered or
    // not, in the store's order; never cached.
    std::vector<ZarnPNotification> findByIds(const std::vector<std::string>& ids) override;
    // Sets the offered flag of the notifications' rows (by row id).
    std::optional<Error> setOffered(const std::vector<ZarnPNotification>& notifications, bool value) override;
    // The nearest geofence notification that today's filters let through; never cached.
    std::optional<ZarnPNotification> findNearestLocation(const ZarnPLocationWithAccuracy& location,
                                                         bool includeOffered) override;
    // Forgets every cached answer: the stored campaigns changed.
    void invalidate() override;
    ZarnPNearestCacheHolder& nearestCacheHolder() { return nearestCacheHolder_; }
    // When the nearest rows are read through the index: where it wins (the default), whenever
    // it is whole (tests of its answers), or never (the reference the others are compared with).
    enum class IndexUse { WhereItWins, WheneverWhole, Never };
    void setIndexUse(IndexUse use) { indexUse_ = use; }

    // The nearest statement of a kind with `includeIdCount` included ids bound as ":inc_cN" and
    // ":inc_rN" (campaign and region), its other parameters ":lat", ":long", ":includeOffered",
    // ":timestamp" and ":limit". `openingHoursColumn` is today's column ("opening_hours_mon").
    // `withinArea` keeps only the notifications whose indexed box meets a box around the device
    // (":area_south", ":area_north", ":area_west", ":area_east", of kind ":area_kind").
    static std::string nearestQuery(int regionType, std::string_view openingHoursColumn,
                                    size_t includeIdCount, bool withinArea = false);
    // The part of that statement that reads the included ids, on its own.
    static std::string includedQuery(std::string_view openingHoursColumn, size_t includeIdCount);
    // Today's opening-hours column for a calendar weekday (1 Sunday to 7 Saturday).
    static std::string_view openingHoursColumnForWeekday(int weekday);
    // Whether the packed hours of today (open hour, open minute, close hour, close minute from
    // the lowest byte) hold the local time; a row without hours on any day always passes.
    static bool isWithinOpeningHours(const std::optional<int64_t>& openingHours, bool isOpeningHoursSet,
                                     int hour, int minute);

  private:
    // One read of the store, filtered and assembled; the cache is neither read nor written.
    std::vector<ZarnPNotification> readNearest(const ZarnPLocationWithAccuracy& location, int count,
                                               bool includeOffered, int regionType,
                                               const std::vector<std::string>& includeIds);

    std::shared_ptr<ZarnPSegmentationDao> segmentationDao_;
    std::shared_ptr<ZarnPSegmentationPropertyValidator> segmentationPropertyValidator_;
    ZarnPNearestCacheHolder nearestCacheHolder_;
    ZarnPSqLiteNotificationAreaDao::Trust indexTrust_;
    ZarnPSqLiteNotificationAreaDao::Census indexCensus_;
    IndexUse indexUse_ = IndexUse::WhereItWins;
};

}  // namespace zarn
