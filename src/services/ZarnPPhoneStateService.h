#pragma once
#include "services/ZarnPPhoneStateReporting.h"

namespace zarn {

// PLACEHOLDER until the phone-state service is built: the facade and the module only hold it so far.
class ZarnPPhoneStateService : public ZarnPPhoneStateReporting {};

}  // namespace zarn
