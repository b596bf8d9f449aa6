#include "store/dataupdate/ZarnPDataUpdateReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "sim/service/DataUpdateBuilder.h"
#include "store/dataupdate/FlatBuffersUtil.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

namespace fb = com::zarnkit::velto::dataupdate::fb;
using sim::DataUpdateBuilder;
using sim::DataUpdateDescription;

constexpr const char* kFailed = "INFO|DataUpdateReader| Failed to read data update response";

std::optional<std::string> text(const flatbuffers::String* s) {
    return FlatBuffersUtil::readString(s);
}

class DataUpdateReaderTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
};

TEST_F(DataUpdateReaderTest, MalformedBuffersReadAsNoRoot) {
    auto valid =
        DataUpdateBuilder::build({.campaigns = {{.campaignId = "c1", .message = "hello"}},
                                  .tiles = {{.value = "u33d", .notifications = {{.campaign = "c1"}}}}});
    // A tile without its required value, built by hand.
    flatbuffers::FlatBufferBuilder b;
    auto tile = fb::GeohashDTOBuilder(b);
    auto tileOffset = flatbuffers::Offset<fb::GeohashDTO>(b.EndTable(tile.start_));
    auto tiles = b.CreateVector(std::vector{tileOffset});
    fb::DataUpdateResponseDTOBuilder root(b);
    root.add_updatedGeohashes(tiles);
    b.Finish(root.Finish());
    std::vector<uint8_t> missingRequired(b.GetBufferPointer(), b.GetBufferPointer() + b.GetSize());
    std::vector<uint8_t> rootOutside = valid;
    uint32_t far = 0x7FFFFFF0;
    std::memcpy(rootOutside.data(), &far, 4);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"shorter than the root offset", {4, 0, 0}},
        {"root offset past the end", rootOutside},
        {"truncated",
         std::vector<uint8_t>(valid.begin(), valid.begin() + static_cast<long>(valid.size() / 2))},
        {"garbage", std::vector<uint8_t>(64, 0xFF)},
        {"missing required field", missingRequired},
    };
    int failures = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Exactly sized storage: a read past the end is caught by the address sanitizer.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[std::max<size_t>(c.bytes.size(), 1)]);
        std::copy(c.bytes.begin(), c.bytes.end(), copy.get());
        EXPECT_EQ(ZarnPDataUpdateReader::read(std::span<const uint8_t>(copy.get(), c.bytes.size())), nullptr);
        EXPECT_EQ(env.consoleCount(kFailed), ++failures);
    }
    // Data that is not aligned for its 64-bit scalars is refused rather than read.
    std::unique_ptr<uint64_t[]> storage(new uint64_t[valid.size() / 8 + 2]);
    auto* odd = reinterpret_cast<uint8_t*>(storage.get()) + 1;
    std::memcpy(odd, valid.data(), valid.size());
    EXPECT_EQ(ZarnPDataUpdateReader::read(std::span<const uint8_t>(odd, valid.size())), nullptr);
    EXPECT_EQ(env.consoleCount(kFailed), ++failures);
    EXPECT_NE(ZarnPDataUpdateReader::read(valid), nullptr);
    EXPECT_EQ(env.consoleCount(kFailed), failures);
}

