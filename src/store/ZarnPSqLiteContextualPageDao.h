#pragma once
#include "store/ZarnPContextualPageDao.h"

namespace zarn {

// PLACEHOLDER until the contextual page table is built: the facade and the module only hold it so far.
class ZarnPSqLiteContextualPageDao : public ZarnPContextualPageDao {};

}  // namespace zarn
