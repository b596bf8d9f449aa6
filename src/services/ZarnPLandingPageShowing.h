#pragma once

namespace zarn {

// The landing page as the facade holds it. It declares the operations its callers use as they arrive; main
// thread.
class ZarnPLandingPageShowing {
  public:
    virtual ~ZarnPLandingPageShowing() = default;
};

}  // namespace zarn
