#include "entry/ZarnPZarnInterface.h"

#include <algorithm>
#include <cctype>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPExternalRegionRequest.h"
#include "core/ZarnPExternalTriggerType.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPNotification.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPObjectWithContextWrapper.h"
#include "core/ZarnPSentTrigger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/exchange/ZarnPApplink.h"
#include "device/exchange/ZarnPApplinkMarshaller.h"
#include "device/push/ZarnPPushMessaging.h"
#include "device/system/ZarnPCrashlyticsStubs.h"
#include "device/system/ZarnPFileConfigDao.h"
#include "device/system/ZarnPSignificantChangeMonitoring.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "entry/ZarnPZarnFilterNotifications.h"
#include "entry/ZarnPZarnHandleGeotriggers.h"
#include "services/ZarnPBeaconMatching.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPDebugLogMailer.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPExternalRegionTriggering.h"
#include "services/ZarnPGeofenceMatching.h"
#include "services/ZarnPHeartbeatScheduling.h"
#include "services/ZarnPLandingPageShowing.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "services/ZarnPNotificationLoading.h"
#include "services/ZarnPPhoneStateReporting.h"
#include "services/ZarnPScreenEventTracking.h"
#include "services/ZarnPSegmentationSetting.h"
#include "store/ZarnPContextualPageDao.h"
#include "store/ZarnPSentTriggerDao.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "zarn/platform/Application.h"
#include "zarn/platform/LocalNotificationCenter.h"
#include "zarn/platform/SystemInfo.h"
#include "zarn/platform/UrlOpener.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ZarnInterface";

// An answer broadcast's entries; nothing when one of them is missing.
struct OfferAnswer {
    std::vector<NotificationRequest> chosen;
    std::vector<NotificationRequest> offered;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask;
    std::shared_ptr<ZarnPContext> zarnContext;
};

std::optional<OfferAnswer> readAnswer(const platform::Broadcast::UserInfo& userInfo, const char* chosenKey,
                                      const char* offeredKey, const char* taskKey) {
    platform::Broadcast b{"", nullptr, userInfo};
    auto chosen = b.get<std::vector<NotificationRequest>>(chosenKey);
    auto offered = b.get<std::vector<NotificationRequest>>(offeredKey);
    auto task = b.get<std::shared_ptr<ZarnPBackgroundTask>>(taskKey);
    auto context = b.get<std::shared_ptr<ZarnPContext>>("zarnContext");
    if (!chosen || !offered || !task || !*task || !context || !*context)
        return std::nullopt;
    return OfferAnswer{std::move(*chosen), std::move(*offered), std::move(*task), std::move(*context)};
}

// Calls into the app never take the library down with them.
template <typename F>
void callApp(const char* what, F f) {
    try {
        f();
    } catch (const std::exception& e) {
        LogError(kDomain, "Unhandled exception in %@: %@", what, e.what());
    } catch (...) {
        LogError(kDomain, "Unhandled exception in %@", what);
    }
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
}

void ZarnPZarnInterface::start() {
    c_.commonMatchService->setDelegate(weakSelf());

    auto weak = weakSelf();
    auto& center = *c_.notificationCenter;
    // The answers of the app-side hooks come back as broadcasts from any thread.
    using Step = void (ZarnPZarnInterface::*)(const platform::Broadcast&);
    for (auto [name, step] :
         {std::pair<const char*, Step>{"Zarn_Offered_Notification_Show",
                                       &ZarnPZarnInterface::showFilteredNotifications},
          {"Zarn_Offered_Notification_Dealloc", &ZarnPZarnInterface::filteredNotificationDealloc},
          {"Zarn_Offered_Geotrigger_Handled", &ZarnPZarnInterface::showHandledGeotriggers},
          {"Zarn_Offered_Geotrigger_Dealloc", &ZarnPZarnInterface::handledGeotriggerDealloc}}) {
        center.addObserver(this, name, [weak, step = step](const platform::Broadcast& b) {
            if (auto self = weak.lock())
                ((*self).*step)(b);
        });
    }
    center.addObserver(this, platform::kApplicationDidBecomeActiveNotification,
                       [weak](const platform::Broadcast&) {
                           if (auto self = weak.lock())
                               self->onDidBecomeActiveNotification(nullptr);
                       });
    center.addObserver(this, platform::kApplicationWillResignActiveNotification,
                       [weak](const platform::Broadcast&) {
                           if (auto self = weak.lock())
                               self->onWillResignActive();
                       });

    auto& configuration = c_.configuration;
    isDebugEnabled_ = configuration && configuration->debugLaunch();
    if (isDebugEnabled_)
        c_.publicLogDao->setEnabled(true);
    else if (isZarnApp())
        c_.publicLogDao->setEnabled(true);
    apnsSandbox_ = isDebugEnabled_ || (configuration && configuration->apnsSandbox());
    fileConfigEnabled_ = configuration && configuration->useFileConfigLaunch();
    {
        MutexLock lk(mutex_);
        delegate_ = configuration ? configuration->delegate() : nullptr;
    }
    ZarnPApplyConfigData data{configuration, true};
    onRunLoop([data](ZarnPZarnInterface& self) { self.callDelegateForConfig(data); });
}

ZarnPZarnInterface::~ZarnPZarnInterface() {
    cleanUp();
}

void ZarnPZarnInterface::cleanUp() {
    c_.notificationCenter->removeObserver(this);
}

template <typename F>
void ZarnPZarnInterface::onRunLoop(F f) {
    auto weak = weakSelf();
    c_.timerDao->invokeBlockOnRunLoop(
        [weak, f = std::move(f)]() mutable {
            if (auto self = weak.lock())
                f(*self);
        },
        false);
}

template <typename F>
void ZarnPZarnInterface::onMainThread(F f) {
    auto weak = weakSelf();
    c_.timerDao->invokeBlockOnMainThread(
        [weak, f = std::move(f)]() mutable {
            if (auto self = weak.lock())
                f(*self);
        },
        false);
}

