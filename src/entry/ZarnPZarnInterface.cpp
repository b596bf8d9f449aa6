#include "entry/ZarnPZarnInterface.h"

#include <algorithm>
#include <cctype>

#include "core/ZarnException.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "entry/ZarnPConfigurationRoad.h"
#include "entry/ZarnPContextualPageRoad.h"
#include "entry/ZarnPEnablingRoad.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "entry/ZarnPOfferingRoad.h"
#include "entry/ZarnPOperationsRoad.h"
#include "entry/ZarnPTapRoad.h"
#include "services/ZarnPCommonMatching.h"
#include "zarn/platform/SystemInfo.h"

namespace zarn {

namespace {

// Our own app, by its display name, keeps the public debug log.
bool isZarnApp(const std::shared_ptr<platform::Bundle>& bundle) {
    auto name = bundle ? bundle->infoValue("CFBundleDisplayName") : std::nullopt;
    if (!name || !name->is_string())
        return false;
    std::string lower = name->get<std::string>();
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return std::tolower(ch); });
    return lower.find("zarn") != std::string::npos;
}

// Each road is given only what it uses.

ZarnPEnablingRoad::Collaborators enablingParts(const ZarnPZarnInterface::Collaborators& c) {
    return {
        .keyValueDao = c.keyValueDao,
        .eventService = c.eventService,
        .timerDao = c.timerDao,
        .publicLogDao = c.publicLogDao,
        .locationUpdateService = c.locationUpdateService,
        .gcmClient = c.gcmClient,
        .contextService = c.contextService,
        .application = c.application,
        .screenEventsService = c.screenEventsService,
        .db = c.db,
    };
}

ZarnPOperationsRoad::Collaborators operationsParts(const ZarnPZarnInterface::Collaborators& c) {
    return {
        .contextService = c.contextService,
        .segmentationService = c.segmentationService,
        .publicLogDao = c.publicLogDao,
        .notificationService = c.notificationService,
        .uiNotificationDao = c.uiNotificationDao,
        .sentTriggerDao = c.sentTriggerDao,
        .locationUpdateService = c.locationUpdateService,
        .eventService = c.eventService,
        .phoneStateService = c.phoneStateService,
        .matchService = c.matchService,
        .db = c.db,
        .gcmClient = c.gcmClient,
        .externalRegionService = c.externalRegionService,
        .debugLogMailer = c.debugLogMailer,
    };
}

ZarnPContextualPageRoad::Collaborators contextualPageParts(const ZarnPZarnInterface::Collaborators& c) {
    return {
        .contextualPageDao = c.contextualPageDao,
        .contextService = c.contextService,
        .eventService = c.eventService,
        .clockDao = c.clockDao,
        .timerDao = c.timerDao,
        .notificationCenter = c.notificationCenter,
    };
}

ZarnPConfigurationRoad::Collaborators configurationParts(const ZarnPZarnInterface::Collaborators& c) {
    return {
        .keyValueDao = c.keyValueDao,
        .fileConfigDao = c.fileConfigDao,
        .eventService = c.eventService,
        .gcmClient = c.gcmClient,
        .slcDao = c.slcDao,
        .uiNotificationDao = c.uiNotificationDao,
        .heartbeatService = c.heartbeatService,
        .deviceIdDao = c.deviceIdDao,
        .db = c.db,
    };
}

ZarnPOfferingRoad::Collaborators offeringParts(const ZarnPZarnInterface::Collaborators& c) {
    return {
        .commonMatchService = c.commonMatchService,
        .publicLogDao = c.publicLogDao,
        .uiNotificationDao = c.uiNotificationDao,
        .notificationCenter = c.notificationCenter,
    };
}

ZarnPTapRoad::Collaborators tapParts(const ZarnPZarnInterface::Collaborators& c) {
    return {
        .contextService = c.contextService,
        .geofenceMatchService = c.geofenceMatchService,
        .beaconMatchService = c.beaconMatchService,
        .locationUpdateService = c.locationUpdateService,
        .eventService = c.eventService,
        .publicLogDao = c.publicLogDao,
        .sentTriggerDao = c.sentTriggerDao,
        .clockDao = c.clockDao,
        .uiNotificationDao = c.uiNotificationDao,
        .landingPage = c.landingPage,
        .localNotificationCenter = c.localNotificationCenter,
        .urlOpener = c.urlOpener,
    };
}

}  // namespace

