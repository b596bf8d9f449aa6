#pragma once
#include <memory>
#include <string>

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
class ZarnPUINotificationDao;

// The facade's configuration road: on the SDK thread it reads the configuration file when the
// launch asks for it, lets the app's delegate change the configuration on the main thread, then
// applies it: token, region limit, background location and permission switches, and on the
// first application enabling, "Zarn_Initialized" and the heartbeat. No hop here waits.
class ZarnPConfigurationRoad {
  public:
    struct Collaborators {
        std::shared_ptr<ZarnPKeyValueDao> keyValueDao;
        std::shared_ptr<ZarnPFileConfigDao> fileConfigDao;
        std::shared_ptr<ZarnPEventService> eventService;
        std::shared_ptr<ZarnPPushMessaging> gcmClient;
        std::shared_ptr<ZarnPSignificantChangeMonitoring> slcDao;
        std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao;
        std::shared_ptr<ZarnPHeartbeatScheduling> heartbeatService;
        std::shared_ptr<ZarnPDeviceIdDao> deviceIdDao;
        std::shared_ptr<ZarnPSqLiteDb> db;  // optional: without it each write commits on its own
    };

    // The roads it calls on belong to the same facade and live as long as this one.
    ZarnPConfigurationRoad(Collaborators c, ZarnPFacadeState& state, const ZarnPFacadeHops& hops,
                           ZarnPEnablingRoad& enabling, ZarnPOperationsRoad& operations);

    // Posts the loading of the configuration the facade is built with (any thread).
    void start(std::shared_ptr<ZarnPZarnConfiguration> configuration);
    // Posts the application of a later configuration: no file, no callback, no enabling.
    void reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration);

  private:
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