void ZarnPZarnInterface::post(const std::string& name) {
    c_.notificationCenter->post(name, shared_from_this());
}

std::shared_ptr<ZarnDelegate> ZarnPZarnInterface::zarnDelegate() {
    MutexLock lk(mutex_);
    return delegate_;
}

void ZarnPZarnInterface::setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    MutexLock lk(mutex_);
    delegate_ = std::move(delegate);
}

bool ZarnPZarnInterface::isZarnApp() {
    auto& bundle = c_.mainBundle;
    auto name = bundle ? bundle->infoValue("CFBundleDisplayName") : std::nullopt;
    if (!name || !name->is_string())
        return false;
    std::string lower = name->get<std::string>();
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return std::tolower(ch); });
    return lower.find("zarn") != std::string::npos;
}

// Configuration

void ZarnPZarnInterface::reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    ZarnPApplyConfigData data{std::move(configuration), false};
    onRunLoop([data](ZarnPZarnInterface& self) { self.applyConfig(data); });
}

void ZarnPZarnInterface::callDelegateForConfig(ZarnPApplyConfigData data) {
    if (!data.configuration)
        return;
    if (fileConfigEnabled_)
        c_.fileConfigDao->readConfigFromFile(data.configuration);
    auto delegate = data.configuration->delegate();
    if (delegate && delegate->zarnLoadConfig) {
        onMainThread([data](ZarnPZarnInterface& self) { self.callDelegateForConfigOnMainThread(data); });
    } else {
        applyConfig(data);
    }
}

void ZarnPZarnInterface::callDelegateForConfigOnMainThread(ZarnPApplyConfigData data) {
    auto offered = data.configuration;
    auto delegate = offered ? offered->delegate() : nullptr;
    if (!delegate || !delegate->zarnLoadConfig)
        return;
    auto called = std::make_shared<std::atomic<bool>>(false);
    auto weak = weakSelf();
    // The delegate as offered: the app may change the offered object itself before answering.
    auto completion = [weak, called, data, delegate](std::shared_ptr<ZarnConfiguration> answer) mutable {
        if (called->exchange(true)) {
            LogError(kDomain, "loadWithConfig may only be called once.");
            return;
        }
        auto internal = std::dynamic_pointer_cast<ZarnPZarnConfiguration>(answer);
        if (!internal) {
            LogError(kDomain, "Subclassing ZarnConfiguration isn't supported.");
            return;
        }
        internal->setDelegate(delegate);
        data.configuration = internal;
        if (auto self = weak.lock())
            self->onRunLoop([data](ZarnPZarnInterface& s) { s.applyConfig(data); });
    };
    try {
        delegate->zarnLoadConfig(offered, completion);
    } catch (const std::exception& e) {
        LogError(kDomain, "Unhandled exception in zarnLoadConfig: %@", e.what());
    }
}

void ZarnPZarnInterface::applyConfig(ZarnPApplyConfigData data) {
    auto& c = data.configuration;
    if (!c)
        return;
    quickSyncDisabled_ = c->quickSyncDisabled();
    // An empty token is no token: nothing could be sent with it.
    auto token = c->publicToken();
    if (!token || token->empty()) {
        LogError(kDomain, "Unable to initialize the Zarn plugin. No public token set.");
        return;
    }
    setPublicToken(*token);
    if (auto xamarin = c->xamarinVersion())
        c_.keyValueDao->setPropertyValue(*xamarin, "zarn_xamarin_version");
    enableBackgroundLocation_ = c->enableBackgroundLocation();
    setMaxRegionsMonitored(c->maxRegionsMonitored(), c->enableBackgroundLocation());
    c_.slcDao->setEnableBackgroundLocation(c->enableBackgroundLocation());
    c_.slcDao->setAutomaticallyAskLocationPermission(c->automaticallyAskLocationPermission());
    c_.uiNotificationDao->setAutomaticallyAskNotificationPermission(
        c->automaticallyAskNotificationPermission());
    c_.uiNotificationDao->setProvisionalNotificationPermission(c->provisionalNotificationPermission());
    if (data.isInit) {
        enableIfEnabled(c->enableOnFirstRun());
        informInitializationComplete();
        c_.heartbeatService->startTimer();
    }
}

void ZarnPZarnInterface::setPublicToken(const std::string& token) {
    auto stored = c_.keyValueDao->getPropertyValueForKey("zarn_public_token");
    if (stored && *stored == token)
        return;
    if (stored) {
        // The clearing runs later, after the new token is stored; the events waiting now were
        // logged under the old token and go out with it before anything else happens.
        c_.eventService->sendAndClearEventsIfNonEmpty();
        clearAllDataAndResetDeviceId();
        LogDebug(kDomain, "Clearing current public token");
    }
    c_.keyValueDao->setPropertyValue(token, "zarn_public_token");
    if (stored)
        c_.gcmClient->refreshTokens();
}

void ZarnPZarnInterface::setMaxRegionsMonitored(int maxRegions, bool backgroundLocationEnabled) {
    int value = backgroundLocationEnabled ? std::clamp(maxRegions, 5, 20) : 0;
    c_.keyValueDao->setIntPropertyValue(value, "zarn_max_regions_monitored");
}

void ZarnPZarnInterface::enableIfEnabled(bool enableOnFirstRun) {
    bool enabled = c_.keyValueDao->getBoolPropertyValueForKey("zarn_enabled", enableOnFirstRun);
    // A choice that cannot be read may be the user's opt-out: never enable by default then.
    if (enabled && !c_.keyValueDao->hasProperty("zarn_enabled") && !c_.keyValueDao->isReadable()) {
        LogError(kDomain, "The settings cannot be read; not enabling by default");
        enabled = false;
    }
    enabled_ = enabled;
    if (enabled)
        enable();
    else
        setInitialized();
}

void ZarnPZarnInterface::informInitializationComplete() {
    ZarnPCrashlyticsStubs::setUserIdentifier(c_.deviceIdDao->getDeviceId());
    post("Zarn_Initialized");
}

