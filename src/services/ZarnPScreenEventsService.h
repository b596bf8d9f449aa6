#pragma once
#include "services/ZarnPScreenEventTracking.h"

namespace zarn {

// PLACEHOLDER until screen events are built: registering the app-state handlers does nothing.
class ZarnPScreenEventsService : public ZarnPScreenEventTracking {
  public:
    void registerHandlers(bool /*isInForeground*/) override {}
};

}  // namespace zarn
