#pragma once

namespace zarn::platform {

// Posted on the default notification centre when the application changes state.
inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillResignActiveNotification =
    "ApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification =
    "ApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationDidEnterBackgroundNotification =
    "ApplicationDidEnterBackgroundNotification";

enum class ApplicationState : int { Active = 0, Inactive = 1, Background = 2 };

// The running application as the operating system sees it. Called on the main thread only.
class Application {
  public:
    virtual ~Application() = default;
    virtual ApplicationState applicationState() = 0;
    // Seconds of background execution left; very large (over 1e7) while in the foreground.
    virtual double backgroundTimeRemaining() = 0;
};

}  // namespace zarn::platform
