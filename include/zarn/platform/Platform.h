#pragma once
// The operating-system seam. What a host does, in this order:
//  1. install() its services: the four required ones at least (see Services); initialising the
//     library without them is refused with one ERROR line naming each missing field.
//  2. markMainThread() on the thread that runs its user interface, and run RunLoop::main() (the
//     same loop as mainRunLoop()) there for as long as the library lives: either RunLoop::run(),
//     or, when a UI toolkit owns that thread, drain the loop from the toolkit whenever the
//     loop's wake-up handler says work is waiting (RunLoop.h). Every call into the app (the
//     ZarnDelegate, the hooks) and every main-thread platform call waits there: a host that
//     never runs it gets no zarnLoadConfig call, so the configuration is never applied, and is
//     told once, when work has waited there 10 s, in the line "WARN|Zarn| Work posted to the
//     main thread has waited 10 seconds without running: the host must run
//     zarn::platform::RunLoop::main() on the thread it marked as main (zarn/platform/Platform.h)".
//  3. Post the four application-state broadcasts of Application.h on defaultCenter() as the
//     application changes state, and kPushTokenRefreshNotification (PushMessaging.h) when its
//     push service has a new registration token.
//  4. Forward the system's three remote-notification callbacks through ZarnBase
//     (didRegisterForRemoteNotificationsWithDeviceToken, didFailToRegister..., and
//     didReceiveRemoteNotification with its fetch completion handler).
// This header only names the facilities: include the header of each one the host implements
// or calls (RunLoop.h to run the main loop, Application.h for its broadcasts, ...).
#include <memory>
#include <string>
#include <vector>

namespace zarn::platform {

class AlertPresenter;
class Application;
class BackgroundTasks;
class Battery;
class Bundle;
class CallStack;
class Console;
class CrashReporter;
class DeviceHardware;
class DeviceInfo;
class FileSystem;
class HttpClient;
class LocalNotificationCenter;
class LocationAuthorization;
class LocationManagerFactory;
class MailComposing;
class NotificationAuthorization;
class NotificationCenter;
class PushMessaging;
class Reachability;
class RunLoop;
class RuntimeClasses;
class TimeSource;
class TrackingAuthorization;
class UrlOpener;
class UserDefaults;
class WindowSystem;

// The services a host installs. Each field says whether the library needs it, what it defaults
// to, or what the library does without it; every optional one may be left empty.
struct Services {
    // Filled with a default when left empty.
    std::shared_ptr<TimeSource> timeSource;  // default: system time
    std::shared_ptr<Console> console;        // default: standard error
    // default: in memory. Holds the log level "LoggerLevel", 0 (nothing) to 4 (DEBUG, the
    // default); UserDefaults.h says when it is read.
    std::shared_ptr<UserDefaults> userDefaults;
    std::shared_ptr<FileSystem> fileSystem;                  // default: POSIX under $HOME
    std::shared_ptr<CallStack> callStack;                    // default: backtrace
    std::shared_ptr<NotificationCenter> notificationCenter;  // default: a new in-process centre
    std::shared_ptr<HttpClient> httpClient;                  // default: libcurl, the system's trust store
    // The service's base address, an https address ending in kServicePath; default:
    // defaultServiceBaseAddress(), which sends nothing anywhere.
    std::string serviceBaseAddress;

    // Required: initialisation is refused without any of these.
    std::shared_ptr<DeviceInfo> deviceInfo;    // the system version (below 10: the library stays off)
    std::shared_ptr<Application> application;  // application state
    std::shared_ptr<LocationAuthorization> locationAuthorization;  // what the user granted
    // Fixes, regions and beacons. The library makes several managers of its own, on its own
    // thread (LocationManager.h says what each must do).
    std::shared_ptr<LocationManagerFactory> locationManagerFactory;

