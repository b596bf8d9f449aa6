#pragma once
#include <memory>
#include <string>

#include "core/ZarnPCollaborator.h"
#include "entry/ZarnPApplyConfigData.h"

namespace zarn {

class ZarnPDeviceIdDao;
class ZarnPEnablingRoad;
class ZarnPEventService;
class ZarnPFacadeHops;
class ZarnPFacadeState;
class ZarnPFileConfigDao;
class ZarnPHeartbeatScheduling;
class ZarnPKeyValueDao;
class ZarnPOperationsRoad;
class ZarnPPushMessaging;
class ZarnPSignificantChangeMonitoring;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;
class ZarnPUINotificationDao;
namespace platform {
class Bundle;
}

// The facade's configuration road: it fixes the launch from the configuration the facade starts
// with (a debug launch, the push sandbox, the file, the public debug log switched on); then on the
// SDK thread it reads the configuration file when the launch asks for it, lets the app's delegate
// change the configuration on the main thread, and applies it: token, region limit, background
// location and permission switches, and on the first application enabling, "Zarn_Initialized"
// and the heartbeat. No hop here waits.
class ZarnPConfigurationRoad {
  public:
    struct Collaborators {
        ZarnPRequired<ZarnPKeyValueDao> keyValueDao;
        ZarnPRequired<ZarnPFileConfigDao> fileConfigDao;
        ZarnPRequired<ZarnPEventService> eventService;
        ZarnPRequired<ZarnPPushMessaging> gcmClient;
        ZarnPRequired<ZarnPSignificantChangeMonitoring> slcDao;
        ZarnPRequired<ZarnPUINotificationDao> uiNotificationDao;
        ZarnPRequired<ZarnPHeartbeatScheduling> heartbeatService;
        ZarnPRequired<ZarnPDeviceIdDao> deviceIdDao;
        ZarnPRequired<ZarnPSqLiteDb> db;                      // a configuration's settings commit together
        ZarnPRequired<ZarnPSystemPublicLogDao> publicLogDao;  // switched on for a debug launch
        ZarnPOptional<platform::Bundle> mainBundle;           // its display name marks our own app
    };

    // The roads it calls on belong to the same facade and live as long as this one.
    ZarnPConfigurationRoad(Collaborators c, ZarnPFacadeState& state, const ZarnPFacadeHops& hops,
                           ZarnPEnablingRoad& enabling, ZarnPOperationsRoad& operations);

    // Fixes the launch and the app's delegate from the configuration the facade is built with
    // (none: a plain launch without a delegate), then posts its loading (any thread).
    void start(std::shared_ptr<ZarnPZarnConfiguration> configuration);
    // Posts the application of a later configuration: no file, no callback, no enabling.
    void reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration);

  private:
    void fixLaunch(const std::shared_ptr<ZarnPZarnConfiguration>& configuration);
    void callDelegateForConfig(ZarnPApplyConfigData data);
    void callDelegateForConfigOnMainThread(ZarnPApplyConfigData data);
    void applyConfig(ZarnPApplyConfigData data);
    void setPublicToken(const std::string& token);
    void setMaxRegionsMonitored(int maxRegions, bool backgroundLocationEnabled);
    void enableIfEnabled(bool enableOnFirstRun);
    void informInitializationComplete();

    Collaborators c_;
    ZarnPFacadeState& state_;
    const ZarnPFacadeHops& hops_;
    ZarnPEnablingRoad& enabling_;
    ZarnPOperationsRoad& operations_;
};

}  // namespace zarn
