#include "entry/ZarnPModule.h"

#include "core/ZarnPLogFileAppender.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/push/ZarnPGCMClient.h"
#include "device/system/ZarnPCrashlyticsStubs.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemFenceDao.h"
#include "device/system/ZarnPSystemLocationDao.h"
#include "device/system/ZarnPSystemSLCDao.h"
#include "entry/ZarnPModuleStores.h"
#include "entry/ZarnPZarnInterface.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPLogEventWriter.h"
#include "services/ZarnPNotificationService.h"
#include "services/ZarnPSegmentationService.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSyncDeadline.h"
#include "zarn/ZarnVersion.h"
#include "zarn/platform/FileSystem.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "Module";
constexpr int kSchemaVersion = 22;
// The whole file is read this long after the opening, once the start and its first match run
// are over.
constexpr double kWholeFileCheckDelay = 120;
}  // namespace

ZarnPModule::ZarnPModule(std::shared_ptr<ZarnPZarnConfiguration> configuration,
                         std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator,
                         std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator)
    : ZarnPModule(std::move(configuration), std::move(httpRequestCreator), nullptr, nullptr,
                  std::move(locationManagerCreator), nullptr, nullptr) {}

ZarnPModule::ZarnPModule(std::shared_ptr<ZarnPZarnConfiguration> configuration,
                         std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator,
                         std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                         std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator,
                         std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
                         std::shared_ptr<ZarnPClockDao> clockDao)
    : platform_(platform::current()),
      configuration_(std::move(configuration)),
      db_(std::move(db)),
      clockDao_(std::move(clockDao)),
      timerDao_(std::move(timerDao)),
      facadeForLog_(std::make_shared<std::weak_ptr<ZarnPZarnInterface>>()) {
    setupLogging();
    httpRequestCreator_ = std::move(httpRequestCreator);
    locationManagerCreator_ = std::move(locationManagerCreator);
    // The testing build (anything handed in) does not check the opening thread.
    buildGround(/*testing=*/timerDao_ || deviceDataDao || clockDao_);
    stores_ = std::make_unique<const ZarnPModuleStores>(db_, clockDao_);
    // The region, significant-change and push wrappers start runs of their own.
    auto contextService = std::make_shared<ZarnPContextService>(clockDao_);
    devices_ = buildDeviceWrappers(configuration_ ? configuration_->delegate() : nullptr,
                                   std::move(deviceDataDao), contextService);
    services_ = buildServices(std::move(contextService));
    openDatabase();
    buildEntry();
}

ZarnPModule::~ZarnPModule() {
    if (wholeFileCheck_)
        wholeFileCheck_->invalidate();
    // The platform wrappers hold their delegates strongly and the delegates hold the wrappers:
    // the links are cut on the SDK thread, where the callbacks run, so that both sides go.
    auto& d = devices_;
    if (timerDao_ && (d.fenceDao || d.locationDao || d.systemSlcDao))
        timerDao_->invokeBlockOnRunLoop(
            [fence = d.fenceDao, location = d.locationDao, slc = d.systemSlcDao] {
                if (fence)
                    fence->setDelegate(nullptr);
                if (location)
                    location->setDelegate(nullptr);
                if (slc)
                    slc->setDelegate(nullptr);
            },
            true);
    // The context service reaches the event service, which reaches the exchange and the fence
    // store, which hold the context service again: without this cut the whole graph outlives us.
    if (services_.contextService)
        services_.contextService->setEventService(nullptr);
    auto& logger = ZarnPLogger::instance();
    logger.setErrorRecorder(nullptr);
    if (services_.logEventWriter)
        logger.removeListener(services_.logEventWriter);
    if (logFileAppender_)
        logger.removeListener(logFileAppender_);
    if (interface_)
        interface_->cleanUp();
}

std::shared_ptr<ZarnPPublicFacade> ZarnPModule::interface() {
    return interface_;
}

void ZarnPModule::setupLogging() {
    ZarnPLogger::instance().setErrorRecorder(std::make_shared<ZarnPCrashlyticsErrorRecorder>());
    logFileAppender_ = std::make_shared<ZarnPLogFileAppender>("~/Documents/zarn.log", platform_.fileSystem,
                                                              platform_.timeSource);
    ZarnPLogger::instance().addListener(logFileAppender_);
    LogDebug(kDomain, "Zarn started > %@", kZarnVersion);
}

// What every layer stands on: identifiers, the database object, the clock and the SDK thread.
void ZarnPModule::buildGround(bool testing) {
    uuidGenerator_ = std::make_shared<ZarnPUuidGenerator>();
    if (!db_) {
        auto& fs = platform_.fileSystem;
        db_ = std::make_shared<ZarnPSqLiteDb>(kSchemaVersion, fs->expandTilde("~/Documents/zarn.db"), fs);
        if (testing)
            db_->disableThreadCheck();
    }
    // The clock depends on nothing; it comes first because the contextual page table dates its rows.
    if (!clockDao_)
        clockDao_ = std::make_shared<ZarnPSystemClockDao>(platform_.timeSource);
    if (!timerDao_)
        timerDao_ = std::make_shared<ZarnPSystemTimerDao>(platform_.timeSource, platform::mainRunLoop(),
                                                          platform_.application);
}

void ZarnPModule::openDatabase() {
    syncDeadline_ =
        std::make_shared<ZarnPSyncDeadline>(db_, timerDao_, platform_.notificationCenter,
                                            [tasks = devices_.backgroundTaskDao]() -> std::shared_ptr<void> {
                                                return tasks ? tasks->startBackgroundTask() : nullptr;
                                            });
    syncDeadline_->start();
    auto db = db_;
    // Damage a statement meets while the library runs is taken to the new file once the task that
    // met it has ended: the stores it ran for are done with the connection then.
    db_->setDamageListener([weakDb = std::weak_ptr<ZarnPSqLiteDb>(db_),
                            weakTimerDao = std::weak_ptr<ZarnPSystemTimerDao>(timerDao_)] {
        if (auto timerDao = weakTimerDao.lock())
            timerDao->invokeBlockOnRunLoop(
                [weakDb] {
                    if (auto db = weakDb.lock())
                        db->setAsideIfDamaged();
                },
                false);
    });
    timerDao_->invokeBlockOnRunLoop([db] { db->database(); }, false);
    wholeFileCheck_ = timerDao_->runLoop()->addTimer(
        kWholeFileCheckDelay, false, [weakDb = std::weak_ptr<ZarnPSqLiteDb>(db_), clock = clockDao_] {
            if (auto db = weakDb.lock())
                db->checkWholeFileIfDue(clock->now());
        });
}

}  // namespace zarn
