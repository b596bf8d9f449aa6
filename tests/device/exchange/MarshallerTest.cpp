#include <gtest/gtest.h>

#include <limits>

#include "core/ZarnPEvent.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLocation.h"
#include "device/exchange/ZarnPLocationMarshaller.h"
#include "device/exchange/ZarnPServiceResponseMarshaller.h"
#include "device/exchange/ZarnPStoreEventMarshaller.h"

namespace zarn {
namespace {

const Date kNow = dateWithTimeIntervalSince1970(1796126400.0);

TEST(MarshallerTest, SecondsAgoRoundsHalvesAwayFromZeroAndSaturates) {
    const struct {
        double ago;
        std::int32_t sent;
    } cases[] = {
        {1.5, 2},
        {0.4, 0},
        {0.5, 1},
        {2.49, 2},
        {-1.5, -2},
        {-0.4, 0},
        {86400.0, 86400},
        {3.0e9, 2147483647},
        {-3.0e9, -2147483648LL},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) {
        Date date = dateByAddingTimeInterval(kNow, -c.ago);
        EXPECT_EQ(ZarnPStoreEvent::secondsAgoFrom(date, kNow), c.sent) << c.ago;
    }
}

TEST(MarshallerTest, NumbersKeepTheirJsonKinds) {
    auto event = std::make_shared<ZarnPEvent>("E", 4, dateByAddingTimeInterval(kNow, -7.0), Value::object());
    auto command = ZarnPStoreEventsAndLoadNotifications::storeEventsWithDeviceId(
        "D", {event}, std::make_shared<ZarnPLocation>(1.0, -2.0), {}, std::nullopt, true, Value(), 0.0,
        ZarnPUpdateConditions("NONE", false, true, "undefined", -100, false),
        std::vector<Value>{Value{{"id", "t"}, {"version", 9007199254740993LL}}}, kNow);
    std::string text =
        ZarnPJson::serialise(ZarnPStoreEventMarshaller::storeEventsAndLoadNotificationsToDictionary(command));
    auto body = ZarnPJson::parse(text);
    ASSERT_TRUE(body);
    const struct {
        const char* pointer;
        Value::value_t kind;
    } cases[] = {
        {"/events/0/secondsAgo", Value::value_t::number_integer},
        {"/updateConditions/batteryLevel", Value::value_t::number_integer},
        {"/loadedTiles/0/version", Value::value_t::number_integer},
        {"/location/latitude", Value::value_t::number_float},
        {"/location/longitude", Value::value_t::number_float},
        {"/accuracy", Value::value_t::number_float},
        {"/updateConditions/charging", Value::value_t::boolean},
        {"/updateConditions/unmeteredConnection", Value::value_t::boolean},
        {"/advertisingOptOut", Value::value_t::boolean},
    };
    for (const auto& c : cases) {
        Value::json_pointer p(c.pointer);
        ASSERT_TRUE(body->contains(p)) << c.pointer << " in " << text;
        const Value& v = (*body)[p];
        // The reader makes non-negative integers unsigned; both are JSON integers.
        bool kindMatches =
            c.kind == Value::value_t::number_integer ? v.is_number_integer() : v.type() == c.kind;
        EXPECT_TRUE(kindMatches) << c.pointer << " in " << text;
    }
    // 64-bit versions survive exactly; a negative battery level stays negative.
    EXPECT_EQ((*body)["loadedTiles"][0]["version"].get<std::int64_t>(), 9007199254740993LL);
    EXPECT_EQ((*body)["updateConditions"]["batteryLevel"], -100);
    EXPECT_EQ((*body)["events"][0]["secondsAgo"], 7);
    EXPECT_EQ((*body)["advertisingOptOut"], false);
}

TEST(MarshallerTest, OptionalKeysArePresentExactlyWhenTheirValueIs) {
    const struct {
        std::optional<std::string> advertisingId;
        std::optional<bool> enabled;
        Value segmentation;
        std::vector<std::string> keys;
    } cases[] = {
        {std::nullopt, std::nullopt, Value(), {"deviceId", "events"}},
        {std::nullopt, true, Value(), {"advertisingOptOut", "deviceId", "events"}},
        {"id",
         false,
         Value{{"k", "v"}},
         {"advertisingId", "advertisingOptOut", "deviceId", "events", "segmentationProperties"}},
        {std::nullopt, std::nullopt, Value::array(), {"deviceId", "events"}},
    };
    for (const auto& c : cases) {
        auto command = ZarnPStoreEvents::storeEventsWithDeviceId("D", {}, {"cap"}, c.advertisingId, c.enabled,
                                                                 c.segmentation, kNow);
        Value body = ZarnPStoreEventMarshaller::storeEventsToDictionary(command);
        std::vector<std::string> keys;
        for (auto it = body.begin(); it != body.end(); ++it) keys.push_back(it.key());
        EXPECT_EQ(keys, c.keys);
        EXPECT_TRUE(body["events"].is_array());
        if (c.enabled) {
            EXPECT_EQ(body["advertisingOptOut"], !*c.enabled);
        }
    }
    // An event without extra keeps its other three keys; one of an unknown type is left out.
    ZarnPStoreEvent bare{"L", 0, 3, Value()};
    Value dict = ZarnPStoreEventMarshaller::storeEventToDictionary(bare);
    EXPECT_EQ(dict, (Value{{"localId", "L"}, {"eventType", "notification_state"}, {"secondsAgo", 3}}));
    EXPECT_TRUE(ZarnPStoreEventMarshaller::storeEventToDictionary({"X", 99, 0, Value::object()}).is_null());
    // A data-update body without tiles has an empty list; without a location it sends 0, 0.
    auto update = ZarnPStoreEventsAndLoadNotifications::storeEventsWithDeviceId(
        "D", {}, nullptr, {}, std::nullopt, std::nullopt, Value(), 0.0, std::nullopt, std::vector<Value>{},
        kNow);
    Value u = ZarnPStoreEventMarshaller::storeEventsAndLoadNotificationsToDictionary(update);
    EXPECT_EQ(u["loadedTiles"], Value::array());
    EXPECT_EQ(u["location"], (Value{{"latitude", 0.0}, {"longitude", 0.0}}));
    EXPECT_FALSE(u.contains("beaconNotificationVersion"));
}

TEST(MarshallerTest, EnvelopeReader) {
    const struct {
        const char* json;
        bool read;
        long code;
        bool success;
        std::optional<std::string> message;
    } cases[] = {
        {R"({"success":true})", true, 0, true, std::nullopt},
        {R"({"success":false,"errorMessage":"bad token","errorCode":"E1","result":[1]})", true, 0, false,
         "bad token"},
        {R"({"success":1})", true, 0, true, std::nullopt},
        {R"({"errorMessage":"x"})", false, -2, false, std::nullopt},
        {R"({"success":"yes"})", false, -3, false, std::nullopt},
        {R"({"success":null})", false, -3, false, std::nullopt},
        {R"({"success":true,"errorMessage":5})", false, -3, false, std::nullopt},
        {R"([true])", false, -2, false, std::nullopt},
    };
    for (const auto& c : cases) {
        std::optional<Error> error;
        auto response =
            ZarnPServiceResponseMarshaller::dictionaryToServiceResponse(*ZarnPJson::parse(c.json), &error);
        EXPECT_EQ(response.has_value(), c.read) << c.json;
        if (!c.read) {
            ASSERT_TRUE(error) << c.json;
            EXPECT_EQ(error->domain, "Zarn");
            EXPECT_EQ(error->code, c.code) << c.json;
            continue;
        }
        EXPECT_FALSE(error);
        EXPECT_EQ(response->success, c.success) << c.json;
        EXPECT_EQ(response->errorMessage, c.message) << c.json;
    }
    auto full = ZarnPServiceResponseMarshaller::dictionaryToServiceResponse(
        *ZarnPJson::parse(R"({"success":false,"errorCode":"E1","result":{"a":1}})"), nullptr);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->errorCode, "E1");
    EXPECT_EQ(full->result, (Value{{"a", 1}}));
    // A slot that already holds an error reads nothing.
    std::optional<Error> earlier = Error{"Zarn", -2, "Missing key: x"};
    EXPECT_FALSE(
        ZarnPServiceResponseMarshaller::dictionaryToServiceResponse(Value{{"success", true}}, &earlier));
    EXPECT_EQ(earlier->message, "Missing key: x");
}

TEST(MarshallerTest, LocationsRoundTripAndBadOnesAreRefused) {
    auto dict = ZarnPLocationMarshaller::locationToDictionary(ZarnPLocation(48.1, 11.6));
    std::optional<Error> error;
    auto back = ZarnPLocationMarshaller::dictionaryToLocation(dict, &error);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->latitude(), 48.1);
    EXPECT_EQ(back->longitude(), 11.6);
    EXPECT_FALSE(ZarnPLocationMarshaller::dictionaryToLocation(Value{{"latitude", 1.0}}, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, -2);
    std::optional<Error> wrong;
    EXPECT_FALSE(
        ZarnPLocationMarshaller::dictionaryToLocation(Value{{"latitude", "1"}, {"longitude", 2}}, &wrong));
    EXPECT_EQ(wrong->code, -3);
}

}  // namespace
}  // namespace zarn
