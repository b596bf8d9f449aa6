#include "sim/World.h"

namespace zarn::sim {

World::World(std::shared_ptr<platform::TimeSource> time)
    : clock_(std::make_shared<Clock>(std::move(time))), lifecycle_(std::make_shared<AppLifecycle>(clock_)) {}

}  // namespace zarn::sim
