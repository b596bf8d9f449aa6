#include "zarn/platform/TimeSource.h"

#include <cmath>
#include <ctime>

namespace zarn::platform {

Date SystemTimeSource::now() {
    return std::chrono::time_point_cast<Seconds>(std::chrono::system_clock::now());
}

long SystemTimeSource::timeZoneOffsetSeconds(Date date) {
    std::time_t t = static_cast<std::time_t>(std::floor(timeIntervalSince1970(date)));
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return 0;
    return tm.tm_gmtoff;
}

void SystemTimeSource::wait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                            std::optional<Date> deadline) {
    if (!deadline) {
        cv.wait(lock);
        return;
    }
    auto until = std::chrono::time_point_cast<std::chrono::system_clock::duration>(*deadline);
    cv.wait_until(lock, until);
}

}  // namespace zarn::platform
