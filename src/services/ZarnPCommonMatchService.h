#pragma once
#include <memory>

#include "services/ZarnPNotificationOffering.h"

namespace zarn {

// PLACEHOLDER until the common matching is built: only keeps its offer delegate.
class ZarnPCommonMatchService : public ZarnPNotificationOffering {
  public:
    void setDelegate(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> d) override {
        delegate_ = std::move(d);
    }
    std::shared_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate() const override {
        return delegate_.lock();
    }

  private:
    std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate_;
};

}  // namespace zarn
