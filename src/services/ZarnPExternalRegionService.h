#pragma once
#include "services/ZarnPExternalRegionTriggering.h"

namespace zarn {

// PLACEHOLDER until the external-region entry is built: a report matches nothing.
class ZarnPExternalRegionService : public ZarnPExternalRegionTriggering {
  public:
    void regionTrigger(const std::shared_ptr<ZarnPExternalRegionRequest>&) override {}
};

}  // namespace zarn
