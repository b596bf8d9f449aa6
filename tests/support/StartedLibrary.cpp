#include "tests/support/StartedLibrary.h"

#include "entry/ZarnBaseTesting.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"

namespace zarn::test {

void StartedLibraryTest::SetUp() {
    testing::resetEntry();
    testing::setModuleFactory([this](std::shared_ptr<ZarnPZarnConfiguration> configuration) {
        auto ground = std::make_shared<ModuleGround>();
        auto built = ground->build(std::move(configuration));
        std::lock_guard lk(mutex_);
        module_ = built;
        ground_ = std::move(ground);
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
    std::shared_ptr<ModuleGround> ground;
    {
        std::lock_guard lk(mutex_);
        ground.swap(ground_);
        broadcasts_.clear();
    }
    // The process's file and SDK thread end with it.
    ground.reset();
    env.runUntilIdle();
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

std::shared_ptr<ModuleGround> StartedLibraryTest::ground() {
    std::lock_guard lk(mutex_);
    return ground_;
}

void StartedLibraryTest::saveDataUpdate(const sim::DataUpdateDescription& description) {
    auto bytes = sim::DataUpdateBuilder::build(description);
    auto g = ground();
    ASSERT_TRUE(g);
    g->onSdk([&] { g->saveDataUpdate(bytes); });
}

}  // namespace zarn::test
