#include "device/system/ZarnPBackgroundTask.h"

#include "device/system/ZarnPBackgroundTaskDao.h"

namespace zarn {

ZarnPBackgroundTask::ZarnPBackgroundTask(platform::BackgroundTaskIdentifier identifier,
                                         std::shared_ptr<ZarnPBackgroundTaskDao> taskDao)
    : identifier_(identifier), taskDao_(std::move(taskDao)) {}

ZarnPBackgroundTask::~ZarnPBackgroundTask() {
    if (!taskDao_)
        return;
    try {
        taskDao_->endBackgroundTask(identifier_);
    } catch (...) {
        // A destructor must not throw; the task then ends with the process's background time.
    }
}

}  // namespace zarn
