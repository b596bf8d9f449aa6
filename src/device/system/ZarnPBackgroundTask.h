#pragma once
#include <memory>

#include "zarn/platform/BackgroundTasks.h"

namespace zarn {

class ZarnPBackgroundTaskDao;

// The handle of one background task, passed along a run by shared_ptr. Releasing the last
// reference ends the task through the DAO that began it (held strongly).
class ZarnPBackgroundTask {
  public:
    ZarnPBackgroundTask(platform::BackgroundTaskIdentifier identifier,
                        std::shared_ptr<ZarnPBackgroundTaskDao> taskDao);
    ~ZarnPBackgroundTask();
    ZarnPBackgroundTask(const ZarnPBackgroundTask&) = delete;
    ZarnPBackgroundTask& operator=(const ZarnPBackgroundTask&) = delete;

    platform::BackgroundTaskIdentifier identifier() const { return identifier_; }
    const std::shared_ptr<ZarnPBackgroundTaskDao>& taskDao() const { return taskDao_; }

  private:
    const platform::BackgroundTaskIdentifier identifier_;
    const std::shared_ptr<ZarnPBackgroundTaskDao> taskDao_;
};

}  // namespace zarn
