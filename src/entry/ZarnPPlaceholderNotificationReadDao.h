#pragma once
#include "store/ZarnPNotificationReadDao.h"

namespace zarn {

// PLACEHOLDER for the nearest-notification read store, until it is wired into the module: it
// finds nothing and caches nothing. SDK thread only.
class ZarnPPlaceholderNotificationReadDao final : public ZarnPNotificationReadDao {
  public:
    ZarnPPlaceholderNotificationReadDao() = default;

    std::vector<ZarnPNotification> findNearestGeofenceNotifications(
        const ZarnPLocationWithAccuracy&, bool, const std::vector<std::string>&) override {
        return {};
    }
    std::vector<ZarnPNotification> findNearestBeaconNotifications(const ZarnPLocationWithAccuracy&, bool,
                                                                  const std::vector<std::string>&) override {
        return {};
    }
    std::vector<ZarnPNotification> findNearestExternalNotifications(
        const ZarnPLocationWithAccuracy&, bool, const std::vector<std::string>&) override {
        return {};
    }
    std::vector<ZarnPNotification> findByIds(const std::vector<std::string>&) override { return {}; }
    std::optional<Error> setOffered(const std::vector<ZarnPNotification>&, bool) override {
        return std::nullopt;
    }
    std::optional<ZarnPNotification> findNearestLocation(const ZarnPLocationWithAccuracy&, bool) override {
        return std::nullopt;
    }
    void invalidate() override {}
};

}  // namespace zarn
