// the small entities and the vocabularies that go into events, userInfo and logs.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/Uuid.h"
#include "core/ZarnException.h"
#include "core/ZarnPConstants.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPCooldownGroup.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPExternalRegionRequest.h"
#include "core/ZarnPExternalTriggerType.h"
#include "core/ZarnPLocation.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPObjectWithContextWrapper.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPTimespan.h"
#include "core/ZarnTriggerContext.h"
#include "device/exchange/ZarnPApplinkMarshaller.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "store/ZarnPLocalNotificationDaoExpiredNotification.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

Date at(double seconds) {
    return dateWithTimeIntervalSince1970(seconds);
}

// ---- Tracking context -------------------------------------------------------------------

TEST(ContextTest, StartsWithNoReferencesAnEmptyLogAFreshIdentityAndTheTimeSourcesNow) {
    test::TestEnvironment env;
    env.advanceBy(12.5);
    // Dated by the clock the context service hands in.
    ZarnPContext context(ZarnTriggerContextGeofence, std::string("abc"), ZarnPSystemClockDao(env.time).now());
    EXPECT_EQ(context.triggerContext(), ZarnTriggerContextGeofence);
    EXPECT_EQ(context.referenceCount(), 0);
    EXPECT_EQ(context.collectedLog(), std::optional<std::string>(""));
    EXPECT_EQ(context.triggerDetails(), std::optional<std::string>("abc"));
    EXPECT_EQ(timeIntervalSince1970(context.creationDate()), test::TestEnvironment::kStart + 12.5);

    // The identity that events carry: upper-case 36-character text that parses back.
    std::string id = context.uuidString();
    ASSERT_EQ(id.size(), 36u);
    for (char c : id) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-') << id;
    EXPECT_EQ(Uuid::fromString(id), context.uuid());

    ZarnPContext other(ZarnTriggerContextGeofence, std::nullopt, context.creationDate());
    EXPECT_NE(other.uuid(), context.uuid());
    EXPECT_FALSE(other.triggerDetails().has_value());
}

TEST(ContextTest, IdentityAndDateCanBeGiven) {
    auto uuid = *Uuid::fromString("12345678-9ABC-DEF0-1234-56789ABCDEF0");
    ZarnPContext context(ZarnTriggerContextPush, std::nullopt, uuid, at(100));
    EXPECT_EQ(context.uuidString(), "12345678-9ABC-DEF0-1234-56789ABCDEF0");
    EXPECT_EQ(context.creationDate(), at(100));
    context.setCreationDate(at(200));
    EXPECT_EQ(context.creationDate(), at(200));
}

TEST(ContextTest, ReferenceCountHasNoLowerBound) {
    ZarnPContext context(ZarnTriggerContextInit, std::nullopt, Uuid(), at(0));
    context.incrementReferences();
    EXPECT_EQ(context.referenceCount(), 1);
    context.decrementReferences();
    context.decrementReferences();
    EXPECT_EQ(context.referenceCount(), -1);
}

TEST(ContextTest, AppendsAreDroppedOnceTheLogHasBeenReported) {
    ZarnPContext context(ZarnTriggerContextSlc, std::nullopt, Uuid(), at(0));
    context.appendToContextLog("one\n");
    context.appendToContextLog("two\n");
    EXPECT_EQ(context.collectedLog(), std::optional<std::string>("one\ntwo\n"));
    context.setCollectedLog(std::nullopt);
    context.appendToContextLog("three\n");
    EXPECT_FALSE(context.collectedLog().has_value());
}

TEST(ContextTest, LogAndCountMayBeUsedFromSeveralThreads) {
    // Run under ThreadSanitizer: appends on one thread while others read and count.
    auto context = std::make_shared<ZarnPContext>(ZarnTriggerContextBeacon, std::nullopt, Uuid(), at(0));
    std::thread writer([&] {
        for (int i = 0; i < 500; ++i) {
            context->appendToContextLog("x");
            context->incrementReferences();
        }
    });
    std::size_t seen = 0;
    for (int i = 0; i < 500; ++i) {
        auto log = context->collectedLog();
        ASSERT_TRUE(log.has_value());
        EXPECT_GE(log->size(), seen);
        seen = log->size();
        (void)context->referenceCount();
    }
    writer.join();
    EXPECT_EQ(context->collectedLog()->size(), 500u);
    EXPECT_EQ(context->referenceCount(), 500);
}

