#pragma once

namespace zarn::platform {

// The application-state broadcasts. The host posts each on platform::defaultCenter(), on the
// main thread, as the system reports the change. The library follows the app with them: its
// 60-second update timer runs only while the app is active, and each move between foreground
// and background is reported as a screen event.
//
// At launch the host needs no broadcast at a set time. The library asks applicationState() on
// the main thread each time it enables (at its first configuration when that enables it, and at
// each enable()) and takes every state but Background as the foreground: it then starts the
// update timer (the first time also reporting the foreground). It hears the broadcasts from
// initialisation on; its screen events follow the enter-foreground and enter-background ones
// from its first enabling on. A kApplicationDidBecomeActiveNotification while it is not enabled
// changes nothing; one while it is starts the update timer if it is not running and runs an
// update at once (the timer and that update only with the configuration's
// enableBackgroundLocation).

// Posted once the application is active (applicationState() answers Active): at launch into the
// foreground and after every return to it.
inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";
// Posted while the application is still active, just before it stops being so.
inline constexpr const char* kApplicationWillResignActiveNotification =
    "ApplicationWillResignActiveNotification";
// Posted when the application leaves the background, before kApplicationDidBecomeActiveNotification.
inline constexpr const char* kApplicationWillEnterForegroundNotification =
    "ApplicationWillEnterForegroundNotification";
// Posted once the application is in the background (applicationState() answers Background),
// after kApplicationWillResignActiveNotification.
inline constexpr const char* kApplicationDidEnterBackgroundNotification =
    "ApplicationDidEnterBackgroundNotification";

enum class ApplicationState : int { Active = 0, Inactive = 1, Background = 2 };

// The running application as the operating system sees it. Called on the main thread only.
class Application {
  public:
    virtual ~Application() = default;
    // The state from the first call on, at launch too: Active (or Inactive while the system is
    // still bringing the app up) for a launch into the foreground, Background for one in the
    // background (woken by a region or a push).
    virtual ApplicationState applicationState() = 0;
    // Seconds of background execution left; very large (over 1e7) while in the foreground.
    virtual double backgroundTimeRemaining() = 0;
};

}  // namespace zarn::platform
