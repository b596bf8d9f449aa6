#pragma once
// The operating-system seam: the host installs the implementations before it initialises the
// library; the library reaches them only through these interfaces.
#include <memory>

#include "zarn/platform/Application.h"
#include "zarn/platform/BackgroundTasks.h"
#include "zarn/platform/Battery.h"
#include "zarn/platform/Console.h"
#include "zarn/platform/DeviceHardware.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/HttpClient.h"
#include "zarn/platform/LocalNotificationCenter.h"
#include "zarn/platform/LocationAuthorization.h"
#include "zarn/platform/LocationManager.h"
#include "zarn/platform/MailComposer.h"
#include "zarn/platform/NotificationAuthorization.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/PushMessaging.h"
#include "zarn/platform/Reachability.h"
#include "zarn/platform/RunLoop.h"
#include "zarn/platform/RuntimeClasses.h"
#include "zarn/platform/SystemInfo.h"
#include "zarn/platform/TimeSource.h"
#include "zarn/platform/TrackingAuthorization.h"
#include "zarn/platform/UrlOpener.h"
#include "zarn/platform/UserDefaults.h"
#include "zarn/platform/WebView.h"
#include "zarn/platform/Windows.h"

namespace zarn::platform {

struct Services {
    std::shared_ptr<TimeSource> timeSource;                        // default: system time
    std::shared_ptr<Console> console;                              // default: standard error
    std::shared_ptr<UserDefaults> userDefaults;                    // default: in memory
    std::shared_ptr<FileSystem> fileSystem;                        // default: POSIX under $HOME
    std::shared_ptr<CallStack> callStack;                          // default: backtrace
    std::shared_ptr<NotificationCenter> notificationCenter;        // default: a new in-process centre
    std::shared_ptr<DeviceInfo> deviceInfo;                        // device-only: required for the entry
    std::shared_ptr<Bundle> mainBundle;                            // device-only
    std::shared_ptr<Bundle> libraryBundle;                         // device-only: the library's own resources
    std::shared_ptr<AlertPresenter> alertPresenter;                // device-only
    std::shared_ptr<Application> application;                      // device-only
    std::shared_ptr<CrashReporter> crashReporter;                  // optional, absent unless the host has one
    std::shared_ptr<BackgroundTasks> backgroundTasks;              // device-only
    std::shared_ptr<DeviceHardware> deviceHardware;                // device-only
    std::shared_ptr<Battery> battery;                              // device-only
    std::shared_ptr<Reachability> reachability;                    // device-only
    std::shared_ptr<LocationAuthorization> locationAuthorization;  // device-only
    std::shared_ptr<NotificationAuthorization> notificationAuthorization;  // device-only
    std::shared_ptr<LocalNotificationCenter> localNotificationCenter;      // device-only
    std::shared_ptr<TrackingAuthorization> trackingAuthorization;          // device-only
    std::shared_ptr<RuntimeClasses> runtimeClasses;  // optional: absent means no class is linked
    std::shared_ptr<LocationManagerFactory> locationManagerFactory;  // device-only
    std::shared_ptr<WindowSystem> windowSystem;                      // device-only: windows, views, web views
    std::shared_ptr<UrlOpener> urlOpener;                            // device-only
    std::shared_ptr<MailComposing> mailComposing;  // optional: absent when the app has no mail
    std::shared_ptr<PushMessaging> pushMessaging;  // optional: absent when the app links no push service
    std::shared_ptr<HttpClient> httpClient;        // default: libcurl with the system's trust store
    // The service's base address, an https address ending in kServicePath; default:
    // defaultServiceBaseAddress().
    std::string serviceBaseAddress;
};

// Installs the services (missing OS-level ones get their defaults) and creates a new main run
// loop on the installed time source. Call before initialising the library, from the host.
void install(Services services);
// Removes everything installed; the main run loop is stopped and dropped.
void uninstall();

// The installed services (the defaults when nothing was installed). Any thread.
Services current();
std::shared_ptr<TimeSource> timeSource();
std::shared_ptr<Console> console();
// The default notification centre of the installed services.
std::shared_ptr<NotificationCenter> defaultCenter();

// The host's main loop: the host runs it on the thread it marks as main.
std::shared_ptr<RunLoop> mainRunLoop();
void markMainThread();
bool isMainThread();

}  // namespace zarn::platform
