#include "device/push/ZarnPGCMClient.h"

#include <algorithm>
#include <set>

#include "core/ZarnException.h"
#include "core/ZarnPContextStarting.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPStringReading.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/push/ZarnPGCMClientDelegate.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/PushMessaging.h"
#include "zarn/platform/SystemInfo.h"

namespace zarn {

ZarnPGCMClient::ZarnPGCMClient(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                               std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                               std::shared_ptr<ZarnPContextStarting> contextService,
                               std::shared_ptr<platform::PushMessaging> messaging,
                               std::shared_ptr<platform::DeviceInfo> deviceInfo,
                               std::shared_ptr<platform::NotificationCenter> center)
    : keyValueDao_(std::move(keyValueDao)),
      timerDao_(std::move(timerDao)),
      contextService_(std::move(contextService)),
      messaging_(std::move(messaging)),
      deviceInfo_(std::move(deviceInfo)),
      center_(std::move(center)) {
    ZARN_REQUIRE(keyValueDao_);
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(contextService_);
    ZARN_REQUIRE(center_);
}

ZarnPGCMClient::~ZarnPGCMClient() {
    center_->removeObserver(this);
}

void ZarnPGCMClient::setDelegate(std::weak_ptr<ZarnPGCMClientDelegate> delegate) {
    MutexLock lk(delegateMutex_);
    delegate_ = std::move(delegate);
}

template <typename F>
void ZarnPGCMClient::onMainThread(F f) {
    std::weak_ptr<ZarnPGCMClient> weak = weak_from_this();
    timerDao_->invokeBlockOnMainThread(
        [weak, f = std::move(f)]() mutable {
            if (auto self = weak.lock())
                f(*self);
        },
        false);
}

template <typename F>
void ZarnPGCMClient::onRunLoop(F f) {
    std::weak_ptr<ZarnPGCMClient> weak = weak_from_this();
    timerDao_->invokeBlockOnRunLoop(
        [weak, f = std::move(f)]() mutable {
            if (auto self = weak.lock())
                f(*self);
        },
        false);
}

bool ZarnPGCMClient::shouldEnable() {
    if (quickSyncDisabled_)
        return false;
    bool rightVersion =
        !deviceInfo_ || ZarnPStringReading::intValue(deviceInfo_->systemVersion()) >= kFirstSystemVersion;
    bool dependenciesAvailable = messaging_ != nullptr;
    LogDebug(kDomain, "rightVersion: %d dependenciesAvailable: %d", rightVersion ? 1 : 0,
             dependenciesAvailable ? 1 : 0);
    return rightVersion && dependenciesAvailable;
}

std::string ZarnPGCMClient::getTopicName(const std::string& token) {
    return format("/topics/%@_iosv2", token);
}

std::optional<std::string> ZarnPGCMClient::registrationToken() {
    return messaging_ ? messaging_->registrationToken() : std::nullopt;
}

// Loading (main thread)

void ZarnPGCMClient::loadGcmWithApnsSandbox(bool apnsSandbox, bool quickSyncDisabled) {
    if (!platform::isMainThread()) {
        onMainThread([apnsSandbox, quickSyncDisabled](ZarnPGCMClient& self) {
            self.loadGcmWithApnsSandbox(apnsSandbox, quickSyncDisabled);
        });
        return;
    }
    quickSyncDisabled_ = quickSyncDisabled;
    if (loaded_ || !shouldEnable())
        return;
    loaded_ = true;
    apnsSandbox_ = apnsSandbox;
    messaging_->registerForRemoteNotifications();
    setupGcmMainThread();
}

void ZarnPGCMClient::setupGcmMainThread() {
    std::weak_ptr<ZarnPGCMClient> weak = weak_from_this();
    center_->addObserver(this, platform::kPushTokenRefreshNotification, [weak](const platform::Broadcast&) {
        if (auto self = weak.lock())
            self->onTokenRefresh();
    });
    messaging_->configure();
    LogDebug(kDomain, "Started GCM");
    LogDebug(kDomain, "instanceID token: %@", registrationToken());
}

void ZarnPGCMClient::onTokenRefresh() {
    // The broadcast may come on any thread; the token belongs to the main thread.
    onMainThread([](ZarnPGCMClient& self) {
        if (self.registrationToken())
            self.onRunLoop([](ZarnPGCMClient& s) { s.refreshTokens(); });
    });
}

// The app's forwarded callbacks

void ZarnPGCMClient::didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) {
    if (!platform::isMainThread()) {
        onMainThread([deviceToken](ZarnPGCMClient& self) {
            self.didRegisterForRemoteNotificationsWithDeviceToken(deviceToken);
        });
        return;
    }
    LogDebug(kDomain, "didRegisterForRemoteNotificationsWithDeviceToken: %@", deviceToken);
    if (!messaging_ || !loaded_)
        return;
    messaging_->setDeviceToken(
        deviceToken, apnsSandbox_ ? platform::PushTokenType::Sandbox : platform::PushTokenType::Production);
    LogDebug(kDomain, "instanceID token: %@", registrationToken());
    onRunLoop([](ZarnPGCMClient& self) { self.refreshTokens(); });
}

void ZarnPGCMClient::didFailToRegisterForRemoteNotificationsWithError(const Error& error) {
    LogNsError(kDomain, error, "Registration for remote notification failed with error");
}

