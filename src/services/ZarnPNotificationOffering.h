#pragma once
#include <memory>

#include "services/ZarnPMatchServiceOfferNotificationDelegate.h"

namespace zarn {

// The common match service as the facade links itself in: the facade receives what a match
// run offers to the app. Set during the build, before any run.
class ZarnPNotificationOffering {
  public:
    virtual ~ZarnPNotificationOffering() = default;
    virtual void setDelegate(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate) = 0;
    virtual std::shared_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate() const = 0;
};

}  // namespace zarn
