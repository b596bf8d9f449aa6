#pragma once
#include <optional>
#include <string>

#include "zarn/Date.h"
#include "zarn/Error.h"
#include "zarn/ValueFwd.h"

namespace zarn {

// The closest contextual page of each run type, as the matching services and the facade use
// it. SDK thread only.
class ZarnPContextualPageDao {
  public:
    virtual ~ZarnPContextualPageDao() = default;
    // Stores the page found by a run of `matchRunType` ("geofence", "beacon", "external_region"),
    // replacing the page that type stored before. The row is dated now (`date` is not read).
    virtual std::optional<Error> setClosestContextualPage(const std::string& identifier,
                                                          const std::string& data,
                                                          const std::optional<Value>& matchPayload, Date date,
                                                          const std::string& matchRunType) = 0;
    // The newest page: {"id", "data", "date" (seconds since 1970), "match_payload" when stored};
    // nothing when there is none.
    virtual std::optional<Value> getClosestContextualPage() = 0;
    // Removes the pages of the run type and every page older than 15 minutes.
    virtual std::optional<Error> unsetContextualPage(const std::string& matchRunType) = 0;
};

}  // namespace zarn
