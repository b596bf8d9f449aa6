#include "store/dataupdate/FlatBuffersUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPStatement.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

namespace fb = com::zarnkit::velto::dataupdate::fb;

// A buffer whose root is one FlatBuffers string with these bytes.
std::vector<uint8_t> stringBuffer(const std::string& bytes) {
    flatbuffers::FlatBufferBuilder b;
    b.Finish(b.CreateString(bytes));
    return std::vector<uint8_t>(b.GetBufferPointer(), b.GetBufferPointer() + b.GetSize());
}

TEST(FlatBuffersUtilTest, StringsThatAreEmptyOrNotUtf8ReadAsAbsent) {
    struct Case {
        const char* name;
        std::string bytes;
        bool readable;
    };
    const std::vector<Case> cases = {
        {"ascii", "abc", true},
        {"two bytes", "\xC3\xA9", true},
        {"four bytes", "\xF0\x9F\x98\x80", true},
        {"embedded NUL", std::string("a\0b", 3), true},
        {"empty", "", false},
        {"bad continuation", "\xC3\x28", false},
        {"overlong slash", "\xC0\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false},
        {"cut short", "ok\xE2\x82", false},
        {"lone continuation", "\x80", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto buffer = stringBuffer(c.bytes);
        auto read = FlatBuffersUtil::readString(flatbuffers::GetRoot<flatbuffers::String>(buffer.data()));
        EXPECT_EQ(read.has_value(), c.readable);
        if (read) {
            EXPECT_EQ(*read, c.bytes);
        }
    }
    EXPECT_EQ(FlatBuffersUtil::readString(nullptr), std::nullopt);
}

TEST(FlatBuffersUtilTest, BindingsStoreNullForAbsentTextAndUnsetValues) {
    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    ZarnPSqLiteDb db(22, path, env.fileSystem);
    db.disableThreadCheck();
    auto connection = db.database();
    ASSERT_TRUE(connection);
    ASSERT_TRUE(connection->executeUpdate("CREATE TABLE t (s TEXT, n INTEGER)"));
    std::unique_ptr<ZarnPStatement> insert;
    ASSERT_TRUE(connection->prepareStatement("INSERT INTO t VALUES (?, ?)", insert));

    auto text = stringBuffer("text");
    auto empty = stringBuffer("");
    auto invalid = stringBuffer("\xFF");
    struct Case {
        const flatbuffers::String* string;
        int64_t value;
    };
    const std::vector<Case> cases = {
        {flatbuffers::GetRoot<flatbuffers::String>(text.data()), 5},
        {flatbuffers::GetRoot<flatbuffers::String>(empty.data()), -1},
        {flatbuffers::GetRoot<flatbuffers::String>(invalid.data()), 0},
        {nullptr, std::numeric_limits<uint32_t>::max()},  // an opening-hours value stays positive
    };
    for (const auto& c : cases) {
        FlatBuffersUtil::bindStringOrNull(c.string, *insert, 1, db);
        FlatBuffersUtil::bindLongOrNull(c.value, *insert, 2, db, -1);
        ASSERT_TRUE(connection->executeStatementAndReset(*insert));
    }
    insert.reset();
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT group_concat(ifnull(s, 'NULL') || ':' || ifnull(n, 'NULL'), ' ') FROM t"),
              "text:5 NULL:NULL NULL:0 NULL:4294967295");
}

TEST(FlatBuffersUtilTest, NonFiniteCoordinatesReadAsNoLocation) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    sim::DataUpdateTile tile{.value = "u"};
    for (auto location : {sim::DataUpdateLocation{1, 2}, sim::DataUpdateLocation{nan, 2},
                          sim::DataUpdateLocation{1, -inf}, sim::DataUpdateLocation{-90, 180}})
        tile.notifications.push_back({.location = location,
                                      .circlesList = std::vector<sim::DataUpdateCircle>{
                                          {location.latitude, location.longitude, 10}, {0, 0, inf}}});
    tile.notifications.push_back({});
    auto bytes = sim::DataUpdateBuilder::build({.tiles = {tile}});
    const auto* notifications =
        fb::GetDataUpdateResponseDTO(bytes.data())->updatedGeohashes()->Get(0)->changedNotifications();
    std::vector<bool> located, finiteCircle;
    for (const auto* n : *notifications) {
        located.push_back(FlatBuffersUtil::readLocation(*n) != nullptr);
        if (n->circlesList()) {
            finiteCircle.push_back(FlatBuffersUtil::isFinite(*n->circlesList()->Get(0)));
            EXPECT_FALSE(FlatBuffersUtil::isFinite(*n->circlesList()->Get(1)));
        }
    }
    EXPECT_EQ(located, (std::vector<bool>{true, false, false, true, false}));
    EXPECT_EQ(finiteCircle, (std::vector<bool>{true, false, false, true}));
}

}  // namespace
}  // namespace zarn