TEST(ContextTest, WrapperCarriesAnObjectAndItsContextStrongly) {
    std::weak_ptr<ZarnPContext> weakContext;
    std::weak_ptr<std::string> weakObject;
    std::unique_ptr<ZarnPObjectWithContextWrapper> wrapper;
    {
        auto context = std::make_shared<ZarnPContext>(ZarnTriggerContextPush, std::nullopt, Uuid(), at(0));
        auto object = std::make_shared<std::string>("payload");
        weakContext = context;
        weakObject = object;
        wrapper = std::make_unique<ZarnPObjectWithContextWrapper>(object, context);
    }
    EXPECT_FALSE(weakContext.expired());
    EXPECT_FALSE(weakObject.expired());
    auto* object = wrapper->objectAs<std::shared_ptr<std::string>>();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(**object, "payload");
    EXPECT_EQ(wrapper->objectAs<int>(), nullptr);
    EXPECT_EQ(wrapper->zarnContext()->triggerContext(), ZarnTriggerContextPush);
    wrapper.reset();
    EXPECT_TRUE(weakContext.expired());
    EXPECT_TRUE(weakObject.expired());
}

// ---- Locations --------------------------------------------------------------------------

TEST(LocationTest, DistanceToNothingIsNaNAndToItselfZero) {
    auto a = ZarnPLocation::locationLat(52.37, 4.89);
    EXPECT_TRUE(std::isnan(a->distanceToLocation(nullptr)));
    EXPECT_TRUE(std::isnan(a->distanceToLocation(std::shared_ptr<const ZarnPLocation>())));
    EXPECT_EQ(a->distanceToLocation(*a), 0.0);
    auto b = ZarnPLocation::locationLat(0, 1);
    EXPECT_NEAR(ZarnPLocation(0, 0).distanceToLocation(*b), 6378100.0 * M_PI / 180.0, 1e-6);
}

TEST(LocationTest, EqualityIsExactAndTheSubclassIsStricter) {
    ZarnPLocation a(1.5, 2.5), same(1.5, 2.5), near(1.5, 2.5000000001);
    EXPECT_TRUE(a.isEqual(same));
    EXPECT_FALSE(a.isEqual(near));
    EXPECT_EQ(a.hash(), same.hash());

    ZarnPLocationWithAccuracy withAccuracy(1.5, 2.5, 10), sameAccuracy(1.5, 2.5, 10),
        otherAccuracy(1.5, 2.5, 11);
    EXPECT_TRUE(withAccuracy.isEqual(sameAccuracy));
    EXPECT_FALSE(withAccuracy.isEqual(otherAccuracy));
    // A plain location is a location, so the base rule accepts the subclass; the subclass rule
    // wants a location with accuracy.
    EXPECT_TRUE(a.isEqual(withAccuracy));
    EXPECT_FALSE(withAccuracy.isEqual(a));
    EXPECT_EQ(a.hash(), withAccuracy.hash());
    // +0 and -0 are equal, so they hash alike.
    EXPECT_TRUE(ZarnPLocation(0.0, 0.0).isEqual(ZarnPLocation(-0.0, -0.0)));
    EXPECT_EQ(ZarnPLocation(0.0, 0.0).hash(), ZarnPLocation(-0.0, -0.0).hash());
}

TEST(LocationTest, DescriptionUsesSixDecimals) {
    EXPECT_EQ(ZarnPLocation(52.5, -4.25).description(), "[latitude: 52.500000, longitude: -4.250000]");
    auto located = ZarnPLocationWithAccuracy::locationLat(1, 2, 30);
    EXPECT_EQ(located->accuracy(), 30);
    EXPECT_EQ(located->description(), "[latitude: 1.000000, longitude: 2.000000]");
}

// ---- Cooldown groups --------------------------------------------------------------------

TEST(CooldownGroupTest, DictionaryRoundTripAndEquality) {
    auto group = ZarnPCooldownGroup::cooldownGroup("campaign-1", 3600);
    Value dict = group->toDictionary();
    EXPECT_EQ(dict, (Value{{"identifier", "campaign-1"}, {"duration", 3600}}));
    EXPECT_TRUE(dict["duration"].is_number());
    auto back = ZarnPCooldownGroup::fromDictionary(dict);
    EXPECT_TRUE(back->isEqual(*group));
    EXPECT_EQ(back->hash(), group->hash());
    EXPECT_FALSE(ZarnPCooldownGroup("campaign-1", 3601).isEqual(*group));
    EXPECT_FALSE(ZarnPCooldownGroup("campaign-2", 3600).isEqual(*group));
}

