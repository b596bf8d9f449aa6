#include "zarn/ZarnBase.h"

#include <cctype>

#include "core/Format.h"
#include "core/ZarnPExternalRegionShape.h"
#include "core/ZarnPExternalTriggerType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPValueDepth.h"
#include "core/ZarnPZarnConfiguration.h"
#include "entry/ZarnBaseTesting.h"
#include "entry/ZarnPModuleFactory.h"
#include "platform/Mutex.h"
#include "zarn/ZarnVersion.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/RunLoop.h"
#include "zarn/platform/SystemInfo.h"

namespace zarn {

namespace {

constexpr const char* kVersion = kZarnVersion;
constexpr const char* kIntegrationDocs = "https://docs.zarn.invalid/ios-integration";

// Process-wide state of the entry. The entry lock is held across a whole initialisation; the
// module pointer has its own short lock so that readers never wait for a build.
struct EntryState {
    Mutex lock;
    Mutex moduleMutex;
    std::shared_ptr<ZarnPEntryModule> module ZARN_GUARDED_BY(moduleMutex);
    testing::ModuleFactory factory ZARN_GUARDED_BY(lock);
};

EntryState& entry() {
    static EntryState* s = new EntryState;
    return *s;
}

std::shared_ptr<ZarnPEntryModule> currentModule() {
    MutexLock lk(entry().moduleMutex);
    return entry().module;
}

// Compares version texts as the platform's numeric search does: runs of digits by value,
// everything else character by character.
int compareNumeric(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
            std::string x = a.substr(i, ie - i), y = b.substr(j, je - j);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (int c = x.compare(y))
                return c < 0 ? -1 : 1;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j] ? -1 : 1;
            ++i;
            ++j;
        }
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

bool isSupportedVersion() {
    auto info = platform::current().deviceInfo;
    // Without the service the system is unknown, not old: initialisation reports it as missing.
    if (!info)
        return true;
    if (compareNumeric(info->systemVersion(), "10") < 0) {
        LogDebug("Zarn", "Zarn not supported for this version. Disabling functionality");
        return false;
    }
    return true;
}

std::shared_ptr<ZarnPPublicFacade> getInterface() {
    if (!isSupportedVersion())
        return nullptr;
    auto module = currentModule();
    if (!module) {
        LogError(
            "Zarn",
            "Zarn hasn't been initialized. Call an initialize method first before using the other methods on "
            "Zarn.");
        std::string stack;
        if (auto cs = platform::current().callStack)
            stack = describe(cs->symbols());
        LogError("Zarn", " %@ ", stack);
        return nullptr;
    }
    return module->interface();
}

// Runs an operation on the facade when there is one; exceptions never reach the app.
template <typename F>
void withInterface(F&& f) {
    try {
        if (auto facade = getInterface())
            f(*facade);
    } catch (const std::exception& e) {
        LogError("Zarn", "Unhandled exception: %@", e.what());
    }
}

template <typename T, typename F>
std::optional<std::vector<T>> listFromInterface(F&& f) {
    try {
        if (!isSupportedVersion())
            return std::vector<T>{};
        auto facade = getInterface();
        if (!facade)
            return std::nullopt;
        return f(*facade);
    } catch (const std::exception& e) {
        LogError("Zarn", "Unhandled exception: %@", e.what());
        return std::nullopt;
    }
}

}  // namespace

void ZarnBase::initializeWithDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    auto configuration = std::make_shared<ZarnPZarnConfiguration>();
    configuration->setDelegate(std::move(delegate));
    configuration->setUseFileConfigLaunch(true);
    performInitializationWithConfiguration(configuration);
}

void ZarnBase::performInitializationWithConfiguration(std::shared_ptr<ZarnConfiguration> configuration) {
    performInitialization(std::move(configuration), &ZarnBase::selfTest);
}

void ZarnBase::performInitialization(std::shared_ptr<ZarnConfiguration> configuration, SelfTest selfTest) {
    try {
        // A host's missing service is its own fault to mend: said once, in full, and survived.
        auto missing = platform::missingRequiredServices(platform::current());
        if (!missing.empty()) {
            std::string names;
            for (const auto& name : missing) names += (names.empty() ? "" : ", ") + name;
            LogError("Zarn",
                     "Zarn can't be initialized: required platform services missing: %@. Install them with "
                     "zarn::platform::install() before initializing.",
                     names);
            return;
        }
        if (!isSupportedVersion())
            return;
        auto internal = std::dynamic_pointer_cast<ZarnPZarnConfiguration>(configuration);
        if (!internal) {
            LogError("Zarn", "Subclassing ZarnConfiguration is not supported");
            return;
        }
        MutexLock lock(entry().lock);
        if (auto module = currentModule()) {
            if (auto facade = module->interface())
                facade->reinit(internal);
            return;
        }
        selfTest();
        auto factory = entry().factory;
        auto module = factory ? factory(internal) : buildDefaultModule(internal);
        MutexLock lk(entry().moduleMutex);
        entry().module = std::move(module);
    } catch (const std::exception& e) {
        LogError("Zarn", "Unhandled exception: %@", e.what());
    }
}

