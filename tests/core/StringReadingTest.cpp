// The platform's number readings of texts (intValue, longLongValue, doubleValue, boolValue).
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "core/ZarnPStringReading.h"

namespace zarn {
namespace {

using R = ZarnPStringReading;

TEST(StringReadingTest, IntegerReadings) {
    struct Case {
        std::string text;
        int asInt;
        long long asLongLong;
    };
    const std::vector<Case> cases = {
        {"", 0, 0},
        {"abc", 0, 0},
        {"42", 42, 42},
        {"  \t\n42", 42, 42},
        {"+42", 42, 42},
        {"-42", -42, -42},
        {"42abc", 42, 42},
        {"4 2", 4, 4},
        {"0x1F", 0, 0},
        {"3.99", 3, 3},
        {"-", 0, 0},
        {"+-1", 0, 0},
        {"- 1", 0, 0},
        {"007", 7, 7},
        {"2147483647", INT_MAX, 2147483647LL},
        {"2147483648", INT_MAX, 2147483648LL},
        {"-2147483648", INT_MIN, -2147483648LL},
        {"-2147483649", INT_MIN, -2147483649LL},
        {"99999999999999999999999", INT_MAX, LLONG_MAX},
        {"-99999999999999999999999", INT_MIN, LLONG_MIN},
        {"9223372036854775807", INT_MAX, LLONG_MAX},
        {"-9223372036854775808", INT_MIN, LLONG_MIN},
        {"-9223372036854775809", INT_MIN, LLONG_MIN},
        {std::string("12\0"
                     "34",
                     5),
         12, 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(R::intValue(c.text), c.asInt) << '"' << c.text << '"';
        EXPECT_EQ(R::longLongValue(c.text), c.asLongLong) << '"' << c.text << '"';
    }
}

TEST(StringReadingTest, DoubleReadings) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"", 0.0},    {"x1", 0.0},   {"1.5", 1.5},    {"  -1.5e2xyz", -150.0},
        {"+.5", 0.5}, {"5.", 5.0},   {".", 0.0},      {"-", 0.0},
        {"1e", 1.0},  {"1e+", 1.0},  {"2E-3", 0.002}, {"inf", 0.0},
        {"nan", 0.0}, {"0x10", 0.0}, {"1,5", 1.0},    {"52.3702157", 52.3702157},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(R::doubleValue(text), value) << '"' << text << '"';
    EXPECT_EQ(R::doubleValue("1e999"), HUGE_VAL);
    EXPECT_EQ(R::doubleValue("-1e999"), -HUGE_VAL);
    EXPECT_EQ(R::doubleValue("1e-999"), 0.0);
}

TEST(StringReadingTest, BoolReadings) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"YES", true},    {"yes", true}, {"Y", true},   {"true", true},   {"True", true},   {"t", true},
        {"1", true},      {"9", true},   {"007", true}, {"  yes", true},  {"+1", true},     {"-1", true},
        {"\t0001", true}, {"NO", false}, {"no", false}, {"false", false}, {"0", false},     {"000", false},
        {"", false},      {"x", false},  {"-", false},  {" 0 1", false},  {"\nYES", false}, {"0.5", false},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(R::boolValue(text), value) << '"' << text << '"';
}

TEST(StringReadingTest, ReadingsIgnoreTheProcessLocale) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    std::string saved = current ? current : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma on this machine";
    EXPECT_EQ(R::doubleValue("1.5"), 1.5);
    EXPECT_EQ(R::doubleValue("1,5"), 1.0);
    EXPECT_EQ(R::intValue("1.234"), 1);
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace zarn
