#pragma once
#include <string_view>

namespace zarn {

// The platform's number readings of a text (NSString intValue, longLongValue, doubleValue,
// boolValue), written once for everything that reads numbers out of texts (userInfo values,
// settings, service fields). Pure functions, independent of the process locale; any thread.
class ZarnPStringReading {
  public:
    // The leading decimal integer: skips leading white space (blank, tab, line breaks), takes
    // an optional "+" or "-", then digits up to the first non-digit. Saturates at INT_MIN /
    // INT_MAX on overflow; 0 when the text does not begin with a number.
    static int intValue(std::string_view text);
    // The same with the 64-bit limits.
    static long long longLongValue(std::string_view text);
    // The leading decimal floating-point number ([sign] digits [. digits] [e [sign] digits],
    // after leading white space; "inf", "nan" and hexadecimal forms are not read). Plus or minus
    // HUGE_VAL on overflow; 0.0 when the text does not begin with a number.
    static double doubleValue(std::string_view text);
    // YES when the text, after leading blanks and tabs, an optional "+" or "-" and any "0"s,
    // continues with "Y", "y", "T", "t" or a digit 1-9 ("YES", "true", "1", "007"); else NO.
    static bool boolValue(std::string_view text);
};

}  // namespace zarn
