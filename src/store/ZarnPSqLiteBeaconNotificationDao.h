#pragma once
#include <memory>

#include "store/ZarnPBeaconNotificationDao.h"
#include "store/ZarnPSqLiteBaseNotificationDao.h"

namespace zarn {

// The beacon notifications' state in the "beacon_" tables, which it creates and migrates: which
// beacon notifications the user is inside and under which beacon UUID (stored as the lower-case
// text with dashes), the match state of the base, and the beacon notification rows, which the
// service never fills. Identifiers and UUIDs are always bound, never part of the SQL text.
// Failures are answered, or logged in the domain "SqLiteBeaconNotificationDao", never raised.
// SDK thread only.
class ZarnPSqLiteBeaconNotificationDao final : public ZarnPSqLiteBaseNotificationDao,
                                               public ZarnPBeaconNotificationDao {
  public:
    // The cooldown store and the clock are required.
    ZarnPSqLiteBeaconNotificationDao(std::shared_ptr<ZarnPSqLiteDb> db,
                                     std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
                                     std::shared_ptr<ZarnPClockDao> clockDao);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override;

    // Empties the beacon notification rows and their list tables (not the state); every
    // statement runs, the last failure is answered. No transaction of its own.
    std::optional<Error> deleteAllNotifications();

    std::optional<Error> addNotifications(const std::vector<ZarnPBeaconNotification>& notifications) override;
    std::optional<Error> replaceNotifications(
        const std::vector<ZarnPBeaconNotification>& notifications) override;
    std::optional<Error> markNotificationOffered(const ZarnPBeaconNotification& notification,
                                                 bool value) override;
    std::optional<Error> deleteNotifications(
        const std::vector<ZarnPBeaconNotification>& notifications) override;

    bool markUserEntered(bool entered, const std::string& identifier, const Uuid& beaconUuid,
                         Error* error) override;
    std::set<std::string> getEnteredIdsForBeaconUuids(const std::vector<Uuid>& beaconUuids) override;
    std::set<std::string> getJustEnteredNotificationsForBeaconUuids(
        const std::vector<Uuid>& beaconUuids) override;
    void removeEnteredIds(const std::vector<std::string>& identifiers) override;
    void saveEntered(const std::map<std::string, platform::Beacon>& entered) override;
    std::optional<Error> clearNotifications() override;
    std::vector<ZarnPBeaconNotification> getAllWithError(Error* error) override;

    // The stored text forms, in the given order.
    static std::vector<std::string> uuidsToStrings(const std::vector<Uuid>& beaconUuids);

  private:
    std::optional<Error> deleteAll();
    // Inserts the row and its list rows; the first error, or nothing.
    std::optional<Error> save(const ZarnPBeaconNotification& notification);
    // The entered identifiers under the UUIDs, `extraCondition` (with `extra` bound last) added.
    std::set<std::string> enteredUnder(const std::vector<Uuid>& beaconUuids, const char* extraCondition,
                                       const std::optional<double>& extra);
};

}  // namespace zarn