void ZarnPZarnInterface::setInitialized() {
    {
        MutexLock lk(mutex_);
        isInitialized_ = true;
    }
    initializedCv_.notify_all();
}

// Enabling

void ZarnPZarnInterface::enable() {
    auto context = c_.contextService->startContext(ZarnTriggerContextInit);
    c_.publicLogDao->logZarnEnabled(true, context);
    onRunLoop([context](ZarnPZarnInterface& self) { self.enableInRunLoop(context); });
}

void ZarnPZarnInterface::enableInRunLoop(std::shared_ptr<ZarnPContext> context) {
    LogInfo(kDomain, "Zarn enabled");
    enabled_ = true;
    setInitialized();
    c_.keyValueDao->setBoolPropertyValue(true, "zarn_enabled");
    c_.eventService->logEventWithType(ZarnPLogEventTypeEnableService, Value::object(), context);
    c_.locationUpdateService->enable();
    post("Zarn_Enabled");
    // Posted from here, after the SDK-thread step, so that a re-enable always reaches it.
    onMainThread([context](ZarnPZarnInterface& self) { self.enableInMainThread(context); });
}

void ZarnPZarnInterface::enableInMainThread(std::shared_ptr<ZarnPContext> context) {
    c_.gcmClient->loadGcmWithApnsSandbox(apnsSandbox_, quickSyncDisabled_);
    bool inBackground = c_.application->applicationState() == platform::ApplicationState::Background;
    c_.screenEventsService->registerHandlers(!inBackground);
    if (!inBackground)
        onDidBecomeActiveNotification(context);
    else
        c_.contextService->decrementContext(context);
}

void ZarnPZarnInterface::disable() {
    auto context = c_.contextService->startContext(ZarnTriggerContextUserInitiated);
    c_.publicLogDao->logZarnEnabled(false, context);
    onRunLoop([context](ZarnPZarnInterface& self) { self.disableInRunLoop(context); });
}

void ZarnPZarnInterface::disableInRunLoop(std::shared_ptr<ZarnPContext> context) {
    LogInfo(kDomain, "Zarn disabled");
    enabled_ = false;
    setInitialized();
    c_.keyValueDao->setBoolPropertyValue(false, "zarn_enabled");
    c_.eventService->logEventWithType(ZarnPLogEventTypeDisableService, Value::object(), context);
    c_.locationUpdateService->disable();
    // A disabled library runs no updates.
    stopUpdateTimer();
    post("Zarn_Disabled");
    c_.contextService->decrementContext(context);
}

bool ZarnPZarnInterface::isEnabled() {
    UniqueMutexLock lk(mutex_);
    // Waits at most 100 ms for the first configuration; never longer.
    lk.waitFor(initializedCv_, std::chrono::milliseconds(100), [&] { return isInitialized_.load(); });
    return enabled_.load();
}

void ZarnPZarnInterface::setCooldownPeriod(int seconds) {
    onRunLoop([seconds](ZarnPZarnInterface& self) { self.setCooldownPeriodInRunloop(seconds); });
}

void ZarnPZarnInterface::setCooldownPeriodInRunloop(int seconds) {
    c_.keyValueDao->setIntPropertyValue(std::max(0, seconds), "zarn_cooldown_period");
}

// App state

void ZarnPZarnInterface::onWillResignActive() {
    onRunLoop([](ZarnPZarnInterface& self) { self.onWillResignActiveInRunloop(); });
}

void ZarnPZarnInterface::onWillResignActiveInRunloop() {
    stopUpdateTimer();
    post("Zarn_Will_Resign_Active");
}

void ZarnPZarnInterface::onDidBecomeActiveNotification(std::shared_ptr<ZarnPContext> context) {
    if (!enabled_) {
        if (context)
            c_.contextService->decrementContext(context);
        return;
    }
    if (!context)
        context = c_.contextService->startContext(ZarnTriggerContextForeground);
    onRunLoop([context](ZarnPZarnInterface& self) { self.onDidBecomeActiveNotificationInRunloop(context); });
}

void ZarnPZarnInterface::onDidBecomeActiveNotificationInRunloop(std::shared_ptr<ZarnPContext> context) {
    if (enableBackgroundLocation_)
        startUpdateTimer(context);
    else
        c_.contextService->decrementContext(context);  // no run takes it over
}

void ZarnPZarnInterface::startUpdateTimer(std::shared_ptr<ZarnPContext> context) {
    if (!updateTimer_) {
        auto weak = weakSelf();
        updateTimer_ = c_.timerDao->scheduledTimerWithTimeInterval(
            60.0, "ZarnPZarnInterface",
            [weak] {
                if (auto self = weak.lock())
                    self->updateInRunLoop(nullptr);
            },
            true);
    }
    update(context);
}

void ZarnPZarnInterface::stopUpdateTimer() {
    if (updateTimer_)
        updateTimer_->invalidate();
    updateTimer_.reset();
}

bool ZarnPZarnInterface::hasUpdateTimer() const {
    return updateTimer_ && updateTimer_->isValid();
}

void ZarnPZarnInterface::updateInRunLoop(std::shared_ptr<ZarnPContext> context) {
    update(std::move(context));
}

void ZarnPZarnInterface::update(std::shared_ptr<ZarnPContext> context) {
    LogDebug(kDomain, "Checking for update...");
    if (!context)
        context = c_.contextService->startContext(ZarnTriggerContextForeground);
    c_.locationUpdateService->performFullUpdate(context);
}

// Remaining operations

void ZarnPZarnInterface::mailDebugLog(std::shared_ptr<ViewController> parent) {
    if (c_.debugLogMailer)
        c_.debugLogMailer->mailDebugLog(std::move(parent));
}

bool ZarnPZarnInterface::isInitializedAndEnabled() const {
    return isInitialized_.load() && enabled_.load();
}

void ZarnPZarnInterface::setValue(std::optional<std::string> value, const std::string& property) {
    std::string text = value.value_or("");
    LogDebug(kDomain, "Segmentation set for property %@ with value %@", property, text);
    onRunLoop(
        [text, property](ZarnPZarnInterface& self) { self.setValueForPropertyInRunLoop(text, property); });
}

