#pragma once
#include <memory>

#include "core/ZarnPClockDao.h"

namespace zarn {

namespace platform {
class TimeSource;
}

// The clock over the platform's time source (virtual in tests). Any thread.
class ZarnPSystemClockDao final : public ZarnPClockDao {
  public:
    // The time source is required.
    explicit ZarnPSystemClockDao(std::shared_ptr<platform::TimeSource> timeSource);
    Date now() override;
    int64_t nowWithTimeZoneOffsetMilliseconds() override;

  private:
    std::shared_ptr<platform::TimeSource> timeSource_;
};

}  // namespace zarn
