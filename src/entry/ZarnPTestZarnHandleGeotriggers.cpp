#include "entry/ZarnPTestZarnHandleGeotriggers.h"

namespace zarn {

ZarnPTestZarnHandleGeotriggers::ZarnPTestZarnHandleGeotriggers(
    std::vector<std::shared_ptr<ZarnGeotrigger>> geotriggers, std::chrono::milliseconds timeout)
    : timeout_(timeout) {
    geotriggers_ = std::move(geotriggers);
}

void ZarnPTestZarnHandleGeotriggers::markGeotriggersHandled(
    const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) {
    result_.give([&] { return geotriggers; });
}

std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> ZarnPTestZarnHandleGeotriggers::result() {
    return result_.waitFor(timeout_);
}

}  // namespace zarn
