#include "services/ZarnPContextService.h"

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "services/ZarnPEventLogging.h"
#include "zarn/Value.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ContextService";
}

ZarnPContextService::ZarnPContextService(std::shared_ptr<ZarnPClockDao> clockDao)
    : ZarnPContextService(std::move(clockDao), nullptr, nullptr) {}

ZarnPContextService::ZarnPContextService(std::shared_ptr<ZarnPClockDao> clockDao,
                                         std::shared_ptr<ZarnPEventLogging> eventService,
                                         std::shared_ptr<ZarnPSystemTimerDao> timerDao)
    : clockDao_(std::move(clockDao)), eventService_(std::move(eventService)), timerDao_(std::move(timerDao)) {
    ZARN_REQUIRE(clockDao_);
}

std::shared_ptr<ZarnPContext> ZarnPContextService::startContext(unsigned triggerContext) {
    return startContext(triggerContext, std::nullopt);
}

std::shared_ptr<ZarnPContext> ZarnPContextService::startContext(unsigned triggerContext,
                                                                std::optional<std::string> triggerDetails) {
    return std::make_shared<ZarnPContext>(triggerContext, std::move(triggerDetails), clockDao_->now());
}

void ZarnPContextService::incrementContext(const std::shared_ptr<ZarnPContext>& context) {
    if (context)
        context->incrementReferences();
}

void ZarnPContextService::decrementContext(const std::shared_ptr<ZarnPContext>& context) {
    if (!context)
        return;
    auto timer = timerDao();
    // Counting belongs to the SDK thread, whichever thread the run ends on.
    if (timer && !timer->isRunThread()) {
        decrementContextOnRunLoop(context);
        return;
    }
    decrementAndLog(context);
}

void ZarnPContextService::decrementContextOnRunLoop(const std::shared_ptr<ZarnPContext>& context) {
    auto timer = timerDao();
    if (!timer) {
        decrementAndLog(context);
        return;
    }
    timer->invokeSelectorOnRunLoop(&ZarnPContextService::decrementAndLog, shared_from_this(), false, context);
}

void ZarnPContextService::decrementAndLog(std::shared_ptr<ZarnPContext> context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!context)
        return;
    context->decrementReferences();
    if (context->referenceCount() >= 1)
        return;
    auto log = context->collectedLog();
    if (!log || log->empty())
        return;
    // Later lines of this context are dropped, so the text is reported only once.
    context->setCollectedLog(std::nullopt);
    auto events = eventService();
    if (!events) {
        LogWarn(kDomain, "No event service: dropping the debug log of context %@", context->uuidString());
        return;
    }
    events->logEventWithType(ZarnPLogEventTypeDebuglogEntry, Value{{"contents", *log}}, context);
}

std::shared_ptr<ZarnPEventLogging> ZarnPContextService::eventService() const {
    MutexLock lk(mutex_);
    return eventService_;
}

void ZarnPContextService::setEventService(std::shared_ptr<ZarnPEventLogging> eventService) {
    MutexLock lk(mutex_);
    eventService_ = std::move(eventService);
}

std::shared_ptr<ZarnPSystemTimerDao> ZarnPContextService::timerDao() const {
    MutexLock lk(mutex_);
    return timerDao_;
}

void ZarnPContextService::setTimerDao(std::shared_ptr<ZarnPSystemTimerDao> timerDao) {
    MutexLock lk(mutex_);
    timerDao_ = std::move(timerDao);
}

}  // namespace zarn