void ZarnBase::selfTest() {}

void ZarnBase::enable() {
    withInterface([](ZarnPPublicFacade& f) { f.enable(); });
}

void ZarnBase::disable() {
    withInterface([](ZarnPPublicFacade& f) { f.disable(); });
}

bool ZarnBase::isEnabled() {
    auto module = currentModule();
    if (!module)
        return false;
    auto facade = module->interface();
    return facade && facade->isEnabled();
}

void ZarnBase::setCooldownPeriod(int seconds) {
    withInterface([&](ZarnPPublicFacade& f) { f.setCooldownPeriod(seconds); });
}

void ZarnBase::setEnableBackgroundModeWarning(bool) {}

void ZarnBase::setDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    withInterface([&](ZarnPPublicFacade& f) { f.setZarnDelegate(delegate); });
}

void ZarnBase::mailDebugLog(std::shared_ptr<ViewController> parent) {
    withInterface([&](ZarnPPublicFacade& f) { f.mailDebugLog(parent); });
}

void ZarnBase::setStringSegmentationProperty(const std::string& value, const std::string& key) {
    withInterface([&](ZarnPPublicFacade& f) { f.setValue(format("%@", value), format("s_%@", key)); });
}

void ZarnBase::setBooleanSegmentationProperty(bool value, const std::string& key) {
    withInterface([&](ZarnPPublicFacade& f) { f.setValue(value ? "true" : "false", format("b_%@", key)); });
}

void ZarnBase::setIntegerSegmentationProperty(int64_t value, const std::string& key) {
    withInterface([&](ZarnPPublicFacade& f) {
        f.setValue(format("%lld", static_cast<long long>(value)), format("i_%@", key));
    });
}

void ZarnBase::setDoubleSegmentationProperty(double value, const std::string& key) {
    withInterface([&](ZarnPPublicFacade& f) { f.setValue(format("%f", value), format("f_%@", key)); });
}

void ZarnBase::setDateSegmentationProperty(Date value, const std::string& key) {
    withInterface([&](ZarnPPublicFacade& f) {
        f.setValue(format("%f", timeIntervalSince1970(value)), format("d_%@", key));
    });
}

void ZarnBase::setAdvertisingIdentifier(std::optional<std::string> uuid, bool advertisingTrackingEnabled) {
    withInterface(
        [&](ZarnPPublicFacade& f) { f.setAdvertisingIdentifier(uuid, advertisingTrackingEnabled); });
}

std::optional<std::vector<NotificationRequest>> ZarnBase::loadedNotifications() {
    return listFromInterface<NotificationRequest>(
        [](ZarnPPublicFacade& f) { return f.loadedNotifications(); });
}

std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> ZarnBase::loadedGeotriggers() {
    return listFromInterface<std::shared_ptr<ZarnGeotrigger>>(
        [](ZarnPPublicFacade& f) { return f.loadedGeotriggers(); });
}

std::optional<std::vector<std::shared_ptr<ZarnSentNotification>>> ZarnBase::sentNotifications() {
    return listFromInterface<std::shared_ptr<ZarnSentNotification>>(
        [](ZarnPPublicFacade& f) { return f.sentNotifications(); });
}

std::optional<std::vector<std::shared_ptr<ZarnSentGeotrigger>>> ZarnBase::sentGeotriggers() {
    return listFromInterface<std::shared_ptr<ZarnSentGeotrigger>>(
        [](ZarnPPublicFacade& f) { return f.sentGeotriggers(); });
}

void ZarnBase::clearSentNotifications() {
    withInterface([](ZarnPPublicFacade& f) { f.clearSentNotifications(); });
}

void ZarnBase::clearSentGeotriggers() {
    withInterface([](ZarnPPublicFacade& f) { f.clearSentGeotriggers(); });
}

void ZarnBase::sendAttributionEvent(const std::string& actionName) {
    sendAttributionEvent(actionName, "");
}

void ZarnBase::sendAttributionEvent(const std::string& actionName, const std::string& itemId) {
    withInterface([&](ZarnPPublicFacade& f) { f.sendAttributionEvent(actionName, itemId); });
}

void ZarnBase::requestContextualPage(std::function<void(std::optional<Value>)> callback) {
    withInterface([&](ZarnPPublicFacade& f) { f.requestContextualPage(callback); });
}

