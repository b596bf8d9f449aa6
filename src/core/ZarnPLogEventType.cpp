#include "core/ZarnPLogEventType.h"

#include <array>

#include "core/ZarnException.h"

namespace zarn {

namespace {
constexpr std::array<const char*, 16> kNames = {"notification_state",  "phone_state",
                                                "location_acquired",   "location_services_state",
                                                "notification_sent",   "notification_viewed",
                                                "geotrigger_sent",     "geotrigger_handled",
                                                "enable_service",      "disable_service",
                                                "heartbeat",           "attribution",
                                                "debuglog_entry",      "error",
                                                "contextualpage_sent", "contextualpage_triggered"};
// The order in which names are tried when reading one back.
constexpr std::array<unsigned, 16> kLookupOrder = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 13};
}  // namespace

std::optional<std::string> ZarnPLogEventType::nameForType(unsigned type) {
    if (type >= kNames.size())
        return std::nullopt;
    return std::string(kNames[type]);
}

std::optional<unsigned> ZarnPLogEventType::typeForName(const std::string& name) {
    for (unsigned t : kLookupOrder)
        if (name == kNames[t])
            return t;
    return std::nullopt;
}

std::string ZarnPLogEventType::logEventTypeToString(unsigned type) {
    auto name = nameForType(type);
    if (!name)
        throw ZarnException("NSGenericException", "Unexpected LogEventType.");
    return *name;
}

unsigned ZarnPLogEventType::stringToLogEventType(const std::string& name) {
    auto type = typeForName(name);
    if (!type)
        throw ZarnException("NSGenericException", "Unexpected LogEventType.");
    return *type;
}

}  // namespace zarn