TEST(CooldownGroupTest, FromDictionaryReadsTheIntValueAndNeverThrows) {
    struct Case {
        Value dict;
        std::string identifier;
        int duration;
    };
    const std::vector<Case> cases = {
        {{{"identifier", "a"}, {"duration", "120"}}, "a", 120},       // text read as intValue
        {{{"identifier", "a"}, {"duration", 12.9}}, "a", 12},         // cut off
        {{{"identifier", "a"}, {"duration", 1e30}}, "a", INT32_MAX},  // saturated, not undefined
        {{{"identifier", "a"}}, "a", 0},
        {{{"identifier", 5}, {"duration", 1}}, "", 1},
        {{{"duration", nullptr}}, "", 0},
        {Value::array({1, 2}), "", 0},
        {Value("text"), "", 0},
        {Value(), "", 0},
    };
    for (const auto& c : cases) {
        auto group = ZarnPCooldownGroup::fromDictionary(c.dict);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->identifier(), c.identifier) << c.dict.dump();
        EXPECT_EQ(group->duration(), c.duration) << c.dict.dump();
    }
}

// ---- Events, time spans, requests -------------------------------------------------------

TEST(EventTest, ExtraIsAValueObjectThatMayHoldDictionaries) {
    Value extra{{"notification_id", "n1"}, {"match_payload", {{"store", "42"}, {"nested", {1, 2}}}}};
    ZarnPEvent event("ID-1", ZarnPLogEventTypeContextualPageSent, at(1000), extra);
    EXPECT_EQ(event.extra(), extra);
    EXPECT_TRUE(event.extra()["match_payload"].is_object());
    EXPECT_EQ(event.identifier(), "ID-1");
    EXPECT_EQ(event.eventType(), ZarnPLogEventTypeContextualPageSent);
    EXPECT_EQ(event.date(), at(1000));
    EXPECT_NE(event.description().find("contextualpage_sent"), std::string::npos);

    // Only an object is an extra.
    event.setExtra(Value::array({1}));
    EXPECT_EQ(event.extra(), Value::object());
    EXPECT_EQ(ZarnPEvent("x", 1, at(0), Value()).extra(), Value::object());
    // An unknown type still describes itself rather than raising.
    EXPECT_NE(ZarnPEvent("x", 99, at(0), Value::object()).description().find("99"), std::string::npos);
}

TEST(TimespanTest, BoundsAreInclusiveAndMissingBoundsOpen) {
    struct Case {
        std::optional<double> start, end;
        double date;
        bool between;
    };
    const std::vector<Case> cases = {
        {100, 200, 100, true},           {100, 200, 200, true},
        {100, 200, 150, true},           {100, 200, 99.999, false},
        {100, 200, 200.001, false},      {std::nullopt, std::nullopt, -1e9, true},
        {std::nullopt, 200, -1e9, true}, {std::nullopt, 200, 201, false},
        {100, std::nullopt, 1e12, true}, {100, std::nullopt, 50, false},
        {200, 100, 150, false},  // an inverted span holds nothing
    };
    for (const auto& c : cases) {
        ZarnPTimespan span(c.start ? std::optional<Date>(at(*c.start)) : std::nullopt,
                           c.end ? std::optional<Date>(at(*c.end)) : std::nullopt);
        EXPECT_EQ(span.isDateBetween(at(c.date)), c.between) << span.description() << " " << c.date;
    }
}

TEST(ExternalRegionRequestTest, KeepsWhatTheAppReported) {
    Value properties = Value::array({{{"zone", "A"}}});
    ZarnPExternalRegionRequest request(properties, ZarnPExternalTriggerType::Exit, Value{{"k", "v"}});
    EXPECT_EQ(request.properties(), properties);
    EXPECT_EQ(request.triggerType(), 1u);
    EXPECT_EQ(request.matchPayload(), (Value{{"k", "v"}}));
    ZarnPExternalRegionRequest noPayload(properties, 0, Value());
    EXPECT_TRUE(noPayload.matchPayload().is_null());
}

// ---- App links --------------------------------------------------------------------------

