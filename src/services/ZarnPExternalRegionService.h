#pragma once
#include "services/ZarnPExternalRegionTriggering.h"

namespace zarn {

// PLACEHOLDER until the external-region entry is built: the facade and the module only hold it so far.
class ZarnPExternalRegionService : public ZarnPExternalRegionTriggering {};

}  // namespace zarn
