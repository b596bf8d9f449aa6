#pragma once
#include <map>
#include <optional>
#include <string>

namespace zarn {

// The device's own segmentation values: those the app sets and those the service sends, told
// apart by a flag. Writes log their failures and never raise; failed reads answer nothing.
// SDK thread only.
class ZarnPSegmentationDao {
  public:
    virtual ~ZarnPSegmentationDao() = default;

    // Stores `value` under `key` (the flag follows the last write); an absent or empty value
    // removes the key. A value without a key is skipped and logged.
    virtual void setSegmentationValue(const std::optional<std::string>& value,
                                      const std::optional<std::string>& key, bool isServerProperty) = 0;
    virtual std::optional<std::string> getPropertyValue(const std::string& key) = 0;
    // Every stored value by key, the app's and the service's alike.
    virtual std::map<std::string, std::string> getSegmentationProperties() = 0;
    // Removes the service's values only.
    virtual void clearServerSideSegmentationValues() = 0;
    // Removes every value.
    virtual void clearSegmentationValues() = 0;
};

}  // namespace zarn