void ZarnBase::externalRegionTrigger(const Value& properties, const std::string& triggerType) {
    externalRegionTrigger(properties, triggerType, Value::object());
}

void ZarnBase::externalRegionTrigger(const Value& properties, const std::string& triggerType,
                                     const Value& matchPayload) {
    withInterface([&](ZarnPPublicFacade& f) {
        // Checked before the request copies them.
        if (!ZarnPValueDepth::accept(properties, kMaxValueDepth, "Zarn", "external region properties") ||
            !ZarnPValueDepth::accept(matchPayload, kMaxValueDepth, "Zarn",
                                     "an external region match payload"))
            return;
        // Refused here, where the app's own text is still at hand for the line.
        if (auto problem = ZarnPExternalRegionShape::problem(properties, triggerType, matchPayload)) {
            LogError("Zarn", "%@", *problem);
            return;
        }
        f.externalRegionTrigger(properties, ZarnPExternalTriggerType::toTriggerType(triggerType),
                                matchPayload);
    });
}

std::string ZarnBase::version() {
    return kVersion;
}

void ZarnBase::didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) {
    withInterface(
        [&](ZarnPPublicFacade& f) { f.didRegisterForRemoteNotificationsWithDeviceToken(deviceToken); });
}

void ZarnBase::didFailToRegisterForRemoteNotificationsWithError(const Error& error) {
    withInterface([&](ZarnPPublicFacade& f) { f.didFailToRegisterForRemoteNotificationsWithError(error); });
}

void ZarnBase::didReceiveRemoteNotification(
    const Value& userInfo, std::function<void(BackgroundFetchResult)> fetchCompletionHandler) {
    withInterface([&](ZarnPPublicFacade& f) {
        // Checked before the push client copies it; the system still hears the fetch end.
        if (!ZarnPValueDepth::accept(userInfo, kMaxValueDepth, "Zarn", "a remote notification's userInfo")) {
            if (fetchCompletionHandler)
                fetchCompletionHandler(BackgroundFetchResult::NoData);
            return;
        }
        f.didReceiveRemoteNotification(userInfo, fetchCompletionHandler);
    });
}

void ZarnBase::clearAllDataAndResetDeviceId() {
    withInterface([](ZarnPPublicFacade& f) { f.clearAllDataAndResetDeviceId(); });
}

// ZarnDebug

void ZarnDebug::initializeWithDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    auto configuration = std::make_shared<ZarnPZarnConfiguration>();
    configuration->setDelegate(std::move(delegate));
    initializeWithConfig(configuration);
}

void ZarnDebug::initializeWithConfig(std::shared_ptr<ZarnConfiguration> configuration) {
    if (auto internal = std::dynamic_pointer_cast<ZarnPZarnConfiguration>(configuration)) {
        internal->setUseFileConfigLaunch(true);
        internal->setDebugLaunch(true);
    }
    performInitializationWithConfiguration(std::move(configuration));
}

void ZarnDebug::performInitializationWithConfiguration(std::shared_ptr<ZarnConfiguration> configuration) {
    performInitialization(std::move(configuration), &ZarnDebug::selfTest);
}

void ZarnDebug::selfTest() {
    auto bundle = platform::current().mainBundle;
    auto value = bundle ? bundle->infoValue("NSLocationAlwaysUsageDescription") : std::nullopt;
    if (!value || value->is_null())
        showLocationAlwaysUsageDescriptionError();
}

void ZarnDebug::showLocationAlwaysUsageDescriptionError() {
    const std::string message =
        "Warning: You did not supply a property with key NSLocationAlwaysUsageDescription in the Info.plist "
        "file "
        "explaining why your app needs access to the location services. For iOS 8 compatibility it is "
        "required to "
        "supply one. Zarn will not work on iOS 8 without this string! Please see the IOS integration section "
        "of our "
        "documentation for more information.";
    // Alerts belong to the main thread; the entry may run on any thread and never waits for it.
    if (auto presenter = platform::current().alertPresenter) {
        auto show = [presenter, message] { presenter->showAlert("ZarnKit", message, {"Close"}); };
        if (platform::isMainThread())
            show();
        else
            platform::mainRunLoop()->post(show);
    }
    ZarnPLogger::instance().writeConsole(format("%@ %@", message, kIntegrationDocs));
}

namespace testing {

void setModuleFactory(ModuleFactory factory) {
    MutexLock lk(entry().lock);
    entry().factory = std::move(factory);
}

void resetEntry() {
    MutexLock lk(entry().lock);
    MutexLock lk2(entry().moduleMutex);
    entry().module.reset();
}

}  // namespace testing

}  // namespace zarn
