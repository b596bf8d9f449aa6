#pragma once
// Stand-ins for the services a test does not exercise.
#include <optional>
#include <string>

#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "services/ZarnPNotificationLoading.h"
#include "services/ZarnPNotificationServiceDelegate.h"
#include "services/ZarnPSegmentationReading.h"

namespace zarn::test {

// What a fresh installation holds: no advertising identifier, no flag, no segmentation values.
class FreshSegmentation final : public ZarnPSegmentationReading {
  public:
    std::optional<std::string> getAdvertisingIdentifier() override { return std::nullopt; }
    std::optional<bool> isAdvertisingEnabled() override { return std::nullopt; }
    Value getSegmentationProperties() override { return Value::object(); }
};

// Never fetches: each data-update step is over at once, as when no update is due.
class NoLoadedNotifications final : public ZarnPNotificationLoading {
  public:
    void storeEventsAndUpdateNotificationsForLocation(const std::shared_ptr<ZarnPLocationWithAccuracy>&, bool,
                                                      bool, bool,
                                                      const std::shared_ptr<ZarnPContext>& context) override {
        if (auto delegate = delegate_.lock())
            delegate->locationNotificationServiceUpdatedNotifications(context);
    }
    void deleteNotifications() override {}
    void clearData() override {}
    void setDelegate(std::weak_ptr<ZarnPNotificationServiceDelegate> delegate) override {
        delegate_ = std::move(delegate);
    }

  private:
    std::weak_ptr<ZarnPNotificationServiceDelegate> delegate_;
};

// A service whose only road a test uses is the events upload: the data-update requests, saves
// and clearing do nothing.
class EventsOnlyRemote : public ZarnPRemoteEventAndNotificationDao {
  public:
    void storeEventsAndLoadNotifications(const std::vector<std::shared_ptr<ZarnPEvent>>&,
                                         const std::shared_ptr<ZarnPLocationWithAccuracy>&, bool, bool,
                                         const std::string&, const std::optional<std::string>&,
                                         std::optional<bool>, const Value&,
                                         std::shared_ptr<ZarnPStoreEventsAndLoadNotificationsDelegate>,
                                         std::shared_ptr<ZarnPContext>) override {}
    void saveDataUpdate(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO*,
                        const std::shared_ptr<ZarnPContext>&) override {}
    void clearData() override {}
};

// A service that is never reached: nothing is sent and nothing completes.
class UnreachableService final : public EventsOnlyRemote {
  public:
    void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>&, const std::string&,
                     const std::optional<std::string>&, std::optional<bool>, const Value&,
                     std::shared_ptr<ZarnPStoreEventsDelegate>) override {}
};

}  // namespace zarn::test
