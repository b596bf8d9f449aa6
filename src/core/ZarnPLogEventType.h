#pragma once
#include <optional>
#include <string>

namespace zarn {

// The stored event types; their wire names go into the events table and the request JSON.
enum ZarnPLogEventTypeValue : unsigned {
    ZarnPLogEventTypeNotificationState = 0,
    ZarnPLogEventTypePhoneState = 1,
    ZarnPLogEventTypeLocationAcquired = 2,
    ZarnPLogEventTypeLocationServicesState = 3,
    ZarnPLogEventTypeNotificationSent = 4,
    ZarnPLogEventTypeNotificationViewed = 5,
    ZarnPLogEventTypeGeotriggerSent = 6,
    ZarnPLogEventTypeGeotriggerHandled = 7,
    ZarnPLogEventTypeEnableService = 8,
    ZarnPLogEventTypeDisableService = 9,
    ZarnPLogEventTypeHeartbeat = 10,
    ZarnPLogEventTypeAttribution = 11,
    ZarnPLogEventTypeDebuglogEntry = 12,
    ZarnPLogEventTypeError = 13,
    ZarnPLogEventTypeContextualPageSent = 14,
    ZarnPLogEventTypeContextualPageTriggered = 15,
};

class ZarnPLogEventType {
  public:
    // The wire name; raises ZarnException ("Unexpected LogEventType.") for an unknown value.
    static std::string logEventTypeToString(unsigned type);
    // The inverse (exact, case-sensitive); raises the same exception for an unknown name.
    static unsigned stringToLogEventType(const std::string& name);
    // Non-raising forms, so that a store can skip a bad row.
    static std::optional<std::string> nameForType(unsigned type);
    static std::optional<unsigned> typeForName(const std::string& name);
};

}  // namespace zarn