void ZarnPZarnInterface::setValueForPropertyInRunLoop(const std::string& value, const std::string& key) {
    auto context = c_.contextService->startContext(ZarnTriggerContextUserInitiated);
    c_.segmentationService->setValue(value, key, context);
    c_.publicLogDao->logSegmentationCreatedFor(key, value, context);
    c_.contextService->decrementContext(context);
}

void ZarnPZarnInterface::setAdvertisingIdentifier(std::optional<std::string> uuid,
                                                  bool advertisingTrackingEnabled) {
    if (!uuid)
        return;
    onRunLoop([uuid, advertisingTrackingEnabled](ZarnPZarnInterface& self) {
        self.c_.segmentationService->setAdvertisingIdentifier(uuid, advertisingTrackingEnabled);
    });
}

template <typename R>
R ZarnPZarnInterface::onRunLoopWaiting(R (ZarnPZarnInterface::*step)()) {
    R out{};
    if (!isInitializedAndEnabled())
        return out;
    auto self = shared_from_this();
    // Waiting: the caller's list outlives the step, and a dropped step leaves it empty.
    c_.timerDao->invokeBlockOnRunLoop([self, step, &out] { out = ((*self).*step)(); }, true);
    return out;
}

std::vector<NotificationRequest> ZarnPZarnInterface::loadedNotifications() {
    return onRunLoopWaiting(&ZarnPZarnInterface::loadedNotificationsOnRunLoop);
}

std::vector<std::shared_ptr<ZarnGeotrigger>> ZarnPZarnInterface::loadedGeotriggers() {
    return onRunLoopWaiting(&ZarnPZarnInterface::loadedGeotriggersOnRunLoop);
}

std::vector<std::shared_ptr<ZarnSentNotification>> ZarnPZarnInterface::sentNotifications() {
    return onRunLoopWaiting(&ZarnPZarnInterface::sentNotificationsOnRunLoop);
}

std::vector<std::shared_ptr<ZarnSentGeotrigger>> ZarnPZarnInterface::sentGeotriggers() {
    return onRunLoopWaiting(&ZarnPZarnInterface::sentGeotriggersOnRunLoop);
}

void ZarnPZarnInterface::externalRegionTrigger(const Value& properties, int triggerType,
                                               const Value& matchPayload) {
    // Checked before the request's unsigned type could turn a bad value into a huge one.
    if (triggerType != ZarnPExternalTriggerType::Enter && triggerType != ZarnPExternalTriggerType::Exit) {
        LogError("Zarn", "Ignoring external region trigger of unknown type %@", triggerType);
        return;
    }
    if (!isInitialized() || !isEnabledWithoutWaiting() || !c_.externalRegionService)
        return;
    auto request = std::make_shared<ZarnPExternalRegionRequest>(
        properties, static_cast<unsigned>(triggerType), matchPayload);
    onRunLoop([request](ZarnPZarnInterface& self) { self.c_.externalRegionService->regionTrigger(request); });
}

std::vector<NotificationRequest> ZarnPZarnInterface::loadedNotificationsOnRunLoop() {
    std::vector<NotificationRequest> out;
    auto loaded = c_.notificationService->getLoadedNotifications();
    if (!loaded)
        return out;
    for (const auto& notification : *loaded) {
        if (!notification ||
            notification->notificationHandlerType() == ZarnPNotificationHandlerTypeGeotrigger)
            continue;
        int regionType = !notification->triggerProperties().empty() ? ZarnPNotificationRegionTypeExternal
                         : notification->beaconUuid()               ? ZarnPNotificationRegionTypeBeacon
                                                                    : ZarnPNotificationRegionTypeGeofence;
        out.push_back(
            c_.uiNotificationDao->createNotification(*notification, std::nullopt, regionType, false));
    }
    return out;
}

std::vector<std::shared_ptr<ZarnGeotrigger>> ZarnPZarnInterface::loadedGeotriggersOnRunLoop() {
    std::vector<std::shared_ptr<ZarnGeotrigger>> out;
    auto loaded = c_.notificationService->getLoadedNotifications();
    if (!loaded)
        return out;
    for (const auto& notification : *loaded)
        if (notification && notification->notificationHandlerType() == ZarnPNotificationHandlerTypeGeotrigger)
            if (auto geotrigger = c_.uiNotificationDao->createGeotriggerFromNotification(*notification))
                out.push_back(std::move(geotrigger));
    return out;
}

std::vector<std::shared_ptr<ZarnSentNotification>> ZarnPZarnInterface::sentNotificationsOnRunLoop() {
    std::vector<std::shared_ptr<ZarnSentNotification>> out;
    for (const auto& trigger : c_.sentTriggerDao->sentNotifications())
        if (trigger)
            if (auto sent = c_.uiNotificationDao->createSentNotification(*trigger))
                out.push_back(std::move(sent));
    return out;
}

std::vector<std::shared_ptr<ZarnSentGeotrigger>> ZarnPZarnInterface::sentGeotriggersOnRunLoop() {
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> out;
    for (const auto& trigger : c_.sentTriggerDao->sentGeotriggers())
        if (trigger)
            if (auto sent = c_.uiNotificationDao->createSentGeotrigger(*trigger))
                out.push_back(std::move(sent));
    return out;
}

void ZarnPZarnInterface::clearSentNotifications() {
    if (!isInitializedAndEnabled())
        return;
    onRunLoop([](ZarnPZarnInterface& self) { self.c_.sentTriggerDao->clearSentNotifications(); });
}

void ZarnPZarnInterface::clearSentGeotriggers() {
    if (!isInitializedAndEnabled())
        return;
    onRunLoop([](ZarnPZarnInterface& self) { self.c_.sentTriggerDao->clearSentGeotriggers(); });
}

// The contextual page

