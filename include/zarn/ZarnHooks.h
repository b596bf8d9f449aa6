#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/NotificationRequest.h"
#include "zarn/Value.h"
#include "zarn/ZarnValues.h"

namespace zarn {

class ZarnDelegate;

// Handed to the app's filter with the notifications that matched. The app answers once with
// the ones to show; it may first add entries to their match payload. In this base class the
// answers do nothing; the library hands out its own kind.
class ZarnFilterNotifications {
  public:
    virtual ~ZarnFilterNotifications() = default;
    virtual const std::vector<NotificationRequest>& uiNotifications() const { return uiNotifications_; }
    virtual void showNotifications(const std::vector<NotificationRequest>& notifications);
    virtual void addToMatchPayload(const std::string& key, const Value& value);

  protected:
    std::vector<NotificationRequest> uiNotifications_;
};

// Handed to the app's geotrigger handler with the geotriggers that matched; the app answers
// with the ones it handled.
class ZarnHandleGeotriggers {
  public:
    virtual ~ZarnHandleGeotriggers() = default;
    virtual const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers() const { return geotriggers_; }
    virtual void markGeotriggersHandled(const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers);
    virtual void addToMatchPayload(const std::string& key, const Value& value);

  protected:
    std::vector<std::shared_ptr<ZarnGeotrigger>> geotriggers_;
};

}  // namespace zarn
