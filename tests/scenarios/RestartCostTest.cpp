// What a restart of an enabled library costs the device through the public entry: a handful of
// commits, and no read of the whole file on the way to "Zarn_Initialized".
#include <gtest/gtest.h>

#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/StartedLibrary.h"

namespace zarn {
namespace {

class RestartCostTest : public test::StartedLibraryTest {};

TEST_F(RestartCostTest, RestartCommitsAtMostSixTimesAndReadsNotTheWholeFile) {
    auto& vfs = test::SyncCountingVfs::install();  // before the library opens its file
    initialize();
    env.advanceBy(200);
    restart();
    long long pages = test::RawSqlite(env.path("Documents/zarn.db")).integer("PRAGMA page_count");
    ASSERT_GT(pages, 50);

    vfs.reset();
    initialize();
    EXPECT_EQ(broadcasts().at(0), "Zarn_Initialized");
    EXPECT_LE(vfs.syncs(), 6u);
    EXPECT_LT(vfs.databaseReads(), static_cast<uint64_t>(pages / 4));
}

}  // namespace
}  // namespace zarn
