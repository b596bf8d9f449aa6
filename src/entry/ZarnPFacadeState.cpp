#include "entry/ZarnPFacadeState.h"

namespace zarn {

std::shared_ptr<ZarnDelegate> ZarnPFacadeState::delegate() const {
    MutexLock lk(mutex_);
    return delegate_;
}

void ZarnPFacadeState::setDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    MutexLock lk(mutex_);
    delegate_ = std::move(delegate);
}

void ZarnPFacadeState::setInitialized() {
    {
        MutexLock lk(mutex_);
        isInitialized_ = true;
    }
    initializedCv_.notify_all();
}

bool ZarnPFacadeState::enabledWaitingForInitialization(std::chrono::milliseconds limit) {
    UniqueMutexLock lk(mutex_);
    lk.waitFor(initializedCv_, limit, [&] { return isInitialized_.load(); });
    return enabled_.load();
}

}  // namespace zarn