TEST(ApplinkMarshallerTest, BuildsFromAJsonObject) {
    test::TestEnvironment env;
    auto applink = ZarnPApplinkMarshaller::createApplinkFromJsonString(
        R"({"iosAppUrl":"app://open","iosFallbackUrl":"https://example.org/x"})");
    ASSERT_NE(applink, nullptr);
    EXPECT_EQ(applink->iosAppUrl(), std::optional<std::string>("app://open"));
    EXPECT_EQ(applink->iosFallbackUrl(), std::optional<std::string>("https://example.org/x"));

    auto empty = ZarnPApplinkMarshaller::createApplinkFromJsonString("{}");
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->iosAppUrl().has_value());
    EXPECT_FALSE(empty->iosFallbackUrl().has_value());

    // A value that is not a text is not an address.
    auto wrongTypes =
        ZarnPApplinkMarshaller::createApplinkFromJsonString(R"({"iosAppUrl":5,"iosFallbackUrl":null})");
    ASSERT_NE(wrongTypes, nullptr);
    EXPECT_FALSE(wrongTypes->iosAppUrl().has_value());
    EXPECT_FALSE(wrongTypes->iosFallbackUrl().has_value());
}

TEST(ApplinkMarshallerTest, AnArrayIsOfTheWrongType) {
    test::TestEnvironment env;
    EXPECT_EQ(ZarnPApplinkMarshaller::createApplinkFromJsonString("[1]"), nullptr);
    EXPECT_TRUE(env.consoleContains("ERROR|ApplinkMarshaller| jsonResponse isn't of right type."));
}

TEST(ApplinkMarshallerTest, BadTextIsAParseErrorNeverAnException) {
    test::TestEnvironment env;
    const std::vector<std::string> bad = {"",
                                          "{",
                                          "{\"iosAppUrl\":\"a",
                                          "1",
                                          "\"text\"",
                                          "null",
                                          std::string("{\"iosAppUrl\":\"\xff\xfe\"}"),
                                          "{} trailing"};
    for (const auto& text : bad) {
        EXPECT_EQ(ZarnPApplinkMarshaller::createApplinkFromJsonString(text), nullptr) << text;
    }
    EXPECT_EQ(env.consoleCount(
                  "ERROR|ApplinkMarshaller| Failed to parse app link - Error Domain=ZarnJson Code=3840"),
              static_cast<int>(bad.size()));
    EXPECT_FALSE(env.consoleContains("jsonResponse isn't of right type."));
}

TEST(ApplinkMarshallerTest, FromADictionaryThatIsNotOne) {
    auto applink = ZarnPApplinkMarshaller::createApplinkFromDictionairy(Value::array());
    ASSERT_NE(applink, nullptr);
    EXPECT_FALSE(applink->iosAppUrl().has_value());
}

// ---- Expired dwelling notifications ------------------------------------------------------

TEST(ExpiredNotificationTest, SendDatesWithinATenthOfASecondAreEqual) {
    using Expired = ZarnPLocalNotificationDaoExpiredNotification;
    Expired a("n1", "m1", at(1000.0));
    EXPECT_TRUE(a.isEqual(a));
    EXPECT_TRUE(a.isEqual(Expired("n1", "m1", at(1000.05))));
    EXPECT_TRUE(a.isEqual(Expired("n1", "m1", at(999.95))));
    EXPECT_FALSE(a.isEqual(Expired("n1", "m1", at(1000.2))));
    EXPECT_FALSE(a.isEqual(Expired("n1", "m1", at(999.8))));
    EXPECT_FALSE(a.isEqual(Expired("n2", "m1", at(1000.0))));
    EXPECT_FALSE(a.isEqual(Expired("n1", "m2", at(1000.0))));
    EXPECT_EQ(a.hash(), Expired("n1", "m1", at(1000.05)).hash());
    EXPECT_EQ(a.identifier(), "n1");
    EXPECT_EQ(a.matchIdentifier(), "m1");
    EXPECT_EQ(a.sendDate(), at(1000.0));
}

TEST(NotificationsEnabledCallbackTest, CarriesTheAnswer) {
    ZarnPNotificationsEnabledCallback answer(true, 2);
    EXPECT_TRUE(answer.enabled());
    EXPECT_EQ(answer.authorizationStatus(), 2);
}

// ---- Vocabularies -----------------------------------------------------------------------

TEST(VocabularyTest, TriggerContextNames) {
    const std::vector<std::pair<unsigned, std::string>> names = {
        {0, "user_initiated"}, {1, "foreground"},         {2, "geofence"}, {3, "beacon"},      {4, "slc"},
        {5, "push"},           {6, "contextualPage"},     {7, "external"}, {8, "attribution"}, {9, "init"},
        {10, "undefined"},     {0xffffffffu, "undefined"}};
    for (const auto& [value, name] : names) EXPECT_EQ(ZarnTriggerContext::toString(value), name) << value;
}