TEST_F(DataUpdateReaderTest, EverythingLeftOutReadsAsTheDefaults) {
    DataUpdateDescription d;
    d.campaigns.push_back({.temporaryId = 0});
    d.tiles.push_back({.value = "u", .notifications = {{}}});
    d.deletedNotifications.push_back({});
    d.cooldownGroups.push_back({.id = "g"});
    d.serverSideSegmentationProperties.push_back({.key = "k"});
    d.campaigns[0].segmentationProperties.push_back({});
    d.campaigns[0].timeSpans.push_back({});
    auto bytes = DataUpdateBuilder::build(d);
    const auto* root = ZarnPDataUpdateReader::read(bytes);
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->isQuickSyncUpdate());
    EXPECT_FALSE(root->deleteAllOldData());
    EXPECT_FALSE(root->deletePreviousServerSideSegmentationProperties());

    const auto* tile = root->updatedGeohashes()->Get(0);
    EXPECT_EQ(tile->lastVersion(), 0);
    const auto* n = tile->changedNotifications()->Get(0);
    EXPECT_EQ(n->temporaryCampaignId(), 0u);
    EXPECT_EQ(n->geofenceId(), nullptr);
    EXPECT_EQ(n->label(), nullptr);
    EXPECT_EQ(n->beaconUuid(), nullptr);
    EXPECT_EQ(n->beaconMajorId(), -1);
    EXPECT_EQ(n->beaconMinorId(), -1);
    EXPECT_EQ(n->location(), nullptr);
    EXPECT_EQ(n->matchRange(), -1);
    EXPECT_FALSE(FlatBuffersUtil::isFieldPresent(*n, fb::NotificationDTO::VT_MATCHRANGE));
    EXPECT_EQ(n->openingHours(), nullptr);
    EXPECT_EQ(n->customRegionFields(), nullptr);
    EXPECT_EQ(n->circlesList(), nullptr);
    EXPECT_EQ(n->triggerProperties(), nullptr);

    const auto* c = root->campaigns()->Get(0);
    EXPECT_EQ(c->temporaryId(), 0u);
    EXPECT_EQ(c->campaignId(), nullptr);
    EXPECT_EQ(c->handlerType(), fb::HandlerType_None);
    EXPECT_FALSE(c->triggerOnExit());
    EXPECT_FALSE(c->ignoreAppCooldown());
    EXPECT_EQ(c->dwellingMinutes(), -1);
    EXPECT_EQ(c->experimentMessageId(), -1);
    EXPECT_EQ(c->campaignStartTimestamp(), -1);
    EXPECT_EQ(c->campaignEndTimestamp(), -1);
    const auto* r = c->segmentationProperties()->Get(0);
    EXPECT_EQ(r->key(), nullptr);
    EXPECT_EQ(r->propertyType(), fb::SegmentationPropertyType_None);
    EXPECT_EQ(r->operator_(), fb::SegmentationOperator_None);
    EXPECT_EQ(r->interval(), -1);
    EXPECT_EQ(r->occurrences(), -1);
    EXPECT_EQ(c->timeSpans()->Get(0)->startTimestamp(), -1);
    EXPECT_EQ(c->timeSpans()->Get(0)->endTimestamp(), -1);
    EXPECT_EQ(root->deletedNotifications()->Get(0)->campaignId(), nullptr);
    EXPECT_EQ(root->cooldownGroups()->Get(0)->value(), -1);
    EXPECT_EQ(root->serverSideSegmentationProperties()->Get(0)->value(), nullptr);

    // A root with an empty vtable holds nothing at all.
    auto empty = DataUpdateBuilder::build({});
    root = ZarnPDataUpdateReader::read(empty);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->updatedGeohashes(), nullptr);
    EXPECT_EQ(root->deletedNotifications(), nullptr);
    EXPECT_EQ(root->campaigns(), nullptr);
    EXPECT_EQ(root->cooldownGroups(), nullptr);
    EXPECT_EQ(root->serverSideSegmentationProperties(), nullptr);
    EXPECT_FALSE(root->isQuickSyncUpdate() || root->deleteAllOldData() ||
                 root->deletePreviousServerSideSegmentationProperties());
}

