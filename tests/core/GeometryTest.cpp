// great-circle distance, best fix, metre/degree conversions, beacon helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPCoordinateUtil.h"
#include "core/ZarnPLocationUtil.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

using platform::BeaconProximity;
using platform::LocationCoordinate2D;
using platform::LocationFix;

constexpr double kOneDegree = 6378100.0 * M_PI / 180.0;

TEST(CoordinateUtilTest, OneDegreeOfTheGreatCircle) {
    EXPECT_NEAR(ZarnPCoordinateUtil::distanceBetweenLat(0, 0, 0, 1), kOneDegree, 1e-6);
    EXPECT_NEAR(ZarnPCoordinateUtil::distanceBetweenLat(0, 0, 1, 0), kOneDegree, 1e-6);
    EXPECT_NEAR(ZarnPCoordinateUtil::distanceBetweenLat(0, 0, 0, 180), 6378100.0 * M_PI, 1e-6);
    EXPECT_NEAR(ZarnPCoordinateUtil::distanceBetweenCoordinate({0, 0}, {0, 1}), kOneDegree, 1e-6);
    EXPECT_EQ(ZarnPCoordinateUtil::degreeToRadian(180), 180 * 0.017453292519943295);
    EXPECT_NEAR(ZarnPCoordinateUtil::distanceBetweenRadLat(0, 0, 0, M_PI / 2), 6378100.0 * M_PI / 2, 1e-6);
}

TEST(CoordinateUtilTest, APointsDistanceToItselfIsZeroNotNaN) {
    // Rounding pushes the cosine term just above 1 (NaN from acos) or just below it for
    // identical points; either way the distance to itself is 0.
    const std::vector<LocationCoordinate2D> points = {{-78.6, 4.9},
                                                      {-74.6, 120.0},
                                                      {52.3702157, 4.8951679},
                                                      {51.9244201, 4.4777325},
                                                      {-33.8688197, 151.2092955},
                                                      {89.9999, -179.9999},
                                                      {0.1, 0.1},
                                                      {37.7749295, -122.4194155},
                                                      {45.0, 45.0},
                                                      {-0.0000001, 0.0000001}};
    for (const auto& p : points) {
        double d = ZarnPCoordinateUtil::distanceBetweenCoordinate(p, p);
        EXPECT_FALSE(std::isnan(d)) << p.latitude << "," << p.longitude;
        EXPECT_EQ(d, 0.0) << p.latitude << "," << p.longitude;
    }
    // Nearly identical points: here the unclamped cosine term is 1 + 2.2e-16; the clamp keeps
    // the distance finite and tiny.
    for (auto [lat, lon1, lon2] : {std::tuple{-78.6, 4.9, 4.9000000001}, std::tuple{-66.2, 4.9, 4.9000000001},
                                   std::tuple{52.3702157, 4.8951679, 4.8951680}}) {
        double tiny = ZarnPCoordinateUtil::distanceBetweenLat(lat, lon1, lat, lon2);
        EXPECT_FALSE(std::isnan(tiny)) << lat;
        EXPECT_GE(tiny, 0.0) << lat;
        EXPECT_LT(tiny, 1.0) << lat;
    }
    // NaN input is still NaN (not hidden by the clamp).
    EXPECT_TRUE(std::isnan(ZarnPCoordinateUtil::distanceBetweenLat(std::nan(""), 0, 0, 0)));
}

TEST(CoordinateUtilTest, PathLengthAndSpeed) {
    EXPECT_EQ(ZarnPCoordinateUtil::distanceBetweenCoordinates({}), 0.0);
    EXPECT_EQ(ZarnPCoordinateUtil::distanceBetweenCoordinates({{1, 1}}), 0.0);
    EXPECT_NEAR(ZarnPCoordinateUtil::distanceBetweenCoordinates({{0, 0}, {0, 1}, {0, 2}}), 2 * kOneDegree,
                1e-6);
    EXPECT_EQ(ZarnPCoordinateUtil::speedForDistance(1000, 0), 0.0);
    EXPECT_DOUBLE_EQ(ZarnPCoordinateUtil::speedForDistance(1000, 100), 36.0);
}

