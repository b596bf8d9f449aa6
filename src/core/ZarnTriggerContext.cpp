#include "core/ZarnTriggerContext.h"

#include <array>

namespace zarn {

std::string ZarnTriggerContext::toString(unsigned triggerContext) {
    static constexpr std::array<const char*, 10> kNames = {
        "user_initiated", "foreground",     "geofence", "beacon",      "slc",
        "push",           "contextualPage", "external", "attribution", "init"};
    return triggerContext < kNames.size() ? kNames[triggerContext] : "undefined";
}

}  // namespace zarn
