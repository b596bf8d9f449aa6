#include "core/DateFormat.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace zarn {

std::string formatDate(Date date, long offset, std::string_view pattern) {
    double local = timeIntervalSince1970(date) + static_cast<double>(offset);
    // Beyond about thirty million years no time_t or calendar year holds the date.
    if (!std::isfinite(local) || std::fabs(local) > 1e15)
        return {};
    // Whole microseconds first: at today's dates a double is only good to a quarter of a
    // microsecond, so flooring straight to milliseconds would show 09.123 as 09.122.
    double micros = std::round(local * 1e6);
    double whole = std::floor(micros / 1e6);
    int millis = static_cast<int>((micros - whole * 1e6) / 1000.0);
    if (millis > 999)
        millis = 999;
    std::time_t t = static_cast<std::time_t>(whole);
    std::tm tm{};
    if (!gmtime_r(&t, &tm))
        return {};
    std::string out;
    char buf[48];
    auto put = [&](const char* fmt, int v) {
        std::snprintf(buf, sizeof buf, fmt, v);
        out += buf;
    };
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && pattern[i + n] == c) ++n;
        return n;
    };
    while (i < pattern.size()) {
        char c = pattern[i];
        if (c == '\'') {
            size_t end = pattern.find('\'', i + 1);
            if (end == std::string_view::npos)
                end = pattern.size();
            out.append(pattern.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        size_t n = run(c);
        switch (c) {
            case 'y':
                n >= 4 ? put("%04d", tm.tm_year + 1900) : put("%02d", (tm.tm_year + 1900) % 100);
                break;
            case 'M':
                put("%02d", tm.tm_mon + 1);
                break;
            case 'd':
                put("%02d", tm.tm_mday);
                break;
            case 'H':
                put("%02d", tm.tm_hour);
                break;
            case 'm':
                put("%02d", tm.tm_min);
                break;
            case 's':
                put("%02d", tm.tm_sec);
                break;
            case 'S':
                put("%03d", millis);
                break;
            case 'Z': {
                long a = offset < 0 ? -offset : offset;
                std::snprintf(buf, sizeof buf, "%c%02ld:%02ld", offset < 0 ? '-' : '+', a / 3600,
                              (a % 3600) / 60);
                out += buf;
                break;
            }
            default:
                out.append(n, c);
                break;
        }
        i += n;
    }
    return out;
}

}  // namespace zarn
