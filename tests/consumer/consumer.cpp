// Calls the public entry the way an app does before and without initialising the library:
// nothing is loaded yet and the library reports itself disabled.
#include <cstdio>

#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"

int main() {
    auto configuration = zarn::ZarnConfiguration::create();
    configuration->setPublicToken(std::string("consumer-token"));
    const bool loaded = zarn::ZarnBase::loadedNotifications().has_value();
    const bool enabled = zarn::ZarnBase::isEnabled();
    std::printf("consumer: zarn %s, enabled %s, notifications loaded %s\n", zarn::ZarnBase::version().c_str(),
                enabled ? "yes" : "no", loaded ? "yes" : "no");
    return zarn::ZarnBase::version().empty() || loaded ? 1 : 0;
}
