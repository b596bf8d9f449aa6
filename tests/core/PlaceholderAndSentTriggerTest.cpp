#include <gtest/gtest.h>

#include "core/ZarnPPlaceholderUtil.h"
#include "core/ZarnPSentTrigger.h"

namespace zarn {
namespace {

using Dict = ZarnPPlaceholderUtil::StringDictionary;

TEST(PlaceholderUtilTest, PlaceholdersAreFilledOnceLeftToRight) {
    const Dict payload{{"code", "X1"}, {"both", "payload"}, {"loop", "{code}"}, {"GeofenceId", "upper"}};
    const Dict custom{{"both", "custom"}, {"floor", "3"}, {"code", "custom-code"}};
    struct Case {
        std::optional<std::string> text;
        std::optional<std::string> regionId;
        std::optional<std::string> label;
        bool dictionaries;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"Welcome to {geofencelabel}!", "r7", "Main Street", true, "Welcome to Main Street!"},
        {"Welcome to {geofencelabel}!", "r7", std::nullopt, true, "Welcome to !"},
        {"Code {code} at {geofenceid}", "r7", std::nullopt, true, "Code X1 at r7"},
        {"{both} {floor}", std::nullopt, std::nullopt, true, "payload 3"},
        {"{other} and {geofenceid}", "r7", std::nullopt, true, "{other} and r7"},
        {"{geofenceid} {beaconid}", std::nullopt, std::nullopt, true, "{geofenceid} {beaconid}"},
        {"{beaconid}/{beaconlabel}", "b1", "Door", true, "b1/Door"},
        {"{GeofenceId} {GEOFENCEID}", "r7", std::nullopt, true, "upper {GEOFENCEID}"},
        {"{a b} {} {code", "r7", std::nullopt, true, "{a b} {} {code"},
        {"{loop}", "r7", std::nullopt, true, "{code}"},
        {"{{code}}", "r7", std::nullopt, true, "{X1}"},
        {"{my-key_2}", "r7", std::nullopt, false, "{my-key_2}"},
        {"no braces", "r7", "L", true, "no braces"},
        {std::nullopt, "r7", "L", true, std::nullopt},
        {"", "r7", "L", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.value_or("(null)"));
        EXPECT_EQ(ZarnPPlaceholderUtil::replacePlaceholders(c.text, c.regionId, c.label,
                                                            c.dictionaries ? &custom : nullptr,
                                                            c.dictionaries ? &payload : nullptr),
                  c.expected);
    }
}

TEST(SentTriggerTest, EqualityIgnoresOnlyExperimentRegionTypeAndDictionaries) {
    auto base = [] {
        ZarnPSentTrigger t;
        t.setMatchIdentifier(std::string("m"));
        t.setIdentifier(std::string("c;r"));
        t.setMessage(std::string("hi"));
        t.setBeaconUuid(std::string("B"));
        t.setData(std::string("d"));
        t.setLocation(ZarnPLocation(1, 2));
        t.setMatchRange(5);
        t.setDwellingMinutes(3);
        t.setNotificationHandlerType(1);
        t.setDateSent(dateWithTimeIntervalSince1970(10));
        return t;
    };
    using Change = void (*)(ZarnPSentTrigger&);
    const std::pair<Change, bool> cases[] = {
        {[](ZarnPSentTrigger& t) { t.setRegionType(2); }, true},
        {[](ZarnPSentTrigger& t) {
             t.setMatchPayload({{"k", "v"}});
         },
         true},
        {[](ZarnPSentTrigger& t) { t.setIdentifierWithExperimentId(std::string("c;r;e;1")); }, true},
        {[](ZarnPSentTrigger& t) { t.setBeaconUuid(std::string(std::string("B"))); }, true},
        {[](ZarnPSentTrigger& t) { t.setDateOpened(dateWithTimeIntervalSince1970(11)); }, false},
        {[](ZarnPSentTrigger& t) { t.setLocation(ZarnPLocation(1, 2.0000001)); }, false},
        {[](ZarnPSentTrigger& t) { t.setMessage(std::nullopt); }, false},
        {[](ZarnPSentTrigger& t) { t.setIsBeacon(true); }, false},
        {[](ZarnPSentTrigger& t) { t.setNotificationHandlerType(2); }, false},
        {[](ZarnPSentTrigger& t) { t.setMatchIdentifier(std::nullopt); }, false},
    };
    int i = 0;
    for (const auto& [change, equal] : cases) {
        SCOPED_TRACE(i++);
        auto a = base();
        auto b = base();
        change(b);
        EXPECT_EQ(a.isEqual(b), equal);
        EXPECT_EQ(b.isEqual(a), equal);
    }
    auto t = base();
    EXPECT_EQ(t.description(),
              "[matchIdentifier: m, identifier: c;r, message: hi, location: [latitude: 1.000000, longitude: "
              "2.000000], data: d, matchRange: 5, dateSent: 1970-01-01 00:00:10 +0000, dateOpened: (null)]");
}

}  // namespace
}  // namespace zarn
