#include "entry/ZarnPZarnHandleGeotriggers.h"

#include <set>

#include "core/ZarnException.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPUserInfoKeys.h"
#include "core/ZarnPValueDepth.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "entry/ZarnPZarnFilterNotifications.h"
#include "services/ZarnPBroadcastNames.h"
#include "zarn/ZarnValues.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "ZarnInterface";

std::optional<std::string> matchIdentifierIn(const Value& userInfo) {
    if (!userInfo.is_object())
        return std::nullopt;
    auto it = userInfo.find(userinfo::kMatchIdentifier);
    if (it == userInfo.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}

std::optional<std::string> matchIdentifierOf(const std::shared_ptr<ZarnGeotrigger>& geotrigger) {
    return geotrigger ? matchIdentifierIn(geotrigger->userInfo()) : std::nullopt;
}

std::vector<NotificationRequest> toRequests(const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) {
    std::vector<NotificationRequest> out;
    out.reserve(geotriggers.size());
    for (auto& g : geotriggers)
        if (g)
            out.push_back(ZarnPZarnHandleGeotriggers::geotriggerToNotificationRequest(*g));
    return out;
}

}  // namespace

ZarnPZarnHandleGeotriggers::ZarnPZarnHandleGeotriggers(
    std::shared_ptr<platform::NotificationCenter> center,
    std::vector<std::shared_ptr<ZarnGeotrigger>> geotriggers,
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask, std::shared_ptr<ZarnPContext> zarnContext)
    : center_(std::move(center)),
      zarnContext_(std::move(zarnContext)),
      backgroundTask_(std::move(backgroundTask)) {
    ZARN_REQUIRE(center_);
    geotriggers_ = std::move(geotriggers);
}

ZarnPZarnHandleGeotriggers::~ZarnPZarnHandleGeotriggers() {
    platform::Broadcast::UserInfo info{{broadcast::kGeotriggersOfferedKey, geotriggers_}};
    if (backgroundTask_)
        info[broadcast::kGeotriggersBackgroundTaskKey] = backgroundTask_;
    try {
        center_->post(broadcast::kOfferedGeotriggerDealloc, nullptr, std::move(info));
    } catch (const std::exception& e) {
        LogError(kDomain, "Unable to report a released geotrigger handler: %@", e.what());
    }
}

std::shared_ptr<ZarnPBackgroundTask> ZarnPZarnHandleGeotriggers::backgroundTask() const {
    MutexLock lk(mutex_);
    return backgroundTask_;
}

NotificationRequest ZarnPZarnHandleGeotriggers::geotriggerToNotificationRequest(
    const ZarnGeotrigger& geotrigger) {
    NotificationRequest request;
    if (auto id = matchIdentifierIn(geotrigger.userInfo()))
        request.identifier = *id;
    request.content.defaultSound = false;
    request.content.userInfo = geotrigger.userInfo();
    return request;
}

void ZarnPZarnHandleGeotriggers::markGeotriggersHandled(
    const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) {
    platform::Broadcast::UserInfo info;
    {
        MutexLock lk(mutex_);
        std::set<std::string> offered;
        for (auto& g : geotriggers_)
            if (auto id = matchIdentifierOf(g))
                offered.insert(*id);
        // A geotrigger from elsewhere would be recorded, and later shown, as one of this run's.
        std::vector<std::shared_ptr<ZarnGeotrigger>> handled;
        std::set<std::string> passed;
        for (auto& g : geotriggers) {
            auto id = matchIdentifierOf(g);
            if (!id || !offered.count(*id)) {
                LogWarn(kDomain, "Ignoring a geotrigger that was not offered: %@",
                        g ? g->description() : std::string("(null)"));
                continue;
            }
            if (passed.insert(*id).second)
                handled.push_back(g);
        }
        info[broadcast::kGeotriggersHandledKey] = toRequests(handled);
        info[broadcast::kGeotriggersOfferedKey] = toRequests(geotriggers_);
        if (backgroundTask_) {
            info[broadcast::kGeotriggersBackgroundTaskKey] = std::move(backgroundTask_);
            backgroundTask_.reset();
            if (zarnContext_)
                info[broadcast::kHookContextKey] = zarnContext_;
        }
    }
    center_->post(broadcast::kOfferedGeotriggerHandled, weak_from_this().lock(), std::move(info));
}

void ZarnPZarnHandleGeotriggers::addToMatchPayload(const std::string& key, const Value& value) {
    if (!ZarnPValueDepth::accept(value, kMaxValueDepth, kDomain, "a match payload entry"))
        return;
    MutexLock lk(mutex_);
    for (auto& g : geotriggers_)
        if (g)
            g->setUserInfo(
                ZarnPZarnFilterNotifications::userInfoAddingToMatchPayload(g->userInfo(), key, value, false));
}

}  // namespace zarn
