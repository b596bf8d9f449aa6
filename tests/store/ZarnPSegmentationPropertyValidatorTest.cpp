// Which campaigns segmentation refuses: the operator table of every kind, absent and unknown
// values, and history rules counted once per question.
#include "store/ZarnPSegmentationPropertyValidator.h"

#include <gtest/gtest.h>

#include "core/ZarnPClockDao.h"
#include "store/ZarnPSegmentationHistoryDao.h"

namespace zarn {
namespace {

class FixedClock final : public ZarnPClockDao {
  public:
    Date now() override { return dateWithTimeIntervalSince1970(seconds); }
    int64_t nowWithTimeZoneOffsetMilliseconds() override { return static_cast<int64_t>(seconds * 1000); }
    double seconds = 1796126400.75;
};

class CountingHistory final : public ZarnPSegmentationHistoryDao {
  public:
    ZarnPSegmentationHistoryCounts findSegmentationHistoryCount(
        const std::vector<ZarnPSegmentationProperty>& rules, int64_t startTime) override {
        ++calls;
        askedRules = rules.size();
        askedStart = startTime;
        ZarnPSegmentationHistoryCounts out;
        for (const auto& rule : rules) {
            auto key = ZarnPSegmentationHistoryKey::forRule(rule);
            if (auto c = counts.find(key); c != counts.end())
                out[key] = c->second;
        }
        return out;
    }
    void saveSegmentationIdsTrigger(const std::vector<std::string>&, int64_t) override {}
    void clearSegmentationHistory() override {}

