#pragma once

namespace zarn {

// PLACEHOLDER until screen events are built: registering the app-state handlers does nothing.
class ZarnPScreenEventsService {
  public:
    virtual ~ZarnPScreenEventsService() = default;
    virtual void registerHandlers(bool /*isInForeground*/) {}
};

}  // namespace zarn
