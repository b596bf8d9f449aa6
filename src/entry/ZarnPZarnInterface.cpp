#include "entry/ZarnPZarnInterface.h"

namespace zarn {

std::shared_ptr<ZarnPZarnInterface> ZarnPZarnInterface::create(
    Parts parts, std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    std::shared_ptr<ZarnPZarnInterface> facade(new ZarnPZarnInterface(std::move(parts)));
    facade->start(std::move(configuration));
    return facade;
}

ZarnPZarnInterface::ZarnPZarnInterface(Parts parts)
    : hops_(parts.timerDao, parts.notificationCenter),
      enabling_(std::move(parts.enabling), state_, hops_),
      operations_(std::move(parts.operations), state_, hops_),
      contextualPage_(std::move(parts.contextualPage), state_, hops_, enabling_),
      configuration_(std::move(parts.configuration), state_, hops_, enabling_, operations_),
      offering_(std::move(parts.offering), state_, hops_),
      tap_(std::move(parts.tap), state_, hops_) {}

void ZarnPZarnInterface::start(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    hops_.bind(weak_from_this());
    offering_.startOffering(weak_from_this());
    enabling_.startObserving();
    configuration_.start(std::move(configuration));
}

ZarnPZarnInterface::~ZarnPZarnInterface() {
    cleanUp();
}

void ZarnPZarnInterface::cleanUp() {
    offering_.stopObserving();
    enabling_.stopObserving();
}

bool ZarnPZarnInterface::isEnabledWithoutWaiting() const {
    return state_.enabled();
}

void ZarnPZarnInterface::setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    state_.setDelegate(std::move(delegate));
}

// Configuration, enabling and app state

void ZarnPZarnInterface::reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    configuration_.reinit(std::move(configuration));
}

void ZarnPZarnInterface::enable() {
    enabling_.enable();
}

void ZarnPZarnInterface::disable() {
    enabling_.disable();
}

bool ZarnPZarnInterface::isEnabled() {
    return enabling_.isEnabled();
}

void ZarnPZarnInterface::setCooldownPeriod(int seconds) {
    enabling_.setCooldownPeriod(seconds);
}

// Offering and the tap

void ZarnPZarnInterface::offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                                 std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                                 std::shared_ptr<ZarnPContext> zarnContext) {
    offering_.offerLocalNotifications(notifications, std::move(backgroundTask), std::move(zarnContext));
}

void ZarnPZarnInterface::offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                                          std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                          std::shared_ptr<ZarnPContext> zarnContext) {
    offering_.offerGeotriggers(geotriggers, std::move(backgroundTask), std::move(zarnContext));
}

void ZarnPZarnInterface::notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    offering_.notificationSentEvent(std::move(sentTrigger));
}

void ZarnPZarnInterface::notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    tap_.notificationOpenedEvent(std::move(sentTrigger));
}

void ZarnPZarnInterface::handleNotification(const NotificationResponse& response,
                                            std::shared_ptr<ZarnPContext> zarnContext) {
    tap_.handleNotification(response, std::move(zarnContext));
}

// The remaining operations

void ZarnPZarnInterface::requestContextualPage(std::function<void(std::optional<Value>)> callback) {
    contextualPage_.requestContextualPage(std::move(callback));
}

void ZarnPZarnInterface::mailDebugLog(std::shared_ptr<ViewController> parent) {
    operations_.mailDebugLog(std::move(parent));
}

void ZarnPZarnInterface::setValue(std::optional<std::string> value, const std::string& property) {
    operations_.setValue(std::move(value), property);
}

void ZarnPZarnInterface::setAdvertisingIdentifier(std::optional<std::string> uuid,
                                                  bool advertisingTrackingEnabled) {
    operations_.setAdvertisingIdentifier(std::move(uuid), advertisingTrackingEnabled);
}

std::vector<NotificationRequest> ZarnPZarnInterface::loadedNotifications() {
    return operations_.loadedNotifications();
}

std::vector<std::shared_ptr<ZarnGeotrigger>> ZarnPZarnInterface::loadedGeotriggers() {
    return operations_.loadedGeotriggers();
}

std::vector<std::shared_ptr<ZarnSentNotification>> ZarnPZarnInterface::sentNotifications() {
    return operations_.sentNotifications();
}

std::vector<std::shared_ptr<ZarnSentGeotrigger>> ZarnPZarnInterface::sentGeotriggers() {
    return operations_.sentGeotriggers();
}

void ZarnPZarnInterface::clearSentNotifications() {
    operations_.clearSentNotifications();
}

void ZarnPZarnInterface::clearSentGeotriggers() {
    operations_.clearSentGeotriggers();
}

void ZarnPZarnInterface::sendAttributionEvent(const std::string& actionName, const std::string& itemId) {
    operations_.sendAttributionEvent(actionName, itemId);
}

void ZarnPZarnInterface::externalRegionTrigger(const Value& properties, int triggerType,
                                               const Value& matchPayload) {
    operations_.externalRegionTrigger(properties, triggerType, matchPayload);
}

void ZarnPZarnInterface::clearAllDataAndResetDeviceId() {
    operations_.clearAllDataAndResetDeviceId();
}

void ZarnPZarnInterface::didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) {
    operations_.didRegisterForRemoteNotificationsWithDeviceToken(deviceToken);
}

void ZarnPZarnInterface::didFailToRegisterForRemoteNotificationsWithError(const Error& error) {
    operations_.didFailToRegisterForRemoteNotificationsWithError(error);
}

void ZarnPZarnInterface::didReceiveRemoteNotification(const Value& userInfo,
                                                      std::function<void(BackgroundFetchResult)> completion) {
    operations_.didReceiveRemoteNotification(userInfo, std::move(completion));
}

}  // namespace zarn
