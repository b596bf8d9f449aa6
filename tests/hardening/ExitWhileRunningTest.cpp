// The app exits while the started library is busy on its SDK thread: the exit handlers must not
// destroy anything that thread still reads (the sanitizer presets report it if they do).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"

namespace zarn {
namespace {

class ExitWhileRunningDeathTest : public test::StartedLibraryTest {
  protected:
    [[noreturn]] void startThenExitWhileBusy() {
        initialize();
        static std::atomic<int> calls{0};
        // Each call hops to the SDK thread, writes a setting and logs; the app keeps calling.
        std::thread([] {
            for (;;) {
                ZarnBase::setStringSegmentationProperty("value", "key");
                ZarnBase::sendAttributionEvent("busy");
                calls.fetch_add(1);
            }
        }).detach();
        while (calls.load() < 200) {
        }
        std::exit(0);
    }
};

TEST_F(ExitWhileRunningDeathTest, ExitDuringWritesAndLogLinesReportsNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startThenExitWhileBusy(), ::testing::ExitedWithCode(0),
                ::testing::Not(::testing::HasSubstr("Sanitizer")));
}

}  // namespace
}  // namespace zarn
