#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Error.h"

namespace zarn {

class ZarnPContext;
class ZarnPEvent;

// Completion of a "storeEventsAndLoadNotifications" exchange, on the SDK thread.
class ZarnPStoreEventsAndLoadNotificationsDelegate {
  public:
    virtual ~ZarnPStoreEventsAndLoadNotificationsDelegate() = default;
    // The events that were sent, the token the request was made with, whether events are to be
    // stored from now on, the request's context and the error (none on success).
    virtual void loadNotificationsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                            const std::string& publicToken, bool storeEvents,
                                            const std::shared_ptr<ZarnPContext>& zarnContext,
                                            const std::optional<Error>& error) = 0;
};

}  // namespace zarn
