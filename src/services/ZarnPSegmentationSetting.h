#pragma once
#include <memory>
#include <optional>
#include <string>

namespace zarn {

class ZarnPContext;

// The segmentation service as the facade changes it. SDK thread only.
class ZarnPSegmentationSetting {
  public:
    virtual ~ZarnPSegmentationSetting() = default;
    // `key` is already prefixed by its type.
    virtual void setValue(const std::string& value, const std::string& key,
                          const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    virtual void setAdvertisingIdentifier(const std::optional<std::string>& identifier,
                                          bool advertisingTrackingEnabled) = 0;
    // Removes the advertising settings, every segmentation value and the trigger history.
    virtual void clearData() = 0;
};

}  // namespace zarn
