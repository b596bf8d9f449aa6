#include "store/ZarnPSegmentationPropertyValidator.h"

#include <cmath>

#include "core/Format.h"
#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPStringReading.h"
#include "store/ZarnPSegmentationHistoryDao.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "SegmentationPropertyValidator";

// The ordering operators (5 to 8) and equality (1, 2) on two comparable values.
template <typename T>
bool compareOrdered(uint32_t op, const T& left, const T& right) {
    switch (op) {
        case ZarnPSegmentationOperatorEqual:
            return left == right;
        case ZarnPSegmentationOperatorNotEqual:
            return left != right;
        case ZarnPSegmentationOperatorGreaterThan:
            return left > right;
        case ZarnPSegmentationOperatorGreaterThanOrEqual:
            return left >= right;
        case ZarnPSegmentationOperatorLessThan:
            return left < right;
        case ZarnPSegmentationOperatorLessThanOrEqual:
            return left <= right;
        default:
            return false;
    }
}

}  // namespace

ZarnPSegmentationPropertyValidator::ZarnPSegmentationPropertyValidator(
    std::shared_ptr<ZarnPClockDao> clockDao,
    std::shared_ptr<ZarnPSegmentationHistoryDao> segmentationHistoryDao)
    : clockDao_(std::move(clockDao)), segmentationHistoryDao_(std::move(segmentationHistoryDao)) {
    ZARN_REQUIRE(clockDao_);
    ZARN_REQUIRE(segmentationHistoryDao_);
}

std::string ZarnPSegmentationPropertyValidator::ruleKey(const ZarnPSegmentationProperty& rule) {
    // Prefixed keys begin with a letter; "#" keeps unknown types apart from them and each other.
    std::string key = rule.keyWithTypePrefix().value_or(
        zarn::format("#%u_%@", rule.segmentationPropertyType(), rule.key()));
    // Two rules on one key (a range of ages, two history periods) are two rules.
    return zarn::format("%@\x1f%u/%@/%@/%@", key, rule.segmentationOperator(),
                        rule.interval() ? std::to_string(*rule.interval()) : std::string("-"),
                        rule.occurrences() ? std::to_string(*rule.occurrences()) : std::string("-"),
                        rule.rawValue() ? "=" + *rule.rawValue() : std::string("-"));
}

std::set<std::string> ZarnPSegmentationPropertyValidator::findViolatedCampaignIds(
    const UserValues& userValues, const CampaignRulesById& campaignSegmentationProperties) {
    std::set<std::string> violated;
    HistoryRulesById history;
    for (const auto& [campaignId, rules] : campaignSegmentationProperties) {
        if (checkViolatedCampaignAndExtractCampaignHistorySegmentationProperties(userValues, rules, history,
                                                                                 campaignId))
            violated.insert(campaignId);
    }
    if (!history.empty()) {
        auto byHistory = findViolatedSegmentationHistoryIds(history);
        violated.insert(byHistory.begin(), byHistory.end());
    }
    return violated;
}

bool ZarnPSegmentationPropertyValidator::checkViolatedCampaignAndExtractCampaignHistorySegmentationProperties(
    const UserValues& userValues, const CampaignRules& campaignSegmentationProperties,
    HistoryRulesById& campaignHistorySegmentationProperties, const std::string& campaignId) {
    bool violated = false;
    std::vector<ZarnPSegmentationProperty> historyRules;
    if (auto found = campaignHistorySegmentationProperties.find(campaignId);
        found != campaignHistorySegmentationProperties.end())
        historyRules = found->second;
    for (const auto& [key, rule] : campaignSegmentationProperties) {
        (void)key;
        if (rule.segmentationPropertyType() == ZarnPSegmentationPropertyTypeCampaignHistory) {
            historyRules.push_back(rule);
            continue;
        }
        auto prefixed = rule.keyWithTypePrefix();
        if (!prefixed) {
            LogDebug(kDomain, "Segmentation property %@ has an unknown type", rule);
            violated = true;
            continue;
        }
        auto value = userValues.find(*prefixed);
        if (value == userValues.end() || !validateNonCampaignHistorySegmentationProperty(rule, value->second))
            violated = true;
    }
    if (!historyRules.empty())
        campaignHistorySegmentationProperties[campaignId] = std::move(historyRules);
    return violated;
}

