#pragma once
#include <memory>

#include "zarn/platform/BackgroundTasks.h"

namespace zarn {

class ZarnPBackgroundTask;

// Begins and ends the platform's background tasks, which keep the process running in the
// background until a run is done.
class ZarnPBackgroundTaskDao {
  public:
    virtual ~ZarnPBackgroundTaskDao() = default;
    // A new task; its handle ends it when the last reference goes.
    virtual std::shared_ptr<ZarnPBackgroundTask> startBackgroundTask() = 0;
    // Ends the task; ending one that is already ended does nothing.
    virtual void endBackgroundTask(platform::BackgroundTaskIdentifier identifier) = 0;
};

}  // namespace zarn
