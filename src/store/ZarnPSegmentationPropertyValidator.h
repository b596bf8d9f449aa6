#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPSegmentationProperty.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPSegmentationHistoryDao;

// Decides which campaigns the user's segmentation values and trigger history refuse. A rule it
// cannot judge (a type outside 1 to 6, a value of an unexpected kind) is a rule that is not met:
// only that rule's campaign is refused, and nothing is raised. All history rules of one question
// are counted with one call to the history store. Used on the SDK thread.
class ZarnPSegmentationPropertyValidator {
  public:
    // One campaign's rules by ruleKey().
    using CampaignRules = std::map<std::string, ZarnPSegmentationProperty>;
    // Campaign id to its rules.
    using CampaignRulesById = std::map<std::string, CampaignRules>;
    // Campaign id to its history rules.
    using HistoryRulesById = std::map<std::string, std::vector<ZarnPSegmentationProperty>>;
    // Prefixed key ("i_age") to the user's value text.
    using UserValues = std::map<std::string, std::string>;

    // Both collaborators are required.
    ZarnPSegmentationPropertyValidator(std::shared_ptr<ZarnPClockDao> clockDao,
                                       std::shared_ptr<ZarnPSegmentationHistoryDao> segmentationHistoryDao);

    // The key a rule is filed under in its campaign's rules: keyWithTypePrefix() (for a type
    // outside 1 to 6 a text no prefixed key can equal, so such a rule is kept and refused),
    // followed by the operator, interval, occurrences and value, so that only identical rules
    // share a key.
    static std::string ruleKey(const ZarnPSegmentationProperty& rule);

    // The ids of the campaigns whose rules are not all met. A campaign without rules is never
    // in the answer.
    std::set<std::string> findViolatedCampaignIds(const UserValues& userValues,
                                                  const CampaignRulesById& campaignSegmentationProperties);
    // Whether one of the campaign's non-history rules is not met (every rule is visited); files
    // its history rules under its id in `campaignHistorySegmentationProperties`.
    bool checkViolatedCampaignAndExtractCampaignHistorySegmentationProperties(
        const UserValues& userValues, const CampaignRules& campaignSegmentationProperties,
        HistoryRulesById& campaignHistorySegmentationProperties, const std::string& campaignId);
    // Whether the rule (any type but history) is met by the user's value text.
    bool validateNonCampaignHistorySegmentationProperty(const ZarnPSegmentationProperty& rule,
                                                        const std::string& currentlySetValue);

    // The operator table of each kind, the user's value on the left. False when the rule's value
    // is not of the kind (the caller logs that).
    static bool validateTypedValueOfBoolean(const ZarnPSegmentationProperty& rule, bool value);
    static bool validateTypedValueOfInteger(const ZarnPSegmentationProperty& rule, int32_t value);
    static bool validateTypedValueOfDouble(const ZarnPSegmentationProperty& rule, double value);
    static bool validateTypedValueOfDate(const ZarnPSegmentationProperty& rule, Date value);
    static bool validateTypedValueOfString(const ZarnPSegmentationProperty& rule, const std::string& value);

    // The campaigns whose history rules are not all met, each rule judged by the count of its own
    // (segmentation id, interval) within its interval before now.
    std::set<std::string> findViolatedSegmentationHistoryIds(
        const HistoryRulesById& campaignHistorySegmentationProperties);
    // The operator applied to the count (left) and the rule's occurrences (right, 0 when absent).
    static bool validateCampaignHistory(const ZarnPSegmentationProperty& rule, int historyOccurrenceCount);

  private:
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPSegmentationHistoryDao> segmentationHistoryDao_;
};

}  // namespace zarn
