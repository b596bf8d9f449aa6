#include "store/settings/ZarnPBaseKeyValueDao.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <limits>
#include <set>

#include "core/ZarnPUuidGenerator.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/store/settings/MemoryStringKeyValueDao.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

class KeyValueDaoTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
    std::shared_ptr<test::MemoryStringKeyValueDao> strings =
        std::make_shared<test::MemoryStringKeyValueDao>();
    ZarnPBaseKeyValueDao dao{strings};

    void store(const std::string& key, const std::string& text) { strings->setPropertyValue(text, key); }
    std::optional<std::string> stored(const std::string& key) { return strings->getPropertyValueForKey(key); }
};

struct BoolCase {
    std::optional<std::string> text;
    bool plain;
    bool withDefaultYes;
};

TEST_F(KeyValueDaoTest, BooleansAreYesOnlyForTheExactTextEnabled) {
    const BoolCase cases[] = {
        {"enabled", true, true},   {"disabled", false, false}, {"yes", false, false},
        {"Enabled", false, false}, {"", false, false},         {std::nullopt, false, true},
    };
    for (const auto& c : cases) {
        strings->unsetPropertyKey("k");
        if (c.text)
            store("k", *c.text);
        EXPECT_EQ(dao.getBoolPropertyValueForKey("k"), c.plain) << c.text.value_or("(missing)");
        EXPECT_EQ(dao.getBoolPropertyValueForKey("k", true), c.withDefaultYes)
            << c.text.value_or("(missing)");
    }
    dao.setBoolPropertyValue(true, "on");
    dao.setBoolPropertyValue(false, "off");
    EXPECT_EQ(stored("on"), "enabled");
    EXPECT_EQ(stored("off"), "disabled");
}

TEST_F(KeyValueDaoTest, IntegersReadTheLeadingDigitsAndSaturate) {
    const std::pair<const char*, int> cases[] = {
        {"42", 42},
        {"42abc", 42},
        {"abc", 0},
        {"  -7", -7},
        {"", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"3.9", 3},
    };
    for (auto [text, expected] : cases) {
        store("n", text);
        EXPECT_EQ(dao.getIntPropertyValueForKey("n"), expected) << text;
    }
    EXPECT_EQ(dao.getIntPropertyValueForKey("missing"), 0);
    dao.setIntPropertyValue(-20, "n");
    EXPECT_EQ(stored("n"), "-20");
}

TEST_F(KeyValueDaoTest, LongsKeepAllSixtyFourBits) {
    dao.setLongPropertyValue(INT64_MAX, "l");
    EXPECT_EQ(stored("l"), "9223372036854775807");
    EXPECT_EQ(dao.getLongPropertyValueForKey("l"), INT64_MAX);
    store("l", "-12x");
    EXPECT_EQ(dao.getLongPropertyValueForKey("l"), -12);
    EXPECT_EQ(dao.getLongPropertyValueForKey("missing"), 0);
}

TEST_F(KeyValueDaoTest, DoublesAndDatesRoundTripExactly) {
    for (double v : {0.1, -2.5, 1e300, 5e-324, 1796126400.123456, 0.0}) {
        dao.setDoublePropertyValue(v, "d");
        EXPECT_EQ(dao.getDoublePropertyValueForKey("d"), v) << *stored("d");
        Date date = dateWithTimeIntervalSince1970(v);
        dao.setDatePropertyValue(date, "t");
        EXPECT_EQ(dao.getDatePropertyValueForKey("t"), date);
    }
    dao.setDoublePropertyValue(0.1, "d");
    EXPECT_EQ(stored("d"), "0.1");
    EXPECT_EQ(dao.getDoublePropertyValueForKey("missing"), 0.0);
    EXPECT_EQ(dao.getDatePropertyValueForKey("missing"), std::nullopt);
}