void ZarnPZarnInterface::requestContextualPage(std::function<void(std::optional<Value>)> callback) {
    if (!isInitializedAndEnabled() || !callback)
        return;
    auto self = shared_from_this();
    c_.timerDao->invokeBlockOnRunLoop(
        [self, callback = std::move(callback)]() mutable {
            self->requestContextualPageOnRunLoop(std::move(callback));
        },
        true);
}

namespace {

// The app's callback must not take the SDK thread down with it.
void callContextualPageCallback(const std::function<void(std::optional<Value>)>& callback,
                                std::optional<Value> data) {
    try {
        callback(std::move(data));
    } catch (const std::exception& e) {
        LogError(kDomain, "Unhandled exception in the contextual page callback: %@", e.what());
    } catch (...) {
        LogError(kDomain, "Unhandled exception in the contextual page callback");
    }
}

std::optional<Value> pageData(const std::optional<Value>& page) {
    if (!page || !page->is_object() || !page->contains("data"))
        return std::nullopt;
    return page->at("data");
}

}  // namespace

void ZarnPZarnInterface::requestContextualPageOnRunLoop(std::function<void(std::optional<Value>)> callback) {
    auto context = c_.contextService->startContext(ZarnTriggerContextContextualPage);
    auto page = c_.contextualPageDao->getClosestContextualPage();
    double date = 0;
    bool fresh = false;
    if (page && page->is_object()) {
        auto found = page->find("date");
        if (found != page->end() && found->is_number()) {
            date = found->get<double>();
            fresh = timeIntervalSince1970(c_.clockDao->now()) - date <= kContextualPageMaxAgeSeconds;
        }
    }
    if (fresh) {
        Value extra = Value::object();
        if (auto id = page->find("id"); id != page->end())
            extra["id"] = *id;
        // A page stored without a payload has none to report.
        if (auto payload = page->find("match_payload"); payload != page->end() && !payload->is_null())
            extra["match_payload"] = *payload;
        c_.eventService->logEventWithType(ZarnPLogEventTypeContextualPageSent, extra,
                                          dateWithTimeIntervalSince1970(date), context);
        callContextualPageCallback(callback, pageData(page));
    } else {
        refreshContextualPage(std::move(callback));
    }
    update(context);
}

void ZarnPZarnInterface::refreshContextualPage(std::function<void(std::optional<Value>)> callback) {
    // One request: its observers, its timer and whether it is done. Whichever comes first
    // completes it; everything it holds is let go then.
    struct Pending {
        explicit Pending(std::function<void(std::optional<Value>)> cb) : callback(std::move(cb)) {}
        Mutex mutex;
        bool done ZARN_GUARDED_BY(mutex) = false;
        std::function<void(std::optional<Value>)> callback ZARN_GUARDED_BY(mutex);
        std::shared_ptr<platform::Timer> timer ZARN_GUARDED_BY(mutex);
    };
    auto pending = std::make_shared<Pending>(std::move(callback));
    auto center = c_.notificationCenter;
    std::weak_ptr<ZarnPZarnInterface> weak = weakSelf();
    // Takes the callback once; the observers and the timer go with it.
    // The centre is held weakly: its observers hold this.
    std::weak_ptr<platform::NotificationCenter> weakCenter = center;
    auto take = [pending, weakCenter]() -> std::function<void(std::optional<Value>)> {
        MutexLock lk(pending->mutex);
        if (pending->done)
            return nullptr;
        pending->done = true;
        if (auto c = weakCenter.lock())
            c->removeObserver(pending.get());
        if (pending->timer)
            pending->timer->invalidate();
        pending->timer.reset();
        return std::move(pending->callback);
    };
    auto onBroadcast = [weak, take](const platform::Broadcast&) {
        auto self = weak.lock();
        if (!self)
            return;
        auto complete = [take](ZarnPZarnInterface& s) {
            if (auto cb = take())
                callContextualPageCallback(cb, pageData(s.c_.contextualPageDao->getClosestContextualPage()));
        };
        // The page store belongs to the SDK thread.
        if (self->c_.timerDao->isRunThread())
            complete(*self);
        else
            self->onRunLoop(complete);
    };
    center->addObserver(pending.get(), "Zarn_Wont_Update", onBroadcast);
    center->addObserver(pending.get(), "Zarn_Location_Update_Completed_Private", onBroadcast);
    auto timer = c_.timerDao->scheduledTimerWithTimeInterval(
        kContextualPageTimeoutSeconds, "ZarnPZarnInterface",
        [take] {
            if (auto cb = take()) {
                LogDebug(kDomain, "Contextual page request timeout");
                callContextualPageCallback(cb, std::nullopt);
            }
        },
        false);
    MutexLock lk(pending->mutex);
    if (pending->done)
        timer->invalidate();
    else
        pending->timer = std::move(timer);
}

void ZarnPZarnInterface::sendAttributionEvent(const std::string& actionName, const std::string& itemId) {
    if (actionName.empty()) {
        LogWarn(kDomain, "Not sending an attribution event without an action name");
        return;
    }
    Value extra = Value::object();
    extra["action_name"] = actionName;
    if (!itemId.empty())
        extra["item_id"] = itemId;
    onRunLoop([extra](ZarnPZarnInterface& self) { self.sendAttributionEventInRunloop(extra); });
}

void ZarnPZarnInterface::sendAttributionEventInRunloop(const Value& extra) {
    auto context = c_.contextService->startContext(ZarnTriggerContextAttribution);
    c_.locationUpdateService->performFullUpdateOrLogCurrentLocationWithContext(context);
    c_.eventService->logEventWithType(ZarnPLogEventTypeAttribution, extra, context);
}

void ZarnPZarnInterface::didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) {
    c_.gcmClient->didRegisterForRemoteNotificationsWithDeviceToken(deviceToken);
}

void ZarnPZarnInterface::didFailToRegisterForRemoteNotificationsWithError(const Error& error) {
    c_.gcmClient->didFailToRegisterForRemoteNotificationsWithError(error);
}

