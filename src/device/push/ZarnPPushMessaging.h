#pragma once
#include <functional>
#include <string>

#include "zarn/Error.h"
#include "zarn/Value.h"
#include "zarn/ZarnBase.h"

namespace zarn {

// The push client as the facade drives it. loadGcmWithApnsSandbox runs on the main thread,
// refreshTokens on the SDK thread, and the three pass-throughs on the app's calling thread.
class ZarnPPushMessaging {
  public:
    virtual ~ZarnPPushMessaging() = default;
    virtual void loadGcmWithApnsSandbox(bool apnsSandbox, bool quickSyncDisabled) = 0;
    // The stored topic subscriptions are renewed under the new public token.
    virtual void refreshTokens() = 0;
    virtual void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) = 0;
    virtual void didFailToRegisterForRemoteNotificationsWithError(const Error& error) = 0;
    // The completion is called once the payload has been handled.
    virtual void didReceiveRemoteNotification(Value userInfo,
                                              std::function<void(BackgroundFetchResult)> completion) = 0;
};

}  // namespace zarn
