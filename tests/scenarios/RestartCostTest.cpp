// What a first start and a restart of an enabled library cost the device through the public entry: a handful
// of commits, and no read of the whole file on the way to "Zarn_Initialized".
#include <gtest/gtest.h>

#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/StartedLibrary.h"

namespace zarn {
namespace {

class RestartCostTest : public test::StartedLibraryTest {};

TEST_F(RestartCostTest, AFirstStartAndARestartCommitAHandfulOfTimesAndARestartReadsNotTheWholeFile) {
    auto& vfs = test::SyncCountingVfs::install();  // before the library opens its file
    vfs.reset();
    initialize();
    // The opening's own few, then the configuration's settings, the enabling with its event and
    // the phone's state each in one commit.
    EXPECT_LE(vfs.syncs(), 13u);
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
