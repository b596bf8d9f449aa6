#include "store/settings/ZarnPSqLiteKeyValueDao.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

class ZarnPSqLiteKeyValueDaoTest : public ::testing::Test {
  protected:
    // A database object with its key-value store, opened.
    std::shared_ptr<ZarnPSqLiteKeyValueDao> open() {
        db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        auto dao = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        EXPECT_TRUE(db->database());
        return dao;
    }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db;
};

TEST_F(ZarnPSqLiteKeyValueDaoTest, SetReplaceReadAndUnset) {
    auto dao = open();
    EXPECT_EQ(dao->getPropertyValueForKey("zarn_public_token"), std::nullopt);

    dao->setPropertyValue("first", "zarn_public_token");
    dao->setPropertyValue("second", "zarn_public_token");
    EXPECT_EQ(dao->getPropertyValueForKey("zarn_public_token"), "second");
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM keyvalue"), 1);

    dao->unsetPropertyKey("zarn_public_token");
    EXPECT_EQ(dao->getPropertyValueForKey("zarn_public_token"), std::nullopt);
    env.console->clear();
    dao->unsetPropertyKey("never_set");
    EXPECT_TRUE(env.console->lines().empty());
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, TextIsStoredAsItIs) {
    auto dao = open();
    const std::pair<std::string, std::string> entries[] = {
        {"empty", ""},
        {"quote's", "it's \"quoted\""},
        {"injection", "x'); DROP TABLE keyvalue; --"},
        {"unicode \xE2\x9C\x93", "caf\xC3\xA9"},
        {":key", "%@ %s %n"},
    };
    for (const auto& [key, value] : entries) dao->setPropertyValue(value, key);
    for (const auto& [key, value] : entries) EXPECT_EQ(dao->getPropertyValueForKey(key), value) << key;
    EXPECT_FALSE(env.consoleContains("Failed to store value"));
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, NothingCannotBeStoredAndTheOldValueStays) {
    auto dao = open();
    dao->setPropertyValue("enabled", "zarn_enabled");
    dao->setPropertyValue(std::nullopt, "zarn_enabled");
    EXPECT_TRUE(env.consoleContains(
        "Error: the bind count (1) is not correct for the # of variables in the query (2)"));
    EXPECT_TRUE(
        env.consoleContains("ERROR|SqLiteKeyValueDao| Failed to store value - Error Domain=Zarn Code=-3 "
                            "\"Failed to execute query\""));
    EXPECT_EQ(dao->getPropertyValueForKey("zarn_enabled"), "enabled");
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, ValuesSurviveARestart) {
    open()->setPropertyValue("1796126400.000000", "zarn_last_match_run");
    db.reset();
    auto dao = open();
    EXPECT_EQ(dao->getPropertyValueForKey("zarn_last_match_run"), "1796126400.000000");
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, FailedWriteIsLoggedNotRaised) {
    auto dao = open();
    test::RawSqlite raw(path);
    ASSERT_TRUE(raw.exec("DROP TABLE keyvalue"));
    EXPECT_NO_THROW(dao->setPropertyValue("v", "k"));
    EXPECT_TRUE(env.consoleContains(
        "ERROR|SqLiteKeyValueDao| Failed to store value - Error Domain=ZarnPDatabase Code=1"));
    EXPECT_NO_THROW(dao->unsetPropertyKey("k"));
    EXPECT_TRUE(env.consoleContains(
        "ERROR|SqLiteKeyValueDao| Failed to delete key - Error Domain=ZarnPDatabase Code=1"));
    EXPECT_EQ(dao->getPropertyValueForKey("k"), std::nullopt);
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, SettingsOfAnOlderSchemaSurviveTheMigration) {
    {
        // A file as an older version left it: the version table and the key-value table.
        std::filesystem::create_directories(env.path("Documents"));
        test::RawSqlite old(path);
        ASSERT_TRUE(old.exec(
            "CREATE TABLE IF NOT EXISTS version (v INTEGER NOT NULL);"
            "INSERT INTO version(v) VALUES (15);"
            "CREATE TABLE keyvalue (key VARCHAR(255) NOT NULL PRIMARY KEY,value VARCHAR(2048) NOT NULL);"
            "INSERT INTO keyvalue VALUES ('zarn_enabled', 'enabled'), ('deviceId', 'ABC');"));
    }
    auto dao = open();
    EXPECT_EQ(db->currentVersion(), 22);
    EXPECT_EQ(dao->getPropertyValueForKey("zarn_enabled"), "enabled");
    EXPECT_EQ(dao->getPropertyValueForKey("deviceId"), "ABC");
    EXPECT_FALSE(env.consoleContains("DB Error"));  // nothing was created again
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT group_concat(v) FROM version"), "22");
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, TableOfAFileWithoutVersionIsKept) {
    {
        std::filesystem::create_directories(env.path("Documents"));
        test::RawSqlite old(path);
        ASSERT_TRUE(old.exec(
            "CREATE TABLE keyvalue (key VARCHAR(255) NOT NULL PRIMARY KEY,value VARCHAR(2048) NOT NULL);"
            "INSERT INTO keyvalue VALUES ('zarn_cooldown_period', '3600');"));
    }
    auto dao = open();
    // Version 0: the CREATE runs again and finds the table; nothing fails, so the step counts.
    EXPECT_FALSE(env.consoleContains("table keyvalue already exists"));
    EXPECT_EQ(dao->getPropertyValueForKey("zarn_cooldown_period"), "3600");
    EXPECT_EQ(db->currentVersion(), 22);
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, HandsItselfOutAsTheStringStore) {
    auto dao = open();
    std::shared_ptr<ZarnPStringKeyValueDao> strings = dao->stringKeyValueDao();
    ASSERT_EQ(strings.get(), static_cast<ZarnPStringKeyValueDao*>(dao.get()));
    strings->setPropertyValue("v", "k");
    EXPECT_EQ(dao->getPropertyValueForKey("k"), "v");
}

