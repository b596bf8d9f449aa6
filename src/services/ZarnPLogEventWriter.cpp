#include "services/ZarnPLogEventWriter.h"

#include "core/ZarnException.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "services/ZarnPEventLogging.h"
#include "zarn/Value.h"

namespace zarn {

namespace {
// Set on the SDK thread while an "error" event is being stored.
thread_local bool storingErrorEvent = false;
}  // namespace

ZarnPLogEventWriter::ZarnPLogEventWriter(std::shared_ptr<ZarnPEventLogging> eventService,
                                         std::shared_ptr<ZarnPSystemTimerDao> timerDao)
    : eventService_(std::move(eventService)), timerDao_(std::move(timerDao)) {
    ZARN_REQUIRE(eventService_);
    ZARN_REQUIRE(timerDao_);
    LogDebug("LogEventWriter",
             "Created LogEventWriter, errors and warnings logged before weren't stored as events.");
}

void ZarnPLogEventWriter::didLogMessage(const std::string& message, int level, const std::string& domain) {
    if (level >= 3)
        return;
    // Errors of the database itself are not stored in it: storing them would open it again.
    if (domain == "SqLiteEventDao" || domain == "SqLiteDb" || storingErrorEvent) {
        ZarnPLogger::instance().writeConsole(format(
            "Cannot create event for errors during event logging. Message: %@ Level: %d", message, level));
        return;
    }
    Value extra = {{"message", message}, {"level", format("%d", level)}, {"domain", domain}};
    std::shared_ptr<ZarnPLogEventWriter> self = weak_from_this().lock();
    if (!self)
        return;
    timerDao_->invokeSelectorOnRunLoop(&ZarnPLogEventWriter::logMessageOnRunLoop, self, false, extra);
}

void ZarnPLogEventWriter::logMessageOnRunLoop(const Value& extra) {
    ZARN_CHECK_SEQUENCE(sequence_);
    struct Flag {
        Flag() { storingErrorEvent = true; }
        ~Flag() { storingErrorEvent = false; }
    } flag;
    eventService_->logEventWithType(ZarnPLogEventTypeError, extra, nullptr);
}

}  // namespace zarn
