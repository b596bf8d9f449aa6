#pragma once
// Helpers of the end-to-end runs: the test service as the device's network, the app's filter
// that records what it was offered, and what the user was shown.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/Device.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/service/TestService.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnHooks.h"
#include "zarn/platform/Platform.h"

namespace zarn::test {

// Makes `service` the platform's HTTP client: every exchange of the library reaches it. Call
// before the library starts.
inline void installTestService(const std::shared_ptr<sim::TestService>& service) {
    auto services = platform::current();
    services.httpClient = service;
    services.serviceBaseAddress = "https://service.test/v2/client/";
    platform::install(services);
    platform::markMainThread();
}

// The app's filter: records every list it is offered (main thread) and shows those `keep`
// accepts.
class RecordingFilter {
  public:
    explicit RecordingFilter(std::function<bool(const NotificationRequest&)> keep = nullptr)
        : keep_(std::move(keep)) {}
    void installOn(ZarnDelegate& delegate) {
        delegate.zarnFilterNotifications = [this](std::shared_ptr<ZarnFilterNotifications> hook) {
            std::vector<NotificationRequest> chosen;
            for (auto& r : hook->uiNotifications())
                if (!keep_ || keep_(r))
                    chosen.push_back(r);
            offers.push_back(hook->uiNotifications());
            onMainThread.push_back(platform::isMainThread());
            hook->showNotifications(chosen);
        };
    }
    std::vector<std::vector<NotificationRequest>> offers;
    std::vector<bool> onMainThread;

  private:
    std::function<bool(const NotificationRequest&)> keep_;
};

// The delivered notifications, oldest first.
inline std::vector<NotificationRequest> shownRequests(TestEnvironment& env) {
    std::vector<NotificationRequest> out;
    for (auto& n : env.device->localNotificationCenter()->deliveredNotifications()) out.push_back(n.request);
    return out;
}

inline std::vector<std::string> bodiesOf(const std::vector<NotificationRequest>& requests) {
    std::vector<std::string> out;
    for (auto& r : requests) out.push_back(r.content.body);
    return out;
}

}  // namespace zarn::test
