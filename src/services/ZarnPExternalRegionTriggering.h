#pragma once

namespace zarn {

// The external-region entry as the facade holds it. It declares the operations its callers use as they
// arrive; SDK thread only.
class ZarnPExternalRegionTriggering {
  public:
    virtual ~ZarnPExternalRegionTriggering() = default;
};

}  // namespace zarn
