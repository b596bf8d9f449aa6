#pragma once
#include <cstdint>
#include <string>

namespace zarn {

// The device's conditions at a data-update request, for the service's choice of what to send.
struct ZarnPUpdateConditions {
    bool unmeteredConnection = false;
    std::string connectionType;  // "MOBILE", "WIFI", "NONE" or "UNKNOWN"
    bool charging = false;
    std::string trigger;  // the trigger-context name of the run
    std::int32_t batteryLevel = 0;
    bool roaming = false;

    ZarnPUpdateConditions() = default;
    ZarnPUpdateConditions(std::string connectionType, bool isUnmeteredConnection, bool isCharging,
                          std::string trigger, std::int32_t batteryLevel, bool isRoaming)
        : unmeteredConnection(isUnmeteredConnection),
          connectionType(std::move(connectionType)),
          charging(isCharging),
          trigger(std::move(trigger)),
          batteryLevel(batteryLevel),
          roaming(isRoaming) {}
};

}  // namespace zarn
