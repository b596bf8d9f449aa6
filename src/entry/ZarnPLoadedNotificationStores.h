#pragma once
// The local and beacon notification stores as the notification service reads, empties and
// clears them. SDK thread only, like the stores.
#include <memory>
#include <vector>

#include "core/ZarnPBeaconNotification.h"
#include "core/ZarnPNotification.h"
#include "services/ZarnPLoadedNotificationStore.h"
#include "store/ZarnPBeaconNotificationDao.h"
#include "store/ZarnPLocalNotificationDao.h"

namespace zarn {

class ZarnPLoadedLocalNotifications final : public ZarnPLoadedNotificationStore {
  public:
    explicit ZarnPLoadedLocalNotifications(std::shared_ptr<ZarnPLocalNotificationDao> dao)
        : dao_(std::move(dao)) {}
    std::optional<Error> replaceNotificationsWithNone() override { return dao_->replaceNotifications({}); }
    std::optional<Error> clearNotifications() override { return dao_->clearNotifications(); }
    std::vector<std::shared_ptr<ZarnPNotification>> getAllNear(const ZarnPLocationWithAccuracy& location,
                                                               Error* error) override {
        std::vector<std::shared_ptr<ZarnPNotification>> out;
        for (auto& n : dao_->getAllWithError(error, location))
            out.push_back(std::make_shared<ZarnPNotification>(n));
        return out;
    }
    std::vector<std::shared_ptr<ZarnPBeaconNotification>> getAllBeaconNotifications(Error*) override {
        return {};
    }

  private:
    std::shared_ptr<ZarnPLocalNotificationDao> dao_;
};

class ZarnPLoadedBeaconNotifications final : public ZarnPLoadedNotificationStore {
  public:
    explicit ZarnPLoadedBeaconNotifications(std::shared_ptr<ZarnPBeaconNotificationDao> dao)
        : dao_(std::move(dao)) {}
    std::optional<Error> replaceNotificationsWithNone() override { return dao_->replaceNotifications({}); }
    std::optional<Error> clearNotifications() override { return dao_->clearNotifications(); }
    std::vector<std::shared_ptr<ZarnPNotification>> getAllNear(const ZarnPLocationWithAccuracy&,
                                                               Error*) override {
        return {};
    }
    std::vector<std::shared_ptr<ZarnPBeaconNotification>> getAllBeaconNotifications(Error* error) override {
        std::vector<std::shared_ptr<ZarnPBeaconNotification>> out;
        for (auto& n : dao_->getAllWithError(error))
            out.push_back(std::make_shared<ZarnPBeaconNotification>(n));
        return out;
    }

  private:
    std::shared_ptr<ZarnPBeaconNotificationDao> dao_;
};

}  // namespace zarn
