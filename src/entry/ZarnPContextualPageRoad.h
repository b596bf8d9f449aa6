#pragma once
#include <functional>
#include <memory>
#include <optional>

#include "core/ZarnPCollaborator.h"
#include "zarn/Value.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPEnablingRoad;
class ZarnPEventService;
class ZarnPFacadeHops;
class ZarnPFacadeState;
class ZarnPSystemTimerDao;
namespace platform {
class NotificationCenter;
}

// The facade's contextual page request: a page stored in the last minute is answered at once
// (with a "contextualpage_sent" event); otherwise the answer waits for the next update's
// broadcast, at most two seconds. Either way a full update runs. The caller waits for the SDK
// thread's step; the callback is called exactly once, or not at all when the library is not
// initialised and enabled.
class ZarnPContextualPageRoad {
  public:
    using Callback = std::function<void(std::optional<Value>)>;
    static constexpr double kMaxAgeSeconds = 60.0;
    static constexpr double kTimeoutSeconds = 2.0;

    struct Collaborators {
        ZarnPRequired<ZarnPContextualPageDao> contextualPageDao;
        ZarnPRequired<ZarnPContextService> contextService;
        ZarnPRequired<ZarnPEventService> eventService;
        ZarnPRequired<ZarnPClockDao> clockDao;
        ZarnPRequired<ZarnPSystemTimerDao> timerDao;
        ZarnPRequired<platform::NotificationCenter> notificationCenter;
    };

    // The update runs on `enabling`, a road of the same facade.
    ZarnPContextualPageRoad(Collaborators c, const ZarnPFacadeState& state, const ZarnPFacadeHops& hops,
                            ZarnPEnablingRoad& enabling);

    void requestContextualPage(Callback callback);

  private:
    void requestContextualPageInRunLoop(Callback callback);
    // Waits for the next update's broadcast or the timeout, whichever comes first.
    void refreshContextualPage(Callback callback);

    Collaborators c_;
    const ZarnPFacadeState& state_;
    const ZarnPFacadeHops& hops_;
    ZarnPEnablingRoad& enabling_;
};

}  // namespace zarn
