#include "zarn/ZarnConfiguration.h"

#include "core/ZarnPZarnConfiguration.h"

namespace zarn {

std::shared_ptr<ZarnConfiguration> ZarnConfiguration::create() {
    return std::make_shared<ZarnPZarnConfiguration>();
}

}  // namespace zarn
