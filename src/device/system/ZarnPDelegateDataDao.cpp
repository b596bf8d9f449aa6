#include "device/system/ZarnPDelegateDataDao.h"

#include "zarn/ZarnDelegate.h"

namespace zarn {

ZarnPDelegateDataDao::ZarnPDelegateDataDao(std::shared_ptr<ZarnDelegate> delegate)
    : delegate_(std::move(delegate)) {}

std::shared_ptr<ZarnDelegate> ZarnPDelegateDataDao::zarnDelegate() const {
    MutexLock lk(mutex_);
    return delegate_;
}

void ZarnPDelegateDataDao::setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    MutexLock lk(mutex_);
    delegate_ = std::move(delegate);
}

bool ZarnPDelegateDataDao::hasNotificationFilter() {
    auto d = zarnDelegate();
    return d && static_cast<bool>(d->zarnFilterNotifications);
}

bool ZarnPDelegateDataDao::hasCustomNotificationHandler() {
    auto d = zarnDelegate();
    return d && (static_cast<bool>(d->zarnHandleNotificationData) ||
                 static_cast<bool>(d->zarnHandleNotificationResponse));
}

bool ZarnPDelegateDataDao::hasCustomGeotriggerHandler() {
    auto d = zarnDelegate();
    return d && static_cast<bool>(d->zarnHandleGeotriggers);
}

}  // namespace zarn
