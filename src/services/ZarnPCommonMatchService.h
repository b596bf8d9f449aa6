#pragma once
#include <memory>

#include "core/ZarnPMatchServiceOfferNotificationDelegate.h"

namespace zarn {

// PLACEHOLDER until the common matching is built: only keeps its offer delegate.
class ZarnPCommonMatchService {
  public:
    virtual ~ZarnPCommonMatchService() = default;
    void setDelegate(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> d) {
        delegate_ = std::move(d);
    }
    std::shared_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate() const { return delegate_.lock(); }

  private:
    std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> delegate_;
};

}  // namespace zarn
