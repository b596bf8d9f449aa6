#pragma once

namespace zarn {

// Told when the landing page's close button was pressed. Main thread only.
class ZarnPLandingPageCloseCallback {
  public:
    virtual ~ZarnPLandingPageCloseCallback() = default;
    virtual void closeButtonPressed() = 0;
};

}  // namespace zarn
