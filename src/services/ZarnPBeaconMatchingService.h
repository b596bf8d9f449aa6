#pragma once
#include "services/ZarnPBeaconMatching.h"

namespace zarn {

// PLACEHOLDER until beacon matching is built: a match run matches nothing.
class ZarnPBeaconMatchingService : public ZarnPBeaconMatching {
  public:
    void checkForSentDwellingBeacons(const std::shared_ptr<ZarnPContext>&) override {}
    void checkForBeaconMatches(const std::vector<platform::Beacon>&, bool,
                               const std::shared_ptr<ZarnPBackgroundTask>&,
                               const std::shared_ptr<ZarnPContext>&,
                               const std::shared_ptr<ZarnPLocationWithAccuracy>&) override {}
    void checkForBeaconExited(const std::set<Uuid>&, const std::shared_ptr<ZarnPLocationWithAccuracy>&,
                              const std::shared_ptr<ZarnPContext>&,
                              const std::shared_ptr<ZarnPBackgroundTask>&) override {}
};

}  // namespace zarn
