// Calls the public entry the way an app does before it has installed a device or initialised
// the library: the library answers, logs, reports itself disabled and keeps running.
#include <cstdio>

#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"

int main() {
    auto configuration = zarn::ZarnConfiguration::create();
    configuration->setPublicToken(std::string("consumer-token"));
    const auto loaded = zarn::ZarnBase::loadedNotifications();
    const bool enabled = zarn::ZarnBase::isEnabled();
    const std::string version = zarn::ZarnBase::version();
    std::printf("consumer: zarn %s, enabled %s, %zu notifications loaded\n", version.c_str(),
                enabled ? "yes" : "no", loaded ? loaded->size() : 0);
    return version.empty() ? 1 : 0;
}