void ZarnPZarnInterface::didReceiveRemoteNotification(const Value& userInfo,
                                                      std::function<void(BackgroundFetchResult)> completion) {
    c_.gcmClient->didReceiveRemoteNotification(userInfo, std::move(completion));
}

// Clearing all data. A changed token has already sent the old token's waiting events when it
// calls this (see setPublicToken), so the clearing finds none of them to send under the new one.
void ZarnPZarnInterface::clearAllDataAndResetDeviceId() {
    LogDebug(kDomain, "Clearing all user's data and resetting deviceId");
    auto context = c_.contextService->startContext(ZarnTriggerContextUserInitiated);
    onRunLoop([context](ZarnPZarnInterface& self) { self.clearAllDataAndResetDeviceIdOnRunLoop(context); });
}

void ZarnPZarnInterface::clearAllDataAndResetDeviceIdOnRunLoop(std::shared_ptr<ZarnPContext> context) {
    c_.eventService->sendAndClearEventsIfNonEmpty();
    c_.phoneStateService->clearData();
    // Its notification service forgets the loaded notifications and the device id.
    c_.locationUpdateService->clearData();
    c_.matchService->clearData();
    try {
        ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(c_.db, c_.publicLogDao);
        orchestrator.clearAllData(context);
    } catch (const std::exception& e) {
        // The rest is still cleared: a stale tile is refetched, a kept identity is not.
        LogError(kDomain, "Failed to clear the loaded data: %@", e.what());
    }
    c_.contextService->decrementContext(context);
    c_.segmentationService->clearData();
    c_.sentTriggerDao->clearSentNotifications();
    c_.sentTriggerDao->clearSentGeotriggers();
    LogDebug(kDomain, "All user's data was cleared successfully and resetting deviceId");
}

// Offering to the app

void ZarnPZarnInterface::offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                                 std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                                 std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_REQUIRE(backgroundTask);
    auto delegate = zarnDelegate();
    if (!delegate || !delegate->zarnFilterNotifications) {
        sendNotificationsInRunloop(notifications, std::move(backgroundTask), std::move(zarnContext));
        return;
    }
    for (auto& request : notifications)
        c_.commonMatchService->notificationIsOffered(
            ZarnPDictionaryHelper::stringEntry(request.content.userInfo, "identifier").value_or(""));
    c_.publicLogDao->logOfferNotificationCount(static_cast<long>(notifications.size()), zarnContext);
    auto wrapper = std::make_shared<ZarnPObjectWithContextWrapper>(
        std::make_pair(notifications, std::move(backgroundTask)), std::move(zarnContext));
    onMainThread([wrapper](ZarnPZarnInterface& self) { self.offerNotificationOnMainThread(wrapper); });
}

void ZarnPZarnInterface::offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                                          std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                          std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_REQUIRE(backgroundTask);
    auto delegate = zarnDelegate();
    if (!delegate || !delegate->zarnHandleGeotriggers) {
        sendNotificationsInRunloop(geotriggers, std::move(backgroundTask), std::move(zarnContext));
        return;
    }
    std::vector<std::shared_ptr<ZarnGeotrigger>> offered;
    offered.reserve(geotriggers.size());
    for (auto& request : geotriggers) {
        c_.commonMatchService->notificationIsOffered(
            ZarnPDictionaryHelper::stringEntry(request.content.userInfo, "identifier").value_or(""));
        offered.push_back(ZarnGeotrigger::initializeWithUserInfo(request.content.userInfo));
    }
    c_.publicLogDao->logOfferGeotriggerCount(static_cast<long>(offered.size()), zarnContext);
    auto wrapper = std::make_shared<ZarnPObjectWithContextWrapper>(
        std::make_pair(std::move(offered), std::move(backgroundTask)), std::move(zarnContext));
    onMainThread([wrapper](ZarnPZarnInterface& self) { self.offerGeotriggerOnMainThread(wrapper); });
}

void ZarnPZarnInterface::offerNotificationOnMainThread(
    std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper) {
    using Carried = std::pair<std::vector<NotificationRequest>, std::shared_ptr<ZarnPBackgroundTask>>;
    auto carried = wrapper ? wrapper->objectAs<Carried>() : nullptr;
    if (!carried)
        return;
    auto hook = std::make_shared<ZarnPZarnFilterNotifications>(c_.notificationCenter, carried->first,
                                                               carried->second, wrapper->zarnContext());
    wrapper.reset();  // the hook alone holds the task now
    auto delegate = zarnDelegate();
    if (delegate && delegate->zarnFilterNotifications)
        callApp("zarnFilterNotifications", [&] { delegate->zarnFilterNotifications(hook); });
}

void ZarnPZarnInterface::offerGeotriggerOnMainThread(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper) {
    using Carried =
        std::pair<std::vector<std::shared_ptr<ZarnGeotrigger>>, std::shared_ptr<ZarnPBackgroundTask>>;
    auto carried = wrapper ? wrapper->objectAs<Carried>() : nullptr;
    if (!carried)
        return;
    auto hook = std::make_shared<ZarnPZarnHandleGeotriggers>(c_.notificationCenter, carried->first,
                                                             carried->second, wrapper->zarnContext());
    wrapper.reset();
    auto delegate = zarnDelegate();
    if (delegate && delegate->zarnHandleGeotriggers)
        callApp("zarnHandleGeotriggers", [&] { delegate->zarnHandleGeotriggers(hook); });
}

void ZarnPZarnInterface::sendNotificationsInRunloop(const std::vector<NotificationRequest>& notifications,
                                                    std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                                    std::shared_ptr<ZarnPContext> zarnContext) {
    c_.commonMatchService->showNotifications(notifications, notifications, backgroundTask, zarnContext);
}

void ZarnPZarnInterface::showFilteredNotifications(const platform::Broadcast& broadcast) {
    onRunLoop([info = broadcast.userInfo](ZarnPZarnInterface& self) {
        self.showFilteredNotificationsInRunloop(info);
    });
}

