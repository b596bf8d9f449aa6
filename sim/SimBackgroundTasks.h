#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/AppLifecycle.h"
#include "sim/World.h"
#include "zarn/platform/BackgroundTasks.h"

namespace zarn::sim {

// One background task as the simulated system sees it.
struct SimBackgroundTask {
    platform::BackgroundTaskIdentifier identifier = platform::kBackgroundTaskInvalid;
    bool ended = false;
    bool expirationAnnounced = false;
    // Set when background time ran out while the task was still running: a real system would
    // have ended the process.
    bool overdue = false;
};

// Background tasks over the world's background period. When the period warns, the expiration
// handler of each running task is queued on the main run loop (once per task, and not run for a
// task ended by then); a task begun after the warning hears it at once; tasks still running when
// the time is up are marked overdue. No task is granted once the time is up. Identifiers count up
// from 1. It records what the library did, for tests. Any thread.
class SimBackgroundTasks : public platform::BackgroundTasks,
                           public AppLifecycle::Observer,
                           public std::enable_shared_from_this<SimBackgroundTasks> {
  public:
    explicit SimBackgroundTasks(std::shared_ptr<World> world);

    platform::BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler) override;
    void endBackgroundTask(platform::BackgroundTaskIdentifier identifier) override;
    std::optional<platform::BackgroundRefreshStatus> backgroundRefreshStatus() override;

    // Nothing: a system without the setting.
    void setBackgroundRefreshStatus(std::optional<platform::BackgroundRefreshStatus> status);
    // While set, beginBackgroundTask grants nothing.
    void setRefusesBackgroundTasks(bool refuses);

    // What the library did with background tasks.
    std::vector<platform::BackgroundTaskIdentifier> begunBackgroundTasks();
    // Every end call, in order, including repeated or unknown ones.
    std::vector<platform::BackgroundTaskIdentifier> endBackgroundTaskCalls();
    std::vector<platform::BackgroundTaskIdentifier> runningBackgroundTasks();
    std::vector<platform::BackgroundTaskIdentifier> overdueBackgroundTasks();
    // End calls for identifiers that were unknown or already ended.
    int invalidEndBackgroundTaskCalls();
    // How often the system ran a task's expiration handler (the task was still running when
    // background time was about to run out).
    int expirationHandlerRuns();
    std::optional<SimBackgroundTask> backgroundTask(platform::BackgroundTaskIdentifier identifier);

    // AppLifecycle::Observer
    void backgroundTimeEnding() override;
    void backgroundTimeUp() override;

  private:
    struct TaskRecord {
        SimBackgroundTask task;
        std::function<void()> handler;
    };

    void runExpirationHandler(platform::BackgroundTaskIdentifier identifier);

    const std::shared_ptr<World> world_;
    std::once_flag observing_;
    std::mutex mutex_;
    platform::BackgroundTaskIdentifier nextTaskId_ = 1;
    std::map<platform::BackgroundTaskIdentifier, TaskRecord> tasks_;
    std::vector<platform::BackgroundTaskIdentifier> begun_;
    std::vector<platform::BackgroundTaskIdentifier> endCalls_;
    int invalidEnds_ = 0;
    int expirationRuns_ = 0;
    bool refusesTasks_ = false;
    std::optional<platform::BackgroundRefreshStatus> refreshStatus_ =
        platform::BackgroundRefreshStatus::Available;
};

}  // namespace zarn::sim
