#pragma once
// The simulated device's location world: the true position, the fix model, significant
// changes, the app-wide region registry and the placed beacons, composed over one time source.
// It makes the location managers the library uses and fills the location facility of
// platform::Services. Everything runs on virtual time (timers of the main run loop). Safe from
// any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/BeaconField.h"
#include "sim/FixModel.h"
#include "sim/RegionRegistry.h"
#include "sim/SignificantChanges.h"
#include "sim/TruePosition.h"
#include "zarn/platform/LocationManager.h"

namespace zarn::platform {
struct Services;
}

namespace zarn::sim {

class SimLocationManager;

class LocationWorld final : public platform::LocationManagerFactory,
                            public std::enable_shared_from_this<LocationWorld> {
  public:
    static std::shared_ptr<LocationWorld> create(std::shared_ptr<platform::TimeSource> time);

    const std::shared_ptr<TruePosition>& position() const { return position_; }
    const std::shared_ptr<FixModel>& fixes() const { return fixes_; }
    const std::shared_ptr<SignificantChanges>& significantChanges() const { return significant_; }
    const std::shared_ptr<RegionRegistry>& regions() const { return regions_; }
    const std::shared_ptr<BeaconField>& beacons() const { return beacons_; }

    // platform::LocationManagerFactory
    std::shared_ptr<platform::LocationManager> createLocationManager() override;
    std::optional<bool> isRangingAvailable() override;
    bool regionsHaveNotifyOnExit() override;
    void setRangingAvailable(std::optional<bool> available);
    void setRegionsHaveNotifyOnExit(bool have);
    void setRespondsToAuthorizationRequests(bool responds);
    bool respondsToAuthorizationRequests();

    // The authorisation requests made, in order: "always" or "whenInUse".
    std::vector<std::string> authorizationRequests();
    void noteAuthorizationRequest(std::string kind);
    // Managers made so far.
    int managersCreated();

    // Calls `call` on the delegate of every live manager (each on its own loop).
    void broadcast(const std::function<void(platform::LocationManagerDelegate&)>& call);

    // Fills the location facility of `services`.
    void provide(platform::Services& services);

  private:
    explicit LocationWorld(std::shared_ptr<platform::TimeSource> time);

    std::shared_ptr<platform::TimeSource> time_;
    std::shared_ptr<TruePosition> position_;
    std::shared_ptr<FixModel> fixes_;
    std::shared_ptr<SignificantChanges> significant_;
    std::shared_ptr<BeaconField> beacons_;
    std::shared_ptr<RegionRegistry> regions_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<SimLocationManager>> managers_;
    int created_ = 0;
    std::optional<bool> rangingAvailable_ = true;
    bool notifyOnExit_ = true;
    bool respondsToAuthorization_ = true;
    std::vector<std::string> authorizationRequests_;
};

}  // namespace zarn::sim
