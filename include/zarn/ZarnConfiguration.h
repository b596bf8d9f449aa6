#pragma once
#include <memory>
#include <optional>
#include <string>

namespace zarn {

class ZarnDelegate;

// The app's configuration. Create one with ZarnConfiguration::create(); the library accepts
// only the kind that create() makes (subclassing is not supported and is refused at
// initialisation). Not thread-safe: configure it on one thread, then hand it over.
class ZarnConfiguration {
  public:
    virtual ~ZarnConfiguration() = default;
    static std::shared_ptr<ZarnConfiguration> create();

    std::optional<std::string> publicToken() const { return publicToken_; }
    void setPublicToken(std::optional<std::string> token) { publicToken_ = std::move(token); }
    std::shared_ptr<ZarnDelegate> delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ZarnDelegate> delegate) { delegate_ = std::move(delegate); }
    // True by default: the first configuration of a launch enables the library while no
    // enable() or disable() has ever been stored (and the stored settings can be read), nor made
    // while that configuration was on its way; once one has, that choice stands, whatever this
    // says. A re-initialisation does not read it.
    bool enableOnFirstRun() const { return enableOnFirstRun_; }
    void setEnableOnFirstRun(bool v) { enableOnFirstRun_ = v; }
    int maxRegionsMonitored() const { return maxRegionsMonitored_; }
    void setMaxRegionsMonitored(int v) { maxRegionsMonitored_ = v; }
    bool automaticallyAskLocationPermission() const { return automaticallyAskLocationPermission_; }
    void setAutomaticallyAskLocationPermission(bool v) { automaticallyAskLocationPermission_ = v; }
    bool automaticallyAskNotificationPermission() const { return automaticallyAskNotificationPermission_; }
    void setAutomaticallyAskNotificationPermission(bool v) { automaticallyAskNotificationPermission_ = v; }
    bool provisionalNotificationPermission() const { return provisionalNotificationPermission_; }
    void setProvisionalNotificationPermission(bool v) { provisionalNotificationPermission_ = v; }
    bool quickSyncDisabled() const { return quickSyncDisabled_; }
    void setQuickSyncDisabled(bool v) { quickSyncDisabled_ = v; }
    bool enableBackgroundLocation() const { return enableBackgroundLocation_; }
    void setEnableBackgroundLocation(bool v) { enableBackgroundLocation_ = v; }

  protected:
    ZarnConfiguration() = default;

  private:
    std::optional<std::string> publicToken_;
    std::shared_ptr<ZarnDelegate> delegate_;
    bool enableOnFirstRun_ = true;
    int maxRegionsMonitored_ = 20;
    bool automaticallyAskLocationPermission_ = true;
    bool automaticallyAskNotificationPermission_ = true;
    bool provisionalNotificationPermission_ = false;
    bool quickSyncDisabled_ = false;
    bool enableBackgroundLocation_ = true;
};

}  // namespace zarn
