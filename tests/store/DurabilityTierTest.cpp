// The two durability tiers on one file: what each kind of commit costs in commits written to the
// log and in fdatasync calls, and what a power cut leaves of them. A commit of the Normal tier
// writes the log without a sync, one of the Full tier (or one a joined Full write needs) syncs it
// and with it every earlier commit; a cut takes back the unsynced tail, whole and in order.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPTransaction.h"
#include "testing/PowerCutVfs.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

class RowDao : public ZarnPSqLiteDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;
    void createOrUpdate(int version) override {
        if (version < 1)
            database()->executeUpdate("CREATE TABLE rows (id INTEGER PRIMARY KEY, tier TEXT NOT NULL)");
    }
    std::vector<TableShape> tableShapes() const override { return {{"rows", "id tier"}}; }
    using ZarnPSqLiteDao::database;
};

class DurabilityTierTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::SyncCountingVfs::install();  // under the cut layer, both before the file opens
        cuts.watch(env.path("Documents"));
        db->disableThreadCheck();
        db->setUnsyncedCommitListener([this] { ++unsyncedStretches; });
    }
    void TearDown() override { cuts.stopWatching(); }

    std::shared_ptr<ZarnPDatabase> connection() { return db->database(); }
    bool insert(int id, const char* tier, ZarnPDurability durability = ZarnPDurability::Normal) {
        return connection()->executeUpdateWithParameterDictionary(
            durability, "INSERT INTO rows (id, tier) VALUES (:id, :tier)", {{"id", id}, {"tier", tier}});
    }
    // The rows of the file as a power cut now would leave it, in id order.
    std::string afterCut() {
        std::string into = env.path("cut" + std::to_string(++cutCount));
        cuts.copyInto(into, true);
        test::RawSqlite raw(into + "/zarn.db");
        return raw.text("SELECT group_concat(id, ',') FROM (SELECT id FROM rows ORDER BY id)").value_or("");
    }

    test::TestEnvironment env;
    test::PowerCutVfs& cuts = test::PowerCutVfs::install();
    test::SyncCountingVfs& disk = test::SyncCountingVfs::install();
    std::shared_ptr<ZarnPSqLiteDb> db =
        std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"), platform::current().fileSystem);
    RowDao rows{db};
    int unsyncedStretches = 0;
    int cutCount = 0;
};

