#pragma once
#include "services/ZarnPLandingPageShowing.h"

namespace zarn {

// PLACEHOLDER until the landing page is built: the facade and the module only hold it so far.
class ZarnPLandingPage : public ZarnPLandingPageShowing {};

}  // namespace zarn
