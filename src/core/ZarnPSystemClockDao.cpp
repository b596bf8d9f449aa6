#include "core/ZarnPSystemClockDao.h"

#include <cmath>

#include "core/ZarnException.h"
#include "zarn/platform/TimeSource.h"

namespace zarn {

ZarnPSystemClockDao::ZarnPSystemClockDao(std::shared_ptr<platform::TimeSource> timeSource)
    : timeSource_(std::move(timeSource)) {
    ZARN_REQUIRE(timeSource_);
}

Date ZarnPSystemClockDao::now() {
    return timeSource_->now();
}

int64_t ZarnPSystemClockDao::nowWithTimeZoneOffsetMilliseconds() {
    Date n = timeSource_->now();
    double local = timeIntervalSince1970(n) + static_cast<double>(timeSource_->timeZoneOffsetSeconds(n));
    return static_cast<int64_t>(std::trunc(local * 1000.0));
}

}  // namespace zarn
