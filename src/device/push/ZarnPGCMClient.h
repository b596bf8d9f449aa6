#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "device/push/ZarnPPushMessaging.h"
#include "platform/Mutex.h"

namespace zarn {

namespace platform {
class DeviceInfo;
class NotificationCenter;
class PushMessaging;
}  // namespace platform

class ZarnPContext;
class ZarnPContextStarting;
class ZarnPGCMClientDelegate;
class ZarnPKeyValueDao;
class ZarnPSystemTimerDao;

// A received remote notification: its payload and the system's fetch completion, which is
// called exactly once.
struct ZarnPGCMClientMessage {
    Value userInfo;
    std::function<void(BackgroundFetchResult)> completionHandler;
};

// Keeps the device subscribed to the push topic of the current public token and hands the
// data-update payloads it receives to its delegate. The messaging service is called on the main
// thread only, the settings and the delegate are touched on the SDK thread only; every hop is
// posted without waiting.
class ZarnPGCMClient final : public ZarnPPushMessaging, public std::enable_shared_from_this<ZarnPGCMClient> {
  public:
    static constexpr const char* kDomain = "GCMClient";
    static constexpr const char* kPayloadKey = "zarn_v2";
    static constexpr int kFirstSystemVersion = 8;

    // The key-value store, the timer wrapper, the context service and the notification centre
    // are required. Without a messaging service (the app links none) push stays off; without
    // device information the system version is taken as recent enough.
    ZarnPGCMClient(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                   std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                   std::shared_ptr<ZarnPContextStarting> contextService,
                   std::shared_ptr<platform::PushMessaging> messaging,
                   std::shared_ptr<platform::DeviceInfo> deviceInfo,
                   std::shared_ptr<platform::NotificationCenter> center);
    ~ZarnPGCMClient() override;
    ZarnPGCMClient(const ZarnPGCMClient&) = delete;
    ZarnPGCMClient& operator=(const ZarnPGCMClient&) = delete;

    // Held weakly: the module holds the mediator. Set before the first message.
    void setDelegate(std::weak_ptr<ZarnPGCMClientDelegate> delegate);

    // Push is on when quick sync is not disabled, the system is recent enough and the app links
    // a messaging service. Any thread.
    bool shouldEnable();
    bool isLoaded() const { return loaded_.load(); }
    // "/topics/<token>_iosv2".
    static std::string getTopicName(const std::string& token);

    // ZarnPPushMessaging. loadGcmWithApnsSandbox and the pass-throughs belong to the main
    // thread; called elsewhere they are moved there.
    void loadGcmWithApnsSandbox(bool apnsSandbox, bool quickSyncDisabled) override;
    void refreshTokens() override;
    void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) override;
    void didFailToRegisterForRemoteNotificationsWithError(const Error& error) override;
    void didReceiveRemoteNotification(Value userInfo,
                                      std::function<void(BackgroundFetchResult)> completion) override;

    // SDK thread: the payload is handed on and the completion called.
    void receivedMessage(ZarnPGCMClientMessage message, std::shared_ptr<ZarnPContext> zarnContext);

  private:
    template <typename F>
    void onMainThread(F f);
    template <typename F>
    void onRunLoop(F f);
    void setupGcmMainThread();
    void onTokenRefresh();
    void updateSubscriptions();
    void unsubscribeFromTopic();
    void subscribeToTopic();
    void subscribeToTopicOnMainThread(const std::string& token);
    void subscribeToTopicCompleted(const std::string& token);
    void unsubscribeToTopicOnMainThread(const std::string& token);
    void unsubscribeToTopicCompleted(const std::string& token);
    std::optional<std::string> registrationToken();

    const std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    const std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    const std::shared_ptr<ZarnPContextStarting> contextService_;
    const std::shared_ptr<platform::PushMessaging> messaging_;
    const std::shared_ptr<platform::DeviceInfo> deviceInfo_;
    const std::shared_ptr<platform::NotificationCenter> center_;
    std::atomic<bool> loaded_{false};
    std::atomic<bool> apnsSandbox_{false};
    std::atomic<bool> quickSyncDisabled_{false};
    Mutex delegateMutex_;
    std::weak_ptr<ZarnPGCMClientDelegate> delegate_ ZARN_GUARDED_BY(delegateMutex_);
    ZarnPSequenceChecker sequence_;  // the SDK-thread side
};

}  // namespace zarn
