#pragma once
#include <memory>

namespace zarn {

class ZarnPExternalRegionRequest;

// The external-region entry as the facade holds it. SDK thread only.
class ZarnPExternalRegionTriggering {
  public:
    virtual ~ZarnPExternalRegionTriggering() = default;
    // Matches a region the app reported against the nearby external notifications.
    virtual void regionTrigger(const std::shared_ptr<ZarnPExternalRegionRequest>& request) = 0;
};

}  // namespace zarn