TEST(LocationUtilTest, MetreDegreeConversions) {
    EXPECT_EQ(ZarnPLocationUtil::meterToLatitudeDegrees(111111), 1.0);
    EXPECT_NEAR(ZarnPLocationUtil::meterToLongitudeDegrees(111111, 60), 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(ZarnPLocationUtil::meterToLongitudeDegrees(111111, 0), 1.0);
    EXPECT_EQ(ZarnPLocationUtil::toRadians(90), 90 / 180.0 * 3.141592653589793);
    EXPECT_EQ(ZarnPLocationUtil::latitudeDegreesToMeter(1.5), 166666);
    EXPECT_EQ(ZarnPLocationUtil::latitudeDegreesToMeter(-1.5), -166666);
    EXPECT_EQ(ZarnPLocationUtil::longitudeDegreesToMeter(2.0, 60), 111111);
    // Out of range and NaN are cut off, never undefined.
    EXPECT_EQ(ZarnPLocationUtil::latitudeDegreesToMeter(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(ZarnPLocationUtil::latitudeDegreesToMeter(-1e300), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(ZarnPLocationUtil::latitudeDegreesToMeter(std::nan("")), 0);
}

class MostAccurateLocationTest : public ::testing::Test {
  protected:
    LocationFix fix(double accuracy, double secondsAfterStart, double latitude = 52.0,
                    double longitude = 4.0) {
        LocationFix f;
        f.latitude = latitude;
        f.longitude = longitude;
        f.horizontalAccuracy = accuracy;
        f.timestamp = dateWithTimeIntervalSince1970(test::TestEnvironment::kStart + secondsAfterStart);
        return f;
    }
    Date cutoff(double secondsAfterStart) {
        return dateWithTimeIntervalSince1970(test::TestEnvironment::kStart + secondsAfterStart);
    }
    test::TestEnvironment env;
};

TEST_F(MostAccurateLocationTest, OnEqualAccuracyTheLaterFixWins) {
    auto first = fix(65, 10, 1, 1), second = fix(65, 11, 2, 2);
    auto best = ZarnPLocationUtil::getMostAccurateLocation({first, second}, std::nullopt, cutoff(0));
    ASSERT_TRUE(best.has_value());
    EXPECT_EQ(*best, second);
}

TEST_F(MostAccurateLocationTest, TheMostAccurateFixWinsOverTheGivenBest) {
    auto given = fix(50, 0);
    auto worse = fix(80, 5), better = fix(20, 6), middling = fix(30, 7);
    auto best = ZarnPLocationUtil::getMostAccurateLocation({worse, better, middling}, given, cutoff(-10));
    EXPECT_EQ(best, better);
    // The given best is kept when nothing beats it.
    EXPECT_EQ(ZarnPLocationUtil::getMostAccurateLocation({worse}, given, cutoff(-10)), given);
    EXPECT_FALSE(ZarnPLocationUtil::getMostAccurateLocation({}, std::nullopt, cutoff(0)).has_value());
}

TEST_F(MostAccurateLocationTest, InvalidFixesAreSkipped) {
    auto given = fix(100, 0);
    EXPECT_EQ(ZarnPLocationUtil::getMostAccurateLocation({fix(-1, 5)}, given, cutoff(0)), given);
    EXPECT_TRUE(env.consoleContains("DEBUG|LocationUtil| Ignoring invalid location"));

    LocationFix invalidCoordinate = fix(5, 5, 91, 0);
    LocationFix defaultFix;  // the platform's invalid coordinate and an unknown accuracy
    defaultFix.timestamp = cutoff(5);
    EXPECT_FALSE(
        ZarnPLocationUtil::getMostAccurateLocation({invalidCoordinate, defaultFix}, std::nullopt, cutoff(0))
            .has_value());
    EXPECT_EQ(env.consoleCount("Ignoring invalid location"), 3);
}

TEST_F(MostAccurateLocationTest, FixesOlderThanTheCutOffAreSkippedAndLogged) {
    auto old = fix(5, -1, 52.5, 4.25);
    auto fresh = fix(500, 0);
    EXPECT_EQ(ZarnPLocationUtil::getMostAccurateLocation({old, fresh}, std::nullopt, cutoff(0)), fresh);
    EXPECT_TRUE(
        env.consoleContains("DEBUG|LocationUtil| Ignoring location: 52.500000,4.250000 (5.000000 meters) - "
                            "2026-12-01 11:59:59 +0000"));
    // A fix exactly at the cut-off is not older.
    EXPECT_EQ(ZarnPLocationUtil::getMostAccurateLocation({fix(5, 0)}, std::nullopt, cutoff(0)), fix(5, 0));
}

TEST(LocationFixTest, CoordinateValidity) {
    LocationFix f;
    EXPECT_FALSE(f.coordinateValid());
    f.latitude = 90;
    f.longitude = -180;
    EXPECT_TRUE(f.coordinateValid());
    f.latitude = std::nan("");
    EXPECT_FALSE(f.coordinateValid());
    EXPECT_FALSE((LocationCoordinate2D{0, 180.0001}).isValid());
}

TEST(BeaconUtilTest, ProximityAsDistance) {
    EXPECT_EQ(ZarnPBeaconUtil::proximityToDistance(BeaconProximity::Unknown), 100);
    EXPECT_EQ(ZarnPBeaconUtil::proximityToDistance(BeaconProximity::Immediate), 1);
    EXPECT_EQ(ZarnPBeaconUtil::proximityToDistance(BeaconProximity::Near), 2);
    EXPECT_EQ(ZarnPBeaconUtil::proximityToDistance(BeaconProximity::Far), 30);
    EXPECT_EQ(ZarnPBeaconUtil::proximityToDistance(static_cast<BeaconProximity>(7)), 100);
    EXPECT_EQ(ZarnPBeaconUtil::proximityToDistance(static_cast<BeaconProximity>(-1)), 100);
}

TEST(BeaconUtilTest, UuidTextForms) {
    auto uuid = *Uuid::fromString("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0");
    EXPECT_EQ(ZarnPBeaconUtil::uuidToSaveString(uuid), "e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    EXPECT_EQ(ZarnPBeaconUtil::stringToUuid("e2c56db5dffb48d2b060d0f5a71096e0"), uuid);
    EXPECT_EQ(ZarnPBeaconUtil::stringToUuid("E2C56DB5DFFB48D2B060D0F5A71096E0"), uuid);
    EXPECT_EQ(ZarnPBeaconUtil::stringToUuid("E2c56db5DFFB48d2b060D0F5A71096e0"), uuid);
    for (const char* bad : {"e2c56db5-dffb-48d2-b060-d0f5a71096e0", "", "e2c56db5dffb48d2b060d0f5a71096e",
                            "e2c56db5dffb48d2b060d0f5a71096e00", "g2c56db5dffb48d2b060d0f5a71096e0",
                            "e2c56db5-ffb48d2b060d0f5a71096e0", " 2c56db5dffb48d2b060d0f5a71096e0"}) {
        EXPECT_FALSE(ZarnPBeaconUtil::stringToUuid(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace zarn
