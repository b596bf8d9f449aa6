#pragma once
// A common matching that only keeps its offer delegate: for tests of the callers that link
// themselves in but run no match.
#include <memory>

#include "services/ZarnPCommonMatching.h"

namespace zarn::test {

class DelegateOnlyCommonMatching : public ZarnPCommonMatching {
  public:
    void setDelegate(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> d) override {
        delegate_ = std::move(d);
    }
    std::shared_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate() const override {
        return delegate_.lock();
    }
    int getCooldownPeriod() override { return 0; }
    bool isInCooldown(int) override { return false; }
    bool shouldAbortMatchRunBecauseOfCoolDown() override { return false; }
    bool isInCooldownGroup(const std::vector<ZarnPCooldownGroup>&, int, int) override { return false; }
    bool shouldIncreaseMatchRange() override { return false; }
    void monitorNotifications(const std::vector<ZarnPNotificationWithDistance>&) override {}
    void cancelNotifications(const std::set<std::string>&, int) override {}
    void saveSentDwellingNotification(const std::string&, Date) override {}
    std::optional<Date> endWaitingDwellings(std::optional<Date>) override { return std::nullopt; }
    void offerNotifications(const std::vector<ZarnPNotification>&, int,
                            const std::shared_ptr<ZarnPBackgroundTask>&,
                            const std::shared_ptr<ZarnPContext>&) override {}
    void sendNotificationsToFilter(const std::vector<NotificationRequest>&,
                                   const std::shared_ptr<ZarnPBackgroundTask>&,
                                   const std::shared_ptr<ZarnPContext>&) override {}
    void showNotifications(const std::vector<NotificationRequest>&, const std::vector<NotificationRequest>&,
                           const std::shared_ptr<ZarnPBackgroundTask>&,
                           const std::shared_ptr<ZarnPContext>&) override {}
    void notificationIsOffered(const std::string&) override {}
    void filteredNotificationsDealloc(const std::vector<NotificationRequest>&) override {}
    void filteredGeotriggerDealloc(const std::vector<std::shared_ptr<ZarnGeotrigger>>&) override {}

  private:
    std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate_;
};

}  // namespace zarn::test
