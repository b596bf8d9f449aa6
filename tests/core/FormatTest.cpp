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
