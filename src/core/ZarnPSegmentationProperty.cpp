#include "core/ZarnPSegmentationProperty.h"

#include "core/Format.h"
#include "core/ZarnPStringReading.h"

namespace zarn {

namespace {
constexpr const char* kTypePrefix[] = {"c_", "s_", "i_", "d_", "b_", "f_"};
}

ZarnPSegmentationProperty::ZarnPSegmentationProperty(std::string key, std::optional<std::string> value,
                                                     uint32_t segmentationOperator, uint32_t propertyType,
                                                     std::optional<int32_t> interval,
                                                     std::optional<int32_t> occurrences)
    : key_(std::move(key)),
      rawValue_(std::move(value)),
      value_(convert(rawValue_, propertyType)),
      segmentationOperator_(segmentationOperator),
      segmentationPropertyType_(propertyType),
      interval_(interval),
      occurrences_(occurrences) {}

ZarnPSegmentationProperty::TypedValue ZarnPSegmentationProperty::convert(
    const std::optional<std::string>& text, uint32_t propertyType) {
    std::string_view t = text ? std::string_view(*text) : std::string_view();
    switch (propertyType) {
        case ZarnPSegmentationPropertyTypeCampaignHistory:
        case ZarnPSegmentationPropertyTypeString:
            if (!text)
                return std::monostate{};
            return *text;
        case ZarnPSegmentationPropertyTypeInteger:
            return static_cast<int32_t>(ZarnPStringReading::intValue(t));
        case ZarnPSegmentationPropertyTypeDate:
            return dateWithTimeIntervalSince1970(static_cast<double>(ZarnPStringReading::longLongValue(t)));
        case ZarnPSegmentationPropertyTypeBoolean:
            return ZarnPStringReading::boolValue(t);
        case ZarnPSegmentationPropertyTypeDouble:
            return ZarnPStringReading::doubleValue(t);
        default:
            return std::monostate{};
    }
}

bool ZarnPSegmentationProperty::hasKnownType() const {
    return prefixForType(segmentationPropertyType_).has_value();
}

std::optional<std::string> ZarnPSegmentationProperty::prefixForType(uint32_t propertyType) {
    if (propertyType < 1 || propertyType > 6)
        return std::nullopt;
    return std::string(kTypePrefix[propertyType - 1]);
}

std::optional<std::string> ZarnPSegmentationProperty::keyWithTypePrefix() const {
    auto prefix = prefixForType(segmentationPropertyType_);
    if (!prefix)
        return std::nullopt;
    return zarn::format("%@%@", *prefix, key_);
}

std::string ZarnPSegmentationProperty::description() const {
    return zarn::format(
        "<ZarnPSegmentationProperty key=%@ value=%@ operator=%@ type=%@ interval=%@ occurrences=%@>", key_,
        rawValue_ ? *rawValue_ : std::string("(null)"), segmentationOperator_, segmentationPropertyType_,
        interval_ ? std::to_string(*interval_) : std::string("(null)"),
        occurrences_ ? std::to_string(*occurrences_) : std::string("(null)"));
}

}  // namespace zarn
