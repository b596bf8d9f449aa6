#pragma once
#include <optional>

#include "zarn/Date.h"

namespace zarn {

// Ends on disk the dwellings whose requests the centre still holds, of every region kind: for
// whoever removes all the scheduled requests there, so that none of them is later reported
// sent. SDK thread.
class ZarnPDwellingEnding {
  public:
    virtual ~ZarnPDwellingEnding() = default;
    // Ends, in one synced commit, every dwelling whose time is not up at `at` (the clock's now
    // when absent); one whose time is up was shown and is left to be reported sent. Nothing when
    // they ended; when they could not (logged), the time used, to be given again once the store
    // may have room.
    virtual std::optional<Date> endWaitingDwellings(std::optional<Date> at) = 0;
};

}  // namespace zarn
