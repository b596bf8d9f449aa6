#pragma once
#include "services/ZarnPNotificationLoading.h"

namespace zarn {

// PLACEHOLDER until the notification service (data-update timing) is built: the facade and the module only
// hold it so far.
class ZarnPNotificationService : public ZarnPNotificationLoading {};

}  // namespace zarn
