#include "sim/service/DataUpdateBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sim/service/DataUpdateWalker.h"
#include "store/dataupdate/FlatBuffersUtil.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "tests/support/TestEnvironment.h"

namespace zarn::sim {
namespace {

TEST(DataUpdateBuilderTest, JsonFormBuildsTheSameBufferAsTheStructs) {
    Value json = Value::parse(R"({
        "isQuickSyncUpdate": true, "deleteAllOldData": true,
        "deletePreviousServerSideSegmentationProperties": true,
        "campaigns": [{"temporaryId": 9, "campaignId": "c", "message": "m", "data": "d",
                       "handlerType": "landingPage", "triggerOnExit": true, "ignoreAppCooldown": true,
                       "dwellingMinutes": 3, "experimentId": "e", "experimentMessageId": 4,
                       "campaignStartTimestamp": 5, "campaignEndTimestamp": 6,
                       "segmentationProperties": [{"key": "k", "value": "v", "propertyType": 2,
                                                   "segmentationOperator": 3, "interval": 7, "occurrences": 8}],
                       "timeSpans": [{"startTimestamp": 10, "endTimestamp": 11}]}],
        "tiles": [{"value": "u", "lastVersion": 12, "notifications": [{
            "campaign": "c", "geofenceId": "g", "label": "l", "beaconUuid": "b", "beaconMajorId": 1,
            "beaconMinorId": 2, "location": {"latitude": 1.5, "longitude": 2.5}, "matchRange": 13,
            "openingHours": {"monday": [9, 30, 17, 45], "friday": 4294967295},
            "customRegionFields": [{"key": "ck", "value": "cv"}],
            "circlesList": [{"centerLatitude": 1, "centerLongitude": 2, "radius": 3}],
            "triggerProperties": [{"key": "tk", "value": "tv"}]}]}],
        "deletedNotifications": [{"campaignId": "dc", "geofenceId": "dg"}],
        "cooldownGroups": [{"id": "cg", "value": 14}],
        "serverSideSegmentationProperties": [{"key": "sk", "value": "sv"}]})");
    std::string error;
    auto fromJson = DataUpdateBuilder::fromJson(json, &error);
    ASSERT_TRUE(fromJson) << error;

    DataUpdateDescription d{.isQuickSyncUpdate = true,
                            .deleteAllOldData = true,
                            .deletePreviousServerSideSegmentationProperties = true};
    d.campaigns.push_back({.temporaryId = 9,
                           .campaignId = "c",
                           .message = "m",
                           .data = "d",
                           .handlerType = 4,
                           .triggerOnExit = true,
                           .ignoreAppCooldown = true,
                           .dwellingMinutes = 3,
                           .experimentId = "e",
                           .experimentMessageId = 4,
                           .campaignStartTimestamp = 5,
                           .campaignEndTimestamp = 6,
                           .segmentationProperties = {{"k", "v", 2, 3, 7, 8}},
                           .timeSpans = {{10, 11}}});
    d.tiles.push_back(
        {.value = "u",
         .lastVersion = 12,
         .notifications = {
             {.campaign = "c",
              .geofenceId = "g",
              .label = "l",
              .beaconUuid = "b",
              .beaconMajorId = 1,
              .beaconMinorId = 2,
              .location = DataUpdateLocation{1.5f, 2.5f},
              .matchRange = 13,
              .openingHours = DataUpdateOpeningHours{.monday = DataUpdateOpeningHours::pack(9, 30, 17, 45),
                                                     .friday = 4294967295u},
              .customRegionFields = {{"ck", "cv"}},
              .circlesList = std::vector<DataUpdateCircle>{{1, 2, 3}},
              .triggerProperties = {{"tk", "tv"}}}}});
    d.deletedNotifications = {{"dc", "dg"}};
    d.cooldownGroups = {{"cg", 14}};
    d.serverSideSegmentationProperties = {{"sk", "sv"}};
    EXPECT_EQ(DataUpdateBuilder::build(*fromJson), DataUpdateBuilder::build(d));
}

TEST(DataUpdateBuilderTest, JsonMistakesAreRefusedWithTheirPlace) {
    struct Case {
        const char* json;
        const char* error;
    };
    const std::vector<Case> cases = {
        {R"([])", "update is not an object"},
        {R"({"campaign": []})", "update has an unknown key \"campaign\""},
        {R"({"campaigns": [{"message": 3}]})", "update.campaigns[0].message is not a string"},
        {R"({"campaigns": [{"handlerType": "push"}]})",
         "update.campaigns[0].handlerType names no handler type"},
        {R"({"campaigns": [{"dwellingMinutes": 3000000000}]})",
         "update.campaigns[0].dwellingMinutes is out of range"},
        {R"({"tiles": [{"notifications": []}]})", "update.tiles[0].value is required"},
        {R"({"tiles": [{"value": "t", "notifications": [{"campaign": "x"}]}]})",
         "a notification of tile t names the unknown campaign x"},
        {R"({"tiles": [{"value": "t", "notifications": [{"openingHours": {"monday": [1, 2]}}]}]})",
         "update.tiles[0].notifications[0].openingHours.monday needs four numbers"},
        {R"({"cooldownGroups": [{"value": 1}]})", "update.cooldownGroups[0].id is required"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        std::string error;
        EXPECT_FALSE(DataUpdateBuilder::fromJson(Value::parse(c.json), &error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(DataUpdateBuilderTest, TheExampleCampaignsLoadAndRead) {
    test::TestEnvironment env;
    auto examples =
        std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "examples";
    std::string error;
    auto description = DataUpdateBuilder::loadFile((examples / "campaigns.json").string(), &error);
    ASSERT_TRUE(description) << error;
    auto bytes = DataUpdateBuilder::build(*description);
    const auto* root = ZarnPDataUpdateReader::read(bytes);
    ASSERT_TRUE(root);
    auto walk = DataUpdateWalker::walk(*root);
    EXPECT_EQ(walk.campaigns, 4u);
    EXPECT_EQ(walk.notifications, 4u);
    EXPECT_EQ(walk.locations, 3u);
    EXPECT_EQ(walk.circles, 2u);
    EXPECT_EQ(walk.cooldownGroups, 1u);
    EXPECT_EQ(walk.serverValues, 1u);
    EXPECT_EQ(walk.stringsRefused, 0u);
    EXPECT_FALSE(DataUpdateBuilder::loadFile((examples / "missing.json").string(), &error));
}

}  // namespace
}  // namespace zarn::sim
