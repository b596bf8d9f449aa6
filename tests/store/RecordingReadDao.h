#pragma once
// A nearest-notification read store that answers lists a test sets and records what it was
// asked, for the stores that read through it.
#include <string>
#include <vector>

#include "store/ZarnPNotificationReadDao.h"

namespace zarn::test {

class RecordingReadDao final : public ZarnPNotificationReadDao {
  public:
    struct Question {
        std::string kind;
        double latitude, longitude, accuracy;
        bool includeOffered;
        std::vector<std::string> includeIds;
    };

    std::vector<ZarnPNotification> findNearestGeofenceNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& ids) override {
        return answer("geofence", geofences, location, includeOffered, ids);
    }
    std::vector<ZarnPNotification> findNearestBeaconNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& ids) override {
        return answer("beacon", beacons, location, includeOffered, ids);
    }
    std::vector<ZarnPNotification> findNearestExternalNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& ids) override {
        return answer("external", external, location, includeOffered, ids);
    }
    std::vector<ZarnPNotification> findByIds(const std::vector<std::string>&) override { return {}; }
    std::optional<Error> setOffered(const std::vector<ZarnPNotification>&, bool) override {
        return std::nullopt;
    }
    std::optional<ZarnPNotification> findNearestLocation(const ZarnPLocationWithAccuracy&, bool) override {
        return std::nullopt;
    }
    void invalidate() override { ++invalidations; }

    std::vector<ZarnPNotification> geofences, beacons, external;
    std::vector<Question> questions;
    int invalidations = 0;

  private:
    std::vector<ZarnPNotification> answer(const std::string& kind, const std::vector<ZarnPNotification>& list,
                                          const ZarnPLocationWithAccuracy& location, bool includeOffered,
                                          const std::vector<std::string>& ids) {
        questions.push_back(
            {kind, location.latitude(), location.longitude(), location.accuracy(), includeOffered, ids});
        return list;
    }
};

}  // namespace zarn::test
