// typed reads of decoded JSON dictionaries with the first-error-wins rule.
#include <gtest/gtest.h>

#include <climits>

#include "core/ZarnPDictionaryHelper.h"

namespace zarn {
namespace {

using H = ZarnPDictionaryHelper;

Error missing(const std::string& key) {
    return Error{"Zarn", -2, "Missing key: " + key};
}
Error wrong(const std::string& what, const std::string& key) {
    return Error{"Zarn", -3, "Key not " + what + ": " + key};
}

const Value kDict = {{"text", "1"},     {"int", 42},
                     {"neg", -7},       {"double", 2.75},
                     {"bool", true},    {"null", nullptr},
                     {"array", {1, 2}}, {"dict", {{"k", "v"}}},
                     {"big", 1e20},     {"huge", 9223372036854775807LL},
                     {"zero", 0}};

TEST(DictionaryHelperTest, IntOfATextIsAWrongTypeAndOfAnAbsentKeyMissing) {
    std::optional<Error> error;
    EXPECT_EQ(H::dictIntForKey(Value{{"a", "1"}}, "a", &error), 0);
    EXPECT_EQ(error, wrong("a number", "a"));
    EXPECT_EQ(error->message, "Key not a number: a");

    std::optional<Error> other;
    EXPECT_EQ(H::dictIntForKey(Value{{"a", "1"}}, "b", &other), 0);
    EXPECT_EQ(other, missing("b"));

    // A second failing read keeps the first error.
    EXPECT_EQ(H::dictIntForKey(Value{{"a", "1"}}, "b", &error), 0);
    EXPECT_EQ(error, wrong("a number", "a"));
}

TEST(DictionaryHelperTest, EveryReadFollowsItsRow) {
    struct Case {
        const char* name;
        std::function<bool(const std::string&, std::optional<Error>*)>
            read;  // true when the result is the "nothing" one
        std::string key;
        std::optional<Error> expected;
        bool nothing = expected.has_value();  // an absent optional number is nothing without an error
    };
    auto intRead = [](const std::string& k, std::optional<Error>* e) {
        return H::dictIntForKey(kDict, k, e) == 0;
    };
    auto boolRead = [](const std::string& k, std::optional<Error>* e) {
        return !H::dictBoolForKey(kDict, k, e);
    };
    auto doubleRead = [](const std::string& k, std::optional<Error>* e) {
        return H::dictDoubleForKey(kDict, k, e) == 0.0;
    };
    auto numberRead = [](const std::string& k, std::optional<Error>* e) {
        return !H::dictNumberForKey(kDict, k, e);
    };
    auto optionalRead = [](const std::string& k, std::optional<Error>* e) {
        return !H::dictOptionalNumberForKey(kDict, k, e);
    };
    auto stringRead = [](const std::string& k, std::optional<Error>* e) {
        return !H::dictStringForKey(kDict, k, e);
    };
    auto arrayRead = [](const std::string& k, std::optional<Error>* e) {
        return !H::dictArrayForKey(kDict, k, e);
    };
    auto dictRead = [](const std::string& k, std::optional<Error>* e) {
        return !H::dictDictionaryForKey(kDict, k, e);
    };
    auto objectRead = [](const std::string& k, std::optional<Error>* e) {
        return !H::dictObjectForKey(kDict, k, e);
    };

    const std::vector<Case> cases = {
        {"int", intRead, "int", std::nullopt},
        {"int of text", intRead, "text", wrong("a number", "text")},
        {"int of null", intRead, "null", wrong("a number", "null")},
        {"int missing", intRead, "none", missing("none")},
        {"bool", boolRead, "bool", std::nullopt},
        {"bool of text", boolRead, "text", wrong("a number", "text")},
        {"bool missing", boolRead, "none", missing("none")},
        {"double", doubleRead, "double", std::nullopt},
        {"double of array", doubleRead, "array", wrong("a number", "array")},
        {"double missing", doubleRead, "none", missing("none")},
        {"number", numberRead, "int", std::nullopt},
        {"number of bool", numberRead, "bool", std::nullopt},
        {"number of dict", numberRead, "dict", wrong("a number", "dict")},
        {"number missing", numberRead, "none", missing("none")},
        {"optional number", optionalRead, "double", std::nullopt},
        {"optional number missing", optionalRead, "none", std::nullopt, true},
        {"optional number of null", optionalRead, "null", wrong("a number", "null")},
        {"optional number of text", optionalRead, "text", wrong("a number", "text")},
        {"string", stringRead, "text", std::nullopt},
        {"string of int", stringRead, "int", wrong("a string", "int")},
        {"string of null", stringRead, "null", wrong("a string", "null")},
        {"string missing", stringRead, "none", missing("none")},
        {"array", arrayRead, "array", std::nullopt},
        {"array of dict", arrayRead, "dict", wrong("an array", "dict")},
        {"array missing", arrayRead, "none", missing("none")},
        {"dictionary", dictRead, "dict", std::nullopt},
        {"dictionary of array", dictRead, "array", wrong("a dictionary", "array")},
        {"dictionary of null", dictRead, "null", wrong("a dictionary", "null")},
        {"dictionary missing", dictRead, "none", missing("none")},
        {"object of null", objectRead, "null", std::nullopt},
        {"object missing", objectRead, "none", missing("none")},
    };
    for (const auto& c : cases) {
        std::optional<Error> error;
        bool nothing = c.read(c.key, &error);
        EXPECT_EQ(error, c.expected) << c.name;
        EXPECT_EQ(nothing, c.nothing) << c.name;
        // Without an error slot the read still answers and never writes anywhere.
        EXPECT_EQ(c.read(c.key, nullptr), nothing) << c.name;
    }
}

TEST(DictionaryHelperTest, NumbersConvertAsThePlatformDoes) {
    std::optional<Error> error;
    EXPECT_EQ(H::dictIntForKey(kDict, "int", &error), 42);
    EXPECT_EQ(H::dictIntForKey(kDict, "neg", &error), -7);
    EXPECT_EQ(H::dictIntForKey(kDict, "double", &error), 2);
    EXPECT_EQ(H::dictIntForKey(kDict, "bool", &error), 1);
    EXPECT_EQ(H::dictIntForKey(kDict, "big", &error), INT_MAX);   // saturated
    EXPECT_EQ(H::dictIntForKey(kDict, "huge", &error), INT_MAX);  // saturated
    EXPECT_TRUE(H::dictBoolForKey(kDict, "int", &error));
    EXPECT_FALSE(H::dictBoolForKey(kDict, "zero", &error));
    EXPECT_TRUE(H::dictBoolForKey(kDict, "double", &error));
    EXPECT_EQ(H::dictDoubleForKey(kDict, "double", &error), 2.75);
    EXPECT_EQ(H::dictDoubleForKey(kDict, "bool", &error), 1.0);
    EXPECT_EQ(H::dictDoubleForKey(kDict, "int", &error), 42.0);
    EXPECT_EQ(H::dictStringForKey(kDict, "text", &error), std::optional<std::string>("1"));
    EXPECT_EQ(H::dictArrayForKey(kDict, "array", &error), Value({1, 2}));
    EXPECT_EQ(H::dictNumberForKey(kDict, "double", &error), Value(2.75));
    EXPECT_FALSE(error.has_value());
}

TEST(DictionaryHelperTest, OrElseGivesTheDefaultWithoutAnError) {
    EXPECT_EQ(H::dictObjectForKeyOrElse(kDict, "none", Value("fallback")), Value("fallback"));
    EXPECT_EQ(H::dictObjectForKeyOrElse(kDict, "int", Value("fallback")), Value(42));
    EXPECT_EQ(H::dictObjectForKeyOrElse(kDict, "null", Value("fallback")), Value(nullptr));
}

TEST(DictionaryHelperTest, ADictionaryThatIsNotAnObjectMissesEveryKeyAndNeverThrows) {
    for (const Value& notADict : {Value(), Value(3), Value("text"), Value::array({1}), Value(true)}) {
        std::optional<Error> error;
        EXPECT_EQ(H::dictIntForKey(notADict, "k", &error), 0);
        EXPECT_FALSE(H::dictStringForKey(notADict, "k", &error).has_value());
        EXPECT_FALSE(H::dictOptionalNumberForKey(notADict, "k", &error).has_value());
        EXPECT_EQ(H::dictObjectForKeyOrElse(notADict, "k", Value(1)), Value(1));
        EXPECT_EQ(error, missing("k")) << notADict.dump();
    }
}

TEST(DictionaryHelperTest, AnErrorAlreadyInTheSlotIsKept) {
    std::optional<Error> error = Error{"Other", 7, "earlier"};
    EXPECT_FALSE(H::dictStringForKey(kDict, "none", &error).has_value());
    EXPECT_EQ(error, (Error{"Other", 7, "earlier"}));
}

TEST(DictionaryHelperTest, LenientEntryReadsFollowTheirRows) {
    struct Case {
        Value dict;
        std::string key;
        std::optional<Value> entry;  // nullopt: no entry
        std::optional<std::string> text;
        int number;
    };
    const Value info = {{"id", "c;r"},        {"minutes", 15},   {"text", "20 minutes"}, {"null", nullptr},
                        {"list", {1, 2}},     {"fraction", 2.9}, {"flag", true},         {"huge", 1e20},
                        {"dict", {{"k", 1}}}, {"negative", -3}};
    const std::vector<Case> cases = {
        {info, "id", Value("c;r"), "c;r", 0},
        {info, "minutes", Value(15), std::nullopt, 15},
        {info, "text", Value("20 minutes"), "20 minutes", 20},
        {info, "null", Value(nullptr), std::nullopt, 0},
        {info, "list", Value({1, 2}), std::nullopt, 0},
        {info, "dict", Value({{"k", 1}}), std::nullopt, 0},
        {info, "fraction", Value(2.9), std::nullopt, 2},
        {info, "flag", Value(true), std::nullopt, 1},
        {info, "huge", Value(1e20), std::nullopt, INT_MAX},
        {info, "negative", Value(-3), std::nullopt, -3},
        {info, "absent", std::nullopt, std::nullopt, 0},
        {info, "", std::nullopt, std::nullopt, 0},
        {Value(), "id", std::nullopt, std::nullopt, 0},
        {Value("id"), "id", std::nullopt, std::nullopt, 0},
        {Value::array({"id"}), "id", std::nullopt, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        const Value* found = H::entry(c.dict, c.key);
        SCOPED_TRACE(c.dict.dump() + " / " + c.key);
        ASSERT_EQ(found != nullptr, c.entry.has_value());
        if (found) {
            EXPECT_EQ(*found, *c.entry);
            EXPECT_EQ(found, &c.dict.at(c.key));  // the entry itself, not a copy
        }
        EXPECT_EQ(H::stringEntry(c.dict, c.key), c.text);
        EXPECT_EQ(H::intEntry(c.dict, c.key), c.number);
    }
}

TEST(DictionaryHelperTest, ValueReadingsOfNumbersAndTexts) {
    EXPECT_EQ(H::intValueOf(Value("15 minutes")), 15);
    EXPECT_EQ(H::intValueOf(Value(15.9)), 15);
    EXPECT_EQ(H::intValueOf(Value(-1e300)), INT_MIN);
    EXPECT_EQ(H::intValueOf(Value(std::numeric_limits<double>::quiet_NaN())), 0);
    EXPECT_EQ(H::intValueOf(Value::array()), 0);
    EXPECT_EQ(H::intValueOf(Value()), 0);
    EXPECT_EQ(H::longLongValueOf(Value("9223372036854775808")), LLONG_MAX);
    EXPECT_EQ(H::longLongValueOf(Value(18446744073709551615ULL)), LLONG_MAX);
    EXPECT_EQ(H::doubleValueOf(Value("2.5e1")), 25.0);
    EXPECT_EQ(H::doubleValueOf(Value(false)), 0.0);
    EXPECT_TRUE(H::boolValueOf(Value("YES")));
    EXPECT_FALSE(H::boolValueOf(Value("NO")));
    EXPECT_TRUE(H::boolValueOf(Value(0.5)));
    EXPECT_FALSE(H::boolValueOf(Value(0)));
    EXPECT_FALSE(H::boolValueOf(Value::object()));
}

}  // namespace
}  // namespace zarn
