#pragma once
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPMatchStateDao.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPSqLiteCooldownDao;

// The match state of one region kind, kept in the tables whose names begin with the kind's
// prefix ("" geofences, "beacon_" beacons, "external_" external regions) and written once here
// for every kind; the segmentation history and the cooldown store are shared by all kinds. The
// subclasses create and migrate the tables. Dates the store takes itself come from the clock.
//
// Nothing here raises or logs a failure: writes answer the error, failed reads answer empty. The
// multi-statement writes join a transaction the caller already has open rather than nest one.
// SDK thread only; subclasses check their own public methods with the same sequence_.
class ZarnPSqLiteBaseNotificationDao : public ZarnPSqLiteDao, public virtual ZarnPMatchStateDao {
  public:
    // The cooldown store and the clock are required.
    ZarnPSqLiteBaseNotificationDao(std::shared_ptr<ZarnPSqLiteDb> db, std::string tablePrefix,
                                   std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
                                   std::shared_ptr<ZarnPClockDao> clockDao,
                                   Registration registration = Registration::Register);
    ~ZarnPSqLiteBaseNotificationDao() override;

    // The kind's tables that every kind reads and writes here.
    std::vector<TableShape> tableShapes() const override;

    std::optional<Error> markUserHasToLeaveFirst(const std::string& identifier) override;
    std::optional<Error> replaceUserHasToLeaveFirstSet(const std::set<std::string>& identifiers) override;
    std::set<std::string> getUserHasToLeaveNotifications() override;

    // One INSERT OR REPLACE: the old period is never lost without the new one taking its place.
    std::optional<Error> markUserStartedDwelling(const std::string& identifier,
                                                 const std::string& matchIdentifier, Date endDate) override;
    std::optional<Error> removeUserDwelling(const std::string& identifier) override;
    std::vector<ZarnPLocalNotificationDaoExpiredNotification> expiredDwellingNotifications(
        Date date) override;
    std::set<std::string> dwellingNotifications() override;
    bool isUserDwellingIn(const std::string& identifier) override;

    std::optional<Error> updateCooldownLastMatch(
        const std::string& notificationIdentifier,
        const std::vector<ZarnPCooldownGroup>& cooldownGroups) override;
    std::optional<Date> lastCooldownGroupMatch(const std::string& cooldownGroup) override;

    std::optional<Error> saveNotificationTrigger(const std::string& identifier) override;
    std::vector<std::string> getSegmentationIds(const std::string& identifier) override;

    const std::string& tablePrefix() const { return tablePrefix_; }

  protected:
    // The prefixed name of a per-kind table: table("notifications_user_dwelling").
    std::string table(std::string_view name) const;
    const std::shared_ptr<ZarnPSqLiteCooldownDao>& cooldownDao() const { return cooldownDao_; }
    const std::shared_ptr<ZarnPClockDao>& clockDao() const { return clockDao_; }
    // The identifiers of the first column of a query's rows; empty when the query fails.
    std::set<std::string> identifierSet(std::string_view sql, const ZarnPSqlParameters& parameters = {});

    ZarnPSequenceChecker sequence_;

  private:
    std::string tablePrefix_;
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
};

}  // namespace zarn
