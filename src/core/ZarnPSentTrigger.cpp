#include "core/ZarnPSentTrigger.h"

#include "core/Format.h"

namespace zarn {

bool ZarnPSentTrigger::isEqual(const ZarnPSentTrigger& other) const {
    if (this == &other)
        return true;
    bool sameLocation = location_.has_value() == other.location_.has_value() &&
                        (!location_ || location_->isEqual(*other.location_));
    return matchIdentifier_ == other.matchIdentifier_ && identifier_ == other.identifier_ &&
           message_ == other.message_ && beaconUuid_ == other.beaconUuid_ && data_ == other.data_ &&
           sameLocation && matchRange_ == other.matchRange_ && triggerOnExit_ == other.triggerOnExit_ &&
           notificationHandlerType_ == other.notificationHandlerType_ &&
           dwellingMinutes_ == other.dwellingMinutes_ && isBeacon_ == other.isBeacon_ &&
           dateSent_ == other.dateSent_ && dateOpened_ == other.dateOpened_;
}

std::string ZarnPSentTrigger::description() const {
    return format(
        "[matchIdentifier: %@, identifier: %@, message: %@, location: %@, data: %@, matchRange: %d, "
        "dateSent: "
        "%@, dateOpened: %@]",
        matchIdentifier_, identifier_, message_, location_, data_, matchRange_, dateSent_, dateOpened_);
}

}  // namespace zarn
