#pragma once
// The simulated significant-change service: while a manager monitors, a fix of the true
// position after each move of at least the threshold (default 500 m) from the last one it was
// given, or at once on demand. Safe from any thread.
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "sim/FixModel.h"
#include "zarn/platform/LocationFix.h"

namespace zarn::sim {

class SimLocationManager;

class SignificantChanges {
  public:
    explicit SignificantChanges(std::shared_ptr<FixModel> fixes);
    SignificantChanges(const SignificantChanges&) = delete;
    SignificantChanges& operator=(const SignificantChanges&) = delete;

    void setThreshold(double metres);
    // The horizontal accuracy of the fixes this service gives (default 150 m).
    void setAccuracy(double metres);
    // A fix now for every monitoring manager (none without a true position).
    void trigger();
    // How many fixes were handed out.
    int deliveries();
    bool isMonitoring();

    // Called by the managers and the world.
    void start(const std::shared_ptr<SimLocationManager>& manager,
               std::optional<platform::LocationCoordinate2D> position);
    void stop(const SimLocationManager* manager);
    void positionChanged(const std::optional<platform::LocationCoordinate2D>& position);

  private:
    struct Session {
        std::weak_ptr<SimLocationManager> manager;
        std::optional<platform::LocationCoordinate2D> reference;
    };
    void deliverTo(const std::shared_ptr<SimLocationManager>& manager);

    std::shared_ptr<FixModel> fixes_;
    std::mutex mutex_;
    double threshold_ = 500;
    double accuracy_ = 150;
    int deliveries_ = 0;
    std::map<const SimLocationManager*, Session> sessions_;
};

}  // namespace zarn::sim