void ZarnPZarnInterface::showFilteredNotificationsInRunloop(const platform::Broadcast::UserInfo& userInfo) {
    auto answer =
        readAnswer(userInfo, "notifications_show", "notifications_offered", "notifications_background_task");
    if (!answer) {
        LogDebug(kDomain, "Filter answer not processed: it was incomplete or the hook had already answered");
        return;
    }
    c_.publicLogDao->logPassedNotificationCount(static_cast<long>(answer->chosen.size()),
                                                answer->zarnContext);
    c_.commonMatchService->showNotifications(answer->chosen, answer->offered, answer->backgroundTask,
                                             answer->zarnContext);
}

void ZarnPZarnInterface::filteredNotificationDealloc(const platform::Broadcast& broadcast) {
    auto offered = broadcast.get<std::vector<NotificationRequest>>("notifications_offered");
    if (!offered)
        return;
    onRunLoop([offered = std::move(*offered)](ZarnPZarnInterface& self) {
        self.filteredNotificationDeallocInRunloop(offered);
    });
}

void ZarnPZarnInterface::filteredNotificationDeallocInRunloop(
    const std::vector<NotificationRequest>& offered) {
    c_.commonMatchService->filteredNotificationsDealloc(offered);
}

void ZarnPZarnInterface::showHandledGeotriggers(const platform::Broadcast& broadcast) {
    onRunLoop([info = broadcast.userInfo](ZarnPZarnInterface& self) {
        self.showHandledGeotriggersInRunloop(info);
    });
}

void ZarnPZarnInterface::showHandledGeotriggersInRunloop(const platform::Broadcast::UserInfo& userInfo) {
    auto answer =
        readAnswer(userInfo, "geotriggers_handled", "geotriggers_offered", "geotriggers_background_task");
    if (!answer) {
        LogDebug(kDomain,
                 "Geotrigger answer not processed: it was incomplete or the hook had already answered");
        return;
    }
    c_.publicLogDao->logPassedGeotriggerCount(static_cast<long>(answer->chosen.size()), answer->zarnContext);
    c_.commonMatchService->showNotifications(answer->chosen, answer->offered, answer->backgroundTask,
                                             answer->zarnContext);
}

void ZarnPZarnInterface::handledGeotriggerDealloc(const platform::Broadcast& broadcast) {
    auto offered = broadcast.get<std::vector<std::shared_ptr<ZarnGeotrigger>>>("geotriggers_offered");
    if (!offered)
        return;
    onRunLoop([offered = std::move(*offered)](ZarnPZarnInterface& self) {
        self.filteredGeotriggerDeallocInRunloop(offered);
    });
}

void ZarnPZarnInterface::filteredGeotriggerDeallocInRunloop(
    const std::vector<std::shared_ptr<ZarnGeotrigger>>& offered) {
    c_.commonMatchService->filteredGeotriggerDealloc(offered);
}

void ZarnPZarnInterface::notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    auto delegate = zarnDelegate();
    if (!sentTrigger || !delegate || !delegate->zarnNotificationSentEvent)
        return;
    auto sent = c_.uiNotificationDao->createSentNotification(*sentTrigger);
    onMainThread([sent](ZarnPZarnInterface& self) { self.notificationSentEventOnMainThread(sent); });
}

void ZarnPZarnInterface::notificationSentEventOnMainThread(
    std::shared_ptr<ZarnSentNotification> sentNotification) {
    auto delegate = zarnDelegate();
    if (delegate && delegate->zarnNotificationSentEvent)
        callApp("zarnNotificationSentEvent", [&] { delegate->zarnNotificationSentEvent(sentNotification); });
}

// Opening a tapped notification

void ZarnPZarnInterface::handleNotification(const NotificationResponse& response,
                                            std::shared_ptr<ZarnPContext> zarnContext) {
    auto wrapper = std::make_shared<ZarnPObjectWithContextWrapper>(response, std::move(zarnContext));
    onRunLoop([wrapper](ZarnPZarnInterface& self) { self.handleNotificationInRunLoop(wrapper); });
}

void ZarnPZarnInterface::handleNotificationInRunLoop(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper) {
    auto response = wrapper ? wrapper->objectAs<NotificationResponse>() : nullptr;
    auto context = wrapper ? wrapper->zarnContext() : nullptr;
    const NotificationRequest* request = response ? &response->notification.request : nullptr;
    if (!request || !ZarnPDictionaryHelper::stringEntry(request->content.userInfo, "action")) {
        // Nothing follows that would release the context opened for the tap.
        LogDebug(kDomain, "Tapped notification without an action; ignoring it");
        c_.contextService->decrementContext(context);
        return;
    }
    if (c_.localNotificationCenter)
        c_.localNotificationCenter->removePendingNotificationRequests({request->identifier});
    auto type =
        ZarnPDictionaryHelper::stringEntry(request->content.userInfo, "notificationHandlerType").value_or("");
    auto delegate = zarnDelegate();
    if (type == "landingPage")
        handleNotificationLandingPage(*response, context);
    else if (type == "applink")
        handleNotificationApplink(*response, context);
    else if (delegate && (delegate->zarnHandleNotificationData || delegate->zarnHandleNotificationResponse))
        handleNotificationExternally(*response, context);
    else
        handleNotificationInternally(*response, context);
}

void ZarnPZarnInterface::handleNotificationLandingPage(const NotificationResponse& response,
                                                       std::shared_ptr<ZarnPContext> zarnContext) {
    auto& request = response.notification.request;
    openedNotification(request, std::move(zarnContext));
    auto action = ZarnPDictionaryHelper::stringEntry(request.content.userInfo, "action").value_or("");
    onMainThread([action](ZarnPZarnInterface& self) { self.showLandingPage(action); });
}

void ZarnPZarnInterface::handleNotificationApplink(const NotificationResponse& response,
                                                   std::shared_ptr<ZarnPContext> zarnContext) {
    auto& request = response.notification.request;
    openedNotification(request, std::move(zarnContext));
    auto action = ZarnPDictionaryHelper::stringEntry(request.content.userInfo, "action").value_or("");
    // An action that is no app link has nothing to open; the marshaller has said why.
    auto applink = ZarnPApplinkMarshaller::createApplinkFromJsonString(action);
    if (!applink)
        return;
    onMainThread([applink](ZarnPZarnInterface& self) { self.showApplink(applink); });
}

