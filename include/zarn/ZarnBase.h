#pragma once
// The library's public entry: class methods callable from any thread. Nothing here throws;
// before initialisation, and on a system older than 10, the calls do nothing.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Date.h"
#include "zarn/Error.h"
#include "zarn/NotificationRequest.h"
#include "zarn/Value.h"
#include "zarn/ViewController.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnHooks.h"
#include "zarn/ZarnValues.h"

namespace zarn {

// The result a remote-notification fetch reports to the app's completion handler.
enum class BackgroundFetchResult { NewData = 0, NoData = 1, Failed = 2 };

class ZarnBase {
  public:
    // Builds a configuration with the delegate that also reads the bundle's configuration file.
    static void initializeWithDelegate(std::shared_ptr<ZarnDelegate> delegate);
    static void performInitializationWithConfiguration(std::shared_ptr<ZarnConfiguration> configuration);
    static void selfTest();

    static void enable();
    static void disable();
    // False when the library was never initialised; may wait up to 100 ms for initialisation.
    static bool isEnabled();
    static void setCooldownPeriod(int seconds);
    static void setEnableBackgroundModeWarning(bool enabled);
    static void setDelegate(std::shared_ptr<ZarnDelegate> delegate);
    static void mailDebugLog(std::shared_ptr<ViewController> parent);

    static void setStringSegmentationProperty(const std::string& value, const std::string& key);
    static void setBooleanSegmentationProperty(bool value, const std::string& key);
    static void setIntegerSegmentationProperty(int64_t value, const std::string& key);
    static void setDoubleSegmentationProperty(double value, const std::string& key);
    static void setDateSegmentationProperty(Date value, const std::string& key);
    static void setAdvertisingIdentifier(std::optional<std::string> uuid, bool advertisingTrackingEnabled);

    // Empty lists on an unsupported system; nothing before initialisation.
    static std::optional<std::vector<NotificationRequest>> loadedNotifications();
    static std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> loadedGeotriggers();
    static std::optional<std::vector<std::shared_ptr<ZarnSentNotification>>> sentNotifications();
    static std::optional<std::vector<std::shared_ptr<ZarnSentGeotrigger>>> sentGeotriggers();
    static void clearSentNotifications();
    static void clearSentGeotriggers();

    static void sendAttributionEvent(const std::string& actionName);
    static void sendAttributionEvent(const std::string& actionName, const std::string& itemId);
    static void requestContextualPage(std::function<void(std::optional<Value>)> callback);
    // Properties and match payload may nest at most kMaxValueDepth (64) levels of dictionaries
    // and arrays; a deeper one is logged and the report ignored.
    static void externalRegionTrigger(const Value& properties, const std::string& triggerType);
    static void externalRegionTrigger(const Value& properties, const std::string& triggerType,
                                      const Value& matchPayload);

    static std::string version();

    static void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken);
    static void didFailToRegisterForRemoteNotificationsWithError(const Error& error);
    // A userInfo nested deeper than kMaxValueDepth (64) levels is logged and ignored; its
    // handler is then called at once with NoData.
    static void didReceiveRemoteNotification(
        const Value& userInfo, std::function<void(BackgroundFetchResult)> fetchCompletionHandler);
    static void clearAllDataAndResetDeviceId();

  protected:
    using SelfTest = void (*)();
    static void performInitialization(std::shared_ptr<ZarnConfiguration> configuration, SelfTest selfTest);
};

// The release entry: the same as ZarnBase.
class ZarnRelease : public ZarnBase {};

// The debug entry: reads the bundle's configuration file, switches the public debug log on,
// registers push with the sandbox environment, and checks the app's location usage text.
class ZarnDebug : public ZarnBase {
  public:
    static void initializeWithDelegate(std::shared_ptr<ZarnDelegate> delegate);
    static void initializeWithConfig(std::shared_ptr<ZarnConfiguration> configuration);
    static void performInitializationWithConfiguration(std::shared_ptr<ZarnConfiguration> configuration);
    static void selfTest();
    static void showLocationAlwaysUsageDescriptionError();
};

}  // namespace zarn
