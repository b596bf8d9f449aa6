#pragma once
// What a module stands on (the SDK thread's timer wrapper, the database object and the clock),
// built by the test as the module builds them by default and handed to it: the test reaches the
// SDK thread, the file and the clock through objects of its own, and the module it builds is the
// one the entry would build. Stores of the test's own on the same file read and write the
// module's tables; they are built at first use, after the module's, so that only the module's
// migrate. Like every store they belong to the SDK thread (onSdk). Header only: the benchmarks
// and the fuzz targets use it too.
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/ZarnPEvent.h"
#include "core/ZarnPPublicLogging.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"
#include "device/system/ZarnPLocationManagerCreatorImpl.h"
#include "entry/ZarnPModule.h"
#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/SdkThread.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"

namespace zarn::test {

class ModuleGround {
  public:
    // On the installed platform, as the module's own build makes them.
    ModuleGround()
        : db(std::make_shared<ZarnPSqLiteDb>(
              22, platform::current().fileSystem->expandTilde("~/Documents/zarn.db"),
              platform::current().fileSystem)),
          timerDao(std::make_shared<ZarnPSystemTimerDao>(
              platform::current().timeSource, platform::mainRunLoop(), platform::current().application)),
          clock(std::make_shared<ZarnPSystemClockDao>(platform::current().timeSource)) {}
    ModuleGround(const ModuleGround&) = delete;
    ModuleGround& operator=(const ModuleGround&) = delete;

    // The module the public entry builds, on this ground.
    std::shared_ptr<ZarnPModule> build(std::shared_ptr<ZarnPZarnConfiguration> configuration) const {
        auto services = platform::current();
        return std::make_shared<ZarnPModule>(
            std::move(configuration), std::make_shared<ZarnPHttpRequestCreatorImpl>(services.httpClient), db,
            timerDao,
            std::make_shared<ZarnPLocationManagerCreatorImpl>(services.locationManagerFactory,
                                                              services.locationAuthorization),
            nullptr, clock);
    }

    // Runs `f` on the SDK thread (inline when already there) and waits for it; its answer.
    template <typename F>
    auto onSdk(F f) const {
        return onSdkThread(timerDao, std::move(f));
    }

    // SDK thread only, as the stores are.
    const std::shared_ptr<ZarnPSqLiteEventDao>& events() {
        if (!events_)
            events_ = std::make_shared<ZarnPSqLiteEventDao>(db);
        return events_;
    }
    const std::shared_ptr<ZarnPKeyValueDao>& settings() {
        if (!settings_) {
            strings_ = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
            settings_ = strings_->keyValueDao();
        }
        return settings_;
    }
    // The stored events, read on the SDK thread (any thread).
    std::vector<std::shared_ptr<ZarnPEvent>> storedEvents() {
        return onSdk([&] { return events()->getEvents(); });
    }
    // The first column of the first row of `sql` as a number, -1 without one (SDK thread).
    long long count(const std::string& sql) const {
        auto rs = db->database() ? db->database()->executeQuery(sql) : nullptr;
        return rs && rs->next() ? rs->longForColumnIndex(0) : -1;
    }
    // Saves the update into the file as the exchange's save does (SDK thread). The module's
    // nearest cache and monitored regions do not hear of it: a test reads past the cache or
    // starts the library again.
    void saveDataUpdate(const std::vector<std::uint8_t>& bytes) {
        class SilentPublicLog final : public ZarnPPublicLogging {
          public:
            void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>&, std::string_view,
                                                 const std::vector<FormatArg>&) override {}
        };
        ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(db, std::make_shared<SilentPublicLog>());
        orchestrator.save(*com::zarnkit::velto::dataupdate::fb::GetDataUpdateResponseDTO(bytes.data()),
                          nullptr);
    }

    const std::shared_ptr<ZarnPSqLiteDb> db;
    const std::shared_ptr<ZarnPSystemTimerDao> timerDao;
    const std::shared_ptr<ZarnPClockDao> clock;

  private:
    std::shared_ptr<ZarnPSqLiteEventDao> events_;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings_;
    std::shared_ptr<ZarnPKeyValueDao> settings_;
};

}  // namespace zarn::test