bool ZarnPSegmentationPropertyValidator::validateNonCampaignHistorySegmentationProperty(
    const ZarnPSegmentationProperty& rule, const std::string& currentlySetValue) {
    bool kindMatches = true;
    bool met = false;
    const auto& v = rule.value();
    switch (rule.segmentationPropertyType()) {
        case ZarnPSegmentationPropertyTypeString:
            kindMatches = std::holds_alternative<std::string>(v) || std::holds_alternative<std::monostate>(v);
            met = kindMatches && validateTypedValueOfString(rule, currentlySetValue);
            break;
        case ZarnPSegmentationPropertyTypeInteger:
            kindMatches = std::holds_alternative<int32_t>(v);
            met = kindMatches &&
                  validateTypedValueOfInteger(
                      rule, static_cast<int32_t>(ZarnPStringReading::intValue(currentlySetValue)));
            break;
        case ZarnPSegmentationPropertyTypeDate:
            kindMatches = std::holds_alternative<Date>(v);
            met = kindMatches &&
                  validateTypedValueOfDate(rule, dateWithTimeIntervalSince1970(static_cast<double>(
                                                     ZarnPStringReading::longLongValue(currentlySetValue))));
            break;
        case ZarnPSegmentationPropertyTypeBoolean:
            kindMatches = std::holds_alternative<bool>(v);
            met = kindMatches &&
                  validateTypedValueOfBoolean(rule, ZarnPStringReading::boolValue(currentlySetValue));
            break;
        case ZarnPSegmentationPropertyTypeDouble:
            kindMatches = std::holds_alternative<double>(v);
            met = kindMatches &&
                  validateTypedValueOfDouble(rule, ZarnPStringReading::doubleValue(currentlySetValue));
            break;
        default:
            return false;
    }
    if (!kindMatches)
        LogDebug(kDomain, "Provided segmentation property %@ does not match %@",
                 rule.rawValue() ? *rule.rawValue() : std::string("(null)"), currentlySetValue);
    return met;
}

bool ZarnPSegmentationPropertyValidator::validateTypedValueOfBoolean(const ZarnPSegmentationProperty& rule,
                                                                     bool value) {
    const bool* ruleValue = std::get_if<bool>(&rule.value());
    return ruleValue && rule.segmentationOperator() == ZarnPSegmentationOperatorEqual && value == *ruleValue;
}

bool ZarnPSegmentationPropertyValidator::validateTypedValueOfInteger(const ZarnPSegmentationProperty& rule,
                                                                     int32_t value) {
    const int32_t* ruleValue = std::get_if<int32_t>(&rule.value());
    return ruleValue && compareOrdered(rule.segmentationOperator(), value, *ruleValue);
}

bool ZarnPSegmentationPropertyValidator::validateTypedValueOfDouble(const ZarnPSegmentationProperty& rule,
                                                                    double value) {
    const double* ruleValue = std::get_if<double>(&rule.value());
    return ruleValue && compareOrdered(rule.segmentationOperator(), value, *ruleValue);
}

bool ZarnPSegmentationPropertyValidator::validateTypedValueOfDate(const ZarnPSegmentationProperty& rule,
                                                                  Date value) {
    const Date* ruleValue = std::get_if<Date>(&rule.value());
    // Later means a positive interval since the rule's date.
    return ruleValue &&
           compareOrdered(rule.segmentationOperator(), timeIntervalBetween(value, *ruleValue), 0.0);
}

bool ZarnPSegmentationPropertyValidator::validateTypedValueOfString(const ZarnPSegmentationProperty& rule,
                                                                    const std::string& value) {
    // A rule without a value is met by no value: not-equal and not-contains hold, the others fail.
    const std::string* ruleValue = std::get_if<std::string>(&rule.value());
    switch (rule.segmentationOperator()) {
        case ZarnPSegmentationOperatorEqual:
            return ruleValue && value == *ruleValue;
        case ZarnPSegmentationOperatorNotEqual:
            return !ruleValue || value != *ruleValue;
        case ZarnPSegmentationOperatorContains:
            return ruleValue && value.find(*ruleValue) != std::string::npos;
        case ZarnPSegmentationOperatorNotContains:
            return !ruleValue || value.find(*ruleValue) == std::string::npos;
        default:
            return false;
    }
}

std::set<std::string> ZarnPSegmentationPropertyValidator::findViolatedSegmentationHistoryIds(
    const HistoryRulesById& campaignHistorySegmentationProperties) {
    std::vector<ZarnPSegmentationProperty> all;
    for (const auto& [campaignId, rules] : campaignHistorySegmentationProperties)
        all.insert(all.end(), rules.begin(), rules.end());
    auto now = static_cast<int64_t>(std::floor(timeIntervalSince1970(clockDao_->now())));
    auto counts = segmentationHistoryDao_->findSegmentationHistoryCount(all, now);
    std::set<std::string> violated;
    for (const auto& [campaignId, rules] : campaignHistorySegmentationProperties) {
        for (const auto& rule : rules) {
            if (!validateCampaignHistory(rule, ZarnPSegmentationHistoryDao::countForRule(counts, rule))) {
                violated.insert(campaignId);
                break;
            }
        }
    }
    return violated;
}

bool ZarnPSegmentationPropertyValidator::validateCampaignHistory(const ZarnPSegmentationProperty& rule,
                                                                 int historyOccurrenceCount) {
    return compareOrdered(rule.segmentationOperator(), historyOccurrenceCount,
                          rule.occurrences().value_or(0));
}

}  // namespace zarn
