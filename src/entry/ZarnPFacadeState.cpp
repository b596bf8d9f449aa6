#include "entry/ZarnPFacadeState.h"

namespace zarn {

std::shared_ptr<ZarnDelegate> ZarnPFacadeState::delegate() const {
    std::lock_guard lk(mutex_);
    return delegate_;
}

void ZarnPFacadeState::setDelegate(std::shared_ptr<ZarnDelegate> delegate) {
    std::lock_guard lk(mutex_);
    delegate_ = std::move(delegate);
}

void ZarnPFacadeState::setInitialized() {
    {
        std::lock_guard lk(mutex_);
        isInitialized_ = true;
    }
    initializedCv_.notify_all();
}

bool ZarnPFacadeState::enabledWaitingForInitialization(std::chrono::milliseconds limit) {
    std::unique_lock lk(mutex_);
    initializedCv_.wait_for(lk, limit, [&] { return isInitialized_.load(); });
    return enabled_.load();
}

}  // namespace zarn
