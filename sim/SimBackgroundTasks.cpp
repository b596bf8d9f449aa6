#include "sim/SimBackgroundTasks.h"

#include "sim/Support.h"

namespace zarn::sim {

SimBackgroundTasks::SimBackgroundTasks(std::shared_ptr<World> world) : world_(std::move(world)) {
    ZARN_SIM_REQUIRE(world_);
}

platform::BackgroundTaskIdentifier SimBackgroundTasks::beginBackgroundTask(
    std::function<void()> expirationHandler) {
    // Only tasks need the period, so the facility starts listening with its first task; it does so
    // before the task exists, so no warning or end after this point can miss it.
    std::call_once(observing_, [this] { world_->lifecycle().addObserver(weak_from_this()); });
    if (world_->lifecycle().backgroundTimeIsUp())
        return platform::kBackgroundTaskInvalid;
    platform::BackgroundTaskIdentifier id;
    {
        std::lock_guard lk(mutex_);
        if (refusesTasks_)
            return platform::kBackgroundTaskInvalid;
        id = nextTaskId_++;
        TaskRecord record;
        record.task.identifier = id;
        record.handler = std::move(expirationHandler);
        tasks_[id] = std::move(record);
        begun_.push_back(id);
    }
    // A task begun after the warning hears it at once, as the system would tell it. The warning
    // is marked before it is sent, so a task is either seen by that sending or sees the mark.
    if (world_->lifecycle().backgroundTimeEndingAnnounced())
        backgroundTimeEnding();
    return id;
}

void SimBackgroundTasks::endBackgroundTask(platform::BackgroundTaskIdentifier identifier) {
    std::lock_guard lk(mutex_);
    endCalls_.push_back(identifier);
    auto it = tasks_.find(identifier);
    if (it == tasks_.end() || it->second.task.ended) {
        ++invalidEnds_;
        return;
    }
    it->second.task.ended = true;
    it->second.handler = nullptr;
}

std::optional<platform::BackgroundRefreshStatus> SimBackgroundTasks::backgroundRefreshStatus() {
    std::lock_guard lk(mutex_);
    return refreshStatus_;
}

void SimBackgroundTasks::setBackgroundRefreshStatus(std::optional<platform::BackgroundRefreshStatus> status) {
    std::lock_guard lk(mutex_);
    refreshStatus_ = status;
}

void SimBackgroundTasks::setRefusesBackgroundTasks(bool refuses) {
    std::lock_guard lk(mutex_);
    refusesTasks_ = refuses;
}

void SimBackgroundTasks::backgroundTimeEnding() {
    std::vector<platform::BackgroundTaskIdentifier> due;
    {
        std::lock_guard lk(mutex_);
        for (auto& [id, record] : tasks_) {
            if (record.task.ended || record.task.expirationAnnounced)
                continue;
            record.task.expirationAnnounced = true;
            due.push_back(id);
        }
    }
    // The system calls each handler on the main thread, and never for a task already ended.
    std::weak_ptr<SimBackgroundTasks> weak = weak_from_this();
    for (auto id : due)
        world_->clock().post(weak, [id](SimBackgroundTasks& self) { self.runExpirationHandler(id); });
}

void SimBackgroundTasks::runExpirationHandler(platform::BackgroundTaskIdentifier identifier) {
    std::function<void()> handler;
    {
        std::lock_guard lk(mutex_);
        auto it = tasks_.find(identifier);
        if (it == tasks_.end() || it->second.task.ended)
            return;
        handler = it->second.handler;
        if (handler)
            ++expirationRuns_;
    }
    if (handler)
        handler();
}

void SimBackgroundTasks::backgroundTimeUp() {
    std::lock_guard lk(mutex_);
    for (auto& [id, record] : tasks_)
        if (!record.task.ended)
            record.task.overdue = true;
}

std::vector<platform::BackgroundTaskIdentifier> SimBackgroundTasks::begunBackgroundTasks() {
    std::lock_guard lk(mutex_);
    return begun_;
}

std::vector<platform::BackgroundTaskIdentifier> SimBackgroundTasks::endBackgroundTaskCalls() {
    std::lock_guard lk(mutex_);
    return endCalls_;
}

std::vector<platform::BackgroundTaskIdentifier> SimBackgroundTasks::runningBackgroundTasks() {
    std::lock_guard lk(mutex_);
    std::vector<platform::BackgroundTaskIdentifier> out;
    for (auto& [id, record] : tasks_)
        if (!record.task.ended)
            out.push_back(id);
    return out;
}

std::vector<platform::BackgroundTaskIdentifier> SimBackgroundTasks::overdueBackgroundTasks() {
    std::lock_guard lk(mutex_);
    std::vector<platform::BackgroundTaskIdentifier> out;
    for (auto& [id, record] : tasks_)
        if (record.task.overdue)
            out.push_back(id);
    return out;
}

int SimBackgroundTasks::expirationHandlerRuns() {
    std::lock_guard lk(mutex_);
    return expirationRuns_;
}

int SimBackgroundTasks::invalidEndBackgroundTaskCalls() {
    std::lock_guard lk(mutex_);
    return invalidEnds_;
}

std::optional<SimBackgroundTask> SimBackgroundTasks::backgroundTask(
    platform::BackgroundTaskIdentifier identifier) {
    std::lock_guard lk(mutex_);
    auto it = tasks_.find(identifier);
    if (it == tasks_.end())
        return std::nullopt;
    return it->second.task;
}

}  // namespace zarn::sim