TEST_F(ZarnPSqLiteKeyValueDaoTest, AValueAlreadyStoredCostsNoCommitWhateverTheRowHeld) {
    auto& vfs = test::SyncCountingVfs::install();  // before the file opens
    auto dao = open();
    auto typed = dao->keyValueDao();
    test::RawSqlite raw(path);
    struct Case {
        const char* what;
        const char* before;  // run by another connection first
        std::function<void()> write;
        uint64_t commits;
        const char* stored;
    };
    auto set = [&](const char* value) { return [&, value] { dao->setPropertyValue(value, "k"); }; };
    auto setNo = [&] { typed->setBoolPropertyValue(false, "k"); };
    const Case cases[] = {
        {"no row yet", "", set("disabled"), 1, "disabled"},
        {"the same text", "", set("disabled"), 0, "disabled"},
        {"the same boolean, typed", "", setNo, 0, "disabled"},
        {"a row that reads as that boolean", "UPDATE keyvalue SET value = 'yes'", setNo, 1, "disabled"},
        {"the same bytes as a blob", "UPDATE keyvalue SET value = CAST('disabled' AS BLOB)", setNo, 1,
         "disabled"},
        {"text that is not UTF-8", "UPDATE keyvalue SET value = CAST(x'64ff' AS TEXT)", set("d"), 1, "d"},
        {"the row gone behind the store's back", "DELETE FROM keyvalue", set("d"), 1, "d"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(raw.exec(c.before)) << c.what;
        uint64_t before = vfs.logCommits();
        c.write();
        EXPECT_EQ(vfs.logCommits() - before, c.commits) << c.what;
        EXPECT_EQ(raw.text("SELECT value || typeof(value) FROM keyvalue"), std::string(c.stored) + "text")
            << c.what;
    }
}

}  // namespace
}  // namespace zarn