TEST_F(DataUpdateReaderTest, EveryFieldRoundTrips) {
    using sim::DataUpdateOpeningHours;
    DataUpdateDescription d{.isQuickSyncUpdate = true,
                            .deleteAllOldData = true,
                            .deletePreviousServerSideSegmentationProperties = true};
    d.campaigns.push_back({.campaignId = "skip", .message = "unused"});
    d.campaigns.push_back({.temporaryId = 4000000000u,
                           .campaignId = "c1",
                           .message = "Hello",
                           .data = "https://example.invalid/x",
                           .handlerType = 4,
                           .triggerOnExit = true,
                           .ignoreAppCooldown = true,
                           .dwellingMinutes = 15,
                           .experimentId = "exp",
                           .experimentMessageId = 2,
                           .campaignStartTimestamp = 1796126400000,
                           .campaignEndTimestamp = -1,
                           .segmentationProperties = {{"age", "18", 3, 6, 60, 2}},
                           .timeSpans = {{1, 2}, {3, std::nullopt}}});
    sim::DataUpdateNotification n{
        .campaign = "c1",
        .geofenceId = "g1",
        .label = "Shop",
        .beaconUuid = "F7826DA6-4FA2-4E98-8024-BC5B71E0893E",
        .beaconMajorId = 65535,
        .beaconMinorId = 0,
        .location = sim::DataUpdateLocation{52.5f, 13.25f},
        .matchRange = -1,
        .openingHours = DataUpdateOpeningHours{.monday = DataUpdateOpeningHours::pack(9, 30, 17, 45),
                                               .sunday = 0x80000000u},
        .customRegionFields = {{"floor", "2"}},
        .circlesList = std::vector<sim::DataUpdateCircle>{{1.5f, 2.5f, 30}, {3, 4, 50}},
        .triggerProperties = {{"k", std::nullopt}, {std::nullopt, "v"}}};
    d.tiles.push_back({.value = "u33d", .lastVersion = 7, .notifications = {n, {.temporaryCampaignId = 99}}});
    d.tiles.push_back({.value = "u33e"});
    d.deletedNotifications = {{"c0", "g0"}};
    d.cooldownGroups = {{"00000000000000000000000000000000", 3600}};
    d.serverSideSegmentationProperties = {{"s_tier", "gold"}, {"s_gone", ""}};

    auto bytes = DataUpdateBuilder::build(d);
    const auto* root = ZarnPDataUpdateReader::read(bytes);
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->isQuickSyncUpdate());
    EXPECT_TRUE(root->deleteAllOldData());
    EXPECT_TRUE(root->deletePreviousServerSideSegmentationProperties());

    ASSERT_EQ(root->campaigns()->size(), 2u);
    EXPECT_EQ(root->campaigns()->Get(0)->temporaryId(), 1u);  // its position plus one
    const auto* c = root->campaigns()->Get(1);
    EXPECT_EQ(c->temporaryId(), 4000000000u);
    EXPECT_EQ(text(c->campaignId()), "c1");
    EXPECT_EQ(text(c->message()), "Hello");
    EXPECT_EQ(text(c->data()), "https://example.invalid/x");
    EXPECT_EQ(c->handlerType(), fb::HandlerType_LandingPage);
    EXPECT_TRUE(c->triggerOnExit());
    EXPECT_TRUE(c->ignoreAppCooldown());
    EXPECT_EQ(c->dwellingMinutes(), 15);
    EXPECT_EQ(text(c->experimentId()), "exp");
    EXPECT_EQ(c->experimentMessageId(), 2);
    EXPECT_EQ(c->campaignStartTimestamp(), 1796126400000);
    EXPECT_TRUE(FlatBuffersUtil::isFieldPresent(*c, fb::CampaignDTO::VT_CAMPAIGNENDTIMESTAMP));
    EXPECT_EQ(c->campaignEndTimestamp(), -1);
    const auto* r = c->segmentationProperties()->Get(0);
    EXPECT_EQ(text(r->key()), "age");
    EXPECT_EQ(text(r->value()), "18");
    EXPECT_EQ(r->propertyType(), fb::SegmentationPropertyType_Integer);
    EXPECT_EQ(r->operator_(), fb::SegmentationOperator_GreaterThanOrEqual);
    EXPECT_EQ(r->interval(), 60);
    EXPECT_EQ(r->occurrences(), 2);
    ASSERT_EQ(c->timeSpans()->size(), 2u);
    EXPECT_EQ(c->timeSpans()->Get(0)->startTimestamp(), 1);
    EXPECT_EQ(c->timeSpans()->Get(0)->endTimestamp(), 2);
    EXPECT_EQ(c->timeSpans()->Get(1)->endTimestamp(), -1);

    ASSERT_EQ(root->updatedGeohashes()->size(), 2u);
    const auto* tile = root->updatedGeohashes()->Get(0);
    EXPECT_EQ(text(tile->value()), "u33d");
    EXPECT_EQ(tile->lastVersion(), 7);
    EXPECT_EQ(root->updatedGeohashes()->Get(1)->changedNotifications(), nullptr);
    ASSERT_EQ(tile->changedNotifications()->size(), 2u);
    const auto* x = tile->changedNotifications()->Get(0);
    EXPECT_EQ(x->temporaryCampaignId(), 4000000000u);
    EXPECT_EQ(tile->changedNotifications()->Get(1)->temporaryCampaignId(), 99u);
    EXPECT_EQ(text(x->geofenceId()), "g1");
    EXPECT_EQ(text(x->label()), "Shop");
    EXPECT_EQ(text(x->beaconUuid()), "F7826DA6-4FA2-4E98-8024-BC5B71E0893E");
    EXPECT_EQ(x->beaconMajorId(), 65535);
    EXPECT_EQ(x->beaconMinorId(), 0);
    ASSERT_TRUE(FlatBuffersUtil::readLocation(*x));
    EXPECT_EQ(x->location()->latitude(), 52.5f);
    EXPECT_EQ(x->location()->longitude(), 13.25f);
    // A match range set to its default is still present.
    EXPECT_TRUE(FlatBuffersUtil::isFieldPresent(*x, fb::NotificationDTO::VT_MATCHRANGE));
    EXPECT_EQ(x->matchRange(), -1);
    uint32_t monday = x->openingHours()->monday();
    EXPECT_EQ(monday & 0xFF, 9u);
    EXPECT_EQ(monday >> 8 & 0xFF, 30u);
    EXPECT_EQ(monday >> 16 & 0xFF, 17u);
    EXPECT_EQ(monday >> 24, 45u);
    EXPECT_EQ(x->openingHours()->sunday(), 0x80000000u);
    EXPECT_EQ(x->openingHours()->tuesday(), 0u);
    EXPECT_EQ(text(x->customRegionFields()->Get(0)->key()), "floor");
    EXPECT_EQ(text(x->customRegionFields()->Get(0)->value()), "2");
    ASSERT_EQ(x->circlesList()->size(), 2u);
    EXPECT_EQ(x->circlesList()->Get(0)->centerLatitude(), 1.5f);
    EXPECT_EQ(x->circlesList()->Get(0)->centerLongitude(), 2.5f);
    EXPECT_EQ(x->circlesList()->Get(1)->radius(), 50.0f);
    EXPECT_EQ(text(x->triggerProperties()->Get(0)->key()), "k");
    EXPECT_EQ(x->triggerProperties()->Get(0)->value(), nullptr);
    EXPECT_EQ(text(x->triggerProperties()->Get(1)->value()), "v");

    EXPECT_EQ(text(root->deletedNotifications()->Get(0)->campaignId()), "c0");
    EXPECT_EQ(text(root->deletedNotifications()->Get(0)->geofenceId()), "g0");
    EXPECT_EQ(text(root->cooldownGroups()->Get(0)->id()), "00000000000000000000000000000000");
    EXPECT_EQ(root->cooldownGroups()->Get(0)->value(), 3600);
    const auto* server = root->serverSideSegmentationProperties();
    EXPECT_EQ(text(server->Get(0)->key()), "s_tier");
    EXPECT_EQ(text(server->Get(0)->value()), "gold");
    // Present but empty: read as absent.
    ASSERT_NE(server->Get(1)->value(), nullptr);
    EXPECT_EQ(text(server->Get(1)->value()), std::nullopt);

    EXPECT_THROW(
        DataUpdateBuilder::build({.tiles = {{.value = "t", .notifications = {{.campaign = "nowhere"}}}}}),
        std::invalid_argument);
}

