#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "zarn/Date.h"

namespace zarn {

// Property types of a segmentation rule; the user's value of a type is stored under the type's
// key prefix ("c_", "s_", "i_", "d_", "b_", "f_").
enum ZarnPSegmentationPropertyType : uint32_t {
    ZarnPSegmentationPropertyTypeCampaignHistory = 1,
    ZarnPSegmentationPropertyTypeString = 2,
    ZarnPSegmentationPropertyTypeInteger = 3,
    ZarnPSegmentationPropertyTypeDate = 4,
    ZarnPSegmentationPropertyTypeBoolean = 5,
    ZarnPSegmentationPropertyTypeDouble = 6,
};

// Operators; the user's value (or the trigger count) is on the left, the rule's on the right.
enum ZarnPSegmentationOperator : uint32_t {
    ZarnPSegmentationOperatorEqual = 1,
    ZarnPSegmentationOperatorNotEqual = 2,
    ZarnPSegmentationOperatorContains = 3,
    ZarnPSegmentationOperatorNotContains = 4,
    ZarnPSegmentationOperatorGreaterThan = 5,
    ZarnPSegmentationOperatorGreaterThanOrEqual = 6,
    ZarnPSegmentationOperatorLessThan = 7,
    ZarnPSegmentationOperatorLessThanOrEqual = 8,
};

// One segmentation rule of a campaign as the data update delivers it. The rule's text value is
// converted by type: history and string rules keep the text, integer rules its 32-bit number,
// date rules the date of its 64-bit seconds since 1970, boolean and double rules their readings.
// A rule whose value is absent holds no text (string and history rules) or 0 (the numeric
// kinds). A rule of a type outside 1 to 6 is kept but has no prefixed key: it is a rule no user
// meets, so only its own campaign is refused. Plain value; any thread.
class ZarnPSegmentationProperty {
  public:
    using TypedValue = std::variant<std::monostate, std::string, int32_t, Date, bool, double>;

    ZarnPSegmentationProperty(std::string key, std::optional<std::string> value,
                              uint32_t segmentationOperator, uint32_t propertyType,
                              std::optional<int32_t> interval, std::optional<int32_t> occurrences);

    const std::string& key() const { return key_; }
    void setKey(std::string key) { key_ = std::move(key); }
    const TypedValue& value() const { return value_; }
    void setValue(TypedValue value) { value_ = std::move(value); }
    // The text the rule was built from (absent for a NULL value).
    const std::optional<std::string>& rawValue() const { return rawValue_; }
    uint32_t segmentationOperator() const { return segmentationOperator_; }
    void setSegmentationOperator(uint32_t v) { segmentationOperator_ = v; }
    uint32_t segmentationPropertyType() const { return segmentationPropertyType_; }
    void setSegmentationPropertyType(uint32_t v) { segmentationPropertyType_ = v; }
    const std::optional<int32_t>& occurrences() const { return occurrences_; }
    void setOccurrences(std::optional<int32_t> v) { occurrences_ = v; }
    const std::optional<int32_t>& interval() const { return interval_; }
    void setInterval(std::optional<int32_t> v) { interval_ = v; }

    bool hasKnownType() const;
    // "%@%@" of the type's prefix and the key ("i_age"); nothing for a type outside 1 to 6.
    std::optional<std::string> keyWithTypePrefix() const;
    static std::optional<std::string> prefixForType(uint32_t propertyType);

    // Field by field, the converted value included.
    bool operator==(const ZarnPSegmentationProperty&) const = default;
    std::string description() const;

  private:
    static TypedValue convert(const std::optional<std::string>& text, uint32_t propertyType);

    std::string key_;
    std::optional<std::string> rawValue_;
    TypedValue value_;
    uint32_t segmentationOperator_;
    uint32_t segmentationPropertyType_;
    std::optional<int32_t> interval_;
    std::optional<int32_t> occurrences_;
};

}  // namespace zarn
