#pragma once
#include <string>

namespace zarn {

// What started a run: the `triggerContext` of a ZarnPContext.
enum ZarnTriggerContextValue : unsigned {
    ZarnTriggerContextUserInitiated = 0,
    ZarnTriggerContextForeground = 1,
    ZarnTriggerContextGeofence = 2,
    ZarnTriggerContextBeacon = 3,
    ZarnTriggerContextSlc = 4,
    ZarnTriggerContextPush = 5,
    ZarnTriggerContextContextualPage = 6,
    ZarnTriggerContextExternal = 7,
    ZarnTriggerContextAttribution = 8,
    ZarnTriggerContextInit = 9,
};

class ZarnTriggerContext {
  public:
    // The name that events carry as "trigger": "user_initiated", "foreground", "geofence",
    // "beacon", "slc", "push", "contextualPage", "external", "attribution", "init"; "undefined"
    // for any other value.
    static std::string toString(unsigned triggerContext);
};

}  // namespace zarn