void ZarnPGCMClient::didReceiveRemoteNotification(Value userInfo,
                                                  std::function<void(BackgroundFetchResult)> completion) {
    if (!platform::isMainThread()) {
        onMainThread([userInfo = std::move(userInfo),
                      completion = std::move(completion)](ZarnPGCMClient& self) mutable {
            self.didReceiveRemoteNotification(std::move(userInfo), std::move(completion));
        });
        return;
    }
    LogDebug(kDomain, "Notification received: %@", userInfo);
    if (messaging_ && loaded_)
        messaging_->appDidReceiveMessage(userInfo);
    auto context = contextService_->startContext(ZarnTriggerContextPush);
    ZarnPGCMClientMessage message{std::move(userInfo), std::move(completion)};
    // The completion must be called even when this client is gone before the hop runs.
    auto carried = std::make_shared<ZarnPGCMClientMessage>(std::move(message));
    std::weak_ptr<ZarnPGCMClient> weak = weak_from_this();
    timerDao_->invokeBlockOnRunLoop(
        [weak, carried, context] {
            if (auto self = weak.lock())
                self->receivedMessage(std::move(*carried), context);
            else if (carried->completionHandler)
                carried->completionHandler(BackgroundFetchResult::NoData);
        },
        false);
}

void ZarnPGCMClient::receivedMessage(ZarnPGCMClientMessage message,
                                     std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto result = BackgroundFetchResult::NoData;
    if (shouldEnable()) {
        LogDebug(kDomain, "Received userInfo: %@", message.userInfo);
        const Value& info = message.userInfo;
        auto payload = info.is_object() ? info.find(kPayloadKey) : info.end();
        if (info.is_object() && payload != info.end()) {
            // Present, so the system hears of new data whether or not it decodes.
            result = BackgroundFetchResult::NewData;
            std::shared_ptr<ZarnPGCMClientDelegate> delegate;
            {
                MutexLock lk(delegateMutex_);
                delegate = delegate_.lock();
            }
            if (!payload->is_string())
                LogWarn(kDomain, "Ignoring a payload whose %@ is not text", kPayloadKey);
            else if (delegate)
                delegate->gcmClientDidReceiveMessage(payload->get<std::string>(), zarnContext);
        }
    } else {
        LogDebug(kDomain, "Dropping the remote notification: push is not enabled");
    }
    // Always answered: the system penalises an app that leaves a fetch unanswered.
    if (message.completionHandler)
        message.completionHandler(result);
}

// Subscriptions (SDK thread, the messaging service on the main thread)

void ZarnPGCMClient::refreshTokens() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!shouldEnable()) {
        LogDebug(kDomain, "Not refreshing tokens, because not enabled.");
        return;
    }
    updateSubscriptions();
}

void ZarnPGCMClient::updateSubscriptions() {
    unsubscribeFromTopic();
    subscribeToTopic();
}

void ZarnPGCMClient::unsubscribeFromTopic() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto stored = keyValueDao_->getStringArrayPropertyValueForKey(setting::kGcmPublicTokens);
    if (!stored)
        return;
    auto current = keyValueDao_->getPropertyValueForKey(setting::kPublicToken);
    std::set<std::string> tokens(stored->begin(), stored->end());
    if (current)
        tokens.erase(*current);
    for (const auto& token : tokens)
        onMainThread([token](ZarnPGCMClient& self) { self.unsubscribeToTopicOnMainThread(token); });
}

void ZarnPGCMClient::subscribeToTopic() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto current = keyValueDao_->getPropertyValueForKey(setting::kPublicToken);
    if (!current || current->empty()) {
        LogDebug(kDomain, "Not subscribing to topic, because no public token set");
        return;
    }
    onMainThread([token = *current](ZarnPGCMClient& self) { self.subscribeToTopicOnMainThread(token); });
}

void ZarnPGCMClient::subscribeToTopicOnMainThread(const std::string& token) {
    auto topic = getTopicName(token);
    LogDebug(kDomain, "Subscribing to topic: %@", topic);
    messaging_->subscribeToTopic(topic);
    LogDebug(kDomain, "Subscribed to %@", topic);
    onRunLoop([token](ZarnPGCMClient& self) { self.subscribeToTopicCompleted(token); });
}

void ZarnPGCMClient::subscribeToTopicCompleted(const std::string& token) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto stored = keyValueDao_->getStringArrayPropertyValueForKey(setting::kGcmPublicTokens)
                      .value_or(std::vector<std::string>{});
    if (std::find(stored.begin(), stored.end(), token) == stored.end())
        stored.push_back(token);
    keyValueDao_->setStringArrayPropertyValue(stored, setting::kGcmPublicTokens);
}

void ZarnPGCMClient::unsubscribeToTopicOnMainThread(const std::string& token) {
    auto topic = getTopicName(token);
    messaging_->unsubscribeFromTopic(topic);
    LogDebug(kDomain, "Unsubscribed to %@", topic);
    onRunLoop([token](ZarnPGCMClient& self) { self.unsubscribeToTopicCompleted(token); });
}

void ZarnPGCMClient::unsubscribeToTopicCompleted(const std::string& token) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto stored = keyValueDao_->getStringArrayPropertyValueForKey(setting::kGcmPublicTokens)
                      .value_or(std::vector<std::string>{});
    stored.erase(std::remove(stored.begin(), stored.end(), token), stored.end());
    keyValueDao_->setStringArrayPropertyValue(stored, setting::kGcmPublicTokens);
}

}  // namespace zarn
