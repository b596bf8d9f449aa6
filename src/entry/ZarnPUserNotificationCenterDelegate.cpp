#include "entry/ZarnPUserNotificationCenterDelegate.h"

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPUserInfoKeys.h"
#include "core/ZarnPValueDepth.h"
#include "core/ZarnTriggerContext.h"
#include "entry/ZarnPNotificationResponseHandling.h"
#include "services/ZarnPContextService.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ZarnInterface";
}

std::shared_ptr<ZarnPUserNotificationCenterDelegate> ZarnPUserNotificationCenterDelegate::create(
    std::weak_ptr<ZarnPNotificationResponseHandling> interface,
    std::shared_ptr<platform::LocalNotificationCenter> userNotificationCenter,
    std::shared_ptr<ZarnPContextService> contextService) {
    std::shared_ptr<ZarnPUserNotificationCenterDelegate> delegate(new ZarnPUserNotificationCenterDelegate(
        std::move(interface), std::move(userNotificationCenter), std::move(contextService)));
    delegate->registerDelegate();
    return delegate;
}

ZarnPUserNotificationCenterDelegate::ZarnPUserNotificationCenterDelegate(
    std::weak_ptr<ZarnPNotificationResponseHandling> interface,
    std::shared_ptr<platform::LocalNotificationCenter> userNotificationCenter,
    std::shared_ptr<ZarnPContextService> contextService)
    : interface_(std::move(interface)),
      userNotificationCenter_(std::move(userNotificationCenter)),
      contextService_(std::move(contextService)) {
    ZARN_REQUIRE(userNotificationCenter_);
    ZARN_REQUIRE(contextService_);
}

ZarnPUserNotificationCenterDelegate::~ZarnPUserNotificationCenterDelegate() {
    // The centre holds its delegate weakly: with this one gone it has none, unless another
    // took its place since.
    if (fallback_ && !userNotificationCenter_->delegate())
        userNotificationCenter_->setDelegate(fallback_);
}

void ZarnPUserNotificationCenterDelegate::registerDelegate() {
    auto current = userNotificationCenter_->delegate();
    if (current.get() == this)
        return;
    fallback_ = std::move(current);
    userNotificationCenter_->setDelegate(weak_from_this());
}

bool ZarnPUserNotificationCenterDelegate::isZarnNotification(const Notification& notification) {
    const Value& userInfo = notification.request.content.userInfo;
    return userInfo.is_object() && userInfo.contains(userinfo::kNotificationHandlerType);
}

void ZarnPUserNotificationCenterDelegate::willPresentNotification(const Notification& notification,
                                                                  std::function<void(unsigned)> completion) {
    if (!completion)
        return;
    if (isZarnNotification(notification)) {
        completion(platform::kNotificationPresentationAlert | platform::kNotificationPresentationSound);
        return;
    }
    if (fallback_ && fallback_->respondsToWillPresentNotification()) {
        fallback_->willPresentNotification(notification, std::move(completion));
        return;
    }
    completion(platform::kNotificationPresentationNone);
}

void ZarnPUserNotificationCenterDelegate::didReceiveNotificationResponse(const NotificationResponse& response,
                                                                         std::function<void()> completion) {
    if (isZarnNotification(response.notification)) {
        // Checked before the facade copies the response to its own thread.
        if (ZarnPValueDepth::accept(response.notification.request.content.userInfo, kMaxUserInfoDepth,
                                    kDomain, "a tapped notification's userInfo")) {
            if (auto interface = interface_.lock()) {
                auto context = contextService_->startContext(ZarnTriggerContextForeground);
                interface->handleNotification(response, std::move(context));
            } else {
                LogWarn(kDomain, "A tapped notification arrived after the library was released");
            }
        }
        if (completion)
            completion();
        return;
    }
    if (fallback_ && fallback_->respondsToDidReceiveNotificationResponse()) {
        fallback_->didReceiveNotificationResponse(response, std::move(completion));
        return;
    }
    if (completion)
        completion();
}

}  // namespace zarn
