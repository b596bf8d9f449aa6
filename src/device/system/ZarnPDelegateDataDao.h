#pragma once
#include <memory>

#include "platform/Mutex.h"

namespace zarn {

class ZarnDelegate;

// Which optional callbacks the app's delegate implements. Holds the delegate strongly. Any
// thread.
class ZarnPDelegateDataDao {
  public:
    explicit ZarnPDelegateDataDao(std::shared_ptr<ZarnDelegate> delegate);
    virtual ~ZarnPDelegateDataDao() = default;

    std::shared_ptr<ZarnDelegate> zarnDelegate() const;
    void setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate);

    virtual bool hasNotificationFilter();
    virtual bool hasCustomNotificationHandler();
    virtual bool hasCustomGeotriggerHandler();

  private:
    mutable Mutex mutex_;
    std::shared_ptr<ZarnDelegate> delegate_ ZARN_GUARDED_BY(mutex_);
};

}  // namespace zarn
