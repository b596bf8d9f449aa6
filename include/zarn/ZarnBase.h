#pragma once
// The library's public entry: class methods callable from any thread. Nothing here throws.
//
// Threads. The library works on a thread of its own, the SDK thread; a call only hands its work
// over and returns, unless its comment says it waits. Nothing here ever waits for the main
// thread, so every call is safe from it. Calls into the app (ZarnDelegate) come on the main
// thread; the two callbacks below say where they come.
//
// Before initialisation (also after one that was refused), each call below that works on the
// library logs two ERROR lines ("Zarn hasn't been initialized. ..." and the call stack) and does
// nothing: lists answer nothing, callbacks are never called. On a system older than 10 every
// call does nothing and lists answer an empty list.
//
// This header only declares the types it names: include "zarn/ZarnConfiguration.h" to
// configure, "zarn/ZarnDelegate.h" for the delegate, "zarn/NotificationRequest.h" and
// "zarn/ZarnValues.h" to read the lists, and "zarn/Value.h" to build or read values.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Date.h"
#include "zarn/ValueFwd.h"

namespace zarn {

class ViewController;
class ZarnConfiguration;
class ZarnDelegate;
class ZarnGeotrigger;
class ZarnSentGeotrigger;
class ZarnSentNotification;
struct Error;
struct NotificationRequest;

// The result a remote-notification fetch reports to the app's completion handler.
enum class BackgroundFetchResult { NewData = 0, NoData = 1, Failed = 2 };

class ZarnBase {
  public:
    // Builds a configuration with the delegate that also reads the bundle's configuration file.
    static void initializeWithDelegate(std::shared_ptr<ZarnDelegate> delegate);
    // The first call builds the library on the calling thread (it waits for a concurrent
    // initialisation, and briefly for the SDK thread to start) and applies the configuration
    // later on the SDK thread; later calls re-apply a configuration. Refused, with one ERROR
    // line naming every missing field, when a required platform service is not installed
    // (platform::Services); the library then stays as before initialisation.
    // Once built, the library lives until the process ends: there is no shutdown. Its SDK thread,
    // its files and the services it was built with stay in use and are not torn down at exit;
    // disable() turns its work off but keeps it, and platform::uninstall() does not stop it
    // (Platform.h).
    static void performInitializationWithConfiguration(std::shared_ptr<ZarnConfiguration> configuration);
    static void selfTest();

    static void enable();
    static void disable();
    // False at once before initialisation, without logging; after it may wait up to 100 ms for
    // the first configuration to be applied.
    static bool isEnabled();
    static void setCooldownPeriod(int seconds);
    static void setEnableBackgroundModeWarning(bool enabled);
    static void setDelegate(std::shared_ptr<ZarnDelegate> delegate);
    // Presents the mail composer from `parent`, later, on the main thread.
    static void mailDebugLog(std::shared_ptr<ViewController> parent);

    static void setStringSegmentationProperty(const std::string& value, const std::string& key);
    static void setBooleanSegmentationProperty(bool value, const std::string& key);
    static void setIntegerSegmentationProperty(int64_t value, const std::string& key);
    static void setDoubleSegmentationProperty(double value, const std::string& key);
    static void setDateSegmentationProperty(Date value, const std::string& key);
    static void setAdvertisingIdentifier(std::optional<std::string> uuid, bool advertisingTrackingEnabled);

    // Wait until the SDK thread has read the list (it never waits for the main thread). Nothing
    // before initialisation; an empty list at once while the library is not enabled.
    static std::optional<std::vector<NotificationRequest>> loadedNotifications();
    static std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> loadedGeotriggers();
    static std::optional<std::vector<std::shared_ptr<ZarnSentNotification>>> sentNotifications();
    static std::optional<std::vector<std::shared_ptr<ZarnSentGeotrigger>>> sentGeotriggers();
    // Do nothing while the library is not enabled.
    static void clearSentNotifications();
    static void clearSentGeotriggers();

    static void sendAttributionEvent(const std::string& actionName);
    static void sendAttributionEvent(const std::string& actionName, const std::string& itemId);
    // Waits until the SDK thread has looked for a stored page. The callback runs once, on the SDK
    // thread: before this returns when a fresh page is stored, else after the next location
    // update (at the latest 2 s later) with the page or nothing. While the library is not
    // enabled nothing happens and the callback is never called.
    static void requestContextualPage(std::function<void(std::optional<Value>)> callback);
    // A region the app detects itself was entered or left. `properties` is a list of
    // dictionaries, one per region reported, whose values are texts (null for a property without
    // a value): [{"room": "lobby", "floor": "0"}]. A campaign's region matches a dictionary with
    // exactly its keys and texts, no more and no fewer. `triggerType` is "enter" or "exit",
    // exactly so. `matchPayload`, a dictionary (null for none), becomes the match payload of what
    // matched when it has entries (texts as they are, other values as their JSON text); an empty
    // one leaves theirs. A report of another
    // shape is refused with one ERROR line that names the shape expected, and starts nothing.
    // Does nothing else while the library is not enabled. Properties and match payload may nest
    // at most kMaxValueDepth (64) levels of dictionaries and arrays; a deeper one is logged and
    // the report ignored.
    static void externalRegionTrigger(const Value& properties, const std::string& triggerType);
    static void externalRegionTrigger(const Value& properties, const std::string& triggerType,
                                      const Value& matchPayload);

    // Always the version text, also before initialisation.
    static std::string version();

    // The app forwards the system's remote-notification callbacks here.
    static void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken);
    static void didFailToRegisterForRemoteNotificationsWithError(const Error& error);
    // Once initialised, the library calls the handler exactly once, later, on the SDK thread:
    // NewData when the payload carried a data update, else NoData (also while push is off).
    // Before initialisation and on an unsupported system it never calls it: the app answers
    // the system itself.
    // A userInfo nested deeper than kMaxValueDepth (64) levels is logged and ignored; once
    // initialised, its handler is then called at once with NoData.
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
// registers push with the sandbox environment, and checks the app's location usage text (an
// alert, on the main thread, when it is missing).
class ZarnDebug : public ZarnBase {
  public:
    static void initializeWithDelegate(std::shared_ptr<ZarnDelegate> delegate);
    static void initializeWithConfig(std::shared_ptr<ZarnConfiguration> configuration);
    static void performInitializationWithConfiguration(std::shared_ptr<ZarnConfiguration> configuration);
    static void selfTest();
    static void showLocationAlwaysUsageDescriptionError();
};

}  // namespace zarn
