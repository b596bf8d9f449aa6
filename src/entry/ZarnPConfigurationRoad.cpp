#include "entry/ZarnPConfigurationRoad.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>

#include "device/push/ZarnPPushMessaging.h"
#include "device/system/ZarnPCrashlyticsStubs.h"
#include "device/system/ZarnPFileConfigDao.h"
#include "device/system/ZarnPSignificantChangeMonitoring.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "entry/ZarnPAppCall.h"
#include "entry/ZarnPEnablingRoad.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "entry/ZarnPOperationsRoad.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPHeartbeatScheduling.h"
#include "store/ZarnPCommitGroup.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
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

}  // namespace

ZarnPConfigurationRoad::ZarnPConfigurationRoad(Collaborators c, ZarnPFacadeState& state,
                                               const ZarnPFacadeHops& hops, ZarnPEnablingRoad& enabling,
                                               ZarnPOperationsRoad& operations)
    : c_(std::move(c)), state_(state), hops_(hops), enabling_(enabling), operations_(operations) {}

void ZarnPConfigurationRoad::start(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    fixLaunch(configuration);
    ZarnPApplyConfigData data{std::move(configuration), true};
    hops_.inRunLoop([this, data] { callDelegateForConfig(data); });
}

void ZarnPConfigurationRoad::fixLaunch(const std::shared_ptr<ZarnPZarnConfiguration>& configuration) {
    ZarnPFacadeState::Launch launch;
    launch.debug = configuration && configuration->debugLaunch();
    if (launch.debug || isZarnApp(c_.mainBundle))
        c_.publicLogDao->setEnabled(true);
    launch.apnsSandbox = launch.debug || (configuration && configuration->apnsSandbox());
    launch.fileConfig = configuration && configuration->useFileConfigLaunch();
    state_.setLaunch(launch);
    state_.setDelegate(configuration ? configuration->delegate() : nullptr);
}

void ZarnPConfigurationRoad::reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    ZarnPApplyConfigData data{std::move(configuration), false};
    hops_.inRunLoop([this, data] { applyConfig(data); });
}

void ZarnPConfigurationRoad::callDelegateForConfig(ZarnPApplyConfigData data) {
    if (!data.configuration)
        return;
    if (state_.launch().fileConfig)
        c_.fileConfigDao->readConfigFromFile(data.configuration);
    auto delegate = data.configuration->delegate();
    if (delegate && delegate->zarnLoadConfig) {
        hops_.onMainThread([this, data] { callDelegateForConfigOnMainThread(data); });
    } else {
        applyConfig(data);
    }
}

void ZarnPConfigurationRoad::callDelegateForConfigOnMainThread(ZarnPApplyConfigData data) {
    auto offered = data.configuration;
    auto delegate = offered ? offered->delegate() : nullptr;
    if (!delegate || !delegate->zarnLoadConfig)
        return;
    auto called = std::make_shared<std::atomic<bool>>(false);
    auto apply = hops_.guarded([this](ZarnPApplyConfigData answered) {
        hops_.inRunLoop([this, answered] { applyConfig(answered); });
    });
    // The delegate as offered: the app may change the offered object itself before answering.
    auto completion = [apply, called, data, delegate](std::shared_ptr<ZarnConfiguration> answer) mutable {
        if (called->exchange(true)) {
            LogError(kFacadeDomain, "loadWithConfig may only be called once.");
            return;
        }
        auto internal = std::dynamic_pointer_cast<ZarnPZarnConfiguration>(answer);
        if (!internal) {
            LogError(kFacadeDomain, "Subclassing ZarnConfiguration isn't supported.");
            return;
        }
        internal->setDelegate(delegate);
        data.configuration = internal;
        apply(data);
    };
    try {
        delegate->zarnLoadConfig(offered, completion);
    } catch (const std::exception& e) {
        LogError(kFacadeDomain, "Unhandled exception in zarnLoadConfig: %@", e.what());
    }
}

void ZarnPConfigurationRoad::applyConfig(ZarnPApplyConfigData data) {
    auto& c = data.configuration;
    if (!c)
        return;
    state_.setQuickSyncDisabled(c->quickSyncDisabled());
    // An empty token is no token: nothing could be sent with it.
    auto token = c->publicToken();
    if (!token || token->empty()) {
        LogError(kFacadeDomain, "Unable to initialize the Zarn plugin. No public token set.");
        return;
    }
    {
        // The configuration's settings in one commit; durable when it changes the token, which
        // clears what the old one gathered. The first token is a first start's bookkeeping.
        auto stored = c_.keyValueDao->getPropertyValueForKey(setting::kPublicToken);
        bool changesToken = stored && *stored != *token;
        ZarnPCommitGroup commits(c_.db, changesToken ? ZarnPDurability::Full : ZarnPDurability::Normal,
                                 kFacadeDomain);
        setPublicToken(*token);
        if (auto xamarin = c->xamarinVersion())
            c_.keyValueDao->setPropertyValue(*xamarin, setting::kXamarinVersion);
        state_.setEnableBackgroundLocation(c->enableBackgroundLocation());
        setMaxRegionsMonitored(c->maxRegionsMonitored(), c->enableBackgroundLocation());
    }
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

void ZarnPConfigurationRoad::setPublicToken(const std::string& token) {
    auto stored = c_.keyValueDao->getPropertyValueForKey(setting::kPublicToken);
    if (stored && *stored == token)
        return;
    if (stored) {
        // The clearing runs later, after the new token is stored; the events waiting now were
        // logged under the old token and go out with it before anything else happens.
        c_.eventService->sendAndClearEventsIfNonEmpty();
        operations_.clearAllDataAndResetDeviceId();
        LogDebug(kFacadeDomain, "Clearing current public token");
    }
    c_.keyValueDao->setPropertyValue(token, setting::kPublicToken);
    if (stored)
        c_.gcmClient->refreshTokens();
}

void ZarnPConfigurationRoad::setMaxRegionsMonitored(int maxRegions, bool backgroundLocationEnabled) {
    int value = backgroundLocationEnabled ? std::clamp(maxRegions, 5, 20) : 0;
    c_.keyValueDao->setIntPropertyValue(value, setting::kMaxRegionsMonitored);
}

void ZarnPConfigurationRoad::enableIfEnabled(bool enableOnFirstRun) {
    // The app chose while this configuration was on its way: like a stored choice, it is never
    // overridden by the default; its own step sets the flags, before or after this one.
    const uint64_t choices = state_.appChoices();
    if (choices > 0)
        return;
    bool enabled = c_.keyValueDao->getBoolPropertyValueForKey(setting::kEnabled, enableOnFirstRun);
    // A choice that cannot be read may be the user's opt-out: never enable by default then.
    if (enabled && !c_.keyValueDao->hasProperty(setting::kEnabled) && !c_.keyValueDao->isReadable()) {
        LogError(kFacadeDomain, "The settings cannot be read; not enabling by default");
        enabled = false;
    }
    state_.setEnabled(enabled);
    if (enabled)
        enabling_.enableByDefault(choices);
    else
        state_.setInitialized();
}

void ZarnPConfigurationRoad::informInitializationComplete() {
    ZarnPCrashlyticsStubs::setUserIdentifier(c_.deviceIdDao->getDeviceId());
    hops_.broadcast(broadcast::kInitialized);
}

}  // namespace zarn
