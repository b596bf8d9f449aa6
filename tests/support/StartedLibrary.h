#pragma once
// The library started through its public entry on the simulated device, with the module the
// entry builds on a ground the test holds (ModuleGround: the SDK thread, the file, the clock), the
// "Zarn_" broadcasts it made and a restart that keeps what is stored.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "entry/ZarnPModule.h"
#include "sim/service/DataUpdateBuilder.h"
#include "tests/support/ModuleGround.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn::test {

class StartedLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The process ends: the module goes, what is stored stays.
    void restart();
    void initialize(bool enableOnFirstRun = true);
    std::vector<std::string> broadcasts();
    // The module the entry built at the last initialisation (null before it).
    std::shared_ptr<ZarnPModule> module();
    // What that module stands on; it goes with the module at a restart (null before it).
    std::shared_ptr<ModuleGround> ground();
    // Saves the update into the started module's file on its SDK thread, as the exchange's save
    // does (the module's nearest cache does not hear of it).
    void saveDataUpdate(const sim::DataUpdateDescription& description);

    TestEnvironment env;

  private:
    std::shared_ptr<platform::NotificationCenter> center_ = platform::defaultCenter();
    std::mutex mutex_;
    std::vector<std::string> broadcasts_;
    std::weak_ptr<ZarnPModule> module_;
    std::shared_ptr<ModuleGround> ground_;
};

}  // namespace zarn::test
