#pragma once
#include <cstdint>

#include "zarn/Date.h"

namespace zarn {

// The one source of the current time for every time decision of the services.
class ZarnPClockDao {
  public:
    virtual ~ZarnPClockDao() = default;
    virtual Date now() = 0;
    // Local wall-clock time as milliseconds since 1970: (now + the local zone's offset) x 1000,
    // truncated toward zero.
    virtual int64_t nowWithTimeZoneOffsetMilliseconds() = 0;
};

}  // namespace zarn
