#include "core/ZarnPContext.h"

#include "core/Format.h"
#include "core/ZarnTriggerContext.h"

namespace zarn {

namespace {
std::atomic<long> liveContexts{0};
}

ZarnPContext::ZarnPContext(unsigned triggerContext, std::optional<std::string> triggerDetails,
                           Date creationDate)
    : ZarnPContext(triggerContext, std::move(triggerDetails), Uuid::random(), creationDate) {}

ZarnPContext::ZarnPContext(unsigned triggerContext, std::optional<std::string> triggerDetails, Uuid uuid,
                           Date creationDate)
    : triggerContext_(triggerContext),
      uuid_(uuid),
      creationDate_(creationDate),
      triggerDetails_(std::move(triggerDetails)) {
    liveContexts.fetch_add(1);
}

ZarnPContext::~ZarnPContext() {
    liveContexts.fetch_sub(1);
}

long ZarnPContext::liveCount() {
    return liveContexts.load();
}

std::optional<std::string> ZarnPContext::collectedLog() const {
    MutexLock lock(mutex_);
    return collectedLog_;
}

void ZarnPContext::setCollectedLog(std::optional<std::string> log) {
    MutexLock lock(mutex_);
    collectedLog_ = std::move(log);
}

void ZarnPContext::appendToContextLog(const std::string& text) {
    MutexLock lock(mutex_);
    if (collectedLog_)
        collectedLog_->append(text);
}

Date ZarnPContext::creationDate() const {
    MutexLock lock(mutex_);
    return creationDate_;
}

void ZarnPContext::setCreationDate(Date date) {
    MutexLock lock(mutex_);
    creationDate_ = date;
}

std::string ZarnPContext::description() const {
    return format("<ZarnPContext %@ trigger: %@ details: %@ references: %d created: %@>", uuidString(),
                  ZarnTriggerContext::toString(triggerContext()), triggerDetails_, referenceCount(),
                  creationDate());
}

}  // namespace zarn
