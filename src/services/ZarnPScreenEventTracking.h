#pragma once

namespace zarn {

// The screen-events service as the facade starts it. Main thread (the app-state handlers are
// the application's).
class ZarnPScreenEventTracking {
  public:
    virtual ~ZarnPScreenEventTracking() = default;
    // Registers the app-state handlers; whether the app is in the foreground now.
    virtual void registerHandlers(bool isInForeground) = 0;
};

}  // namespace zarn
