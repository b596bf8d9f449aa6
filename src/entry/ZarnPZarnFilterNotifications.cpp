#include "entry/ZarnPZarnFilterNotifications.h"

#include "core/ZarnException.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPPlaceholderUtil.h"
#include "core/ZarnPUserInfoKeys.h"
#include "core/ZarnPValueDepth.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "services/ZarnPBroadcastNames.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "ZarnInterface";

// Placeholders take text: a text as it is, any other value as its JSON form.
std::string placeholderText(const Value& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

}  // namespace

ZarnPZarnFilterNotifications::ZarnPZarnFilterNotifications(
    std::shared_ptr<platform::NotificationCenter> center, std::vector<NotificationRequest> notifications,
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask, std::shared_ptr<ZarnPContext> zarnContext)
    : center_(std::move(center)),
      zarnContext_(std::move(zarnContext)),
      backgroundTask_(std::move(backgroundTask)) {
    ZARN_REQUIRE(center_);
    uiNotifications_ = std::move(notifications);
}

ZarnPZarnFilterNotifications::~ZarnPZarnFilterNotifications() {
    platform::Broadcast::UserInfo info{{broadcast::kNotificationsOfferedKey, uiNotifications_}};
    if (backgroundTask_)
        info[broadcast::kNotificationsBackgroundTaskKey] = backgroundTask_;
    try {
        center_->post(broadcast::kOfferedNotificationDealloc, nullptr, std::move(info));
    } catch (const std::exception& e) {
        LogError(kDomain, "Unable to report a released filter: %@", e.what());
    }
}

std::shared_ptr<ZarnPBackgroundTask> ZarnPZarnFilterNotifications::backgroundTask() const {
    MutexLock lk(mutex_);
    return backgroundTask_;
}

void ZarnPZarnFilterNotifications::showNotifications(const std::vector<NotificationRequest>& notifications) {
    platform::Broadcast::UserInfo info;
    {
        // Taking the task and copying the list together: of two answers racing, one gets it.
        MutexLock lk(mutex_);
        info[broadcast::kNotificationsShowKey] = ZarnPValueDepth::acceptedRequests(notifications, kDomain);
        info[broadcast::kNotificationsOfferedKey] = uiNotifications_;
        if (backgroundTask_) {
            info[broadcast::kNotificationsBackgroundTaskKey] = std::move(backgroundTask_);
            backgroundTask_.reset();
            if (zarnContext_)
                info[broadcast::kHookContextKey] = zarnContext_;
        }
    }
    center_->post(broadcast::kOfferedNotificationShow, weak_from_this().lock(), std::move(info));
}

void ZarnPZarnFilterNotifications::addToMatchPayload(const std::string& key, const Value& value) {
    if (!ZarnPValueDepth::accept(value, kMaxValueDepth, kDomain, "a match payload entry"))
        return;
    MutexLock lk(mutex_);
    for (auto& request : uiNotifications_) {
        request.content.userInfo = userInfoAddingToMatchPayload(request.content.userInfo, key, value, true);
        if (auto message = ZarnPDictionaryHelper::stringEntry(request.content.userInfo, userinfo::kMessage))
            request.content.body = *message;
    }
}

Value ZarnPZarnFilterNotifications::userInfoAddingToMatchPayload(const Value& userInfo,
                                                                 const std::string& key, const Value& value,
                                                                 bool fillMessage) {
    Value out = userInfo.is_object() ? userInfo : Value::object();
    auto payload = out.find(userinfo::kMatchPayload);
    Value matchPayload = payload != out.end() && payload->is_object() ? *payload : Value::object();
    matchPayload[key] = value;
    out[userinfo::kMatchPayload] = std::move(matchPayload);
    ZarnPPlaceholderUtil::StringDictionary only{{key, placeholderText(value)}};
    for (const char* field : {userinfo::kMessage, userinfo::kAction}) {
        if (std::string_view(field) == userinfo::kMessage && !fillMessage)
            continue;
        if (auto text = ZarnPDictionaryHelper::stringEntry(out, field))
            out[field] =
                *ZarnPPlaceholderUtil::replacePlaceholders(*text, std::nullopt, std::nullopt, nullptr, &only);
    }
    return out;
}

}  // namespace zarn
