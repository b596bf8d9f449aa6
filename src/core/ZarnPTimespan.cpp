#include "core/ZarnPTimespan.h"

#include "core/Format.h"

namespace zarn {

bool ZarnPTimespan::isDateBetween(Date date) const {
    if (start_ && date < *start_)
        return false;
    if (end_ && date > *end_)
        return false;
    return true;
}

std::string ZarnPTimespan::description() const {
    return format("<ZarnPTimespan start: %@ end: %@>", start_, end_);
}

}  // namespace zarn
