#pragma once
#include <memory>

#include "entry/ZarnPPublicFacade.h"

namespace zarn {

// Builds the library for the first initialisation: the HTTP request creator, the
// location-manager creator and the module with the configuration.
std::shared_ptr<ZarnPEntryModule> buildDefaultModule(std::shared_ptr<ZarnPZarnConfiguration> configuration);

}  // namespace zarn
