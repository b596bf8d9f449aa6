#include "core/ZarnPStringReading.h"

#include "core/CLocale.h"

#include <locale.h>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace zarn {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t skipSpace(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    return i;
}

// Reads [sign] digits, saturating at the given limits.
template <typename T>
T readInteger(std::string_view text, T minimum, T maximum) {
    std::size_t i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the signed side so that the minimum (one larger in magnitude) fits.
    T value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        T digit = static_cast<T>(text[i] - '0');
        if (negative) {
            if (value < (minimum + digit) / 10)
                return minimum;
            value = static_cast<T>(value * 10 - digit);
        } else {
            if (value > (maximum - digit) / 10)
                return maximum;
            value = static_cast<T>(value * 10 + digit);
        }
    }
    return value;
}

bool isSignAt(std::string_view text, std::size_t i) {
    return i < text.size() && (text[i] == '+' || text[i] == '-');
}

// The end of the digits from `i`; `digits` counts them.
std::size_t skipDigits(std::string_view text, std::size_t i, std::size_t& digits) {
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    return i;
}

// The end of an exponent ("e" or "E", a sign, digits) at `i`; `i` when there is none.
std::size_t exponentEnd(std::string_view text, std::size_t i) {
    if (i >= text.size() || (text[i] != 'e' && text[i] != 'E'))
        return i;
    std::size_t j = i + 1;
    if (isSignAt(text, j))
        ++j;
    if (j >= text.size() || !isDigit(text[j]))
        return i;
    std::size_t digits = 0;
    return skipDigits(text, j, digits);
}

}  // namespace

int ZarnPStringReading::intValue(std::string_view text) {
    return readInteger<int>(text, INT_MIN, INT_MAX);
}

long long ZarnPStringReading::longLongValue(std::string_view text) {
    return readInteger<long long>(text, LLONG_MIN, LLONG_MAX);
}

double ZarnPStringReading::doubleValue(std::string_view text) {
    std::size_t start = skipSpace(text);
    std::size_t i = start;
    if (isSignAt(text, i))
        ++i;
    std::size_t digits = 0;
    i = skipDigits(text, i, digits);
    if (i < text.size() && text[i] == '.')
        i = skipDigits(text, i + 1, digits);
    if (digits == 0)
        return 0.0;
    i = exponentEnd(text, i);
    // Only the validated prefix reaches strtod, in the C locale: no hexadecimal, no inf/nan,
    // always "." as the decimal point. It gives HUGE_VAL on overflow and 0 or a subnormal on
    // underflow.
    std::string prefix(text.substr(start, i - start));
    locale_t loc = cLocale();
    if (!loc)
        return std::strtod(prefix.c_str(), nullptr);
    return strtod_l(prefix.c_str(), nullptr, loc);
}

bool ZarnPStringReading::boolValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i >= text.size())
        return false;
    char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace zarn
