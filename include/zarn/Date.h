#pragma once
#include <chrono>
#include <string>

namespace zarn {

// A point in time with a double seconds representation, so that round trips through
// the database and the settings (seconds since 1970 as a double) are exact.
using Seconds = std::chrono::duration<double>;
using Date = std::chrono::time_point<std::chrono::system_clock, Seconds>;

inline Date dateWithTimeIntervalSince1970(double seconds) {
    return Date(Seconds(seconds));
}
inline double timeIntervalSince1970(Date date) {
    return date.time_since_epoch().count();
}
inline double timeIntervalBetween(Date later, Date earlier) {
    return (later - earlier).count();
}
inline Date dateByAddingTimeInterval(Date date, double seconds) {
    return date + Seconds(seconds);
}

// "2026-12-08 20:16:14 +0000": the platform's description of a date, in UTC.
std::string describeDate(Date date);

}  // namespace zarn
