// Bounded fuzz-style runs of the data-update reader: builder outputs mutated from a fixed seed
// go through verification and, when accepted, through a walk of every accessor. Under the ASan
// build a read outside a buffer fails the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>

#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/DataUpdateWalker.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kIterations = 20000;
constexpr auto kTimeBudget = std::chrono::seconds(30);

std::vector<Bytes> seeds() {
    using namespace sim;
    DataUpdateNotification full{
        .campaign = "c1",
        .geofenceId = "g1",
        .label = "l\xC3\xA9",
        .beaconUuid = "B",
        .beaconMajorId = 1,
        .beaconMinorId = 2,
        .location = DataUpdateLocation{52, 13},
        .matchRange = 100,
        .openingHours = DataUpdateOpeningHours{.monday = DataUpdateOpeningHours::pack(9, 0, 17, 0)},
        .customRegionFields = {{"k", "v"}},
        .circlesList = std::vector<DataUpdateCircle>{{1, 2, 3}, {4, 5, 6}},
        .triggerProperties = {{"tk", "tv"}}};
    DataUpdateCampaign campaign{.campaignId = "c1",
                                .message = "hello",
                                .data = "{}",
                                .handlerType = 1,
                                .dwellingMinutes = 1,
                                .experimentId = "e",
                                .campaignStartTimestamp = 1,
                                .segmentationProperties = {{"age", "18", 3, 6, std::nullopt, std::nullopt},
                                                           {"seg", "seg", 1, 7, 3600, 2}},
                                .timeSpans = {{1, 2}}};
    std::vector<DataUpdateDescription> descriptions = {
        {},
        {.campaigns = {campaign},
         .tiles = {{.value = "u33d", .lastVersion = 3, .notifications = {full, full}}}},
        {.isQuickSyncUpdate = true,
         .deletePreviousServerSideSegmentationProperties = true,
         .deletedNotifications = {{"c", "g"}, {"c", std::nullopt}},
         .cooldownGroups = {{"00000000000000000000000000000000", 60}},
         .serverSideSegmentationProperties = {{"s_a", "b"}, {"", "x"}}},
    };
    std::vector<Bytes> out;
    for (const auto& d : descriptions) out.push_back(DataUpdateBuilder::build(d));
    return out;
}

TEST(DataUpdateReaderFuzzTest, MutatedUpdatesAreRefusedOrReadWithinTheirBytes) {
    test::TestEnvironment env;
    auto start = std::chrono::steady_clock::now();
    std::mt19937 rng(0xDA7A);
    auto below = [&](size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    auto corpus = seeds();
    for (const auto& seed : corpus) ASSERT_TRUE(ZarnPDataUpdateReader::read(seed));
    int accepted = 0, refused = 0, stringsRefused = 0;
    for (int i = 0; i < kIterations && std::chrono::steady_clock::now() - start < kTimeBudget; ++i) {
        Bytes data = corpus[below(corpus.size())];
        for (size_t r = 0, rounds = 1 + below(4); r < rounds; ++r) {
            switch (below(5)) {
                case 0:
                    if (!data.empty())
                        data[below(data.size())] ^= static_cast<uint8_t>(1u << below(8));
                    break;
                case 1:
                    if (!data.empty())
                        data[below(data.size())] = static_cast<uint8_t>(below(256));
                    break;
                case 2:  // a small or huge little-endian number where an offset or length may be
                    if (data.size() >= 4) {
                        uint32_t v = below(2) ? static_cast<uint32_t>(below(64)) : 0xFFFFFFFFu - below(64);
                        std::memcpy(data.data() + below(data.size() - 3), &v, 4);
                    }
                    break;
                case 3:
                    data.resize(below(data.size() + 1));
                    break;
                case 4:
                    data.insert(data.begin() + static_cast<long>(below(data.size() + 1)), 4, uint8_t{0});
                    break;
            }
        }
        // Exactly sized heap storage (aligned as every allocation is), so that a read past the
        // end is caught.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(data.size(), 1)]);
        std::memcpy(exact.get(), data.data(), data.size());
        std::span<const uint8_t> view(exact.get(), data.size());
        const auto* root = ZarnPDataUpdateReader::read(view);
        if (!root) {
            ++refused;
            continue;
        }
        ++accepted;
        auto walk = sim::DataUpdateWalker::walk(*root);
        stringsRefused += walk.stringsRefused > 0;
    }
    // Both outcomes occurred, and text the service garbled was refused without stopping the read.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
    EXPECT_GT(stringsRefused, 0);
}

}  // namespace
}  // namespace zarn
