#pragma once
#include <cstdint>
#include <string>

#include "zarn/Date.h"
#include "zarn/Value.h"

namespace zarn {

class ZarnPEvent;

// An event as a request carries it.
struct ZarnPStoreEvent {
    std::string localId;
    std::uint32_t eventType = 0;  // a ZarnPLogEventType value
    std::int32_t secondsAgo = 0;
    Value extra;  // a dictionary, or null when the event has none

    // The event's identifier, type and extra, dated `now` minus the event's date.
    static ZarnPStoreEvent storeEventFromEvent(const ZarnPEvent& event, Date now);
    // now - date in seconds, rounded half away from zero, then cut to 32 bits toward zero with
    // saturation; negative for a date in the future, 0 for a date that is not a number.
    static std::int32_t secondsAgoFrom(Date date, Date now);
};

}  // namespace zarn
