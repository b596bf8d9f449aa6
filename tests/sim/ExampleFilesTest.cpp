// The example host's data files and the pushed payload it builds: the example run shows
// something only when the route really passes through each campaign's geofence and the payload
// carries the data update unchanged.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/ZarnPCoordinateUtil.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "sim/Route.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"

namespace zarn::sim {
namespace {

const std::filesystem::path kExamples = std::filesystem::path(__FILE__).parent_path() / "../../examples";

TEST(ExampleFilesTest, RouteStaysWithinRangeOfEveryLocatedCampaignForAWhile) {
    std::string error;
    auto route = Route::load((kExamples / "route.txt").string(), &error);
    ASSERT_TRUE(route) << error;
    int located = 0;
    for (const char* file : {"campaigns.json", "pushed-update.json"}) {
        auto description = DataUpdateBuilder::loadFile((kExamples / file).string(), &error);
        ASSERT_TRUE(description) << file << ": " << error;
        EXPECT_FALSE(DataUpdateBuilder::build(*description).empty());
        for (const auto& tile : description->tiles)
            for (const auto& n : tile.notifications) {
                if (!n.location)
                    continue;
                ++located;
                // Seconds of the route inside the match range: enough for a fix to land there.
                int inside = 0;
                for (double t = 0; t <= route->duration(); t += 1) {
                    auto at = route->positionAt(t);
                    ASSERT_TRUE(at);
                    if (ZarnPCoordinateUtil::distanceBetweenLat(
                            at->latitude, at->longitude, n.location->latitude, n.location->longitude) <=
                        n.matchRange.value_or(0))
                        ++inside;
                }
                EXPECT_GE(inside, 60) << file << ": " << n.geofenceId.value_or("?");
            }
    }
    EXPECT_EQ(located, 4);
}

TEST(ExampleFilesTest, PushedPayloadCarriesTheDataUpdateUnchanged) {
    std::vector<uint8_t> update =
        DataUpdateBuilder::build({.campaigns = {{.campaignId = "c", .message = "m"}}});
    Value payload = TestService::dataUpdatePayload(update);
    ASSERT_TRUE(payload.is_object());
    ASSERT_TRUE(payload["zarn_v2"].is_string());
    auto gz = ZarnPDataHelper::dataFromBase64String(payload["zarn_v2"].get<std::string>());
    auto inflated = ZarnPGzipHelper::gzipInflate(std::span<const std::uint8_t>(gz));
    ASSERT_TRUE(inflated);
    EXPECT_EQ(*inflated, update);
}

}  // namespace
}  // namespace zarn::sim