TEST_F(DataUpdateReaderTest, TableLimitLetsLargeUpdatesPassAndStopsSharedTableBombs) {
    // 1.1 million notifications: past the verifier's usual limit of a million tables.
    flatbuffers::FlatBufferBuilder lb;
    std::vector<flatbuffers::Offset<fb::NotificationDTO>> many;
    many.reserve(1'100'000);
    for (int i = 0; i < 1'100'000; ++i) {
        fb::NotificationDTOBuilder nb(lb);
        nb.add_matchRange(i);
        many.push_back(nb.Finish());
    }
    auto manyVector = lb.CreateVector(many);
    auto tileValue = lb.CreateString("u");
    auto largeTiles = lb.CreateVector(std::vector{fb::CreateGeohashDTO(lb, tileValue, 0, manyVector)});
    fb::DataUpdateResponseDTOBuilder lr(lb);
    lr.add_updatedGeohashes(largeTiles);
    lb.Finish(lr.Finish());
    std::vector<uint8_t> bytes(lb.GetBufferPointer(), lb.GetBufferPointer() + lb.GetSize());
    flatbuffers::Verifier usual(bytes.data(), bytes.size());
    EXPECT_FALSE(fb::VerifyDataUpdateResponseDTOBuffer(usual));
    const auto* root = ZarnPDataUpdateReader::read(bytes);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->updatedGeohashes()->Get(0)->changedNotifications()->Get(1'099'999)->matchRange(),
              1'099'999);

    // 2,000 references to one tile that holds 2,000 references to one notification: a few
    // kilobytes that would make the verifier visit four million tables.
    flatbuffers::FlatBufferBuilder b;
    fb::NotificationDTOBuilder nb(b);
    auto notification = nb.Finish();
    auto notifications = b.CreateVector(std::vector(2000, notification));
    auto value = b.CreateString("u");
    auto tile = fb::CreateGeohashDTO(b, value, 0, notifications);
    auto tiles = b.CreateVector(std::vector(2000, tile));
    fb::DataUpdateResponseDTOBuilder rb(b);
    rb.add_updatedGeohashes(tiles);
    b.Finish(rb.Finish());
    std::vector<uint8_t> bomb(b.GetBufferPointer(), b.GetBufferPointer() + b.GetSize());
    EXPECT_LT(bomb.size(), 20'000u);
    EXPECT_EQ(ZarnPDataUpdateReader::read(bomb), nullptr);
    EXPECT_EQ(ZarnPDataUpdateReader::maxTablesForSize(bomb.size()), ZarnPDataUpdateReader::kMinTables);
    EXPECT_EQ(ZarnPDataUpdateReader::maxTablesForSize(400'000'000), 100'000'000u);
}

}  // namespace
}  // namespace zarn