    // Optional; without one the library goes on as said.
    // No notification is shown (each logs "Failed to show notification") and taps are not heard.
    // At initialisation the library becomes the centre's delegate and keeps the delegate the app
    // set before (from then on held by the library): the app's own notifications, delivered or
    // tapped, are forwarded to it (LocalNotificationCenter.h). The centre also answers the
    // notification permission when notificationAuthorization is left empty.
    std::shared_ptr<LocalNotificationCenter> localNotificationCenter;
    // Push is off: pushed data updates are not received, no topic is subscribed, and a forwarded
    // remote notification is answered with no data.
    std::shared_ptr<PushMessaging> pushMessaging;
    // Landing pages are not shown ("No window system to show the landing page"), nor the debug
    // log's mail composer.
    std::shared_ptr<WindowSystem> windowSystem;
    // Tapped app links and web addresses are not opened ("Unable to open url."), and landing
    // pages are not shown.
    std::shared_ptr<UrlOpener> urlOpener;
    // mailDebugLog() says "MessageUI dependency not available." instead of mailing the log.
    std::shared_ptr<MailComposing> mailComposing;
    // Alerts (the debug entry's warning, mail failures) go to the console only.
    std::shared_ptr<AlertPresenter> alertPresenter;
    // No "zarnconfig.json" from the app bundle, no app name or version in the device data, no
    // public debug log switched on by the app's name, and the debug entry always warns about a
    // missing location usage text.
    std::shared_ptr<Bundle> mainBundle;
    // The configuration file is looked for in the app bundle only.
    std::shared_ptr<Bundle> libraryBundle;
    // No background time is asked for, so the system may suspend work that runs in the background
    // part way; background refresh counts as available.
    std::shared_ptr<BackgroundTasks> backgroundTasks;
    // Filled with localNotificationCenter when left empty: a centre is itself an authorization,
    // so one object installed as the centre also reports what the user granted. With neither,
    // notification permission is reported as not determined (the service hears "disabled").
    std::shared_ptr<NotificationAuthorization> notificationAuthorization;
    // On systems 14 and later, advertising tracking is reported as not allowed.
    std::shared_ptr<TrackingAuthorization> trackingAuthorization;
    // The connection type is reported as "UNKNOWN" (and counts as metered).
    std::shared_ptr<Reachability> reachability;
    // The battery level is reported as unknown and the device as plugged in.
    std::shared_ptr<Battery> battery;
    // The hardware model is left out of the device data.
    std::shared_ptr<DeviceHardware> deviceHardware;
    // The app counts as a native one (no wrapping framework is detected).
    std::shared_ptr<RuntimeClasses> runtimeClasses;
    // Logged errors are not recorded, nor the device id as user identifier.
    std::shared_ptr<CrashReporter> crashReporter;
};

// The public field names of the required services that `services` leaves empty, in field
// order; empty when nothing required is missing. Any thread.
std::vector<std::string> missingRequiredServices(const Services& services);

// Installs the services (empty defaulted ones get their defaults, an empty
// notificationAuthorization the centre) and creates a new main run loop on the installed time
// source, stopping the one before. Call from the host once, before initialising the library,
// from any thread. Answers missingRequiredServices() of what it installed. The library keeps
// the services and the main loop it was built with for the rest of the process (only its log
// lines go to the console installed last): a later install() does not reach it, and stops the
// loop its calls into the app wait on.
std::vector<std::string> install(Services services);
// Removes everything installed (current() answers the defaults again); the main run loop is
// stopped and dropped with the work waiting there. Any thread. It shuts nothing down: a library
// already initialised goes on with what it was built with and its calls into the app are never
// run; an initialisation before the next install() is refused as missing the required services.
void uninstall();

// The installed services (the defaults when nothing was installed). Any thread.
Services current();
std::shared_ptr<TimeSource> timeSource();
std::shared_ptr<Console> console();
// The default notification centre of the installed services: the host posts its broadcasts here.
std::shared_ptr<NotificationCenter> defaultCenter();

// The host's main loop (RunLoop::main()), created by install() (or on first use). The host runs
// it on the thread it marks as main; the library posts its calls into the app and its
// main-thread platform calls there and never waits for them. Any thread.
std::shared_ptr<RunLoop> mainRunLoop();
// Marks the calling thread as the main thread. Call once, from that thread, before initialising.
void markMainThread();
// Whether the calling thread is the one marked as main. Any thread.
bool isMainThread();

}  // namespace zarn::platform
