#include "zarn/ZarnHooks.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPValueDepth.h"
#include "entry/ZarnPTestZarnFilterNotifications.h"
#include "entry/ZarnPTestZarnHandleGeotriggers.h"
#include "zarn/NotificationRequest.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnValues.h"

namespace zarn {

// The base hooks answer nothing; the library hands the app its own kinds.
void ZarnFilterNotifications::showNotifications(const std::vector<NotificationRequest>&) {}
void ZarnFilterNotifications::addToMatchPayload(const std::string&, const Value&) {}
void ZarnHandleGeotriggers::markGeotriggersHandled(const std::vector<std::shared_ptr<ZarnGeotrigger>>&) {}
void ZarnHandleGeotriggers::addToMatchPayload(const std::string&, const Value&) {}

// Without a filter nobody could answer: nothing, at once, rather than a wait for nothing.
std::optional<std::vector<NotificationRequest>> ZarnFilterNotifications::testFilterNotifications(
    const std::vector<NotificationRequest>& notifications, const std::shared_ptr<ZarnDelegate>& delegate) {
    if (!delegate || !delegate->zarnFilterNotifications)
        return std::nullopt;
    auto hook = std::make_shared<ZarnPTestZarnFilterNotifications>(
        ZarnPValueDepth::acceptedRequests(notifications, "ZarnInterface"));
    try {
        delegate->zarnFilterNotifications(hook);
    } catch (const std::exception& e) {
        LogError("ZarnInterface", "Unhandled exception in zarnFilterNotifications: %@", e.what());
    }
    return hook->result();
}

std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> ZarnHandleGeotriggers::testHandleGeotriggers(
    const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers,
    const std::shared_ptr<ZarnDelegate>& delegate) {
    if (!delegate || !delegate->zarnHandleGeotriggers)
        return std::nullopt;
    auto hook = std::make_shared<ZarnPTestZarnHandleGeotriggers>(geotriggers);
    try {
        delegate->zarnHandleGeotriggers(hook);
    } catch (const std::exception& e) {
        LogError("ZarnInterface", "Unhandled exception in zarnHandleGeotriggers: %@", e.what());
    }
    return hook->result();
}

}  // namespace zarn
