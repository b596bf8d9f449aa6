#include "core/Format.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPTestZarnFilterNotifications.h"
#include "core/ZarnPTestZarnHandleGeotriggers.h"
#include "core/ZarnPValueDepth.h"
#include "zarn/NotificationRequest.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnHooks.h"
#include "zarn/ZarnValues.h"

namespace zarn {

std::string NotificationTrigger::description() const {
    return format("<TimeIntervalNotificationTrigger timeInterval: %f, repeats: %@>", timeInterval,
                  repeats ? "YES" : "NO");
}

std::string NotificationRequest::description() const {
    return format("<NotificationRequest identifier: %@, body: %@, trigger: %@>", identifier, content.body,
                  trigger ? trigger->description() : std::string("(null)"));
}

std::shared_ptr<ZarnSentNotification> ZarnSentNotification::initializeWithUserInfo(
    Value userInfo, Date dateSent, std::optional<Date> dateOpened) {
    auto n = std::make_shared<ZarnSentNotification>();
    n->userInfo_ = std::move(userInfo);
    n->dateSent_ = dateSent;
    n->dateOpened_ = dateOpened;
    return n;
}

std::string ZarnSentNotification::description() const {
    return format("<ZarnSentNotification userInfo: %@, dateSent: %@, dateOpened: %@>", userInfo_, dateSent_,
                  dateOpened_);
}

std::shared_ptr<ZarnSentGeotrigger> ZarnSentGeotrigger::initializeWithUserInfo(
    Value userInfo, Date dateSent, std::optional<Date> dateHandled) {
    auto g = std::make_shared<ZarnSentGeotrigger>();
    g->userInfo_ = std::move(userInfo);
    g->dateSent_ = dateSent;
    g->dateHandled_ = dateHandled;
    return g;
}

std::string ZarnSentGeotrigger::description() const {
    return format("<ZarnSentGeotrigger userInfo: %@, dateSent: %@, dateHandled: %@>", userInfo_, dateSent_,
                  dateHandled_);
}

namespace {
// The library copies and writes the userInfo of the geotriggers it gets back.
bool acceptGeotriggerUserInfo(const Value& userInfo) {
    return ZarnPValueDepth::accept(userInfo, kMaxUserInfoDepth, "ZarnInterface", "a geotrigger's userInfo");
}
}  // namespace

std::shared_ptr<ZarnGeotrigger> ZarnGeotrigger::initializeWithUserInfo(const Value& userInfo) {
    auto g = std::make_shared<ZarnGeotrigger>();
    g->setUserInfo(userInfo);
    return g;
}

std::shared_ptr<ZarnGeotrigger> ZarnGeotrigger::initializeWithUserInfo(Value&& userInfo) {
    auto g = std::make_shared<ZarnGeotrigger>();
    g->setUserInfo(std::move(userInfo));
    return g;
}

void ZarnGeotrigger::setUserInfo(const Value& userInfo) {
    if (acceptGeotriggerUserInfo(userInfo))
        userInfo_ = userInfo;
}

void ZarnGeotrigger::setUserInfo(Value&& userInfo) {
    if (acceptGeotriggerUserInfo(userInfo))
        userInfo_ = std::move(userInfo);
}

std::string ZarnGeotrigger::description() const {
    return format("<ZarnGeotrigger userInfo: %@>", userInfo_);
}

std::shared_ptr<ZarnLocationWithAccuracy> ZarnLocationWithAccuracy::initWithLatitude(double latitude,
                                                                                     double longitude,
                                                                                     double accuracy) {
    auto l = std::make_shared<ZarnLocationWithAccuracy>();
    l->latitude = latitude;
    l->longitude = longitude;
    l->accuracy = accuracy;
    return l;
}

std::string ZarnLocationWithAccuracy::description() const {
    return format("[latitude: %f, longitude: %f, accuracy: %f]", latitude, longitude, accuracy);
}

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
