// The public region trigger: a type other than "enter" or "exit" is refused at the entry with an
// error line and starts nothing; a valid one reaches the external-region entry, which starts its
// background task.
#include <gtest/gtest.h>

#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"

namespace zarn {
namespace {

class ExternalRegionTriggerTest : public test::StartedLibraryTest {};

TEST_F(ExternalRegionTriggerTest, OnlyEnterAndExitReachTheExternalRegionEntry) {
    initialize();
    ASSERT_TRUE(ZarnBase::isEnabled());
    const Value region = Value::array({{{"kind", "store"}}});
    auto begun = [&] { return env.device->backgroundTasks()->begunBackgroundTasks().size(); };

    for (const char* type : {"sideways", "EXIT", ""}) {
        auto before = begun();
        auto errors = env.consoleCount("ERROR|Zarn| Ignoring external region trigger of unknown type -1");
        ZarnBase::externalRegionTrigger(region, type, Value{{"visit", "1"}});
        env.runUntilIdle();
        EXPECT_EQ(begun(), before) << type;
        EXPECT_EQ(env.consoleCount("ERROR|Zarn| Ignoring external region trigger of unknown type -1"),
                  errors + 1)
            << type;
    }

    auto before = begun();
    ZarnBase::externalRegionTrigger(region, "exit");
    env.runUntilIdle();
    EXPECT_GT(begun(), before);
}

}  // namespace
}  // namespace zarn
