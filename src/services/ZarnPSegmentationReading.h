#pragma once
#include <optional>
#include <string>

#include "zarn/Value.h"

namespace zarn {

// The segmentation service as the event service reads it for an upload. SDK thread only.
class ZarnPSegmentationReading {
  public:
    virtual ~ZarnPSegmentationReading() = default;
    // Nothing until the app has set one.
    virtual std::optional<std::string> getAdvertisingIdentifier() = 0;
    virtual std::optional<bool> isAdvertisingEnabled() = 0;
    // The set segmentation values as a dictionary (empty when none is set).
    virtual Value getSegmentationProperties() = 0;
};

}  // namespace zarn
