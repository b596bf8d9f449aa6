#include "tests/support/StartedLibrary.h"

#include "core/ZarnPSystemTimerDao.h"
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "entry/ZarnBaseTesting.h"
#include "entry/ZarnPModuleFactory.h"
#include "schema/dataupdate_generated.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"

namespace zarn::test {

void StartedLibraryTest::SetUp() {
    testing::resetEntry();
    testing::setModuleFactory([this](std::shared_ptr<ZarnPZarnConfiguration> configuration) {
        auto built = buildDefaultModule(std::move(configuration));
        std::lock_guard lk(mutex_);
        module_ = std::dynamic_pointer_cast<ZarnPModule>(built);
        return built;
    });
    center_->addObserver(this, "", [this](const platform::Broadcast& b) {
        if (b.name.rfind("Zarn_", 0) != 0)
            return;
        std::lock_guard lk(mutex_);
        broadcasts_.push_back(b.name);
    });
}

void StartedLibraryTest::TearDown() {
    center_->removeObserver(this);
    restart();
    testing::setModuleFactory(nullptr);
}

void StartedLibraryTest::restart() {
    testing::resetEntry();
    env.runUntilIdle();
    std::lock_guard lk(mutex_);
    broadcasts_.clear();
}

void StartedLibraryTest::initialize(bool enableOnFirstRun) {
    auto c = ZarnConfiguration::create();
    c->setPublicToken(std::string("token-1"));
    c->setEnableOnFirstRun(enableOnFirstRun);
    c->setDelegate(std::make_shared<ZarnDelegate>());
    ZarnBase::performInitializationWithConfiguration(c);
    env.runUntilIdle();
}

std::vector<std::string> StartedLibraryTest::broadcasts() {
    std::lock_guard lk(mutex_);
    return broadcasts_;
}

std::shared_ptr<ZarnPModule> StartedLibraryTest::module() {
    std::lock_guard lk(mutex_);
    return module_.lock();
}

void StartedLibraryTest::saveDataUpdate(const sim::DataUpdateDescription& description) {
    auto bytes = sim::DataUpdateBuilder::build(description);
    auto m = module();
    ASSERT_TRUE(m);
    m->timerDao()->invokeBlockOnRunLoop(
        [&] {
            m->dataUpdateDao()->saveDataUpdate(
                com::zarnkit::velto::dataupdate::fb::GetDataUpdateResponseDTO(bytes.data()), nullptr);
        },
        true);
}

}  // namespace zarn::test
