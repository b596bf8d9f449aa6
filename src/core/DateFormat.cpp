#include "core/DateFormat.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

namespace zarn {

namespace {

// The calendar fields of a time, and its milliseconds.
struct CalendarTime {
    std::tm tm{};
    int millis = 0;
};

// Nothing when no calendar holds `local` (seconds since 1970 on the shifted scale).
std::optional<CalendarTime> calendarTime(double local) {
    // Beyond about thirty million years no time_t or calendar year holds the date.
    if (!std::isfinite(local) || std::fabs(local) > 1e15)
        return std::nullopt;
    // Whole microseconds first: at today's dates a double is only good to a quarter of a
    // microsecond, so flooring straight to milliseconds would show 09.123 as 09.122.
    double micros = std::round(local * 1e6);
    double whole = std::floor(micros / 1e6);
    CalendarTime out;
    out.millis = static_cast<int>((micros - whole * 1e6) / 1000.0);
    if (out.millis > 999)
        out.millis = 999;
    std::time_t t = static_cast<std::time_t>(whole);
    if (!gmtime_r(&t, &out.tm))
        return std::nullopt;
    return out;
}

void appendNumber(std::string& out, const char* fmt, int value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, fmt, value);
    out += buf;
}

// Appends the field that `count` pattern letters `c` stand for; any other letter is copied.
void appendField(std::string& out, char c, size_t count, const CalendarTime& time, long offset) {
    const std::tm& tm = time.tm;
    switch (c) {
        case 'y':
            count >= 4 ? appendNumber(out, "%04d", tm.tm_year + 1900)
                       : appendNumber(out, "%02d", (tm.tm_year + 1900) % 100);
            break;
        case 'M':
            appendNumber(out, "%02d", tm.tm_mon + 1);
            break;
        case 'd':
            appendNumber(out, "%02d", tm.tm_mday);
            break;
        case 'H':
            appendNumber(out, "%02d", tm.tm_hour);
            break;
        case 'm':
            appendNumber(out, "%02d", tm.tm_min);
            break;
        case 's':
            appendNumber(out, "%02d", tm.tm_sec);
            break;
        case 'S':
            appendNumber(out, "%03d", time.millis);
            break;
        case 'Z': {
            char buf[48];
            long a = offset < 0 ? -offset : offset;
            std::snprintf(buf, sizeof buf, "%c%02ld:%02ld", offset < 0 ? '-' : '+', a / 3600,
                          (a % 3600) / 60);
            out += buf;
            break;
        }
        default:
            out.append(count, c);
            break;
    }
}

// Appends the quoted text that starts at `quote` (an unclosed quote runs to the end); where the
// pattern goes on.
size_t appendQuoted(std::string& out, std::string_view pattern, size_t quote) {
    size_t end = pattern.find('\'', quote + 1);
    if (end == std::string_view::npos)
        end = pattern.size();
    out.append(pattern.substr(quote + 1, end - quote - 1));
    return end + 1;
}

size_t runLength(std::string_view pattern, size_t i) {
    size_t n = 0;
    while (i + n < pattern.size() && pattern[i + n] == pattern[i]) ++n;
    return n;
}

}  // namespace

std::string formatDate(Date date, long offset, std::string_view pattern) {
    auto time = calendarTime(timeIntervalSince1970(date) + static_cast<double>(offset));
    if (!time)
        return {};
    std::string out;
    size_t i = 0;
    while (i < pattern.size()) {
        if (pattern[i] == '\'') {
            i = appendQuoted(out, pattern, i);
            continue;
        }
        size_t count = runLength(pattern, i);
        appendField(out, pattern[i], count, *time, offset);
        i += count;
    }
    return out;
}

}  // namespace zarn