TEST(VocabularyTest, HandlerTypeLogNames) {
    const std::vector<std::pair<unsigned, std::string>> names = {{0, "Unknown"},
                                                                 {1, "NotificationHandlerTypeRegular"},
                                                                 {2, "NotificationHandlerTypeGeotrigger"},
                                                                 {3, "NotificationHandlerTypeApplink"},
                                                                 {4, "NotificationHandlerTypeLandingPage"},
                                                                 {5, "NotificationHandlerTypeContextualPage"},
                                                                 {6, "Unknown"}};
    for (const auto& [value, name] : names)
        EXPECT_EQ(ZarnPNotificationHandlerUtil::handlerToString(value), name);
}

TEST(VocabularyTest, StringToRegionIsExactAndDefaultsToGeofence) {
    EXPECT_EQ(ZarnPNotificationRegionType::StringToRegion("beacon"), ZarnPNotificationRegionTypeBeacon);
    EXPECT_EQ(ZarnPNotificationRegionType::StringToRegion("external"), ZarnPNotificationRegionTypeExternal);
    EXPECT_EQ(ZarnPNotificationRegionType::StringToRegion("geofence"), ZarnPNotificationRegionTypeGeofence);
    EXPECT_EQ(ZarnPNotificationRegionType::StringToRegion("Beacon"), 0);
    EXPECT_EQ(ZarnPNotificationRegionType::StringToRegion(" beacon"), 0);
    EXPECT_EQ(ZarnPNotificationRegionType::StringToRegion(""), 0);
    EXPECT_EQ(ZarnPNotificationRegionType::StringToRegion(std::nullopt), 0);
}

TEST(VocabularyTest, ExternalTriggerTypes) {
    EXPECT_EQ(ZarnPExternalTriggerType::toTriggerType("enter"), 0);
    EXPECT_EQ(ZarnPExternalTriggerType::toTriggerType("exit"), 1);
    EXPECT_EQ(ZarnPExternalTriggerType::toTriggerType("Enter"), -1);
    EXPECT_EQ(ZarnPExternalTriggerType::toString(0), "ENTER");
    EXPECT_EQ(ZarnPExternalTriggerType::toString(7), "EXIT");
}

TEST(VocabularyTest, EventTypeNamesRoundTripAndUnknownsRaiseOrGiveNothing) {
    for (unsigned t = 0; t < 16; ++t) {
        std::string name = ZarnPLogEventType::logEventTypeToString(t);
        EXPECT_EQ(ZarnPLogEventType::stringToLogEventType(name), t);
    }
    try {
        ZarnPLogEventType::logEventTypeToString(16);
        ADD_FAILURE() << "no exception";
    } catch (const ZarnException& e) {
        EXPECT_EQ(e.reason(), "Unexpected LogEventType.");
    }
    EXPECT_THROW(ZarnPLogEventType::stringToLogEventType("Heartbeat"), ZarnException);
    EXPECT_FALSE(ZarnPLogEventType::nameForType(16).has_value());
    EXPECT_FALSE(ZarnPLogEventType::typeForName("unknown").has_value());
}

TEST(VocabularyTest, EmptyUuidIsThirtyTwoZeros) {
    EXPECT_EQ(std::string(EMPTY_UUID), std::string(32, '0'));
}

// ---- UUID values ------------------------------------------------------------------------

TEST(UuidTest, ParsesEitherCaseAndRefusesOtherForms) {
    auto upper = Uuid::fromString("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0");
    auto lower = Uuid::fromString("e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(*upper, *lower);
    EXPECT_EQ(upper->uuidString(), "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0");
    EXPECT_EQ(upper->lowerCaseString(), "e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    for (const char* bad : {"", "E2C56DB5DFFB48D2B060D0F5A71096E0", "E2C56DB5-DFFB-48D2-B060-D0F5A71096E",
                            "E2C56DB5-DFFB-48D2-B060-D0F5A71096E00", "E2C56DB5-DFFB-48D2-B060_D0F5A71096E0",
                            "G2C56DB5-DFFB-48D2-B060-D0F5A71096E0", "E2C56DB5-DFFB-48D2-B060-D0F5A71096E-"}) {
        EXPECT_FALSE(Uuid::fromString(bad).has_value()) << bad;
    }
}

TEST(UuidTest, RandomUuidsAreVersionFourAndDistinct) {
    std::unordered_set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        Uuid u = Uuid::random();
        EXPECT_EQ(u.bytes()[6] >> 4, 4);
        EXPECT_EQ(u.bytes()[8] & 0xc0, 0x80);
        EXPECT_TRUE(seen.insert(u).second);
    }
}

}  // namespace
}  // namespace zarn