std::shared_ptr<ZarnPZarnInterface> ZarnPZarnInterface::create(Collaborators collaborators) {
    std::shared_ptr<ZarnPZarnInterface> facade(new ZarnPZarnInterface(std::move(collaborators)));
    facade->start();
    return facade;
}

ZarnPZarnInterface::ZarnPZarnInterface(Collaborators c) : c_(std::move(c)) {
    ZARN_REQUIRE(c_.eventService);
    ZARN_REQUIRE(c_.keyValueDao);
    ZARN_REQUIRE(c_.uiNotificationDao);
    ZARN_REQUIRE(c_.contextualPageDao);
    ZARN_REQUIRE(c_.sentTriggerDao);
    ZARN_REQUIRE(c_.timerDao);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.matchService);
    ZARN_REQUIRE(c_.notificationService);
    ZARN_REQUIRE(c_.locationUpdateService);
    ZARN_REQUIRE(c_.phoneStateService);
    ZARN_REQUIRE(c_.heartbeatService);
    ZARN_REQUIRE(c_.segmentationService);
    ZARN_REQUIRE(c_.landingPage);
    ZARN_REQUIRE(c_.fileConfigDao);
    ZARN_REQUIRE(c_.gcmClient);
    ZARN_REQUIRE(c_.slcDao);
    ZARN_REQUIRE(c_.contextService);
    ZARN_REQUIRE(c_.clockDao);
    ZARN_REQUIRE(c_.application);
    ZARN_REQUIRE(c_.notificationCenter);
    ZARN_REQUIRE(c_.geofenceMatchService);
    ZARN_REQUIRE(c_.beaconMatchService);
    ZARN_REQUIRE(c_.commonMatchService);
    ZARN_REQUIRE(c_.deviceIdDao);
    ZARN_REQUIRE(c_.screenEventsService);
    ZARN_REQUIRE(c_.db);
    state_ = std::make_unique<ZarnPFacadeState>();
    hops_ = std::make_unique<ZarnPFacadeHops>(c_.timerDao, c_.notificationCenter);
    buildRoads();
}

void ZarnPZarnInterface::buildRoads() {
    enabling_ = std::make_unique<ZarnPEnablingRoad>(enablingParts(c_), *state_, *hops_);
    operations_ = std::make_unique<ZarnPOperationsRoad>(operationsParts(c_), *state_, *hops_);
    contextualPage_ =
        std::make_unique<ZarnPContextualPageRoad>(contextualPageParts(c_), *state_, *hops_, *enabling_);
    configuration_ = std::make_unique<ZarnPConfigurationRoad>(configurationParts(c_), *state_, *hops_,
                                                              *enabling_, *operations_);
    offering_ = std::make_unique<ZarnPOfferingRoad>(offeringParts(c_), *state_, *hops_);
    tap_ = std::make_unique<ZarnPTapRoad>(tapParts(c_), *state_, *hops_);
}

void ZarnPZarnInterface::start() {
    hops_->bind(weak_from_this());
    c_.commonMatchService->setDelegate(weak_from_this());
    offering_->startObserving();
    enabling_->startObserving();

    auto& configuration = c_.configuration;
    ZarnPFacadeState::Launch launch;
    launch.debug = configuration && configuration->debugLaunch();
    if (launch.debug || isZarnApp(c_.mainBundle))
        c_.publicLogDao->setEnabled(true);
    launch.apnsSandbox = launch.debug || (configuration && configuration->apnsSandbox());
    launch.fileConfig = configuration && configuration->useFileConfigLaunch();
    state_->setLaunch(launch);
    state_->setDelegate(configuration ? configuration->delegate() : nullptr);
    configuration_->start(configuration);
}

ZarnPZarnInterface::~ZarnPZarnInterface() {
    cleanUp();
}

void ZarnPZarnInterface::cleanUp() {
    offering_->stopObserving();
    enabling_->stopObserving();
}

bool ZarnPZarnInterface::isInitialized() const {
    return state_->initialized();
}

bool ZarnPZarnInterface::isEnabledWithoutWaiting() const {
    return state_->enabled();
}

bool ZarnPZarnInterface::hasUpdateTimer() const {
    return enabling_->hasUpdateTimer();
}

bool ZarnPZarnInterface::isDebugEnabled() const {
    return state_->launch().debug;
}

