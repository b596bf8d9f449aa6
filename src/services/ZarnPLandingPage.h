#pragma once

namespace zarn {

// PLACEHOLDER until the landing page is built: the facade and the module only hold it so far.
class ZarnPLandingPage {
  public:
    virtual ~ZarnPLandingPage() = default;
};

}  // namespace zarn
