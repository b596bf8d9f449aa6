#pragma once
#include "services/ZarnPMatchRunDispatching.h"

namespace zarn {

// PLACEHOLDER until the match-run dispatch is built: the facade and the module only hold it so far.
class ZarnPFenceMatchService : public ZarnPMatchRunDispatching {};

}  // namespace zarn
