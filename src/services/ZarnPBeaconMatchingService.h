#pragma once
#include "services/ZarnPBeaconMatching.h"

namespace zarn {

// PLACEHOLDER until beacon matching is built: the facade and the module only hold it so far.
class ZarnPBeaconMatchingService : public ZarnPBeaconMatching {};

}  // namespace zarn
