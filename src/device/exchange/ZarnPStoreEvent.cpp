#include "device/exchange/ZarnPStoreEvent.h"

#include <cmath>
#include <limits>

#include "core/ZarnPEvent.h"

namespace zarn {

ZarnPStoreEvent ZarnPStoreEvent::storeEventFromEvent(const ZarnPEvent& event, Date now) {
    ZarnPStoreEvent e;
    e.localId = event.identifier();
    e.eventType = event.eventType();
    e.secondsAgo = secondsAgoFrom(event.date(), now);
    e.extra = event.extra().is_object() ? event.extra() : Value();
    return e;
}

std::int32_t ZarnPStoreEvent::secondsAgoFrom(Date date, Date now) {
    double seconds = std::round(timeIntervalBetween(now, date));
    if (std::isnan(seconds))
        return 0;
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    if (seconds >= kMax)
        return std::numeric_limits<std::int32_t>::max();
    if (seconds <= kMin)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(seconds);
}

}  // namespace zarn
