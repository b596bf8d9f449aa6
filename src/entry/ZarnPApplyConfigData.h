#pragma once
#include <memory>

#include "core/ZarnPZarnConfiguration.h"

namespace zarn {

// One configuration on its way through the loading and application steps.
struct ZarnPApplyConfigData {
    std::shared_ptr<ZarnPZarnConfiguration> configuration;
    bool isInit = false;  // the application made while the facade is being built
};

}  // namespace zarn
