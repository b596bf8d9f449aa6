#include "services/ZarnPExternalRegionService.h"

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPExternalRegionRequest.h"
#include "core/ZarnPExternalTriggerType.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPBackgroundTaskDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPCurrentLocationGetting.h"
#include "services/ZarnPExternalRegionMatchingService.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ExternalRegionService";
}

ZarnPExternalRegionService::ZarnPExternalRegionService(Collaborators collaborators)
    : c_(std::move(collaborators)) {
    ZARN_REQUIRE(c_.regionMatching);
    ZARN_REQUIRE(c_.contextService);
    ZARN_REQUIRE(c_.locationUpdateService);
    ZARN_REQUIRE(c_.clockDao);
    ZARN_REQUIRE(c_.publicLogDao);
    ZARN_REQUIRE(c_.backgroundTaskDao);
}

void ZarnPExternalRegionService::regionTrigger(const std::shared_ptr<ZarnPExternalRegionRequest>& request) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!request)
        return;
    auto backgroundTask = c_.backgroundTaskDao->startBackgroundTask();
    auto context = c_.contextService->startContext(ZarnTriggerContextExternal);
    c_.publicLogDao->logCheckingExternalMatches(
        ZarnPExternalTriggerType::toString(static_cast<int>(request->triggerType())), request->properties(),
        context);

    if (isCacheRecent(true)) {
        regionTriggerWithLoadedCache(*request, backgroundTask, context);
        c_.contextService->decrementContext(context);
        return;
    }
    // The handler alone releases the context, so that its debug log holds the match run.
    std::weak_ptr<ZarnPExternalRegionService> weak = weak_from_this();
    c_.locationUpdateService->performFullUpdateOrGetCurrentLocationWithCompletionHandler(
        [weak, request, backgroundTask, context](std::shared_ptr<ZarnPLocationWithAccuracy> location) {
            auto self = weak.lock();
            if (!self)
                return;
            if (location) {
                self->updateCache(*location);
                self->regionTriggerWithLoadedCache(*request, backgroundTask, context);
            } else if (self->isCacheRecent(false)) {
                self->regionTriggerWithLoadedCache(*request, backgroundTask, context);
            } else {
                self->c_.publicLogDao->logFailedToObtainCurrentLocationFor("external region", context);
            }
            self->c_.contextService->decrementContext(context);
        },
        context);
}

void ZarnPExternalRegionService::regionTriggerWithLoadedCache(
    const ZarnPExternalRegionRequest& request, const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
    const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    c_.regionMatching->checkForSentDwellingGeofences(context);
    c_.regionMatching->checkForExternalRegionMatches(request.properties(),
                                                     static_cast<int>(request.triggerType()),
                                                     request.matchPayload(), backgroundTask, context);
}

bool ZarnPExternalRegionService::isCacheRecent(bool strict) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!lastCacheRefresh_)
        return false;
    double age = timeIntervalBetween(c_.clockDao->now(), *lastCacheRefresh_);
    return age >= 0 && age <= (strict ? kRecentSeconds : kUsableSeconds);
}

void ZarnPExternalRegionService::updateCache(const ZarnPLocationWithAccuracy& location) {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "Updating cache");
    c_.regionMatching->refreshCache(location);
    lastCacheRefresh_ = c_.clockDao->now();
}

}  // namespace zarn
