#include "services/ZarnPEventService.h"

#include <cmath>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnTriggerContext.h"
#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPSegmentationReading.h"
#include "store/ZarnPEventDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "EventService";

// Codes of the URL loading system that mean the device could not reach the service.
const char* connectivityFailureName(long code) {
    switch (code) {
        case -1020:
            return "kCFURLErrorDataNotAllowed";
        case -1019:
            return "kCFURLErrorCallIsActive";
        case -1018:
            return "kCFURLErrorInternationalRoamingOff";
        case -1009:
            return "kCFURLErrorNotConnectedToInternet";
        case -1006:
            return "kCFURLErrorDNSLookupFailed";
        case -1005:
            return "kCFURLErrorNetworkConnectionLost";
        case -1004:
            return "kCFURLErrorCannotConnectToHost";
        case -1003:
            return "kCFURLErrorCannotFindHost";
        case -1001:
            return "kCFURLErrorTimedOut";
        default:
            return nullptr;
    }
}
}  // namespace

std::shared_ptr<ZarnPEventService> ZarnPEventService::create(
    std::shared_ptr<ZarnPEventDao> eventDao, std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
    std::shared_ptr<ZarnPUuidGenerator> uuidGenerator,
    std::shared_ptr<ZarnPSegmentationReading> segmentationService,
    std::shared_ptr<ZarnPRemoteEventAndNotificationDao> remoteDao, std::shared_ptr<ZarnPClockDao> clockDao,
    std::shared_ptr<platform::NotificationCenter> center) {
    ZARN_REQUIRE(eventDao);
    ZARN_REQUIRE(uuidGenerator);
    ZARN_REQUIRE(segmentationService);
    ZARN_REQUIRE(remoteDao);
    ZARN_REQUIRE(clockDao);
    ZARN_REQUIRE(center);
    std::shared_ptr<ZarnPEventService> service(new ZarnPEventService());
    service->eventDao_ = std::move(eventDao);
    service->keyValueDao_ = std::move(keyValueDao);
    service->uuidGenerator_ = std::move(uuidGenerator);
    service->segmentationService_ = std::move(segmentationService);
    service->remoteDao_ = std::move(remoteDao);
    service->clockDao_ = std::move(clockDao);
    service->center_ = std::move(center);
    std::weak_ptr<ZarnPEventService> weak = service;
    service->center_->addObserver(service.get(), broadcast::kDisabled, [weak](const platform::Broadcast&) {
        if (auto self = weak.lock())
            self->onDisable();
    });
    return service;
}

ZarnPEventService::~ZarnPEventService() {
    if (center_)
        center_->removeObserver(this);
}

void ZarnPEventService::logEventWithType(unsigned type, const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    logEventWithType(type, Value::object(), context);
}

void ZarnPEventService::logEventWithType(unsigned type, const Value& extra,
                                         const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    logEventWithType(type, extra, clockDao_->now(), context);
}

void ZarnPEventService::logEventWithType(unsigned type, const Value& extra, Date date,
                                         const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::string name = ZarnPLogEventType::logEventTypeToString(type);
    bool store = keyValueDao_ ? keyValueDao_->getBoolPropertyValueForKey(setting::kStoreEvents, true) : true;
    if (!store) {
        LogDebug(kDomain, "Ignoring event: %@ Data: %@", name, extra);
        return;
    }
    Value finalExtra = extra.is_object() ? extra : Value::object();
    if (context) {
        finalExtra["context_id"] = context->uuidString();
        finalExtra["trigger"] = ZarnTriggerContext::toString(context->triggerContext());
        if (context->triggerDetails())
            finalExtra["trigger_details"] = *context->triggerDetails();
    }
    LogDebug(kDomain, "Logging event: %@ Data: %@", name, finalExtra);
    ZarnPEvent event(uuidGenerator_->create(), type, date, finalExtra);
    // The newest remain; the event and its cap are one commit.
    if (type == ZarnPLogEventTypeError)
        eventDao_->saveEvent(event, 15);
    else if (type == ZarnPLogEventTypeLocationAcquired)
        eventDao_->saveEvent(event, 2000);
    else
        eventDao_->saveEvent(event);
}

void ZarnPEventService::sendEventsIfNeeded() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (eventDao_->getEventCount() > 5)
        sendEvents();
}

void ZarnPEventService::sendEvents() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto events = eventDao_->getEvents();
    if (events.empty())
        return;
    auto token = keyValueDao_ ? keyValueDao_->getPropertyValueForKey(setting::kPublicToken) : std::nullopt;
    if (!token) {
        LogError(kDomain, "Public token not yet initialized");
        return;
    }
    Date now = clockDao_->now();
    int suspend = keyValueDao_ ? keyValueDao_->getIntPropertyValueForKey(setting::kSuspendInterval) : 0;
    if (lastTimeSentEvents_ && !(std::fabs(timeIntervalBetween(now, *lastTimeSentEvents_)) > suspend))
        return;
    lastTimeSentEvents_ = now;
    remoteDao_->storeEvents(events, *token, segmentationService_->getAdvertisingIdentifier(),
                            segmentationService_->isAdvertisingEnabled(),
                            segmentationService_->getSegmentationProperties(), shared_from_this());
}

void ZarnPEventService::sendAndClearEventsIfNonEmpty() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (eventDao_->getEventCount() <= 0)
        return;
    sendEvents();
    eventDao_->deleteAllEvents();
}

void ZarnPEventService::onDisable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    sendEvents();
}

void ZarnPEventService::storeEventsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                             const std::optional<Error>& error,
                                             std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (error) {
        logDataError(*error, "sendevents", zarnContext);
        return;
    }
    eventDao_->deleteEvents(events);
    sendEventsIfNeeded();
}

void ZarnPEventService::logDataError(const Error& error, const std::string& operation,
                                     const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (const char* name = connectivityFailureName(error.code)) {
        logEventWithType(ZarnPLogEventTypeError,
                         Value{{"message", name}, {"level", "2"}, {"domain", operation}}, context);
        return;
    }
    LogNsError(kDomain, error, "Error during %@", operation);
}

}  // namespace zarn
