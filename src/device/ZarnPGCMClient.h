#pragma once
#include <functional>
#include <string>

#include "device/ZarnPPushMessaging.h"

namespace zarn {

// PLACEHOLDER until push is built: the operations the facade calls, doing nothing (the remote
// notification's completion handler is not called).
class ZarnPGCMClient : public ZarnPPushMessaging {
  public:
    void loadGcmWithApnsSandbox(bool /*apnsSandbox*/, bool /*quickSyncDisabled*/) override {}
    void refreshTokens() override {}
    void didRegisterForRemoteNotificationsWithDeviceToken(const std::string&) override {}
    void didFailToRegisterForRemoteNotificationsWithError(const Error&) override {}
    void didReceiveRemoteNotification(Value, std::function<void(BackgroundFetchResult)>) override {}
};

}  // namespace zarn
