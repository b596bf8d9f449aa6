#pragma once
#include <optional>
#include <string>

#include "services/ZarnPSegmentationReading.h"

namespace zarn {

// PLACEHOLDER until the segmentation service is built: answers what a fresh installation
// holds (no advertising identifier, no flag, no segmentation values).
class ZarnPSegmentationService : public ZarnPSegmentationReading {
  public:
    std::optional<std::string> getAdvertisingIdentifier() override { return std::nullopt; }
    std::optional<bool> isAdvertisingEnabled() override { return std::nullopt; }
    Value getSegmentationProperties() override { return Value::object(); }
};

}  // namespace zarn
