#pragma once
#include "store/ZarnPMatchStateDao.h"

namespace zarn {

// The match state of app-reported (external) regions: dwelling, has-to-leave-first, cooldown and
// trigger history, apart from the geofence and beacon state. SDK thread only.
class ZarnPExternalNotificationDao : public virtual ZarnPMatchStateDao {
  public:
    ~ZarnPExternalNotificationDao() override = default;
};

}  // namespace zarn
