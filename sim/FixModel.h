#pragma once
// How the simulated device turns its true position into the fixes of standard location
// updates: a first fix after a latency, then a batch every interval while updates run, with
// the accuracy of each fix taken from a sequence (the last value repeats). Fixes can be held
// back, aged, replaced by scripted ones (invalid or old) or replaced by an error. Safe from any
// thread; batches are timers of the main run loop.
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/TruePosition.h"
#include "zarn/Error.h"
#include "zarn/platform/LocationFix.h"

namespace zarn::sim {

class SimLocationManager;

class FixModel : public std::enable_shared_from_this<FixModel> {
  public:
    FixModel(std::shared_ptr<platform::TimeSource> time, std::shared_ptr<TruePosition> position);
    ~FixModel();
    FixModel(const FixModel&) = delete;
    FixModel& operator=(const FixModel&) = delete;

    // Seconds from the start of updates to the first batch (default 1.0).
    void setFirstFixLatency(double seconds);
    // Seconds between batches (default 1.0).
    void setInterval(double seconds);
    // The horizontal accuracy of the first, second, ... fix of a run of updates (default 65 m
    // then 10 m); the last value repeats.
    void setAccuracies(std::vector<double> metres);
    // While set, no batch is delivered ("no fix").
    void setNoFix(bool noFix);
    // Fixes carry a timestamp this many seconds in the past (default 0).
    void setFixAge(double seconds);
    // The next batches deliver these fixes as they are, one batch each, before the model's own.
    void queueFix(platform::LocationFix fix);
    // The next batch is this error instead of a fix.
    void failNext(Error error);

    // A fix of the true position now with the given accuracy (none without a position).
    std::optional<platform::LocationFix> fixNow(double accuracy);

    // Called by the managers.
    void start(const std::shared_ptr<SimLocationManager>& manager);
    void stop(const SimLocationManager* manager);

    // What the library asked for.
    int startCount();
    int stopCount();
    bool isRunning();

  private:
    struct Session {
        std::weak_ptr<SimLocationManager> manager;
        std::shared_ptr<platform::Timer> timer;
        size_t delivered = 0;
    };
    void batch(const SimLocationManager* key);

    std::shared_ptr<platform::TimeSource> time_;
    std::shared_ptr<TruePosition> position_;
    std::mutex mutex_;
    double latency_ = 1.0;
    double interval_ = 1.0;
    std::vector<double> accuracies_{65.0, 10.0};
    bool noFix_ = false;
    double age_ = 0;
    std::deque<platform::LocationFix> queued_;
    std::optional<Error> failNext_;
    std::map<const SimLocationManager*, Session> sessions_;
    int starts_ = 0;
    int stops_ = 0;
};

}  // namespace zarn::sim