TEST_F(DurabilityTierTest, EachTierCostsWhatItNamesAndSyncsEverythingBeforeIt) {
    disk.reset();
    ASSERT_TRUE(connection());
    // The new file's switch to the log writes at OFF; the migration's commit is the opening's own
    // (the log's header is synced as SQLite starts it); the file itself is not synced yet.
    EXPECT_EQ(disk.logCommits(), 1u);
    EXPECT_LE(disk.walSyncs(), 1u);
    EXPECT_EQ(disk.databaseSyncs(), 0u);
    EXPECT_TRUE(connection()->hasUnsyncedCommits());
    EXPECT_EQ(unsyncedStretches, 1);

    struct Step {
        const char* what;
        std::function<void()> write;
        uint64_t commits, walSyncs;
        bool unsyncedAfter;
    };
    auto transaction = [this](ZarnPDurability outer, std::function<void()> body) {
        return [this, outer, body] {
            ZarnPTransaction t(connection(), outer);
            body();
            t.commit();
        };
    };
    auto joined = [this](ZarnPDurability durability, std::function<void()> body) {
        return [this, durability, body] {
            ZarnPTransaction t(connection(), durability, ZarnPTransaction::Mode::JoinOrBegin);
            body();
            t.commit();
        };
    };
    const Step steps[] = {
        {"a lone update of the Full tier syncs the log", [&] { insert(1, "full", ZarnPDurability::Full); }, 1,
         1, false},
        {"a lone update of the Normal tier does not", [&] { insert(2, "normal"); }, 1, 0, true},
        {"nor does a Normal transaction", transaction(ZarnPDurability::Normal, [&] { insert(3, "normal"); }),
         1, 0, true},
        {"a Full transaction syncs, and with it the two before",
         transaction(ZarnPDurability::Full, [&] { insert(4, "full"); }), 1, 1, false},
        {"a Full write joined to a Normal transaction makes its commit durable",
         transaction(ZarnPDurability::Normal,
                     [&] {
                         insert(5, "normal");
                         joined(ZarnPDurability::Full, [&] { insert(6, "full"); })();
                     }),
         1, 1, false},
        {"a joined Full guard that changes nothing leaves the commit unsynced",
         transaction(ZarnPDurability::Normal,
                     [&] {
                         insert(7, "normal");
                         joined(ZarnPDurability::Full,
                                [&] { connection()->executeUpdate("DELETE FROM rows WHERE id = 99"); })();
                     }),
         1, 0, true},
        {"the owner's sync: one fdatasync of the log", [&] { EXPECT_TRUE(db->syncUnsyncedCommits()); }, 0, 1,
         false},
        {"with nothing unsynced, none", [&] { EXPECT_TRUE(db->syncUnsyncedCommits()); }, 0, 0, false},
    };
    for (const auto& step : steps) {
        disk.reset();
        step.write();
        EXPECT_EQ(disk.logCommits(), step.commits) << step.what;
        EXPECT_EQ(disk.walSyncs(), step.walSyncs) << step.what;
        EXPECT_EQ(connection()->hasUnsyncedCommits(), step.unsyncedAfter) << step.what;
        EXPECT_FALSE(connection()->hasOpenTransaction()) << step.what;
    }
    // One call per stretch of unsynced commits, not per commit.
    EXPECT_EQ(unsyncedStretches, 4);

    // SQLite ends a Normal transaction by itself (here: a refused commit becomes a rollback):
    // the next lone update is back at the connection's level, and syncs.
    ASSERT_TRUE(connection()->beginTransaction(ZarnPDurability::Normal));
    insert(8, "lost");
    connection()->holdCommits(true);
    EXPECT_FALSE(connection()->commit());
    connection()->holdCommits(false);
    EXPECT_FALSE(connection()->hasOpenTransaction());
    disk.reset();
    insert(9, "full", ZarnPDurability::Full);
    EXPECT_EQ(disk.walSyncs(), 1u);
    auto level = connection()->executeQuery("PRAGMA synchronous");
    ASSERT_TRUE(level && level->next());
    EXPECT_EQ(level->intForColumnIndex(0), 2);
}

TEST_F(DurabilityTierTest, APowerCutTakesBackTheUnsyncedTailWholeAndInOrderAndNeverADurableCommit) {
    ASSERT_TRUE(connection());
    // Nothing durable yet: a cut leaves a file without the table, which the next opening makes.
    insert(1, "normal");
    EXPECT_EQ(afterCut(), "");
    // The first durable commit of a new file: its first page, written at OFF with the switch to
    // the log, is synced with it, or SQLite would drop the whole log of a file without pages.
    insert(2, "full", ZarnPDurability::Full);
    EXPECT_EQ(afterCut(), "1,2");
    {
        ZarnPTransaction t(connection(), ZarnPDurability::Normal);
        insert(3, "normal");
        insert(4, "normal");
        t.commit();
    }
    insert(5, "normal");
    EXPECT_EQ(afterCut(), "1,2");  // the tail goes, both commits, never half of one
    EXPECT_TRUE(db->syncUnsyncedCommits());
    EXPECT_EQ(afterCut(), "1,2,3,4,5");
    insert(6, "normal");
    insert(7, "full", ZarnPDurability::Full);  // syncs the one before it too
    insert(8, "normal");
    EXPECT_EQ(afterCut(), "1,2,3,4,5,6,7");
    // What a killed process leaves keeps every commit of both tiers.
    cuts.copyInto(env.path("killed"), false);
    test::RawSqlite killed(env.path("killed/zarn.db"));
    EXPECT_EQ(killed.integer("SELECT COUNT(*) FROM rows"), 8);
    EXPECT_EQ(killed.text("PRAGMA integrity_check"), std::optional<std::string>("ok"));
}

}  // namespace
}  // namespace zarn
