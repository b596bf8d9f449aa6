#pragma once
#include <optional>
#include <string>

#include "zarn/Value.h"

namespace zarn {

// PLACEHOLDER until the segmentation service is built: answers what a fresh installation
// holds (no advertising identifier, no flag, no segmentation values).
class ZarnPSegmentationService {
  public:
    virtual ~ZarnPSegmentationService() = default;
    virtual std::optional<std::string> getAdvertisingIdentifier() { return std::nullopt; }
    virtual std::optional<bool> isAdvertisingEnabled() { return std::nullopt; }
    virtual Value getSegmentationProperties() { return Value::object(); }
};

}  // namespace zarn