TEST_F(KeyValueDaoTest, NonFiniteNumbersAreRefusedAndTheOldValueKept) {
    dao.setDoublePropertyValue(2.5, "d");
    dao.setDatePropertyValue(dateWithTimeIntervalSince1970(1796126400.0), "t");
    const double bad[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
    for (double v : bad) {
        dao.setDoublePropertyValue(v, "d");
        dao.setDatePropertyValue(dateWithTimeIntervalSince1970(v), "t");
        dao.setDoublePropertyValue(v, "fresh");
    }
    EXPECT_EQ(dao.getDoublePropertyValueForKey("d"), 2.5);
    EXPECT_EQ(dao.getDatePropertyValueForKey("t"), dateWithTimeIntervalSince1970(1796126400.0));
    EXPECT_FALSE(dao.hasProperty("fresh"));
    EXPECT_EQ(env.consoleCount("Refusing to store a non-finite number for key d"), 3);
}

TEST_F(KeyValueDaoTest, NumbersIgnoreTheProcessLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    dao.setDoublePropertyValue(1.5, "d");
    auto text = stored("d");
    store("e", "2.25");
    double read = dao.getDoublePropertyValueForKey("e");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(text, "1.5");
    EXPECT_EQ(read, 2.25);
}

TEST_F(KeyValueDaoTest, StringListsAreJsonArraysOfStrings) {
    EXPECT_EQ(dao.getStringArrayPropertyValueForKey("missing"), std::vector<std::string>{});
    store("a", R"(["one","two"])");
    EXPECT_EQ(dao.getStringArrayPropertyValueForKey("a"), (std::vector<std::string>{"one", "two"}));

    std::vector<std::string> tricky{"quote \" and \\",
                                    "Gr\xC3\xBC\xC3\x9F"
                                    "e",
                                    ""};
    dao.setStringArrayPropertyValue(tricky, "t");
    EXPECT_EQ(stored("t")->find("\", \""), std::string::npos) << "compact text: " << *stored("t");
    EXPECT_EQ(dao.getStringArrayPropertyValueForKey("t"), tricky);
}

TEST_F(KeyValueDaoTest, TextThatIsNotAnArrayOfStringsReadsAsAbsent) {
    for (const char* text : {"not json", R"({"a":"b"})", "[1,2]", R"(["a",null])", "\"a\"", "[[\"a\"]]"}) {
        env.console->clear();
        store("bad", text);
        EXPECT_EQ(dao.getStringArrayPropertyValueForKey("bad"), std::nullopt) << text;
        EXPECT_TRUE(env.consoleContains("ERROR|ZarnPBaseKeyValueDao| Failed to read property")) << text;
    }
    store("empty", "[]");
    EXPECT_EQ(dao.getStringArrayPropertyValueForKey("empty"), std::vector<std::string>{});
}

TEST_F(KeyValueDaoTest, HasPropertyAndUnset) {
    EXPECT_FALSE(dao.hasProperty("k"));
    dao.setPropertyValue("", "k");
    EXPECT_TRUE(dao.hasProperty("k")) << "an empty value is still a value";
    dao.unsetPropertyKey("k");
    EXPECT_FALSE(dao.hasProperty("k"));
    EXPECT_EQ(dao.getPropertyValueForKey("k"), std::nullopt);
}

TEST_F(KeyValueDaoTest, DeviceIdIsCreatedOnceStoredAndReplacedAfterReset) {
    auto typed = std::make_shared<ZarnPBaseKeyValueDao>(strings);
    auto generator = std::make_shared<ZarnPUuidGenerator>();
    ZarnPDeviceIdDao ids(generator, typed);

    std::string first = ids.getDeviceId();
    EXPECT_EQ(first.size(), 36u);
    EXPECT_EQ(first.find_first_of("abcdef"), std::string::npos) << "upper case";
    EXPECT_EQ(stored("deviceId"), first);
    EXPECT_EQ(ids.getDeviceId(), first);
    EXPECT_TRUE(env.consoleContains("DEBUG|DeviceIdDao| Using DeviceId: " + first));

    // Another launch reads the stored id.
    ZarnPDeviceIdDao nextLaunch(generator, typed);
    EXPECT_EQ(nextLaunch.getDeviceId(), first);

    ids.resetDeviceId();
    EXPECT_TRUE(env.consoleContains("DEBUG|DeviceIdDao| Clearing Device id"));
    EXPECT_EQ(stored("deviceId"), std::nullopt);
    std::string second = ids.getDeviceId();
    EXPECT_NE(second, first);
    EXPECT_EQ(stored("deviceId"), second);
}

TEST(KeyValueDaoSqliteTest, TypedSettingsSurviveReopeningTheDatabase) {
    test::TestEnvironment env;
    const std::string path = env.path("Documents/zarn.db");
    auto open = [&] {
        auto db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        auto table = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        return std::make_pair(db, table);
    };
    const Date date = dateWithTimeIntervalSince1970(1796126400.125);
    {
        auto [db, table] = open();
        ZarnPBaseKeyValueDao dao(table->stringKeyValueDao());
        dao.setBoolPropertyValue(true, "zarn_enabled");
        dao.setIntPropertyValue(600, "zarn_cooldown_period");
        dao.setDatePropertyValue(date, "zarn_last_match_date");
        dao.setDoublePropertyValue(52.0907, "zarn_last_match_location_latitude");
        dao.setStringArrayPropertyValue({"t1", "t2"}, "zarn_gcm_public_tokens");
        dao.setBoolPropertyValue(false, "zarn_enabled");  // replaces the first value
    }
    auto [db, table] = open();
    ZarnPBaseKeyValueDao dao(table->stringKeyValueDao());
    EXPECT_FALSE(dao.getBoolPropertyValueForKey("zarn_enabled", true));
    EXPECT_EQ(dao.getIntPropertyValueForKey("zarn_cooldown_period"), 600);
    EXPECT_EQ(dao.getDatePropertyValueForKey("zarn_last_match_date"), date);
    EXPECT_EQ(dao.getDoublePropertyValueForKey("zarn_last_match_location_latitude"), 52.0907);
    EXPECT_EQ(dao.getStringArrayPropertyValueForKey("zarn_gcm_public_tokens"),
              (std::vector<std::string>{"t1", "t2"}));
    EXPECT_EQ(dao.getStringArrayPropertyValueForKey("zarn_other_tokens"), std::vector<std::string>{});
}

}  // namespace
}  // namespace zarn
