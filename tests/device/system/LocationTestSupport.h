#pragma once
// Stand-ins shared by the tests of the location wrappers: contexts that record their type, and
// delegates that record what the wrappers handed over, with the virtual time of each call.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPContext.h"
#include "core/ZarnPContextStarting.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPFenceDaoDelegate.h"
#include "zarn/platform/TimeSource.h"

namespace zarn::test {

class RecordingContexts final : public ZarnPContextStarting {
  public:
    std::shared_ptr<ZarnPContext> startContext(unsigned triggerContext) override {
        auto c = std::make_shared<ZarnPContext>(triggerContext, std::nullopt, Date{});
        started.push_back(c);
        return c;
    }
    std::vector<std::shared_ptr<ZarnPContext>> started;
};

class RecordingFenceDelegate final : public ZarnPFenceDaoDelegate {
  public:
    struct Call {
        std::string what;  // "enter", "exit", "beaconExit", "ranged"
        std::string identifier;
        std::vector<platform::Beacon> beacons;
        std::shared_ptr<ZarnPBackgroundTask> task;
        std::shared_ptr<ZarnPContext> context;
        double at = 0;
    };
    explicit RecordingFenceDelegate(std::shared_ptr<platform::TimeSource> time) : time_(std::move(time)) {}

    void fenceDaoDidEnterGeofence(const std::string& identifier) override { add(call("enter", identifier)); }
    void fenceDaoDidExitGeofence(const std::string& identifier) override { add(call("exit", identifier)); }
    void fenceDaoDidExitBeaconRegion(const Uuid& uuid,
                                     const std::shared_ptr<ZarnPContext>& context) override {
        auto c = call("beaconExit", uuid.uuidString());
        c.context = context;
        add(std::move(c));
    }
    void fenceDaoFinishRangingBeacons(const std::vector<platform::Beacon>& beacons, const Uuid& uuid,
                                      const std::shared_ptr<ZarnPBackgroundTask>& task,
                                      const std::shared_ptr<ZarnPContext>& context) override {
        // The dispatch keeps the task only for its match run: drop it, as a finished run would.
        auto c = call("ranged", uuid.uuidString());
        c.beacons = beacons;
        c.context = context;
        add(std::move(c));
        taskIds.push_back(task ? task->identifier() : 0);
    }
    void fenceDaoFinishRanging(const std::shared_ptr<ZarnPBackgroundTask>&,
                               const std::shared_ptr<ZarnPContext>&) override {
        add(call("finishRanging", ""));
    }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (auto& c : calls) out.push_back(c.what + ":" + c.identifier);
        return out;
    }

    std::vector<Call> calls;
    std::vector<platform::BackgroundTaskIdentifier> taskIds;

  private:
    static Call call(std::string what, std::string identifier) {
        Call c;
        c.what = std::move(what);
        c.identifier = std::move(identifier);
        return c;
    }
    void add(Call c) {
        c.at = timeIntervalSince1970(time_->now());
        calls.push_back(std::move(c));
    }
    std::shared_ptr<platform::TimeSource> time_;
};

}  // namespace zarn::test
