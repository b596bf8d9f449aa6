#pragma once
// The library started through its public entry on the simulated device, with the module the
// entry builds, the "Zarn_" broadcasts it made and a restart that keeps what is stored.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "entry/ZarnPModule.h"
#include "sim/service/DataUpdateBuilder.h"
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
    // Saves the update as the exchange would, on the SDK thread of the started module.
    void saveDataUpdate(const sim::DataUpdateDescription& description);

    TestEnvironment env;

  private:
    std::shared_ptr<platform::NotificationCenter> center_ = platform::defaultCenter();
    std::mutex mutex_;
    std::vector<std::string> broadcasts_;
    std::weak_ptr<ZarnPModule> module_;
};

}  // namespace zarn::test