    ZarnPSegmentationHistoryCounts counts;
    int calls = 0;
    size_t askedRules = 0;
    int64_t askedStart = 0;
};

using Validator = ZarnPSegmentationPropertyValidator;

ZarnPSegmentationProperty rule(std::string key, std::optional<std::string> value, uint32_t op, uint32_t type,
                               std::optional<int32_t> interval = std::nullopt,
                               std::optional<int32_t> occurrences = std::nullopt) {
    return ZarnPSegmentationProperty(std::move(key), std::move(value), op, type, interval, occurrences);
}

Validator::CampaignRules rules(std::initializer_list<ZarnPSegmentationProperty> list) {
    Validator::CampaignRules out;
    for (const auto& r : list) out.emplace(Validator::ruleKey(r), r);
    return out;
}

class ValidatorTest : public ::testing::Test {
  protected:
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>();
    std::shared_ptr<CountingHistory> history = std::make_shared<CountingHistory>();
    Validator validator{clock, history};
};

struct RuleCase {
    const char* label;
    uint32_t type;
    uint32_t op;
    std::optional<std::string> ruleValue;
    std::optional<std::string> userValue;  // nothing: the user has no value
    bool met;
};

TEST_F(ValidatorTest, EachKindAppliesItsOperatorTable) {
    const RuleCase cases[] = {
        {"int >= 18, 18", 3, 6, "18", "18", true},
        {"int >= 18, 17", 3, 6, "18", "17", false},
        {"int >= 18, none", 3, 6, "18", std::nullopt, false},
        {"int leading number", 3, 1, "18 years", "18.9", true},
        {"int contains never", 3, 3, "1", "1", false},
        {"int != ", 3, 2, "4", "5", true},
        {"int < ", 3, 7, "4", "-5", true},
        {"int <= equal", 3, 8, "4", "4", true},
        {"int > equal", 3, 5, "4", "4", false},
        {"string contains gold", 2, 3, "gold", "goldmember", true},
        {"string not contains gold", 2, 4, "gold", "goldmember", false},
        {"string > never", 2, 5, "a", "b", false},
        {"string equal", 2, 1, "gold", "gold", true},
        {"string not equal same", 2, 2, "gold", "gold", false},
        {"string null equal", 2, 1, std::nullopt, "", false},
        {"string null not equal", 2, 2, std::nullopt, "", true},
        {"string null contains", 2, 3, std::nullopt, "x", false},
        {"string null not contains", 2, 4, std::nullopt, "x", true},
        {"bool equal true", 5, 1, "true", "1", true},
        {"bool equal false/true", 5, 1, "false", "YES", false},
        {"bool not equal never", 5, 2, "true", "false", false},
        {"bool null reads NO", 5, 1, std::nullopt, "no", true},
        {"double > 1.5, 1.6", 6, 5, "1.5", "1.6", true},
        {"double > 1.5, 1.5", 6, 5, "1.5", "1.500000", false},
        {"double <= null reads 0", 6, 8, std::nullopt, "0", true},
        {"double contains never", 6, 3, "1", "1", false},
        {"date later", 4, 5, "1000", "1000.9", false},
        {"date later by a second", 4, 5, "1000", "1001.5", true},
        {"date equal drops fraction", 4, 1, "1000.7", "1000.2", true},
        {"date earlier", 4, 7, "1000", "999", true},
        {"date >= ", 4, 6, "1000", "999", false},
        {"unknown operator", 3, 9, "1", "1", false},
        {"operator 0", 2, 0, "a", "a", false},
    };
    for (const auto& c : cases) {
        auto r = rule("k", c.ruleValue, c.op, c.type);
        Validator::UserValues values;
        if (c.userValue)
            values[*r.keyWithTypePrefix()] = *c.userValue;
        auto violated = validator.findViolatedCampaignIds(values, {{"campaign", rules({r})}});
        EXPECT_EQ(violated.empty(), c.met) << c.label;
    }
    EXPECT_EQ(history->calls, 0);
}

TEST_F(ValidatorTest, UnknownTypesAndMismatchedValuesRefuseOnlyTheirCampaign) {
    auto unknownType = rule("age", "18", 1, 0);
    auto badValue = rule("age", "18", 1, 3);
    badValue.setValue(std::string("eighteen"));  // not an integer
    Validator::UserValues values{{"i_age", "18"}, {"s_tier", "gold"}};
    auto violated = validator.findViolatedCampaignIds(
        values, {{"unknown", rules({unknownType, rule("tier", "gold", 1, 2)})},
                 {"mismatch", rules({badValue})},
                 {"fine", rules({rule("age", "18", 1, 3), rule("tier", "gold", 1, 2)})},
                 {"empty", {}}});
    EXPECT_EQ(violated, (std::set<std::string>{"mismatch", "unknown"}));
    // An unknown type and a known one on the same key stay two rules.
    EXPECT_NE(Validator::ruleKey(unknownType), Validator::ruleKey(rule("age", "18", 1, 3)));
    EXPECT_NE(Validator::ruleKey(unknownType), Validator::ruleKey(rule("age", "18", 1, 7)));
    // Bounds on one key are two rules: 18 to 65.
    auto range = rules({rule("age", "18", 6, 3), rule("age", "65", 8, 3)});
    EXPECT_EQ(range.size(), 2u);
    EXPECT_TRUE(validator.findViolatedCampaignIds({{"i_age", "40"}}, {{"range", range}}).empty());
    EXPECT_EQ(validator.findViolatedCampaignIds({{"i_age", "70"}}, {{"range", range}}).size(), 1u);
}

TEST_F(ValidatorTest, HistoryRulesAreCountedOncePerQuestionByIdAndInterval) {
    // Fewer than one trigger of "promo" within an hour; at least two within a day.
    auto noneThisHour = rule("promo", "promo", 7, 1, 3600, 1);
    auto twoToday = rule("promo", "promo", 6, 1, 86400, 2);
    auto exactlyOne = rule("other", std::nullopt, 1, 1, std::nullopt, 1);
    auto notEqualAbsentOccurrences = rule("third", "third", 2, 1, 60);
    auto campaigns = Validator::CampaignRulesById{
        {"hour", rules({noneThisHour})},
        {"both", rules({noneThisHour, twoToday})},
        {"one", rules({exactlyOne})},
        {"ne", rules({notEqualAbsentOccurrences})},
        {"badOp", rules({rule("x", "x", 3, 1, 60, 0)})},
        {"stringAndHistory", rules({rule("tier", "gold", 1, 2), noneThisHour})},
    };

    auto violated = validator.findViolatedCampaignIds({}, campaigns);
    EXPECT_EQ(violated, (std::set<std::string>{"both", "one", "ne", "badOp", "stringAndHistory"}));
    EXPECT_EQ(history->calls, 1);
    EXPECT_EQ(history->askedRules, 7u);
    EXPECT_EQ(history->askedStart, 1796126400);

    history->counts = {{{"promo", 3600}, 1}, {{"promo", 86400}, 2}, {{"other", 0}, 1}, {{"third", 60}, 4}};
    violated = validator.findViolatedCampaignIds({{"s_tier", "gold"}}, campaigns);
    EXPECT_EQ(violated, (std::set<std::string>{"hour", "both", "badOp", "stringAndHistory"}));
    EXPECT_EQ(history->calls, 2);

    history->counts = {{{"promo", 86400}, 3}};
    violated = validator.findViolatedCampaignIds({{"s_tier", "gold"}}, campaigns);
    EXPECT_EQ(violated, (std::set<std::string>{"one", "ne", "badOp"}));
}

}  // namespace
}  // namespace zarn
