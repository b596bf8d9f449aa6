#include "core/Format.h"
#include "zarn/Value.h"

#include <gtest/gtest.h>
#include <clocale>
#include <limits>
#include <vector>

#include "core/DateFormat.h"

namespace zarn {
namespace {

TEST(FormatTest, ConversionsAndDescriptions) {
    EXPECT_EQ(format("%@|%@| %@", "DEBUG", std::string("Module"), "text"), "DEBUG|Module| text");
    EXPECT_EQ(format("%d %lld %u", 1, static_cast<long long>(1) << 40, 7u), "1 1099511627776 7");
    EXPECT_EQ(format("%f", 1.5), "1.500000");
    EXPECT_EQ(format("%.2f%%", 12.345), "12.35%");
    EXPECT_EQ(format("%@", Value{{"a", 1}}), "{\"a\":1}");
    EXPECT_EQ(format("%@ and %@", std::optional<std::string>{}, std::shared_ptr<Error>{}),
              "(null) and (null)");
    EXPECT_EQ(format("%5s|%-3d|", "ab", 4), "   ab|4  |");
}

TEST(FormatTest, DataIsNeverReadAsAFormat) {
    // Too few arguments print placeholders, never read past what was given.
    EXPECT_EQ(format("%@ %s %d", "only"), "only (null) 0");
    std::string hostile = "%s%s%n%@";
    EXPECT_EQ(format("%@", hostile), hostile);
    EXPECT_EQ(format("50%"), "50%");
}

TEST(FormatTest, NumbersUseTheCLocaleWhateverTheProcessLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        // No comma locale installed: simulate one through the thread locale scope being absent.
        GTEST_SKIP() << "no locale with a decimal comma on this machine";
    }
    EXPECT_EQ(format("%f", 1.5), "1.500000");
    EXPECT_EQ(describe(2.25), "2.25");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(FormatTest, DatesDescribeInUtc) {
    EXPECT_EQ(format("%@", dateWithTimeIntervalSince1970(0)), "1970-01-01 00:00:00 +0000");
}

TEST(FormatTest, DatesNoCalendarHoldsDescribeAsInvalid) {
    // Such dates come from damaged rows; converting them to time_t would be undefined.
    for (double seconds : {2.68156e154, -1e300, 1e16, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(describeDate(dateWithTimeIntervalSince1970(seconds)), "(invalid date)") << seconds;
        EXPECT_EQ(formatDate(dateWithTimeIntervalSince1970(seconds), 3600, "yyyy-MM-dd"), "") << seconds;
    }
    EXPECT_EQ(formatDate(dateWithTimeIntervalSince1970(0), 0, "yyyy-MM-dd"), "1970-01-01");
}

TEST(FormatTest, TextKeepsItsLengthAndFloatingPointNeverOverflowsAnInteger) {
    const std::string nul("before\0after", 12);
    EXPECT_EQ(format("%@", nul), nul);
    EXPECT_EQ(format("[%s]", nul), "[" + nul + "]");
    EXPECT_EQ(format("%14@|", nul), "  " + nul + "|");
    EXPECT_EQ(format("%-14s|", nul), nul + "  |");
    EXPECT_EQ(format("%.8@|", nul), nul.substr(0, 8) + "|");
    EXPECT_EQ(format("%*s|", -4, "ab"), "ab  |");

    // An integer conversion of a floating-point argument saturates; nothing else converts it.
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        std::string fmt;
        double value;
        std::string expected;
    } cases[] = {
        {"%d", 1e300, "9223372036854775807"},
        {"%lld", -kInf, "-9223372036854775808"},
        {"%d", std::numeric_limits<double>::quiet_NaN(), "0"},
        {"%u", 1e300, "9223372036854775807"},
        {"%@", 1e300, "1e+300"},
        {"%@", kInf, "inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(format(c.fmt, c.value), c.expected) << c.fmt << " " << c.value;
    EXPECT_EQ(format("%.0f", 1e300).substr(0, 20), "10000000000000000525");
}

// A value's text for a log line is built only up to the cut, yet must read exactly as the start of
// its whole description, cut on a character boundary at every length.
TEST(FormatTest, ADescriptionCutAtAnyLengthIsTheStartOfTheWholeOne) {
    const std::string invalid = "ok\xC3(\xFF\xE2\x82";
    const std::vector<Value> values = {
        Value{{"aps", {{"alert", "caf\xC3\xA9 \"\\\n\t\x01"}, {"badge", 1}}},
              {"zarn_v2", std::string(300, 'x')},
              {"list", {1, -2, 3.5, 1e300, nullptr, true, Value::object(), Value::array(), {{"k", {}}}}},
              {invalid, invalid},
              {"n", std::numeric_limits<double>::quiet_NaN()},
              {"u", std::numeric_limits<uint64_t>::max()}},
        Value::array({Value::array({Value::array({"\xF0\x9F\x98\x80\xF0\x9F\x98\x80"})})}),
        Value("\xE2\x82\xAC\xE2\x82\xAC text"),
        Value(42),
    };
    auto check = [](const std::string& whole, auto describeAt) {
        for (size_t n = 0; n <= whole.size() + 1; ++n) {
            std::string cut = describeAt(n);
            if (whole.size() <= n) {
                ASSERT_EQ(cut, whole) << n;
                continue;
            }
            ASSERT_EQ(cut.substr(cut.size() - kCutMark.size()), kCutMark) << n;
            std::string kept = cut.substr(0, cut.size() - kCutMark.size());
            ASSERT_LE(kept.size(), n);
            ASSERT_GE(kept.size() + 3, n);
            ASSERT_EQ(kept, whole.substr(0, kept.size())) << n;
            // The next byte of the whole text starts a character.
            ASSERT_NE(static_cast<unsigned char>(whole[kept.size()]) & 0xC0, 0x80) << n;
        }
    };
    for (const Value& v : values) {
        SCOPED_TRACE(describe(v));
        check(describe(v), [&](size_t n) { return describeUpTo(v, n); });
    }
    const std::vector<std::optional<std::string>> list = {"\xC3\xA9\xC3\xA9", std::nullopt,
                                                          std::string(40, 'y')};
    check(describe(list), [&](size_t n) { return describeUpTo(list, n); });

    // A deep value is walked without the thread's stack.
    Value deep = Value::array();
    Value* inner = &deep;
    for (int i = 0; i < 100000; ++i) inner = &inner->emplace_back(Value::array());
    EXPECT_EQ(describeUpTo(deep, 8), "[[[[[[[[" + std::string(kCutMark));
}

TEST(FormatTest, DatePatternsShiftQuoteAndRoundToTheMillisecond) {
    const double noon = 1796128496;  // 2026-12-01 12:34:56 UTC
    struct Case {
        double seconds;
        long offset;
        const char* pattern;
        const char* expected;
    };
    const std::vector<Case> cases{
        {noon + 0.123, 3600, "dd-MM HH:mm:ss.SSS", "01-12 13:34:56.123"},
        {noon + 0.9995, 0, "ss.SSS", "56.999"},
        {noon + 0.9999996, 0, "ss.SSS", "57.000"},
        {noon, 0, "yy/M/d", "26/12/01"},
        {noon, -16200, "yyyy-MM-dd'T'HH:mm:ssZZZZZ", "2026-12-01T08:04:56-04:30"},
        {noon, 19800, "HH 'h' qq ZZZZZ", "18 h qq +05:30"},
        {noon, 0, "mm'unclosed", "34unclosed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatDate(dateWithTimeIntervalSince1970(c.seconds), c.offset, c.pattern), c.expected)
            << c.pattern;
}

}  // namespace
}  // namespace zarn
