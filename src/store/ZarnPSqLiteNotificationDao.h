#pragma once
#include <memory>

#include "store/ZarnPLocalNotificationDao.h"
#include "store/ZarnPSqLiteBaseNotificationDao.h"

namespace zarn {

class ZarnPNotificationReadDao;

// The geofence notifications' state in the unprefixed tables, which it creates and migrates,
// with the entered set, the nearest notifications of every kind (through the read store) and the
// clearing of the service's data. Identifiers are always bound, never part of the SQL text.
// Failures are answered or logged in the domain "SqLiteNotificationDao", never raised. SDK thread
// only.
class ZarnPSqLiteNotificationDao final : public ZarnPSqLiteBaseNotificationDao,
                                         public ZarnPLocalNotificationDao {
  public:
    // The cooldown store, the clock and the read store are required.
    ZarnPSqLiteNotificationDao(std::shared_ptr<ZarnPSqLiteDb> db,
                               std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
                               std::shared_ptr<ZarnPClockDao> clockDao,
                               std::shared_ptr<ZarnPNotificationReadDao> notificationReadDao);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override;

    std::optional<Error> addNotifications(const std::vector<ZarnPNotification>& notifications) override;
    std::optional<Error> replaceNotifications(const std::vector<ZarnPNotification>& notifications) override;
    std::optional<Error> markNotificationOffered(const ZarnPNotification& notification, bool value) override;
    std::optional<Error> deleteNotifications(const std::vector<ZarnPNotification>& notifications) override;
    std::optional<std::vector<ZarnPNotification>> getAllNotificationsActiveOn(Date startDate, Date endDate,
                                                                              bool withoutOffered,
                                                                              Error* error) override;

    bool markUserEntered(bool entered, const std::string& identifier, Error* error) override;
    std::set<std::string> getUserEntered() override;
    std::vector<std::string> getAndPurgeUserEntered(const std::vector<std::string>& keep) override;

    std::vector<ZarnPNotification> getAllWithError(Error* error,
                                                   const ZarnPLocationWithAccuracy& location) override;
    // Also forgets the read store's cached answers, so that no match run offers a cleared
    // campaign.
    std::optional<Error> clearNotifications() override;

  private:
    std::shared_ptr<ZarnPNotificationReadDao> notificationReadDao_;
};

}  // namespace zarn
