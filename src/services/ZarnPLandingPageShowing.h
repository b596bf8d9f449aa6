#pragma once
#include <string>

namespace zarn {

// The landing page as the facade opens it. Main thread only.
class ZarnPLandingPageShowing {
  public:
    virtual ~ZarnPLandingPageShowing() = default;
    // Opens the address in a window of its own above the app.
    virtual void showLandingPage(const std::string& address) = 0;
};

}  // namespace zarn
