#pragma once
#include <memory>

#include "services/ZarnPNotificationLoading.h"
#include "services/ZarnPNotificationServiceDelegate.h"

namespace zarn {

// PLACEHOLDER until the notification service (data-update timing) is built: it fetches nothing
// and reports each data-update step over at once, as when no update is due, so that location
// update runs end.
class ZarnPNotificationService : public ZarnPNotificationLoading {
  public:
    void storeEventsAndUpdateNotificationsForLocation(std::shared_ptr<ZarnPLocationWithAccuracy>, bool, bool,
                                                      bool, std::shared_ptr<ZarnPContext> context) override {
        if (auto delegate = delegate_.lock())
            delegate->locationNotificationServiceUpdatedNotifications(context);
    }
    void clearData() override {}
    void setDelegate(std::weak_ptr<ZarnPNotificationServiceDelegate> delegate) override {
        delegate_ = std::move(delegate);
    }

  private:
    std::weak_ptr<ZarnPNotificationServiceDelegate> delegate_;
};

}  // namespace zarn
