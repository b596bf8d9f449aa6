#pragma once
// A location manager of the simulated location world. It forwards every request to the
// world's parts and carries their answers to its delegate on the run loop that created it.
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "zarn/platform/LocationManager.h"
#include "zarn/platform/RunLoop.h"

namespace zarn::sim {

class LocationWorld;

class SimLocationManager final : public platform::LocationManager,
                                 public std::enable_shared_from_this<SimLocationManager> {
  public:
    using Call = std::function<void(platform::LocationManagerDelegate&)>;

    SimLocationManager(std::weak_ptr<LocationWorld> world, std::shared_ptr<platform::RunLoop> deliveryLoop);
    ~SimLocationManager() override;

    void setDelegate(std::weak_ptr<platform::LocationManagerDelegate> delegate) override;
    void setDistanceFilter(double metres) override;
    double distanceFilter() override;
    void setDesiredAccuracy(double metres) override;
    double desiredAccuracy() override;
    void setPausesLocationUpdatesAutomatically(bool pauses) override;
    bool pausesLocationUpdatesAutomatically() override;
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override;
    void startMonitoringSignificantLocationChanges() override;
    void stopMonitoringSignificantLocationChanges() override;
    bool respondsToAuthorizationRequests() override;
    void requestAlwaysAuthorization() override;
    void requestWhenInUseAuthorization() override;
    void startMonitoringForRegion(const platform::Region& region) override;
    void stopMonitoringForRegion(const platform::Region& region) override;
    std::vector<platform::Region> monitoredRegions() override;
    void requestStateForRegion(const platform::Region& region) override;
    double maximumRegionMonitoringDistance() override;
    void startRangingBeaconsInRegion(const platform::Region& region) override;
    void stopRangingBeaconsInRegion(const platform::Region& region) override;
    std::vector<platform::Region> rangedRegions() override;

    // Queues `call` for the delegate on the delivery loop; dropped when the manager or its
    // delegate is gone by then.
    void deliver(Call call);

    bool isUpdatingLocation();
    bool isMonitoringSignificantChanges();

  private:
    std::weak_ptr<LocationWorld> world_;
    std::shared_ptr<platform::RunLoop> loop_;
    std::mutex mutex_;
    std::weak_ptr<platform::LocationManagerDelegate> delegate_;
    double distanceFilter_ = 0;  // the platform's "none"
    double desiredAccuracy_ = 100;
    bool pauses_ = true;
    bool updating_ = false;
    bool significant_ = false;
    std::vector<platform::Region> ranged_;
};

}  // namespace zarn::sim
