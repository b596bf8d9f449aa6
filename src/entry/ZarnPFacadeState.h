#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>

#include "platform/Mutex.h"
#include "zarn/ZarnDelegate.h"

namespace zarn {

// What the facade's roads share: the enabled and initialised flags, the app's delegate and the
// flags the first configuration fixes. Readable from any thread; the flags change on the SDK
// thread, the delegate from any thread.
class ZarnPFacadeState {
  public:
    // Fixed at the start, before the first hop.
    struct Launch {
        bool debug = false;
        bool fileConfig = false;
        bool apnsSandbox = false;
    };

    void setLaunch(Launch launch) { launch_ = launch; }
    const Launch& launch() const { return launch_; }

    std::shared_ptr<ZarnDelegate> delegate() const;
    void setDelegate(std::shared_ptr<ZarnDelegate> delegate);

    bool enabled() const { return enabled_.load(); }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool initialized() const { return isInitialized_.load(); }
    bool initializedAndEnabled() const { return initialized() && enabled(); }
    // Wakes whoever waits for the first configuration.
    void setInitialized();
    // The enabled flag once initialised, or as it stands after `limit`.
    bool enabledWaitingForInitialization(std::chrono::milliseconds limit);

    // The app's own enable and disable calls, counted when made, on the calling thread: a step of
    // the library's own that was on its way then yields to the choice (see ZarnPEnablingRoad).
    uint64_t noteAppChoice() { return ++appChoices_; }
    uint64_t appChoices() const { return appChoices_.load(); }

    bool quickSyncDisabled() const { return quickSyncDisabled_.load(); }
    void setQuickSyncDisabled(bool disabled) { quickSyncDisabled_ = disabled; }
    bool enableBackgroundLocation() const { return enableBackgroundLocation_.load(); }
    void setEnableBackgroundLocation(bool enable) { enableBackgroundLocation_ = enable; }

  private:
    Launch launch_;
    mutable Mutex mutex_;
    std::shared_ptr<ZarnDelegate> delegate_ ZARN_GUARDED_BY(mutex_);
    std::condition_variable initializedCv_;
    std::atomic<bool> enabled_{false};
    std::atomic<bool> isInitialized_{false};
    std::atomic<uint64_t> appChoices_{0};
    std::atomic<bool> quickSyncDisabled_{false};
    std::atomic<bool> enableBackgroundLocation_{true};
};

}  // namespace zarn