bool ZarnPZarnInterface::apnsSandbox() const {
    return state_->launch().apnsSandbox;
}

void ZarnPZarnInterface::setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    state_->setDelegate(std::move(delegate));
}

// Configuration, enabling and app state

void ZarnPZarnInterface::reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    configuration_->reinit(std::move(configuration));
}

void ZarnPZarnInterface::enable() {
    enabling_->enable();
}

void ZarnPZarnInterface::disable() {
    enabling_->disable();
}

bool ZarnPZarnInterface::isEnabled() {
    return enabling_->isEnabled();
}

void ZarnPZarnInterface::setCooldownPeriod(int seconds) {
    enabling_->setCooldownPeriod(seconds);
}

// Offering and the tap

void ZarnPZarnInterface::offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                                 std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                                 std::shared_ptr<ZarnPContext> zarnContext) {
    offering_->offerLocalNotifications(notifications, std::move(backgroundTask), std::move(zarnContext));
}

void ZarnPZarnInterface::offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                                          std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                          std::shared_ptr<ZarnPContext> zarnContext) {
    offering_->offerGeotriggers(geotriggers, std::move(backgroundTask), std::move(zarnContext));
}

void ZarnPZarnInterface::notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    offering_->notificationSentEvent(std::move(sentTrigger));
}

void ZarnPZarnInterface::notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    tap_->notificationOpenedEvent(std::move(sentTrigger));
}

void ZarnPZarnInterface::handleNotification(const NotificationResponse& response,
                                            std::shared_ptr<ZarnPContext> zarnContext) {
    tap_->handleNotification(response, std::move(zarnContext));
}

// The remaining operations

void ZarnPZarnInterface::requestContextualPage(std::function<void(std::optional<Value>)> callback) {
    contextualPage_->requestContextualPage(std::move(callback));
}

void ZarnPZarnInterface::mailDebugLog(std::shared_ptr<ViewController> parent) {
    operations_->mailDebugLog(std::move(parent));
}

void ZarnPZarnInterface::setValue(std::optional<std::string> value, const std::string& property) {
    operations_->setValue(std::move(value), property);
}

void ZarnPZarnInterface::setAdvertisingIdentifier(std::optional<std::string> uuid,
                                                  bool advertisingTrackingEnabled) {
    operations_->setAdvertisingIdentifier(std::move(uuid), advertisingTrackingEnabled);
}

std::vector<NotificationRequest> ZarnPZarnInterface::loadedNotifications() {
    return operations_->loadedNotifications();
}

std::vector<std::shared_ptr<ZarnGeotrigger>> ZarnPZarnInterface::loadedGeotriggers() {
    return operations_->loadedGeotriggers();
}

std::vector<std::shared_ptr<ZarnSentNotification>> ZarnPZarnInterface::sentNotifications() {
    return operations_->sentNotifications();
}

std::vector<std::shared_ptr<ZarnSentGeotrigger>> ZarnPZarnInterface::sentGeotriggers() {
    return operations_->sentGeotriggers();
}

void ZarnPZarnInterface::clearSentNotifications() {
    operations_->clearSentNotifications();
}

void ZarnPZarnInterface::clearSentGeotriggers() {
    operations_->clearSentGeotriggers();
}

void ZarnPZarnInterface::sendAttributionEvent(const std::string& actionName, const std::string& itemId) {
    operations_->sendAttributionEvent(actionName, itemId);
}

void ZarnPZarnInterface::externalRegionTrigger(const Value& properties, int triggerType,
                                               const Value& matchPayload) {
    operations_->externalRegionTrigger(properties, triggerType, matchPayload);
}

void ZarnPZarnInterface::clearAllDataAndResetDeviceId() {
    operations_->clearAllDataAndResetDeviceId();
}

void ZarnPZarnInterface::didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) {
    operations_->didRegisterForRemoteNotificationsWithDeviceToken(deviceToken);
}

void ZarnPZarnInterface::didFailToRegisterForRemoteNotificationsWithError(const Error& error) {
    operations_->didFailToRegisterForRemoteNotificationsWithError(error);
}

void ZarnPZarnInterface::didReceiveRemoteNotification(const Value& userInfo,
                                                      std::function<void(BackgroundFetchResult)> completion) {
    operations_->didReceiveRemoteNotification(userInfo, std::move(completion));
}

}  // namespace zarn