void ZarnPZarnInterface::handleNotificationExternally(const NotificationResponse& response,
                                                      std::shared_ptr<ZarnPContext> zarnContext) {
    openedNotification(response.notification.request, std::move(zarnContext));
    onMainThread([response](ZarnPZarnInterface& self) {
        self.handleNotificationExternallyByCallingCallback(response);
    });
}

void ZarnPZarnInterface::handleNotificationInternally(const NotificationResponse& response,
                                                      std::shared_ptr<ZarnPContext> zarnContext) {
    auto& request = response.notification.request;
    openedNotification(request, std::move(zarnContext));
    auto action = ZarnPDictionaryHelper::stringEntry(request.content.userInfo, "action").value_or("");
    if (!action.empty())
        onMainThread([action](ZarnPZarnInterface& self) { self.openUrl(action); });
}

void ZarnPZarnInterface::openedNotification(const NotificationRequest& request,
                                            std::shared_ptr<ZarnPContext> zarnContext) {
    auto& userInfo = request.content.userInfo;
    auto identifierWithExperiment = ZarnPDictionaryHelper::stringEntry(userInfo, "identifierWithExperiment");
    auto matchIdentifier = ZarnPDictionaryHelper::stringEntry(userInfo, "matchIdentifier");
    // A failing dwelling check must not stop the opening from being recorded.
    try {
        c_.geofenceMatchService->checkForSentDwellingGeofences(zarnContext);
        c_.beaconMatchService->checkForSentDwellingBeacons(zarnContext);
    } catch (const std::exception& e) {
        LogError(kDomain, "Dwelling check failed: %@", e.what());
    }
    c_.locationUpdateService->performFullUpdateOrLogCurrentLocationWithContext(zarnContext);
    Value extra = Value::object();
    if (identifierWithExperiment)
        extra["notification_id"] = *identifierWithExperiment;
    if (matchIdentifier)
        extra["match_id"] = *matchIdentifier;
    c_.eventService->logEventWithType(ZarnPLogEventTypeNotificationViewed, extra, zarnContext);
    c_.publicLogDao->logNotificationOpened(identifierWithExperiment.value_or(""), request.content.body,
                                           zarnContext);
    if (!matchIdentifier) {
        LogDebug(kDomain, "Opened notification has no matchIdentifier; not marking it opened");
    } else if (auto error = c_.sentTriggerDao->markNotificationOpened(*matchIdentifier, c_.clockDao->now())) {
        LogNsError(kDomain, *error, "Unable to mark notification opened");
    }
    if (matchIdentifier) {
        if (auto sent = c_.sentTriggerDao->sentNotification(*matchIdentifier))
            notificationOpenedEvent(std::move(sent));
        else
            LogDebug(kDomain, "No sent notification %@; the app is not told of the opening",
                     *matchIdentifier);
    }
    c_.contextService->decrementContext(zarnContext);
}

void ZarnPZarnInterface::notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) {
    auto delegate = zarnDelegate();
    if (!sentTrigger || !delegate || !delegate->zarnNotificationOpenedEvent)
        return;
    auto sent = c_.uiNotificationDao->createSentNotification(*sentTrigger);
    onMainThread([sent](ZarnPZarnInterface& self) { self.notificationOpenedEventOnMainThread(sent); });
}

void ZarnPZarnInterface::notificationOpenedEventOnMainThread(
    std::shared_ptr<ZarnSentNotification> sentNotification) {
    auto delegate = zarnDelegate();
    if (delegate && delegate->zarnNotificationOpenedEvent)
        callApp("zarnNotificationOpenedEvent",
                [&] { delegate->zarnNotificationOpenedEvent(sentNotification); });
}

void ZarnPZarnInterface::showLandingPage(const std::string& action) {
    callApp("showLandingPage", [&] { c_.landingPage->showLandingPage(action); });
}

void ZarnPZarnInterface::showApplink(std::shared_ptr<ZarnPApplink> applink) {
    auto fallback = applink ? applink->iosFallbackUrl() : std::nullopt;
    // Without a fallback nothing more happens; only a fallback that fails too is an error.
    auto openFallback = [opener = c_.urlOpener, fallback] {
        if (!fallback)
            return;
        if (!opener) {
            LogError(kDomain, "Unable to open url.");
            return;
        }
        opener->openUrl(*fallback, [](bool success) {
            if (!success)
                LogError(kDomain, "Unable to open url.");
        });
    };
    auto appUrl = applink ? applink->iosAppUrl() : std::nullopt;
    if (!appUrl || !c_.urlOpener) {
        openFallback();
        return;
    }
    c_.urlOpener->openUrl(*appUrl, [openFallback](bool success) {
        if (!success)
            openFallback();
    });
}

void ZarnPZarnInterface::handleNotificationExternallyByCallingCallback(const NotificationResponse& response) {
    auto delegate = zarnDelegate();
    if (!delegate)
        return;
    auto& request = response.notification.request;
    auto action = ZarnPDictionaryHelper::stringEntry(request.content.userInfo, "action").value_or("");
    if (delegate->zarnHandleNotificationData)
        callApp("zarnHandleNotification", [&] { delegate->zarnHandleNotificationData(request, action); });
    if (delegate->zarnHandleNotificationResponse)
        callApp("zarnHandleNotification",
                [&] { delegate->zarnHandleNotificationResponse(action, response); });
}

void ZarnPZarnInterface::openUrl(const std::string& url) {
    if (!c_.urlOpener) {
        LogError(kDomain, "Unable to open url.");
        return;
    }
    c_.urlOpener->openUrl(url, [](bool success) {
        if (!success)
            LogError(kDomain, "Unable to open url.");
    });
}

}  // namespace zarn
