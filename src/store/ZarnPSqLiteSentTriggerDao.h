#pragma once
#include "store/ZarnPSentTriggerDao.h"

namespace zarn {

// PLACEHOLDER until the sent notifications and geotriggers tables are built: the facade and the
// module only hold it so far.
class ZarnPSqLiteSentTriggerDao : public ZarnPSentTriggerDao {};

}  // namespace zarn
