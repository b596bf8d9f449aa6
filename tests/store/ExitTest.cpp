// The SDK thread is never stopped, so it may still be logging while the process exits and runs
// its static destructors. Nothing it reads on the way may be destroyed by then.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/ZarnPSystemTimerDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

[[noreturn]] void exitWhileTheSdkThreadLogs(const std::string& home) {
    auto timeSource = std::make_shared<platform::SystemTimeSource>();
    auto timer = std::make_shared<ZarnPSystemTimerDao>(timeSource, platform::mainRunLoop(),
                                                       platform::current().application);
    auto db = std::make_shared<ZarnPSqLiteDb>(22, home + "/exit.db", zarn::platform::current().fileSystem);
    db->disableThreadCheck();
    auto settings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
    static std::atomic<int> writes{0};
    // A refused write logs an ERROR line in the store's domain, over and over.
    timer->invokeBlockOnRunLoop(
        [settings] {
            for (;;) {
                settings->setPropertyValue(std::nullopt, "zarn_enabled");
                writes.fetch_add(1);
            }
        },
        false);
    while (writes.load() < 200) {
    }
    std::exit(0);
}

TEST(ExitDeathTest, ExitingWhileTheSdkThreadLogsReportsNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    test::TestEnvironment env;
    EXPECT_EXIT(exitWhileTheSdkThreadLogs(env.home), ::testing::ExitedWithCode(0),
                ::testing::Not(::testing::HasSubstr("Sanitizer")));
}

}  // namespace
}  // namespace zarn
