#include "entry/ZarnPContextualPageRoad.h"

#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemTimerDao.h"
#include "entry/ZarnPAppCall.h"
#include "entry/ZarnPEnablingRoad.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "platform/Mutex.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "store/ZarnPContextualPageDao.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

namespace {

// The app's callback must not take the SDK thread down with it.
void callBack(const ZarnPContextualPageRoad::Callback& callback, std::optional<Value> data) {
    callApp("the contextual page callback", [&] { callback(std::move(data)); });
}

std::optional<Value> pageData(const std::optional<Value>& page) {
    if (!page || !page->is_object() || !page->contains("data"))
        return std::nullopt;
    return page->at("data");
}

// The page's date when it has one and is at most `maxAge` seconds old at `now`.
std::optional<double> freshPageDate(const std::optional<Value>& page, Date now, double maxAge) {
    if (!page || !page->is_object())
        return std::nullopt;
    auto found = page->find("date");
    if (found == page->end() || !found->is_number())
        return std::nullopt;
    double date = found->get<double>();
    if (!(timeIntervalSince1970(now) - date <= maxAge))
        return std::nullopt;
    return date;
}

// One waiting request: its observers, its timer and whether it is done. Whichever comes first
// completes it; everything it holds is let go then.
struct PendingPage {
    explicit PendingPage(ZarnPContextualPageRoad::Callback cb) : callback(std::move(cb)) {}
    Mutex mutex;
    bool done ZARN_GUARDED_BY(mutex) = false;
    ZarnPContextualPageRoad::Callback callback ZARN_GUARDED_BY(mutex);
    std::shared_ptr<platform::Timer> timer ZARN_GUARDED_BY(mutex);
};

}  // namespace

ZarnPContextualPageRoad::ZarnPContextualPageRoad(Collaborators c, const ZarnPFacadeState& state,
                                                 const ZarnPFacadeHops& hops, ZarnPEnablingRoad& enabling)
    : c_(std::move(c)), state_(state), hops_(hops), enabling_(enabling) {}

void ZarnPContextualPageRoad::requestContextualPage(Callback callback) {
    if (!state_.initializedAndEnabled() || !callback)
        return;
    hops_.inRunLoopWaiting([this, &callback] { requestContextualPageInRunLoop(std::move(callback)); });
}

void ZarnPContextualPageRoad::requestContextualPageInRunLoop(Callback callback) {
    // Asked again here: a disable may have run since the caller's thread looked.
    if (!state_.initializedAndEnabled())
        return;
    auto context = c_.contextService->startContext(ZarnTriggerContextContextualPage);
    auto page = c_.contextualPageDao->getClosestContextualPage();
    if (auto date = freshPageDate(page, c_.clockDao->now(), kMaxAgeSeconds)) {
        Value extra = Value::object();
        if (auto id = page->find("id"); id != page->end())
            extra["id"] = *id;
        // A page stored without a payload has none to report.
        if (auto payload = page->find("match_payload"); payload != page->end() && !payload->is_null())
            extra["match_payload"] = *payload;
        c_.eventService->logEventWithType(ZarnPLogEventTypeContextualPageSent, extra,
                                          dateWithTimeIntervalSince1970(*date), context);
        callBack(callback, pageData(page));
    } else {
        refreshContextualPage(std::move(callback));
    }
    enabling_.update(context);
}

void ZarnPContextualPageRoad::refreshContextualPage(Callback callback) {
    auto pending = std::make_shared<PendingPage>(std::move(callback));
    auto center = c_.notificationCenter.shared();
    // Takes the callback once; the observers and the timer go with it.
    // The centre is held weakly: its observers hold this.
    std::weak_ptr<platform::NotificationCenter> weakCenter = center;
    auto take = [pending, weakCenter]() -> Callback {
        MutexLock lk(pending->mutex);
        if (pending->done)
            return nullptr;
        pending->done = true;
        if (auto c = weakCenter.lock())
            c->removeObserver(pending.get());
        if (pending->timer)
            pending->timer->invalidate();
        pending->timer.reset();
        return std::move(pending->callback);
    };
    auto complete = [this, take] {
        if (auto cb = take())
            callBack(cb, pageData(c_.contextualPageDao->getClosestContextualPage()));
    };
    auto onBroadcast = hops_.guarded([this, complete](const platform::Broadcast&) {
        // The page store belongs to the SDK thread.
        if (c_.timerDao->isRunThread())
            complete();
        else
            hops_.inRunLoop(complete);
    });
    center->addObserver(pending.get(), broadcast::kWontUpdate, onBroadcast);
    center->addObserver(pending.get(), broadcast::kLocationUpdateCompletedPrivate, onBroadcast);
    auto timer = c_.timerDao->scheduledTimerWithTimeInterval(
        kTimeoutSeconds, "ZarnPZarnInterface",
        [take] {
            if (auto cb = take()) {
                LogDebug(kFacadeDomain, "Contextual page request timeout");
                callBack(cb, std::nullopt);
            }
        },
        false);
    MutexLock lk(pending->mutex);
    if (pending->done)
        timer->invalidate();
    else
        pending->timer = std::move(timer);
}

}  // namespace zarn
