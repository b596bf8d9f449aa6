// The JSON helper: parsing never throws and refuses top-level scalars; serialising never throws.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ZarnPJson.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

TEST(JsonTest, ParsesObjectsAndArrays) {
    Error error;
    auto object = ZarnPJson::parse(R"({"a":1,"b":[true,null,"x"],"c":{"d":2.5}})", &error);
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ((*object)["b"][2], "x");
    EXPECT_EQ((*object)["c"]["d"], 2.5);
    auto array = ZarnPJson::parse(" [1, 2] \n");
    ASSERT_TRUE(array.has_value());
    EXPECT_EQ(array->size(), 2u);
    // A byte-order mark is allowed, as the platform allows it.
    EXPECT_TRUE(ZarnPJson::parse("\xEF\xBB\xBF{}").has_value());
}

TEST(JsonTest, TopLevelScalarsAreRefusedUnlessFragmentsAreAllowed) {
    for (const char* scalar : {"1", "\"text\"", "null", "true", "-0.5"}) {
        Error error;
        EXPECT_FALSE(ZarnPJson::parse(scalar, &error).has_value()) << scalar;
        EXPECT_EQ(error.domain, "ZarnJson");
        EXPECT_EQ(error.code, 3840);
        EXPECT_FALSE(error.message.empty());
        EXPECT_TRUE(ZarnPJson::parse(scalar, nullptr, true).has_value()) << scalar;
    }
}

TEST(JsonTest, BadTextGivesAnErrorNeverAnException) {
    const std::vector<std::string> bad = {
        "",
        "   ",
        "{",
        "[1,",
        "{\"a\":",
        "{\"a\":\"unterminated",
        "{\"a\" 1}",
        "{} {}",
        "[1] x",
        "{'a':1}",
        "[01]",
        "[1e400]",                          // out of range
        "[\"\\ud800\"]",                    // lone surrogate escape
        std::string("[\"\xff\"]"),          // invalid UTF-8 byte
        std::string("[\"\xc3\"]"),          // truncated UTF-8 sequence
        std::string("[\"\xed\xa0\x80\"]"),  // UTF-8 encoded surrogate
        std::string("[\"a\0b\"]", 7),       // control character
        std::string("[1]\0", 4),
        "/* comment */ {}",
        std::string(600, '[') + std::string(600, ']'),  // nested too deeply
    };
    for (const auto& text : bad) {
        Error error;
        std::optional<Value> result;
        EXPECT_NO_THROW(result = ZarnPJson::parse(text, &error)) << text;
        EXPECT_FALSE(result.has_value()) << text;
        EXPECT_EQ(error.code, 3840) << text;
    }
}

TEST(JsonTest, NestingUpToTheLimitIsAccepted) {
    std::string deep = std::string(ZarnPJson::kMaxDepth, '[') + std::string(ZarnPJson::kMaxDepth, ']');
    EXPECT_TRUE(ZarnPJson::parse(deep).has_value());
    std::string tooDeep = "[" + deep + "]";
    EXPECT_FALSE(ZarnPJson::parse(tooDeep).has_value());
    // Brackets inside strings do not count.
    EXPECT_TRUE(ZarnPJson::parse("[\"" + std::string(2000, '[') + "\\\"\"]").has_value());
}

TEST(JsonTest, SerialisesCompactlyAndReplacesInvalidUtf8) {
    EXPECT_EQ(ZarnPJson::serialise(Value{{"a", 1}, {"b", {true, nullptr}}}), R"({"a":1,"b":[true,null]})");
    std::string invalid = ZarnPJson::serialise(Value{{"k", std::string("a\xff"
                                                                       "b")}});
    EXPECT_EQ(invalid,
              "{\"k\":\"a\xEF\xBF\xBD"
              "b\"}");
    EXPECT_TRUE(ZarnPJson::parse(invalid).has_value());
    EXPECT_EQ(ZarnPJson::serialise(Value::array({std::numeric_limits<double>::infinity()})), "[null]");
    EXPECT_EQ(ZarnPJson::serialise(Value{{"u", "\xc3\xa9\xe2\x82\xac"}}), "{\"u\":\"\xc3\xa9\xe2\x82\xac\"}");
}

TEST(JsonTest, RoundTrip) {
    Value v = {{"text", "line\nbreak \"quoted\""},
               {"n", -12},
               {"f", 0.1},
               {"big", 18446744073709551615ULL},
               {"nested", {{"list", {1, "two", {{"three", 3}}}}}}};
    auto back = ZarnPJson::parse(ZarnPJson::serialise(v));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, v);
}

}  // namespace
}  // namespace zarn
