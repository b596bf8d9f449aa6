#include "entry/ZarnPTestZarnHandleGeotriggers.h"

namespace zarn {

ZarnPTestZarnHandleGeotriggers::ZarnPTestZarnHandleGeotriggers(
    std::vector<std::shared_ptr<ZarnGeotrigger>> geotriggers, std::chrono::milliseconds timeout)
    : timeout_(timeout) {
    geotriggers_ = std::move(geotriggers);
}

void ZarnPTestZarnHandleGeotriggers::markGeotriggersHandled(
    const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) {
    {
        std::lock_guard lk(mutex_);
        if (!result_)
            result_ = geotriggers;
    }
    answered_.notify_all();
}

std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> ZarnPTestZarnHandleGeotriggers::result() {
    std::unique_lock lk(mutex_);
    answered_.wait_for(lk, timeout_, [&] { return result_.has_value(); });
    return result_;
}

}  // namespace zarn
