// The module's device layer: the wrappers over the platform, the public debug log, and the
// exchange with the service with the saving of what it fetches.
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/push/ZarnPGCMClient.h"
#include "device/system/ZarnPBatteryDao.h"
#include "device/system/ZarnPDelegateDataDao.h"
#include "device/system/ZarnPFileConfigDao.h"
#include "device/system/ZarnPNetworkDao.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemDeviceDataDao.h"
#include "device/system/ZarnPSystemFenceDao.h"
#include "device/system/ZarnPSystemLocationDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemSLCDao.h"
#include "device/system/ZarnPSystemUINotificationDao.h"
#include "entry/ZarnPModule.h"
#include "entry/ZarnPModuleStores.h"
#include "entry/ZarnPZarnInterface.h"
#include "services/ZarnPContextService.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/settings/ZarnPDeviceIdDao.h"

namespace zarn {

ZarnPModule::DeviceWrappers ZarnPModule::buildDeviceWrappers(
    const std::shared_ptr<ZarnDelegate>& delegate, std::shared_ptr<ZarnPDeviceDataDao> givenDeviceData,
    const std::shared_ptr<ZarnPContextService>& contextService) const {
    DeviceWrappers d;
    d.deviceDataDao = std::move(givenDeviceData);
    buildSystemWrappers(d, delegate);
    buildExchange(d, contextService);
    return d;
}

void ZarnPModule::buildSystemWrappers(DeviceWrappers& d,
                                      const std::shared_ptr<ZarnDelegate>& delegate) const {
    auto& keyValueDao = stores_->keyValueDao;
    d.backgroundTaskDao = std::make_shared<ZarnPSystemBackgroundTaskDao>(timerDao_, platform_.backgroundTasks,
                                                                         platform_.application);
    d.httpDao = std::make_shared<ZarnPHttpDao>(
        d.backgroundTaskDao,
        [](const std::vector<std::uint8_t>& bytes) { return ZarnPDataUpdateReader::read(bytes); },
        httpRequestCreator_, platform_.serviceBaseAddress);
    d.deviceIdDao = std::make_shared<ZarnPDeviceIdDao>(uuidGenerator_, keyValueDao);
    // The reachability of the connection type is read for the host of the installed address.
    d.networkDao = std::make_shared<ZarnPNetworkDao>(ZarnPHttpDao::hostOf(platform_.serviceBaseAddress),
                                                     platform_.reachability);
    d.batteryDao = std::make_shared<ZarnPBatteryDao>(platform_.battery);
    if (!d.deviceDataDao)
        d.deviceDataDao = std::make_shared<ZarnPSystemDeviceDataDao>(keyValueDao, timerDao_, platform_);
    d.fileConfigDao = std::make_shared<ZarnPFileConfigDao>(platform_.libraryBundle, platform_.mainBundle,
                                                           platform_.fileSystem);
    d.uiNotificationDao = std::make_shared<ZarnPSystemUINotificationDao>(
        timerDao_, platform_.localNotificationCenter, platform_.deviceInfo);
    d.locationDao = std::make_shared<ZarnPSystemLocationDao>(timerDao_, clockDao_, locationManagerCreator_);
    d.delegateDataDao = std::make_shared<ZarnPDelegateDataDao>(delegate);
    // The export header reads the facade's flag as it stands: the public isEnabled could wait
    // for the SDK thread, which is where the export runs.
    d.publicLogDao = std::make_shared<ZarnPSystemPublicLogDao>(
        clockDao_, d.deviceDataDao, d.delegateDataDao, platform_.fileSystem, platform_.timeSource,
        [facade = facadeForLog_] {
            auto self = facade->lock();
            return self && self->isEnabledWithoutWaiting();
        });
}

void ZarnPModule::buildExchange(DeviceWrappers& d,
                                const std::shared_ptr<ZarnPContextService>& contextService) const {
    auto& keyValueDao = stores_->keyValueDao;
    d.dataUpdateSaveOrchestrator =
        std::make_shared<ZarnPSqLiteDataUpdateSaveOrchestrator>(db_, d.publicLogDao);
    d.dataUpdateDaos = ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db_);
    d.fenceDao = std::make_shared<ZarnPSystemFenceDao>(nullptr, d.backgroundTaskDao, keyValueDao, timerDao_,
                                                       contextService, platform_.locationManagerFactory,
                                                       platform_.locationAuthorization);
    d.dataUpdateDao = ZarnPDataUpdateDao::create(ZarnPDataUpdateDao::Collaborators{
        .httpDao = d.httpDao,
        .deviceIdDao = d.deviceIdDao,
        .networkDao = d.networkDao,
        .batteryDao = d.batteryDao,
        .geohashReadDao = stores_->geohashReadDao,
        .fenceDao = d.fenceDao,
        .publicLogDao = d.publicLogDao,
        .keyValueDao = keyValueDao,
        .clockDao = clockDao_,
        .save =
            [orchestrator = d.dataUpdateSaveOrchestrator](
                const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& root,
                const std::shared_ptr<ZarnPContext>& context) {
                auto result = orchestrator->save(root, context);
                return ZarnPDataUpdateSaveOutcome{
                    .deleteAllOldData = result.deleteAllOldData(),
                    .beaconUuids = {result.beaconUuids().begin(), result.beaconUuids().end()},
                    .storedBeaconUuids = {result.storedBeaconUuids().begin(),
                                          result.storedBeaconUuids().end()},
                };
            },
        .invalidateCache = [read = stores_->notificationReadDao] { read->invalidate(); },
    });
    d.systemSlcDao = std::make_shared<ZarnPSystemSLCDao>(timerDao_, clockDao_, d.backgroundTaskDao,
                                                         contextService, platform_.locationManagerFactory,
                                                         platform_.locationAuthorization);
    d.slcDao = d.systemSlcDao;
    d.gcmClient =
        std::make_shared<ZarnPGCMClient>(keyValueDao, timerDao_, contextService, platform_.pushMessaging,
                                         platform_.deviceInfo, platform_.notificationCenter);
}

}  // namespace zarn
