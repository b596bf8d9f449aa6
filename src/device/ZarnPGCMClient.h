#pragma once
#include <functional>
#include <string>

#include "zarn/Error.h"
#include "zarn/Value.h"
#include "zarn/ZarnBase.h"

namespace zarn {

// PLACEHOLDER until push is built: the operations the facade calls, doing nothing (the remote
// notification's completion handler is not called).
class ZarnPGCMClient {
  public:
    virtual ~ZarnPGCMClient() = default;
    virtual void loadGcmWithApnsSandbox(bool /*apnsSandbox*/, bool /*quickSyncDisabled*/) {}
    virtual void refreshTokens() {}
    virtual void didRegisterForRemoteNotificationsWithDeviceToken(const std::string&) {}
    virtual void didFailToRegisterForRemoteNotificationsWithError(const Error&) {}
    virtual void didReceiveRemoteNotification(Value, std::function<void(BackgroundFetchResult)>) {}
};

}  // namespace zarn
