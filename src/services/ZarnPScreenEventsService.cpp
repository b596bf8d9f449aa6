#include "services/ZarnPScreenEventsService.h"

#include "core/ZarnException.h"
#include "core/ZarnPContextStarting.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPEventLogging.h"
#include "services/ZarnPLocationUpdating.h"
#include "zarn/Value.h"
#include "zarn/platform/Application.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

namespace {
constexpr const char* kForeground = "app_in_foreground";
constexpr const char* kBackground = "app_in_background";
}  // namespace

ZarnPScreenEventsService::ZarnPScreenEventsService(
    std::shared_ptr<ZarnPSystemTimerDao> timerDao, std::shared_ptr<ZarnPEventLogging> eventService,
    std::shared_ptr<ZarnPContextStarting> contextService,
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao,
    std::shared_ptr<ZarnPLocationUpdating> locationUpdateService,
    std::shared_ptr<platform::NotificationCenter> center)
    : timerDao_(std::move(timerDao)),
      eventService_(std::move(eventService)),
      contextService_(std::move(contextService)),
      publicLogDao_(std::move(publicLogDao)),
      locationUpdateService_(std::move(locationUpdateService)),
      center_(std::move(center)) {
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(eventService_);
    ZARN_REQUIRE(contextService_);
    ZARN_REQUIRE(publicLogDao_);
    ZARN_REQUIRE(locationUpdateService_);
    ZARN_REQUIRE(center_);
}

ZarnPScreenEventsService::~ZarnPScreenEventsService() {
    center_->removeObserver(this);
}

void ZarnPScreenEventsService::registerHandlers(bool isInForeground) {
    if (isInitialized_)
        return;
    isInitialized_ = true;
    std::weak_ptr<ZarnPScreenEventsService> weak = weak_from_this();
    center_->addObserver(this, platform::kApplicationWillEnterForegroundNotification,
                         [weak](const platform::Broadcast&) {
                             if (auto self = weak.lock())
                                 self->moveForeground();
                         });
    center_->addObserver(this, platform::kApplicationDidEnterBackgroundNotification,
                         [weak](const platform::Broadcast&) {
                             if (auto self = weak.lock())
                                 self->moveBackground();
                         });
    if (isInForeground)
        moveForeground();
}

void ZarnPScreenEventsService::moveForeground() {
    timerDao_->invokeSelectorOnRunLoop(&ZarnPScreenEventsService::handleMove, shared_from_this(), false,
                                       std::string(kForeground));
}

void ZarnPScreenEventsService::moveBackground() {
    timerDao_->invokeSelectorOnRunLoop(&ZarnPScreenEventsService::handleMove, shared_from_this(), false,
                                       std::string(kBackground));
}

void ZarnPScreenEventsService::handleMove(const std::string& action) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto context = contextService_->startContext(ZarnTriggerContextForeground);
    eventService_->logEventWithType(ZarnPLogEventTypeAttribution, Value{{"action_name", action}}, context);
    publicLogDao_->logScreenTransition(action, context);
    locationUpdateService_->performFullUpdate(context);
}

}  // namespace zarn
