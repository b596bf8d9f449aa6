// The notification entities and the segmentation rule's value conversions.
#include <gtest/gtest.h>

#include <climits>
#include <unordered_set>

#include "core/ZarnPBeaconNotification.h"
#include "core/ZarnPConstants.h"
#include "core/ZarnPNotification.h"
#include "core/ZarnPSegmentationProperty.h"

namespace zarn {
namespace {

ZarnPNotification fullNotification() {
    ZarnPNotification n;
    n.setCampaignId("c1");
    n.setRegionId("r1");
    n.setLocation(ZarnPLocation(52.5, 4.25));
    n.setMessage("Hello {name}");
    n.setData("https://example.org");
    n.setRegionLabel("Shop");
    n.setMatchRange(150);
    n.setTriggerOnExit(true);
    n.setNotificationHandlerType(4);
    n.setDwellingMinutes(3);
    n.setTimespans({ZarnPTimespan(dateWithTimeIntervalSince1970(10), std::nullopt)});
    n.setCooldownGroups({ZarnPCooldownGroup("c1", 60)});
    n.setSegmentationIds({"c1"});
    n.setSegmentationProperties({ZarnPSegmentationProperty("age", "18", 6, 3, std::nullopt, std::nullopt)});
    n.setInternalId(int64_t{1} << 33);
    n.setCustomRegionFields({{"name", "Main St"}});
    n.setTriggerProperties({{"shop", "12"}});
    n.setMatchPayload({{"k", "v"}});
    n.setIsPolygon(true);
    return n;
}

TEST(NotificationTest, Identifiers) {
    ZarnPNotification n;
    n.setCampaignId("c1");
    EXPECT_EQ(n.regionIdToString(), EMPTY_UUID);
    EXPECT_EQ(n.getShortId(), "c1;00000000000000000000000000000000");
    EXPECT_EQ(n.getId(), n.getShortId());

    n.setRegionId("r1");
    n.setExperimentMessageNumber(2);
    EXPECT_EQ(n.getShortId(), "c1;r1");
    EXPECT_EQ(n.getId(), "c1;r1");  // a message number alone is no experiment
    n.setExperimentId("e");
    EXPECT_EQ(n.getId(), "c1;r1;e;2");
    EXPECT_EQ(n.getShortId(), "c1;r1");
    n.setExperimentMessageNumber(std::nullopt);
    EXPECT_EQ(n.getId(), "c1;r1;e;(null)");
}

TEST(NotificationTest, CopyIsEqualAndIndependent) {
    ZarnPNotification source = fullNotification();
    ZarnPNotification copy = source;
    EXPECT_EQ(copy, source);
    EXPECT_EQ(copy.hash(), source.hash());
    copy.setMessage("Changed");
    EXPECT_EQ(source.message(), std::optional<std::string>("Hello {name}"));
    EXPECT_NE(copy, source);

    // Each field takes part in equality.
    std::vector<std::function<void(ZarnPNotification&)>> changes = {
        [](auto& n) { n.setRegionId(std::nullopt); },
        [](auto& n) { n.setLocation(ZarnPLocation(52.5, 4.2500001)); },
        [](auto& n) { n.setLocation(std::nullopt); },
        [](auto& n) { n.setMajorId(1); },
        [](auto& n) { n.setBeaconUuid(Uuid()); },
        [](auto& n) { n.setTimespans({}); },
        [](auto& n) { n.setMatchRange(151); },
        [](auto& n) { n.setTriggerOnExit(false); },
        [](auto& n) { n.setCooldownGroups({ZarnPCooldownGroup("c1", 61)}); },
        [](auto& n) {
            n.setSegmentationProperties(
                {ZarnPSegmentationProperty("age", "19", 6, 3, std::nullopt, std::nullopt)});
        },
        [](auto& n) { n.setInternalId(1); },
        [](auto& n) { n.setCustomRegionFields({}); },
        [](auto& n) {
            n.setTriggerProperties({{"shop", "13"}});
        },
        [](auto& n) { n.setMatchPayload({}); },
        [](auto& n) { n.setIsPolygon(false); },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        ZarnPNotification changed = source;
        changes[i](changed);
        EXPECT_NE(changed, source) << "change " << i;
    }
    std::unordered_set<ZarnPNotification> set{source, copy, fullNotification()};
    EXPECT_EQ(set.size(), 2u);
}

TEST(NotificationTest, DescriptionForDebugLines) {
    std::string d = fullNotification().description();
    for (const char* part :
         {"ZarnPNotification: campaignId=c1 regionId=r1 regionLabel=Shop message=Hello {name} "
          "location=[latitude: "
          "52.500000, longitude: 4.250000] majorId=(null)",
          "matchRange=150 triggerOnExit=YES notificationHandlerType=NotificationHandlerTypeLandingPage "
          "dwellingMinutes=3",
          "internalId=8589934592 customRegionFields={\"name\":\"Main St\"} experimentId=(null) "
          "experimentMessageNumber=(null)"})
        EXPECT_NE(d.find(part), std::string::npos) << d;
}

TEST(BeaconNotificationTest, EqualityAndHash) {
    ZarnPBeaconNotification a;
    a.setIdentifier("c1;r1");
    a.setBeaconUuid("a1b2c3d4-e5f6-a7b8-c9d0-e1f2a3b4c5d6");
    a.setMajorId(1);
    a.setMinorId(2);
    a.setMatchRange(30);
    a.setCooldownGroups({ZarnPCooldownGroup("c1", 5)});
    ZarnPBeaconNotification b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    b.setOfferedForMatch(true);
    EXPECT_NE(a, b);
    EXPECT_NE(a.description().find("identifier=c1;r1"), std::string::npos);
}

// ---- Segmentation rule --------------------------------------------------------------------

TEST(SegmentationPropertyTest, ValueIsConvertedByType) {
    using V = ZarnPSegmentationProperty::TypedValue;
    struct Case {
        uint32_t type;
        std::optional<std::string> text;
        V expected;
    };
    const std::vector<Case> cases = {
        {1, "campaign-7", std::string("campaign-7")},
        {1, std::nullopt, std::monostate{}},
        {2, "gold", std::string("gold")},
        {2, std::nullopt, std::monostate{}},
        {3, "18", int32_t{18}},
        {3, "42abc", int32_t{42}},
        {3, "3.99", int32_t{3}},
        {3, " -7", int32_t{-7}},
        {3, "abc", int32_t{0}},
        {3, "99999999999", int32_t{INT_MAX}},
        {3, std::nullopt, int32_t{0}},
        // Dates: the text's 64-bit whole seconds; the app's "%f" fraction is dropped.
        {4, "1700000000.750000", dateWithTimeIntervalSince1970(1700000000)},
        {4, "99999999999", dateWithTimeIntervalSince1970(99999999999.0)},
        {4, "-86400", dateWithTimeIntervalSince1970(-86400)},
        {5, "true", true},
        {5, "YES", true},
        {5, "1", true},
        {5, "false", false},
        {5, "0", false},
        {5, std::nullopt, false},
        {6, "1.5", 1.5},
        {6, "1.5e2x", 150.0},
        {6, "x", 0.0},
        {0, "x", std::monostate{}},
        {7, "x", std::monostate{}},
    };
    for (const auto& c : cases) {
        ZarnPSegmentationProperty rule("k", c.text, 1, c.type, std::nullopt, std::nullopt);
        EXPECT_EQ(rule.value(), c.expected) << "type " << c.type << " text " << c.text.value_or("(null)");
        EXPECT_EQ(rule.rawValue(), c.text);
    }
}

TEST(SegmentationPropertyTest, PrefixedKeysAndUnknownTypes) {
    EXPECT_EQ(ZarnPSegmentationProperty("age", "18", 6, 3, std::nullopt, std::nullopt).keyWithTypePrefix(),
              std::optional<std::string>("i_age"));
    const char* prefixes[] = {"c_", "s_", "i_", "d_", "b_", "f_"};
    for (uint32_t type = 1; type <= 6; ++type)
        EXPECT_EQ(ZarnPSegmentationProperty("k", "v", 1, type, 60, 2).keyWithTypePrefix(),
                  std::optional<std::string>(std::string(prefixes[type - 1]) + "k"));
    // A type outside 1 to 6 builds a rule without a prefixed key instead of stopping the update.
    for (uint32_t type : {0u, 7u, 255u}) {
        ZarnPSegmentationProperty rule("k", "v", 1, type, std::nullopt, std::nullopt);
        EXPECT_FALSE(rule.hasKnownType());
        EXPECT_FALSE(rule.keyWithTypePrefix());
    }
    ZarnPSegmentationProperty history("c9", "c9", 7, 1, 3600, 1);
    EXPECT_EQ(history.interval(), std::optional<int32_t>(3600));
    EXPECT_EQ(history.occurrences(), std::optional<int32_t>(1));
    EXPECT_EQ(history, ZarnPSegmentationProperty("c9", "c9", 7, 1, 3600, 1));
    EXPECT_NE(history, ZarnPSegmentationProperty("c9", "c9", 7, 1, 3600, 2));
}

}  // namespace
}  // namespace zarn
